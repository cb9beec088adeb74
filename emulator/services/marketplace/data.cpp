// The marketplace's state: the catalog, each user's inventory, the processed consumption
// transactions and the log of service calls, behind one mutex and emptied by Reset().
#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <stdexcept>

#include "emulator/runtime/recent_calls.h"
#include "emulator/runtime/reset.h"
#include "emulator/services/clock.h"
#include "emulator/services/ledger.h"
#include "emulator/services/marketplace/marketplace.h"

namespace velmora::emu {
namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

// A call as the log keeps it: the method by its place among the known calls, so that logging it
// copies no name.
struct LoggedCall {
    size_t method = 0;  // CallName::Index()
    uint32_t userId = 0;
    std::vector<std::u16string> texts;
    uint32_t numberCount = 0;
    std::array<int64_t, 5> numbers{};  // the first numberCount; a catalog browse has the most
};

struct Marketplace {
    StateLock mutex;
    std::vector<CatalogItemData> catalog;
    std::map<uint32_t, std::vector<InventoryItemData>> inventories;
    std::map<std::pair<uint32_t, std::u16string>, ConsumeResultData> transactions;
    // No Enabled subscription ends before this (a bound, lowered as items are added): until the clock
    // passes it, a read has no subscription to expire and does not look.
    int64_t nextExpiry = kNever;
    // Its own lock: the services record every call, while the workers read the data.
    StateLock callsMutex;
    RecentCalls<LoggedCall> calls;
};

Marketplace& State() {
    static Marketplace state;
    return state;
}

const bool resetRegistered = [] {
    OnReset([] {
        Marketplace& m = State();
        std::lock_guard lock(m.mutex);
        m.catalog.clear();
        m.inventories.clear();
        m.transactions.clear();
        m.nextExpiry = kNever;
        std::lock_guard callsLock(m.callsMutex);
        m.calls.Clear();
    });
    return true;
}();

// The end date of a right that never ends: 9999-12-31 23:59:59.9999999.
constexpr int64_t kNoEnd = kLastTicks;

bool Expires(const InventoryItemData& item) {
    return item.mediaItemType == MediaItemType::Subscription && item.state == InventoryItemState::Enabled;
}

// Lowers the bound of the next expiry for an item added or changed; the caller holds m.mutex.
void Track(Marketplace& m, const InventoryItemData& item) {
    if (Expires(item)) m.nextExpiry = std::min(m.nextExpiry, item.endDate);
}

// An Enabled subscription whose end has passed is Expired from the next read on; the caller holds
// m.mutex.
void ExpireEnded(Marketplace& m) {
    if (m.nextExpiry == kNever) return;
    const int64_t now = NowTicks();
    if (now < m.nextExpiry) return;
    m.nextExpiry = kNever;
    for (auto& [user, items] : m.inventories)
        for (auto& item : items) {
            if (!Expires(item)) continue;
            if (item.endDate <= now) {
                item.state = InventoryItemState::Expired;
            } else {
                m.nextExpiry = std::min(m.nextExpiry, item.endDate);
            }
        }
}

bool ValidUrl(const std::optional<std::u16string>& url) { return !url || IsAbsoluteUri(*url); }

bool KnownMediaType(MediaItemType t) { return t >= MediaItemType::Unknown && t <= MediaItemType::All; }

// An item's own state; All is a query filter, never the state of an item.
bool ItemState(InventoryItemState s) {
    return s >= InventoryItemState::Unknown && s <= InventoryItemState::Canceled && s != InventoryItemState::All;
}

bool ValidItem(const InventoryItemData& item) {
    return !item.productId.empty() && KnownMediaType(item.mediaItemType) && ItemState(item.state) &&
           ValidUrl(item.url) && ValidUrl(item.consumableUrl);
}

InventoryItemData* FindOwned(std::vector<InventoryItemData>& inventory, std::u16string_view productId) {
    auto it = std::find_if(inventory.begin(), inventory.end(), [&](auto& i) { return i.productId == productId; });
    return it == inventory.end() ? nullptr : &*it;
}

const CatalogItemData* FindListed(const std::vector<CatalogItemData>& catalog, std::u16string_view productId) {
    auto it = std::find_if(catalog.begin(), catalog.end(), [&](auto& c) { return c.productId == productId; });
    return it == catalog.end() ? nullptr : &*it;
}

// The inventory item a grant of a catalog product creates.
InventoryItemData GrantedItem(const CatalogItemData& product, uint32_t quantity) {
    InventoryItemData item;
    item.productId = product.productId;
    item.mediaItemType = product.mediaItemType;
    item.titleId = product.titleId;
    item.url = u"https://inventory.xboxlive.com/users/me/inventory/" + product.productId;
    if (product.mediaItemType == MediaItemType::GameConsumable) {
        item.consumableUrl = u"https://inventory.xboxlive.com/users/me/consumables/" + product.productId;
        item.consumableBalance = quantity;
    }
    item.rightsObtainedDate = item.startDate = NowTicks();
    const int64_t period = std::chrono::duration_cast<std::chrono::microseconds>(kSubscriptionPeriod).count() * 10;
    const bool subscription = product.mediaItemType == MediaItemType::Subscription;
    item.endDate = subscription && item.startDate <= kNoEnd - period ? item.startDate + period : kNoEnd;
    return item;
}

}  // namespace

HRESULT AddCatalogItem(const CatalogItemData& item) {
    if (item.id.empty() || item.productId.empty() || !KnownMediaType(item.mediaItemType)) return E_INVALIDARG;
    for (const auto& image : item.images)
        if (!ValidUrl(image.resizeUrl)) return E_INVALIDARG;
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    for (const auto& c : m.catalog)
        if (c.id == item.id || c.productId == item.productId) return E_INVALIDARG;
    m.catalog.push_back(item);
    return S_OK;
}

HRESULT AddInventoryItem(uint32_t userId, const InventoryItemData& item) {
    if (!ValidItem(item)) return E_INVALIDARG;
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    auto& inventory = m.inventories[userId];
    if (FindOwned(inventory, item.productId)) return E_INVALIDARG;
    inventory.push_back(item);
    Track(m, item);
    return S_OK;
}

HRESULT UpdateInventoryItem(uint32_t userId, const InventoryItemData& item) {
    if (!ValidItem(item)) return E_INVALIDARG;
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    InventoryItemData* owned = FindOwned(m.inventories[userId], item.productId);
    if (!owned) return E_NOT_FOUND;
    *owned = item;
    Track(m, item);
    return S_OK;
}

std::optional<CatalogItemData> FindCatalogItem(std::u16string_view productId) {
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    const CatalogItemData* item = FindListed(m.catalog, productId);
    return item ? std::optional(*item) : std::nullopt;
}

std::optional<std::pair<CatalogItemData, CatalogAvailabilityData>> FindOffer(std::u16string_view signedOffer) {
    if (signedOffer.empty()) return std::nullopt;
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    for (const auto& item : m.catalog)
        for (const auto& availability : item.availabilities)
            if (availability.signedOffer == signedOffer) return std::pair(item, availability);
    return std::nullopt;
}

std::vector<CatalogItemData> CatalogItems() {
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    return m.catalog;
}

std::vector<InventoryItemData> InventoryOf(uint32_t userId) {
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    ExpireEnded(m);
    auto it = m.inventories.find(userId);
    return it == m.inventories.end() ? std::vector<InventoryItemData>{} : it->second;
}

std::unique_lock<StateLock> LockInventories() {
    Marketplace& m = State();
    std::unique_lock lock(m.mutex);
    ExpireEnded(m);
    return lock;
}

std::vector<std::pair<uint32_t, std::vector<InventoryItemData>>> Inventories() {
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    ExpireEnded(m);
    std::vector<std::pair<uint32_t, std::vector<InventoryItemData>>> out;
    for (const auto& [user, items] : m.inventories)
        if (!items.empty()) out.emplace_back(user, items);
    return out;
}

const std::vector<InventoryItemData>* InventoryInPlace(uint32_t userId) {
    Marketplace& m = State();
    auto it = m.inventories.find(userId);
    return it == m.inventories.end() ? nullptr : &it->second;
}

HRESULT GrantProduct(uint32_t userId, std::u16string_view productId, uint32_t quantity) {
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    const CatalogItemData* product = FindListed(m.catalog, productId);
    if (!product) return E_INVALIDARG;
    auto& inventory = m.inventories[userId];
    InventoryItemData* owned = FindOwned(inventory, productId);
    if (!owned) {
        Track(m, inventory.emplace_back(GrantedItem(*product, quantity)));
    } else if (owned->consumableUrl) {
        // A balance saturates rather than wrapping around.
        owned->consumableBalance =
            uint32_t(std::min<uint64_t>(uint64_t(owned->consumableBalance) + quantity, UINT32_MAX));
    } else if (owned->mediaItemType == MediaItemType::Subscription && owned->state == InventoryItemState::Expired) {
        Track(m, *owned = GrantedItem(*product, quantity));  // a renewal: a new period from now
    } else {
        return S_FALSE;  // an owned durable is not granted again
    }
    return S_OK;
}

HRESULT RevokeProduct(uint32_t userId, std::u16string_view productId, uint32_t quantity, uint32_t* taken) {
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    auto& inventory = m.inventories[userId];
    InventoryItemData* owned = FindOwned(inventory, productId);
    if (!owned) return E_NOT_FOUND;
    if (owned->consumableUrl) {
        *taken = std::min(owned->consumableBalance, quantity);
        owned->consumableBalance -= *taken;
    } else {
        *taken = 1;
        inventory.erase(inventory.begin() + (owned - inventory.data()));
    }
    return S_OK;
}

HRESULT ConsumeProduct(uint32_t userId, std::u16string_view productId, uint32_t quantity,
                       std::u16string_view transactionId, ConsumeResultData* result) {
    if (!result) return E_POINTER;
    if (quantity == 0 || transactionId.empty()) return E_INVALIDARG;
    Marketplace& m = State();
    std::lock_guard lock(m.mutex);
    const auto key = std::pair(userId, std::u16string(transactionId));
    if (auto done = m.transactions.find(key); done != m.transactions.end()) {
        *result = done->second;
        return S_OK;
    }
    InventoryItemData* owned = FindOwned(m.inventories[userId], productId);
    if (!owned) return E_NOT_FOUND;
    if (!owned->consumableUrl) return E_INVALIDARG;
    if (owned->consumableBalance < quantity) return E_CONSUMABLE_BALANCE_SHORT;
    owned->consumableBalance -= quantity;
    *result = ConsumeResultData{*owned->consumableUrl, owned->consumableBalance, std::u16string(transactionId)};
    m.transactions.emplace(key, *result);
    Transaction consumed;
    consumed.userId = userId;
    consumed.productId = std::u16string(productId);
    consumed.quantity = quantity;
    consumed.source = TransactionSource::Consumption;
    consumed.outcome = TransactionOutcome::Consumed;
    consumed.transactionId = std::u16string(transactionId);
    RecordTransaction(std::move(consumed));
    return S_OK;
}

namespace {
// Assigns into the reused slot, so its strings and vectors keep their storage.
template <class Texts>
void Record(CallName method, uint32_t userId, const Texts& texts, std::initializer_list<int64_t> numbers) {
    Marketplace& m = State();
    std::lock_guard lock(m.callsMutex);
    LoggedCall& call = m.calls.Next();
    call.method = method.Index();
    call.userId = userId;
    if (!call.texts.empty() || !std::empty(texts)) {
        call.texts.resize(texts.size());
        std::copy(texts.begin(), texts.end(), call.texts.begin());
    }
    if (numbers.size() > call.numbers.size())
        throw std::length_error("a call logged with more numbers than a log entry holds");
    call.numberCount = uint32_t(numbers.size());
    for (uint32_t i = 0; const int64_t n : numbers) call.numbers[i++] = n;
}
}  // namespace

void RecordMarketplaceCall(CallName method, uint32_t userId, std::initializer_list<std::u16string_view> texts,
                           std::initializer_list<int64_t> numbers) {
    Record(method, userId, texts, numbers);
}

void RecordMarketplaceCall(CallName method, uint32_t userId, const std::vector<std::u16string>& texts) {
    Record(method, userId, texts, {});
}

std::vector<MarketplaceCall> MarketplaceCalls() {
    Marketplace& m = State();
    std::vector<LoggedCall> logged;
    {
        std::lock_guard lock(m.callsMutex);
        logged = m.calls.Snapshot();
    }
    std::vector<MarketplaceCall> calls;
    calls.reserve(logged.size());
    for (auto& c : logged)
        calls.push_back({std::string(kKnownCalls[c.method].name), c.userId, std::move(c.texts),
                         std::vector(c.numbers.begin(), c.numbers.begin() + c.numberCount)});
    return calls;
}

}  // namespace velmora::emu
