// The emulated Xbox Live marketplace: the catalog, each user's inventory, and the inventory and
// catalog services a user's context hands out.
#pragma once

#include <chrono>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "emulator/runtime/known_calls.h"
#include "emulator/runtime/objects.h"
#include "platform/marketplace.h"

namespace velmora::emu {

using ::ABI::Microsoft::Xbox::Services::Marketplace::CatalogSortOrder;
using ::ABI::Microsoft::Xbox::Services::Marketplace::ICatalogService;
using ::ABI::Microsoft::Xbox::Services::Marketplace::IInventoryService;
using ::ABI::Microsoft::Xbox::Services::Marketplace::InventoryItemAvailability;
using ::ABI::Microsoft::Xbox::Services::Marketplace::InventoryItemState;
using ::ABI::Microsoft::Xbox::Services::Marketplace::MediaItemType;

struct CatalogImageData {
    std::u16string id;
    std::u16string purpose;
    std::vector<std::u16string> purposes;
    std::optional<std::u16string> resizeUrl;  // absent: the URI property is null
    uint32_t width = 0;
    uint32_t height = 0;

    bool operator==(const CatalogImageData&) const = default;
};

struct CatalogAvailabilityData {
    std::u16string contentId;
    std::u16string title;
    std::u16string description;
    std::u16string currencyCode;
    std::u16string displayPrice;
    std::u16string displayListPrice;
    std::u16string distributionType;
    std::u16string promotionalText;
    std::u16string signedOffer;  // what the purchase screen takes
    std::u16string offerId;
    std::u16string offerDisplayDataJson;
    uint8_t isPurchasable = 1;  // the platform's boolean byte, as stored
    double price = 0;
    double listPrice = 0;
    uint32_t consumableQuantity = 0;  // > 0: buying it raises a consumable balance by this much
    std::vector<std::u16string> acceptablePaymentInstrumentTypes;

    bool operator==(const CatalogAvailabilityData&) const = default;
};

struct CatalogItemData {
    std::u16string id;  // unique in the catalog
    std::u16string name;
    std::u16string reducedName;
    std::u16string description;
    std::u16string productId;  // unique in the catalog
    std::u16string sandboxId;
    MediaItemType mediaItemType = MediaItemType::Unknown;
    uint32_t titleId = 0;
    int64_t releaseDate = 0;                // platform ticks since 1601-01-01
    int64_t digitalReleaseDate = 0;         // platform ticks since 1601-01-01
    std::vector<std::u16string> parentIds;  // the items a browse of each parent lists this under
    std::vector<CatalogImageData> images;
    std::vector<CatalogAvailabilityData> availabilities;
    // What the sort orders rank by.
    uint64_t freeAndPaidCountDaily = 0;
    uint64_t paidCountAllTime = 0;
    uint64_t paidCountDaily = 0;
    double userRating = 0;

    bool operator==(const CatalogItemData&) const = default;
};

struct InventoryItemData {
    std::u16string productId;
    MediaItemType mediaItemType = MediaItemType::Unknown;
    InventoryItemState state = InventoryItemState::Enabled;
    bool available = true;
    uint32_t titleId = 0;
    std::optional<std::vector<std::u16string>> containerIds;  // absent: the property is null
    std::optional<std::u16string> url;
    std::optional<std::u16string> consumableUrl;  // present only for consumables
    int64_t rightsObtainedDate = 0;               // platform ticks since 1601-01-01
    int64_t startDate = 0;
    int64_t endDate = 0;
    uint32_t consumableBalance = 0;

    bool operator==(const InventoryItemData&) const = default;
};

// Scenario data. A duplicate catalog id or product id answers E_INVALIDARG and adds nothing.
EMU_API HRESULT AddCatalogItem(const CatalogItemData& item);
EMU_API HRESULT AddInventoryItem(uint32_t userId, const InventoryItemData& item);
EMU_API std::optional<CatalogItemData> FindCatalogItem(std::u16string_view productId);
// The catalog item and availability whose signed offer this is.
EMU_API std::optional<std::pair<CatalogItemData, CatalogAvailabilityData>> FindOffer(std::u16string_view signedOffer);
// The user's inventory as it stands now. Every read of the inventories (this, the services'
// queries, Inventories) first marks Expired each Enabled Subscription item whose end date the
// clock (emulator/services/clock.h) has passed.
EMU_API std::vector<InventoryItemData> InventoryOf(uint32_t userId);
// Every user's inventory that holds an item, by user id (signed in or not).
EMU_API std::vector<std::pair<uint32_t, std::vector<InventoryItemData>>> Inventories();
// The same in place, for as long as the returned lock is held (which blocks every change to the
// marketplace's data; the call log has its own lock). Null for a user who owns nothing.
EMU_API std::unique_lock<StateLock> LockInventories();
EMU_API const std::vector<InventoryItemData>* InventoryInPlace(uint32_t userId);
// How long a granted Subscription product runs: its end date is its start date plus this.
inline constexpr std::chrono::days kSubscriptionPeriod{30};
// Grants a catalog product, dated by the clock: a durable adds an inventory item, once (an owned
// durable answers S_FALSE and changes nothing, but an Expired subscription is renewed: granted
// afresh); a consumable raises the user's balance by `quantity`. E_INVALIDARG for a product not in
// the catalog.
EMU_API HRESULT GrantProduct(uint32_t userId, std::u16string_view productId, uint32_t quantity);
// Takes back a grant (a refund): a durable leaves the inventory (*taken = 1); a consumable's balance
// goes down by `quantity`, never below 0 (*taken = what it went down by). E_NOT_FOUND when the user
// does not own the product.
EMU_API HRESULT RevokeProduct(uint32_t userId, std::u16string_view productId, uint32_t quantity, uint32_t* taken);

// The catalog as it stands now, in the order the items were added.
EMU_API std::vector<CatalogItemData> CatalogItems();
// Replaces the user's inventory item that has the same product id (a state change, a new
// balance); E_NOT_FOUND when the user owns no such item, E_INVALIDARG for malformed data.
EMU_API HRESULT UpdateInventoryItem(uint32_t userId, const InventoryItemData& item);

// A consumption the balance does not cover fails with HTTP 409 Conflict as the Xbox Live layer
// reports it (HTTP_E_STATUS_CONFLICT): the request conflicts with the item's current balance.
inline constexpr HRESULT E_CONSUMABLE_BALANCE_SHORT = static_cast<HRESULT>(0x80190199);

struct ConsumeResultData {
    std::u16string consumableUrl;
    uint32_t consumableBalance = 0;  // after the consumption
    std::u16string transactionId;
};
// Lowers the user's balance of a consumable by `quantity`, and records it in the ledger
// (emulator/services/ledger.h). A transaction id is processed once per user: a repeat answers the
// first result and consumes nothing more. E_INVALIDARG for a quantity of
// 0, an empty transaction id or an item without a consumable URL; E_NOT_FOUND when the user does
// not own the product; E_CONSUMABLE_BALANCE_SHORT when the balance is lower than `quantity` (a
// failed consumption records nothing, so the transaction can be tried again).
EMU_API HRESULT ConsumeProduct(uint32_t userId, std::u16string_view productId, uint32_t quantity,
                               std::u16string_view transactionId, ConsumeResultData* result);

// One call a marketplace service received: what a game really asked for.
struct MarketplaceCall {
    std::string method;                 // "IInventoryService.ConsumeInventoryItemAsync"
    uint32_t userId = 0;                // the user the service belongs to
    std::vector<std::u16string> texts;  // string arguments in order; a list argument adds each element
    std::vector<int64_t> numbers;       // numeric and enumeration arguments in order
};
// The last 1024 calls received since the last reset, oldest first (docs/emulator-marketplace.md lists what
// each method records).
EMU_API std::vector<MarketplaceCall> MarketplaceCalls();
// Adds a call to the log (each emulated service records the calls it receives).
EMU_API void RecordMarketplaceCall(CallName method, uint32_t userId, std::initializer_list<std::u16string_view> texts,
                                   std::initializer_list<int64_t> numbers);
EMU_API void RecordMarketplaceCall(CallName method, uint32_t userId, const std::vector<std::u16string>& texts);

// The most product ids one details query takes.
inline constexpr uint32_t kMaxCatalogDetailsIds = 10;

// ---- Records ------------------------------------------------------------------------------------
// Snapshots of the data at creation, each with one reference for the caller. A URL text must be an
// absolute URI (a scheme, then ':'); anything else answers E_INVALIDARG, like the platform's Uri.

using ::ABI::Microsoft::Xbox::Services::Marketplace::IBrowseCatalogResult;
using ::ABI::Microsoft::Xbox::Services::Marketplace::ICatalogItem;
using ::ABI::Microsoft::Xbox::Services::Marketplace::ICatalogItemDetails;
using ::ABI::Microsoft::Xbox::Services::Marketplace::IConsumeInventoryItemResult;
using ::ABI::Microsoft::Xbox::Services::Marketplace::IInventoryItem;
using ::ABI::Microsoft::Xbox::Services::Marketplace::IInventoryItemsResult;
using ::ABI::Windows::Foundation::IUriRuntimeClass;

// True for an absolute URI text: a scheme (a letter, then letters, digits, '+', '-', '.') and ':'.
EMU_API bool IsAbsoluteUri(std::u16string_view text);
EMU_API HRESULT CreateUri(std::u16string_view absoluteUri, IUriRuntimeClass** uri);
EMU_API HRESULT CreateInventoryItem(const InventoryItemData& data, IInventoryItem** item);
EMU_API HRESULT CreateInventoryItemsResult(const std::vector<InventoryItemData>& items, uint32_t totalItems,
                                           IInventoryItemsResult** result);
// A query's result of items in the users' inventories, whose URLs were checked when they were added.
EMU_API HRESULT CreateInventoryQueryResult(const std::vector<const InventoryItemData*>& items, uint32_t totalItems,
                                           IInventoryItemsResult** result);
EMU_API HRESULT CreateConsumeInventoryItemResult(const ConsumeResultData& data, IConsumeInventoryItemResult** result);
EMU_API HRESULT CreateCatalogItem(const CatalogItemData& data, ICatalogItem** item);
EMU_API HRESULT CreateCatalogItemDetails(const CatalogItemData& data, ICatalogItemDetails** details);
EMU_API HRESULT CreateBrowseCatalogResult(const std::vector<CatalogItemData>& items, uint32_t totalCount,
                                          IBrowseCatalogResult** result);

// The services a user's context hands out, each with one reference for the caller.
EMU_API HRESULT CreateInventoryService(uint32_t userId, IInventoryService** service);
EMU_API HRESULT CreateCatalogService(uint32_t userId, ICatalogService** service);

}  // namespace velmora::emu
