// Catalog exports: browse and details on the user's catalog service, and the accessors of the
// browse result, the details list, items, details, images and availabilities.
#include "core/async_export.h"
#include "core/vector_argument.h"
#include "services/marketplace_managers.h"

using namespace HaldenPlugin;
using namespace ABI::Microsoft::Xbox::Services::Marketplace;
constexpr auto kService = &UserServicesContext::get_CatalogService;

extern "C" {

bool CatalogService_BrowseCatalogAsync(uint32_t userId, const char16_t* parentId, int32_t parentMediaType,
                                       int32_t childMediaType, int32_t sortOrder, uint32_t skipItems,
                                       uint32_t maxItems, ManagedObjectCallback callback, void* userData) {
    return ServiceOperation<BrowseCatalogResultEvent, kService, &ICatalogService::BrowseCatalogAsync>(
        userId, callback, userData, parentId, parentMediaType, childMediaType, sortOrder, skipItems, maxItems);
}

// A failure while building the id list (out of memory) answers false like any start failure, and
// so does a null array.
bool CatalogService_GetCatalogItemDetailsAsync(uint32_t userId, const char16_t* const* productIds, int32_t count,
                                               ManagedObjectCallback callback, void* userData) {
    if (count <= 0 || !productIds) return false;
    VectorArgument<HSTRING> ids;
    try {
        ids = MakeVectorArgument<HSTRING>(productIds, count);
    } catch (const Platform::Exception&) {
        return false;
    }
    return ServiceOperation<CatalogItemDetailsResultEvent, kService, &ICatalogService::GetCatalogItemDetailsAsync>(
        userId, callback, userData, ids.view.Get());
}

}  // extern "C"

// BrowseCatalogResult: Items is read anew by each call and never handed out itself.
VELMORA_RULE(BrowseCatalogResult_TotalCount, ValueProperty, &IBrowseCatalogResult::get_TotalCount)
VELMORA_RULE(BrowseCatalogResult_Items_Length, ChildLength, &IBrowseCatalogResult::get_Items)
VELMORA_CHILD_GET_AT(BrowseCatalogResult_Items_GetAt, &IBrowseCatalogResult::get_Items)
VELMORA_DISPOSE(BrowseCatalogResult_Dispose)

// CatalogItemDetailsList: the vector a details query delivers.
VELMORA_COLLECTION_OF(CatalogItemDetailsList_Length, CatalogItemDetailsList_GetAt, ICatalogItemDetails*)
VELMORA_DISPOSE(CatalogItemDetailsList_Dispose)

// CatalogItem
VELMORA_RULE(CatalogItem_Id, StringProperty, &ICatalogItem::get_Id)
VELMORA_RULE(CatalogItem_Name, StringProperty, &ICatalogItem::get_Name)
VELMORA_RULE(CatalogItem_ReducedName, StringProperty, &ICatalogItem::get_ReducedName)
VELMORA_RULE(CatalogItem_ProductId, StringProperty, &ICatalogItem::get_ProductId)
VELMORA_RULE(CatalogItem_SandboxId, StringProperty, &ICatalogItem::get_SandboxId)
VELMORA_RULE(CatalogItem_MediaItemType, ValueProperty, &ICatalogItem::get_MediaItemType)
VELMORA_RULE(CatalogItem_TitleId, ValueProperty, &ICatalogItem::get_TitleId)
VELMORA_RULE(CatalogItem_ReleaseDate, DateProperty, &ICatalogItem::get_ReleaseDate)
VELMORA_RULE(CatalogItem_Images, ObjectProperty, &ICatalogItem::get_Images)
VELMORA_COLLECTION(CatalogItem_Images_Length, CatalogItem_Images_GetAt, &ICatalogItem::get_Images)
VELMORA_DISPOSE(CatalogItem_Images_Dispose)
VELMORA_RULE(CatalogItem_AvailabilityContentIds, ObjectProperty, &ICatalogItem::get_AvailabilityContentIds)
VELMORA_COLLECTION(CatalogItem_AvailabilityContentIds_Length, CatalogItem_AvailabilityContentIds_GetAt, &ICatalogItem::get_AvailabilityContentIds)
VELMORA_DISPOSE(CatalogItem_AvailabilityContentIds_Dispose)
VELMORA_DISPOSE(CatalogItem_Dispose)

// CatalogItemDetails
VELMORA_RULE(CatalogItemDetails_Id, StringProperty, &ICatalogItemDetails::get_Id)
VELMORA_RULE(CatalogItemDetails_Name, StringProperty, &ICatalogItemDetails::get_Name)
VELMORA_RULE(CatalogItemDetails_ReducedName, StringProperty, &ICatalogItemDetails::get_ReducedName)
VELMORA_RULE(CatalogItemDetails_Description, StringProperty, &ICatalogItemDetails::get_Description)
VELMORA_RULE(CatalogItemDetails_ProductId, StringProperty, &ICatalogItemDetails::get_ProductId)
VELMORA_RULE(CatalogItemDetails_SandboxId, StringProperty, &ICatalogItemDetails::get_SandboxId)
VELMORA_RULE(CatalogItemDetails_MediaItemType, ValueProperty, &ICatalogItemDetails::get_MediaItemType)
VELMORA_RULE(CatalogItemDetails_TitleId, ValueProperty, &ICatalogItemDetails::get_TitleId)
VELMORA_RULE(CatalogItemDetails_ReleaseDate, DateProperty, &ICatalogItemDetails::get_ReleaseDate)
VELMORA_RULE(CatalogItemDetails_Images, ObjectProperty, &ICatalogItemDetails::get_Images)
VELMORA_COLLECTION(CatalogItemDetails_Images_Length, CatalogItemDetails_Images_GetAt, &ICatalogItemDetails::get_Images)
VELMORA_DISPOSE(CatalogItemDetails_Images_Dispose)
VELMORA_RULE(CatalogItemDetails_Availabilities, ObjectProperty, &ICatalogItemDetails::get_Availabilities)
VELMORA_COLLECTION(CatalogItemDetails_Availabilities_Length, CatalogItemDetails_Availabilities_GetAt, &ICatalogItemDetails::get_Availabilities)
VELMORA_DISPOSE(CatalogItemDetails_Availabilities_Dispose)
VELMORA_DISPOSE(CatalogItemDetails_Dispose)

// CatalogItemImage
VELMORA_RULE(CatalogItemImage_Id, StringProperty, &ICatalogItemImage::get_Id)
VELMORA_RULE(CatalogItemImage_Purpose, StringProperty, &ICatalogItemImage::get_Purpose)
VELMORA_RULE(CatalogItemImage_ResizeUrl, UriStringProperty, &ICatalogItemImage::get_ResizeUrl)
VELMORA_RULE(CatalogItemImage_Width, ValueProperty, &ICatalogItemImage::get_Width)
VELMORA_RULE(CatalogItemImage_Height, ValueProperty, &ICatalogItemImage::get_Height)
VELMORA_RULE(CatalogItemImage_Purposes, ObjectProperty, &ICatalogItemImage::get_Purposes)
VELMORA_COLLECTION(CatalogItemImage_Purposes_Length, CatalogItemImage_Purposes_GetAt, &ICatalogItemImage::get_Purposes)
VELMORA_DISPOSE(CatalogItemImage_Purposes_Dispose)
VELMORA_DISPOSE(CatalogItemImage_Dispose)

// CatalogItemAvailability
VELMORA_RULE(CatalogItemAvailability_ContentId, StringProperty, &ICatalogItemAvailability::get_ContentId)
VELMORA_RULE(CatalogItemAvailability_AvailabilityTitle, StringProperty, &ICatalogItemAvailability::get_AvailabilityTitle)
VELMORA_RULE(CatalogItemAvailability_AvailabilityDescription, StringProperty, &ICatalogItemAvailability::get_AvailabilityDescription)
VELMORA_RULE(CatalogItemAvailability_CurrencyCode, StringProperty, &ICatalogItemAvailability::get_CurrencyCode)
VELMORA_RULE(CatalogItemAvailability_DisplayPrice, StringProperty, &ICatalogItemAvailability::get_DisplayPrice)
VELMORA_RULE(CatalogItemAvailability_DisplayListPrice, StringProperty, &ICatalogItemAvailability::get_DisplayListPrice)
VELMORA_RULE(CatalogItemAvailability_DistributionType, StringProperty, &ICatalogItemAvailability::get_DistributionType)
VELMORA_RULE(CatalogItemAvailability_PromotionalText, StringProperty, &ICatalogItemAvailability::get_PromotionalText)
VELMORA_RULE(CatalogItemAvailability_SignedOffer, StringProperty, &ICatalogItemAvailability::get_SignedOffer)
VELMORA_RULE(CatalogItemAvailability_OfferId, StringProperty, &ICatalogItemAvailability::get_OfferId)
VELMORA_RULE(CatalogItemAvailability_OfferDisplayDataJson, StringProperty, &ICatalogItemAvailability::get_OfferDisplayDataJson)
VELMORA_RULE(CatalogItemAvailability_IsPurchasable, BoolProperty, &ICatalogItemAvailability::get_IsPurchasable)
VELMORA_RULE(CatalogItemAvailability_Price, ValueProperty, &ICatalogItemAvailability::get_Price)
VELMORA_RULE(CatalogItemAvailability_ListPrice, ValueProperty, &ICatalogItemAvailability::get_ListPrice)
VELMORA_RULE(CatalogItemAvailability_ConsumableQuantity, ValueProperty, &ICatalogItemAvailability::get_ConsumableQuantity)
VELMORA_RULE(CatalogItemAvailability_AcceptablePaymentInstrumentTypes, ObjectProperty, &ICatalogItemAvailability::get_AcceptablePaymentInstrumentTypes)
VELMORA_COLLECTION(CatalogItemAvailability_AcceptablePaymentInstrumentTypes_Length, CatalogItemAvailability_AcceptablePaymentInstrumentTypes_GetAt, &ICatalogItemAvailability::get_AcceptablePaymentInstrumentTypes)
VELMORA_DISPOSE(CatalogItemAvailability_AcceptablePaymentInstrumentTypes_Dispose)
VELMORA_DISPOSE(CatalogItemAvailability_Dispose)
