// Inventory exports: the six operations on the user's inventory service and the accessors of the
// records they deliver.
#include "core/async_export.h"
#include "services/marketplace_managers.h"

using namespace HaldenPlugin;
using namespace ABI::Microsoft::Xbox::Services::Marketplace;
using Inventory = IInventoryService;
constexpr auto kService = &UserServicesContext::get_InventoryService;

extern "C" {

bool InventoryService_ConsumeInventoryItemAsync(uint32_t userId, ObjectHandle item, uint32_t quantity,
                                                const char16_t* transactionId, ManagedObjectCallback callback,
                                                void* userData) {
    return ServiceOperation<ConsumeInventoryItemResultEvent, kService, &Inventory::ConsumeInventoryItemAsync>(
        userId, callback, userData, item, quantity, transactionId);
}

bool InventoryService_GetInventoryItemAsync(uint32_t userId, ObjectHandle item, ManagedObjectCallback callback,
                                            void* userData) {
    return ServiceOperation<InventoryItemEvent, kService, &Inventory::GetInventoryItemAsync>(userId, callback,
                                                                                            userData, item);
}

bool InventoryService_GetInventoryItemsAsync(uint32_t userId, int32_t mediaItemType, ManagedObjectCallback callback,
                                             void* userData) {
    return ServiceOperation<InventoryItemsResultEvent, kService, &Inventory::GetInventoryItemsAsync>(
        userId, callback, userData, mediaItemType);
}

bool InventoryService_GetInventoryItemsAsyncEx(uint32_t userId, int32_t mediaItemType, int32_t itemState,
                                               int32_t availability, const char16_t* containerId, uint32_t maxItems,
                                               ManagedObjectCallback callback, void* userData) {
    return ServiceOperation<InventoryItemsResultEvent, kService, &Inventory::GetInventoryItemsWithFiltersAsync>(
        userId, callback, userData, mediaItemType, itemState, availability, containerId, maxItems);
}

bool InventoryService_GetInventoryItemsForAllUsersAsync(uint32_t userId, int32_t mediaItemType,
                                                        ManagedObjectCallback callback, void* userData) {
    return ServiceOperation<InventoryItemsResultEvent, kService, &Inventory::GetInventoryItemsForAllUsersAsync>(
        userId, callback, userData, mediaItemType);
}

bool InventoryService_GetInventoryItemsForAllUsersAsyncEx(uint32_t userId, int32_t mediaItemType, int32_t itemState,
                                                          int32_t availability, const char16_t* containerId,
                                                          uint32_t maxItems, ManagedObjectCallback callback,
                                                          void* userData) {
    return ServiceOperation<InventoryItemsResultEvent, kService,
                            &Inventory::GetInventoryItemsForAllUsersWithFiltersAsync>(
        userId, callback, userData, mediaItemType, itemState, availability, containerId, maxItems);
}

}  // extern "C"

// InventoryItemsResult
VELMORA_RULE(InventoryItemsResult_Items, ObjectProperty, &IInventoryItemsResult::get_Items)
VELMORA_COLLECTION(InventoryItemsResult_Items_Length, InventoryItemsResult_Items_GetAt, &IInventoryItemsResult::get_Items)
VELMORA_DISPOSE(InventoryItemsResult_Items_Dispose)
VELMORA_RULE(InventoryItemsResult_TotalItems, ValueProperty, &IInventoryItemsResult::get_TotalItems)
VELMORA_DISPOSE(InventoryItemsResult_Dispose)

// InventoryItem
VELMORA_RULE(InventoryItem_Url, UriStringProperty, &IInventoryItem::get_Url)
VELMORA_RULE(InventoryItem_InventoryItemState, ValueProperty, &IInventoryItem::get_InventoryItemState)
VELMORA_RULE(InventoryItem_MediaItemType, ValueProperty, &IInventoryItem::get_MediaItemType)
VELMORA_RULE(InventoryItem_ProductId, StringProperty, &IInventoryItem::get_ProductId)
VELMORA_RULE(InventoryItem_TitleId, ValueProperty, &IInventoryItem::get_TitleId)
VELMORA_RULE(InventoryItem_ContainerIds, ObjectProperty, &IInventoryItem::get_ContainerIds)
VELMORA_COLLECTION(InventoryItem_ContainerIds_Length, InventoryItem_ContainerIds_GetAt, &IInventoryItem::get_ContainerIds)
VELMORA_DISPOSE(InventoryItem_ContainerIds_Dispose)
VELMORA_RULE(InventoryItem_RightsObtainedDate, DateProperty, &IInventoryItem::get_RightsObtainedDate)
VELMORA_RULE(InventoryItem_StartDate, DateProperty, &IInventoryItem::get_StartDate)
VELMORA_RULE(InventoryItem_EndDate, DateProperty, &IInventoryItem::get_EndDate)
VELMORA_RULE(InventoryItem_ConsumableUrl, UriStringProperty, &IInventoryItem::get_ConsumableUrl)
VELMORA_RULE(InventoryItem_ConsumableBalance, ValueProperty, &IInventoryItem::get_ConsumableBalance)
VELMORA_DISPOSE(InventoryItem_Dispose)

// ConsumeInventoryItemResult
VELMORA_RULE(ConsumeInventoryItemResult_ConsumableUrl, UriStringProperty, &IConsumeInventoryItemResult::get_ConsumableUrl)
VELMORA_RULE(ConsumeInventoryItemResult_ConsumableBalance, ValueProperty, &IConsumeInventoryItemResult::get_ConsumableBalance)
VELMORA_RULE(ConsumeInventoryItemResult_TransactionId, StringProperty, &IConsumeInventoryItemResult::get_TransactionId)
VELMORA_DISPOSE(ConsumeInventoryItemResult_Dispose)
