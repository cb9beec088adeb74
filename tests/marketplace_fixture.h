// What the inventory and catalog tests share: one-call runs of the marketplace exports, the host
// trace read by event id, and scenario data.
#pragma once

#include <charconv>
#include <string>
#include <vector>

#include "core/event_types.h"
#include "emulator/runtime/strings.h"
#include "emulator/services/marketplace/marketplace.h"
#include "platform/exceptions.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {

using MediaItemType = ::ABI::Microsoft::Xbox::Services::Marketplace::MediaItemType;
using ItemState = ::ABI::Microsoft::Xbox::Services::Marketplace::InventoryItemState;
using Availability = ::ABI::Microsoft::Xbox::Services::Marketplace::InventoryItemAvailability;
using SortOrder = ::ABI::Microsoft::Xbox::Services::Marketplace::CatalogSortOrder;
using Exports = host::VelmoraExports;
using DisposeExport = void (*Exports::*)(ObjectHandle);

// An enumeration's value as an export takes it.
template <class E>
requires std::is_enum_v<E>
constexpr int32_t I(E value) { return int32_t(value); }

// 100-ns ticks since 0001 of a platform date, as the plugin answers it.
inline constexpr int64_t kTicksFrom0001To1601 = 504911232000000000;
inline constexpr int64_t kManagedMaxTicks = 3155378975999999999;

// A managed text as the tests compare it: null is shown, never confused with the empty text.
inline std::u16string Show(const char16_t* text) { return text ? std::u16string(text) : u"<null>"; }
inline std::u16string Show(ObjectHandle handle) { return handle ? u"<object>" : u"<null>"; }
inline std::u16string Show(double v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;  // the shortest exact form
    return emu::FromUtf8(std::string_view(text, size_t(end - text)));
}
template <class T>
requires std::is_integral_v<T> std::u16string Show(T v) { return emu::FromUtf8(std::to_string(v)); }

class MarketplaceTest : public PluginTest {
protected:
    static constexpr uint32_t kUser = 1;
    static constexpr uint32_t kOtherUser = 2;
    static constexpr uint32_t kUnknownUser = 99;

    // Runs one call and answers the result it delivered, checking the delivery on the way.
    template <class Start>
    ObjectHandle Run(Start&& start) {
        const Delivered d = RunOnce([&](void* data) { return start(&DeliverObject, data); });
        EXPECT_EQ(d.hr, 0);
        return d.result;
    }

    ObjectHandle QueryItems(uint32_t user, MediaItemType type, ItemState state, Availability availability,
                            const char16_t* containerId = nullptr, uint32_t maxItems = 0) {
        return Run([&](ManagedObjectCallback cb, void* data) {
            return X().InventoryService_GetInventoryItemsAsyncEx(user, I(type), I(state), I(availability), containerId,
                                                                 maxItems, cb, data);
        });
    }

    // The product ids of a result's items, in order.
    std::vector<std::u16string> ProductIds(ObjectHandle result) {
        std::vector<std::u16string> ids;
        ObjectHandle items = X().InventoryItemsResult_Items(result);
        for (uint32_t i = 0, n = X().InventoryItemsResult_Items_Length(items); i < n; ++i) {
            ObjectHandle item = X().InventoryItemsResult_Items_GetAt(items, i);
            ids.push_back(X().InventoryItem_ProductId(item));
            X().InventoryItem_Dispose(item);
        }
        X().InventoryItemsResult_Items_Dispose(items);
        return ids;
    }

    ObjectHandle BrowseChildren(const char16_t* parentId, MediaItemType child, SortOrder order, uint32_t skip = 0,
                                uint32_t max = 0) {
        return Run([&](ManagedObjectCallback cb, void* data) {
            return X().CatalogService_BrowseCatalogAsync(kUser, parentId, I(MediaItemType::GameV2), I(child), I(order),
                                                         skip, max, cb, data);
        });
    }

    ObjectHandle Details(std::vector<const char16_t*> productIds) {
        return Run([&](ManagedObjectCallback cb, void* data) {
            return X().CatalogService_GetCatalogItemDetailsAsync(kUser, productIds.data(), int32_t(productIds.size()),
                                                                 cb, data);
        });
    }

    // The ids of a browse result's items, in order.
    std::vector<std::u16string> CatalogIds(ObjectHandle browse) {
        std::vector<std::u16string> ids;
        for (uint32_t i = 0, n = X().BrowseCatalogResult_Items_Length(browse); i < n; ++i) {
            ObjectHandle item = X().BrowseCatalogResult_Items_GetAt(browse, i);
            ids.push_back(X().CatalogItem_Id(item));
            X().CatalogItem_Dispose(item);
        }
        return ids;
    }

    // ---- scenario data

    static emu::InventoryItemData Owned(std::u16string productId, MediaItemType type = MediaItemType::GameContent,
                                        ItemState state = ItemState::Enabled, bool available = true) {
        emu::InventoryItemData item;
        item.productId = std::move(productId);
        item.mediaItemType = type;
        item.state = state;
        item.available = available;
        item.titleId = 0x1234ABCD;
        item.url = u"https://inventory.example.com/items/" + item.productId;
        item.rightsObtainedDate = 130000000000000000;
        item.startDate = 130000000000000001;
        item.endDate = 130000000000000002;
        return item;
    }
    static emu::InventoryItemData Consumable(std::u16string productId, uint32_t balance) {
        emu::InventoryItemData item = Owned(std::move(productId), MediaItemType::GameConsumable);
        item.consumableUrl = u"https://inventory.example.com/consumables/" + item.productId;
        item.consumableBalance = balance;
        return item;
    }
    static void Give(uint32_t user, const emu::InventoryItemData& item) {
        ASSERT_EQ(emu::AddInventoryItem(user, item), ABI::S_OK);
    }

    // A catalog item whose product id is its id with ".product" appended.
    static emu::CatalogItemData Listed(std::u16string id, MediaItemType type, std::vector<std::u16string> parents) {
        emu::CatalogItemData item;
        item.productId = id + u".product";
        item.id = std::move(id);
        item.name = item.id + u" name";
        item.reducedName = item.id + u" short";
        item.description = item.id + u" description";
        item.sandboxId = u"XDKS.1";
        item.mediaItemType = type;
        item.titleId = 0x5EED;
        item.releaseDate = 131000000000000000;
        item.parentIds = std::move(parents);
        return item;
    }
    static void List(const emu::CatalogItemData& item) { ASSERT_EQ(emu::AddCatalogItem(item), ABI::S_OK); }
};

}  // namespace velmora::test
