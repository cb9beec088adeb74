// The fifteen asynchronous exports, one row each, for the tests that run all of them alike: the
// platform call behind the export, the shape of its callback, its result's _Dispose export, a start
// with well-formed arguments naming the ids a test's world holds, and the event it posts.
#pragma once

#include <array>

#include "core/event_types.h"
#include "host/plugin_loader.h"

namespace velmora::test {

enum class Shape {
    Object,  // an object result (ManagedObjectCallback): the inventory and catalog operations
    Action,  // a store screen: the action's final status (ManagedValueCallback)
    Value,   // a privilege check: the 32-bit result (ManagedValueCallback)
};

// The ids a start names; the defaults are what an empty world makes of them.
struct AsyncIds {
    ObjectHandle item = nullptr;  // an inventory item handle, for the consume and item queries
    const char16_t* transaction = u"tx";
    const char16_t* parent = u"parent";
    const char16_t* game = u"9GAME";
    const char16_t* offer = u"offer";
    const char16_t* code = u"CODE";
    uint32_t privilege = 254;
    const char16_t* container = u"container";
    const char16_t* display = u"Display";
};

using Exports = host::VelmoraExports;
namespace events = ::HaldenPlugin;
using OCb = ManagedObjectCallback;
using VCb = ManagedValueCallback;

struct AsyncExport {
    const char* name;  // the export
    const char* call;  // the platform call an outcome or a fault is scripted for
    Shape shape;
    const char* result;                       // the kind of the result (its _Dispose prefix)
    void (*Exports::*dispose)(ObjectHandle);  // the result's, for Shape::Object
    bool (*start)(const Exports& x, uint32_t user, const AsyncIds& ids, OCb object, VCb value, void* userData);
    EventId event;  // the one event a started operation posts
};

inline constexpr std::array<AsyncExport, 15> kAsyncExports = {{
    {"InventoryService_ConsumeInventoryItemAsync", "IInventoryService.ConsumeInventoryItemAsync", Shape::Object,
     "ConsumeInventoryItemResult", &Exports::ConsumeInventoryItemResult_Dispose,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb o, VCb, void* d) {
         return x.InventoryService_ConsumeInventoryItemAsync(u, i.item, 1, i.transaction, o, d);
     },
     events::ConsumeInventoryItemResultEvent::Id},
    {"InventoryService_GetInventoryItemAsync", "IInventoryService.GetInventoryItemAsync", Shape::Object,
     "InventoryItem", &Exports::InventoryItem_Dispose,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb o, VCb, void* d) {
         return x.InventoryService_GetInventoryItemAsync(u, i.item, o, d);
     },
     events::InventoryItemEvent::Id},
    {"InventoryService_GetInventoryItemsAsync", "IInventoryService.GetInventoryItemsAsync", Shape::Object,
     "InventoryItemsResult", &Exports::InventoryItemsResult_Dispose,
     [](const Exports& x, uint32_t u, const AsyncIds&, OCb o, VCb, void* d) {
         return x.InventoryService_GetInventoryItemsAsync(u, 14, o, d);
     },
     events::InventoryItemsResultEvent::Id},
    {"InventoryService_GetInventoryItemsAsyncEx", "IInventoryService.GetInventoryItemsWithFiltersAsync", Shape::Object,
     "InventoryItemsResult", &Exports::InventoryItemsResult_Dispose,
     [](const Exports& x, uint32_t u, const AsyncIds&, OCb o, VCb, void* d) {
         return x.InventoryService_GetInventoryItemsAsyncEx(u, 14, 1, 0, nullptr, 0, o, d);
     },
     events::InventoryItemsResultEvent::Id},
    {"InventoryService_GetInventoryItemsForAllUsersAsync", "IInventoryService.GetInventoryItemsForAllUsersAsync",
     Shape::Object, "InventoryItemsResult", &Exports::InventoryItemsResult_Dispose,
     [](const Exports& x, uint32_t u, const AsyncIds&, OCb o, VCb, void* d) {
         return x.InventoryService_GetInventoryItemsForAllUsersAsync(u, 14, o, d);
     },
     events::InventoryItemsResultEvent::Id},
    {"InventoryService_GetInventoryItemsForAllUsersAsyncEx",
     "IInventoryService.GetInventoryItemsForAllUsersWithFiltersAsync", Shape::Object, "InventoryItemsResult",
     &Exports::InventoryItemsResult_Dispose,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb o, VCb, void* d) {
         return x.InventoryService_GetInventoryItemsForAllUsersAsyncEx(u, 14, 1, 1, i.container, 5, o, d);
     },
     events::InventoryItemsResultEvent::Id},
    {"CatalogService_BrowseCatalogAsync", "ICatalogService.BrowseCatalogAsync", Shape::Object, "BrowseCatalogResult",
     &Exports::BrowseCatalogResult_Dispose,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb o, VCb, void* d) {
         return x.CatalogService_BrowseCatalogAsync(u, i.parent, 1, 14, 0, 0, 0, o, d);
     },
     events::BrowseCatalogResultEvent::Id},
    {"CatalogService_GetCatalogItemDetailsAsync", "ICatalogService.GetCatalogItemDetailsAsync", Shape::Object,
     "CatalogItemDetailsList", &Exports::CatalogItemDetailsList_Dispose,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb o, VCb, void* d) {
         const char16_t* ids[] = {i.game, u"9NOPRODUCT"};
         return x.CatalogService_GetCatalogItemDetailsAsync(u, ids, 2, o, d);
     },
     events::CatalogItemDetailsResultEvent::Id},
    {"Store_ShowDetailsAsync", "IProductStatics.ShowDetailsAsync", Shape::Action, nullptr, nullptr,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb, VCb v, void* d) {
         return x.Store_ShowDetailsAsync(u, i.game, v, d);
     },
     events::ShowDetailsAsyncEvent::Id},
    {"Store_ShowMarketplaceAsync", "IProductStatics.ShowMarketplaceAsync", Shape::Action, nullptr, nullptr,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb, VCb v, void* d) {
         return x.Store_ShowMarketplaceAsync(u, 1, i.game, 8, v, d);
     },
     events::ShowMarketplaceAsyncEvent::Id},
    {"Store_ShowPurchaseAsync", "IProductStatics.ShowPurchaseAsync", Shape::Action, nullptr, nullptr,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb, VCb v, void* d) {
         return x.Store_ShowPurchaseAsync(u, i.offer, v, d);
     },
     events::ShowPurchaseAsyncEvent::Id},
    {"Store_ShowRedeemCodeAsync", "IProductStatics.ShowRedeemCodeAsync", Shape::Action, nullptr, nullptr,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb, VCb v, void* d) {
         return x.Store_ShowRedeemCodeAsync(u, i.code, v, d);
     },
     events::ShowRedeemCodeAsyncEvent::Id},
    {"Store_ShowSubscriptionAsync", "IProductStatics.ShowSubscriptionAsync", Shape::Action, nullptr, nullptr,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb, VCb v, void* d) {
         return x.Store_ShowSubscriptionAsync(u, i.game, i.privilege, v, d);
     },
     events::ShowSubscriptionAsyncEvent::Id},
    {"Store_CheckPrivilegeAsync", "IProductStatics.CheckPrivilegeAsync", Shape::Value, nullptr, nullptr,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb, VCb v, void* d) {
         return x.Store_CheckPrivilegeAsync(u, i.privilege, 0, i.display, v, d);
     },
     events::PrivilegeCheckResultEvent::Id},
    {"Store_CheckPrivilegesAsync", "IProductStatics.CheckPrivilegesAsync", Shape::Value, nullptr, nullptr,
     [](const Exports& x, uint32_t u, const AsyncIds& i, OCb, VCb v, void* d) {
         const uint32_t ids[] = {i.privilege, 255};
         return x.Store_CheckPrivilegesAsync(u, ids, 2, 1, i.display, v, d);
     },
     events::PrivilegeCheckResultEvent::Id},
}};

}  // namespace velmora::test
