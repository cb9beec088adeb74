// The inventory service a user's context hands out: queries of the user's (or every signed-in
// user's) inventory, the current state of one item, and consumption of a consumable.
//
// Arguments that need no service state are checked by the starting call (it answers E_INVALIDARG
// or E_POINTER and starts nothing); whatever depends on the user's data fails the operation.
#include <algorithm>
#include <array>

#include "emulator/runtime/async.h"
#include "emulator/runtime/faults.h"
#include "emulator/runtime/strings.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/users.h"

namespace velmora::emu {
namespace {

namespace MP = ::ABI::Microsoft::Xbox::Services::Marketplace;
using ItemsOperation = IAsyncOperation<IInventoryItemsResult*>;

constexpr std::string_view kGetItems = "IInventoryService.GetInventoryItemsAsync";
constexpr std::string_view kGetItemsFiltered = "IInventoryService.GetInventoryItemsWithFiltersAsync";
constexpr std::string_view kGetItemsAllUsers = "IInventoryService.GetInventoryItemsForAllUsersAsync";
constexpr std::string_view kGetItemsAllUsersFiltered = "IInventoryService.GetInventoryItemsForAllUsersWithFiltersAsync";
constexpr std::string_view kGetItem = "IInventoryService.GetInventoryItemAsync";
constexpr std::string_view kConsume = "IInventoryService.ConsumeInventoryItemAsync";

// The media types an inventory query takes.
bool Queryable(MediaItemType type) {
    switch (type) {
        case MediaItemType::GameV2:
        case MediaItemType::GameContent:
        case MediaItemType::GameConsumable:
        case MediaItemType::Subscription:
        case MediaItemType::All:
            return true;
        default:
            return false;
    }
}

struct ItemFilter {
    MediaItemType type = MediaItemType::All;
    InventoryItemState state = InventoryItemState::Enabled;
    InventoryItemAvailability availability = InventoryItemAvailability::Available;
    std::u16string containerId;  // empty: any
    uint32_t maxItems = 0;       // 0: all
};

// What the one-argument forms answer: the items in use now.
ItemFilter EnabledAndAvailable(MediaItemType type) {
    ItemFilter f;
    f.type = type;
    return f;
}

// Unknown is no filter the service knows, so it is refused like any value out of range.
bool ValidFilter(const ItemFilter& f) {
    return Queryable(f.type) && f.state >= InventoryItemState::All && f.state <= InventoryItemState::Canceled &&
           f.availability >= InventoryItemAvailability::All && f.availability <= InventoryItemAvailability::Unavailable;
}

bool Matches(const InventoryItemData& item, const ItemFilter& f) {
    if (f.type != MediaItemType::All && item.mediaItemType != f.type) return false;
    if (f.state != InventoryItemState::All && item.state != f.state) return false;
    if (f.availability == InventoryItemAvailability::Available && !item.available) return false;
    if (f.availability == InventoryItemAvailability::Unavailable && item.available) return false;
    if (!f.containerId.empty()) {
        if (!item.containerIds) return false;
        if (std::find(item.containerIds->begin(), item.containerIds->end(), f.containerId) == item.containerIds->end())
            return false;
    }
    return true;
}

// The ids of the users signed in now, in sign-in order.
std::vector<uint32_t> SignedInUsers() {
    std::vector<uint32_t> ids;
    for (uint32_t i = 0, n = UserCount(); i < n; ++i)
        if (const auto user = UserAt(i)) ids.push_back(user->id);
    return ids;
}

// The matching items of the users in order; TotalItems counts them before the maxItems cut. The
// records are made from the data in place.
template <class Users>
WorkResult<IInventoryItemsResult*> Query(const Users& users, const ItemFilter& filter) {
    const auto lock = LockInventories();
    // Kept between queries under the inventories' lock; never destroyed, as a platform thread may
    // query while the process ends.
    static auto& matched = *new std::vector<const InventoryItemData*>;
    matched.clear();
    for (uint32_t user : users)
        if (const auto* items = InventoryInPlace(user))
            for (const auto& item : *items)
                if (Matches(item, filter)) matched.push_back(&item);
    const auto total = uint32_t(matched.size());
    if (filter.maxItems != 0 && matched.size() > filter.maxItems) matched.resize(filter.maxItems);
    WorkResult<IInventoryItemsResult*> r;
    r.hr = CreateInventoryQueryResult(matched, total, r.value.Put());
    return r;
}

// The product id of an item argument; empty for a null item.
HRESULT ProductIdOf(MP::IInventoryItem* item, std::u16string* productId) {
    productId->clear();
    if (!item) return S_OK;
    HStringOwner id;
    if (HRESULT hr = item->get_ProductId(id.Put()); Failed(hr)) return hr;
    *productId = ToU16(id.Get());
    return S_OK;
}

class InventoryService : public RuntimeObject<InventoryService, IInventoryService> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.InventoryService";
    explicit InventoryService(uint32_t userId) : userId_(userId) {}

    HRESULT GetInventoryItemsAsync(MediaItemType type, ItemsOperation** operation) override {
        if (HRESULT hr = TakeFault(kGetItems)) return hr;
        RecordMarketplaceCall(kGetItems, userId_, {}, {int64_t(type)});
        return StartQuery(kGetItems, EnabledAndAvailable(type), false, operation);
    }

    HRESULT GetInventoryItemsWithFiltersAsync(MediaItemType type, InventoryItemState state,
                                              InventoryItemAvailability availability, HSTRING containerId,
                                              uint32_t maxItems, ItemsOperation** operation) override {
        if (HRESULT hr = TakeFault(kGetItemsFiltered)) return hr;
        ItemFilter filter{type, state, availability, ToU16(containerId), maxItems};
        Record(kGetItemsFiltered, filter);
        return StartQuery(kGetItemsFiltered, filter, false, operation);
    }

    HRESULT GetInventoryItemsForAllUsersAsync(MediaItemType type, ItemsOperation** operation) override {
        if (HRESULT hr = TakeFault(kGetItemsAllUsers)) return hr;
        RecordMarketplaceCall(kGetItemsAllUsers, userId_, {}, {int64_t(type)});
        return StartQuery(kGetItemsAllUsers, EnabledAndAvailable(type), true, operation);
    }

    HRESULT GetInventoryItemsForAllUsersWithFiltersAsync(MediaItemType type, InventoryItemState state,
                                                         InventoryItemAvailability availability, HSTRING containerId,
                                                         uint32_t maxItems, ItemsOperation** operation) override {
        if (HRESULT hr = TakeFault(kGetItemsAllUsersFiltered)) return hr;
        ItemFilter filter{type, state, availability, ToU16(containerId), maxItems};
        Record(kGetItemsAllUsersFiltered, filter);
        return StartQuery(kGetItemsAllUsersFiltered, filter, true, operation);
    }

    HRESULT GetInventoryItemAsync(MP::IInventoryItem* item, IAsyncOperation<MP::IInventoryItem*>** operation) override {
        if (HRESULT hr = TakeFault(kGetItem)) return hr;
        std::u16string productId;
        if (HRESULT hr = ProductIdOf(item, &productId); Failed(hr)) return hr;
        RecordMarketplaceCall(kGetItem, userId_, {productId}, {});
        if (!item || !operation) return E_POINTER;
        const uint32_t user = userId_;
        return StartOperation<MP::IInventoryItem*>(
            kGetItem,
            [user, productId] {
                WorkResult<MP::IInventoryItem*> r;
                const auto inventory = InventoryOf(user);
                auto owned = std::find_if(inventory.begin(), inventory.end(),
                                          [&](const auto& i) { return i.productId == productId; });
                r.hr = owned == inventory.end() ? E_NOT_FOUND : CreateInventoryItem(*owned, r.value.Put());
                return r;
            },
            operation);
    }

    HRESULT ConsumeInventoryItemAsync(MP::IInventoryItem* item, uint32_t quantity, HSTRING transactionId,
                                      IAsyncOperation<MP::IConsumeInventoryItemResult*>** operation) override {
        if (HRESULT hr = TakeFault(kConsume)) return hr;
        std::u16string productId;
        if (HRESULT hr = ProductIdOf(item, &productId); Failed(hr)) return hr;
        std::u16string transaction = ToU16(transactionId);
        RecordMarketplaceCall(kConsume, userId_, {productId, transaction}, {int64_t(quantity)});
        if (!item || !operation) return E_POINTER;
        if (quantity == 0 || transaction.empty()) return E_INVALIDARG;
        // Only a consumable carries a consumable URL; the item argument itself tells.
        ComPtr<IUriRuntimeClass> consumableUrl;
        if (HRESULT hr = item->get_ConsumableUrl(consumableUrl.Put()); Failed(hr)) return hr;
        if (!consumableUrl) return E_INVALIDARG;
        const uint32_t user = userId_;
        return StartOperation<MP::IConsumeInventoryItemResult*>(
            kConsume,
            [user, productId, quantity, transaction] {
                WorkResult<MP::IConsumeInventoryItemResult*> r;
                ConsumeResultData consumed;
                r.hr = ConsumeProduct(user, productId, quantity, transaction, &consumed);
                if (!Failed(r.hr)) r.hr = CreateConsumeInventoryItemResult(consumed, r.value.Put());
                return r;
            },
            operation);
    }

private:
    void Record(CallName method, const ItemFilter& f) {
        RecordMarketplaceCall(method, userId_, {f.containerId},
                              {int64_t(f.type), int64_t(f.state), int64_t(f.availability), int64_t(f.maxItems)});
    }

    HRESULT StartQuery(OperationName call, const ItemFilter& filter, bool allUsers, ItemsOperation** operation) {
        if (!operation) return E_POINTER;
        if (!ValidFilter(filter)) return E_INVALIDARG;
        const uint32_t user = userId_;
        // The users are read when the operation completes: whoever is signed in then.
        return StartOperation<IInventoryItemsResult*>(
            call,
            [user, filter, allUsers] {
                return allUsers ? Query(SignedInUsers(), filter) : Query(std::array{user}, filter);
            },
            operation);
    }

    uint32_t userId_;
};

}  // namespace

HRESULT CreateInventoryService(uint32_t userId, IInventoryService** service) {
    if (!service) return E_POINTER;
    *service = Make<InventoryService>(userId).Detach();
    return S_OK;
}

}  // namespace velmora::emu
