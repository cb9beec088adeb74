// The emulated console store (Windows.Xbox.ApplicationModel.Store.Product): the five store
// screens (which can be held open until a test decides them), privilege checks with scripted
// results and resolutions, and the purchase event. What the store grants is recorded in the
// ledger (emulator/services/ledger.h).
//
// The "Product" class is registered at load. Its activation factory answers IProductStatics (and
// IActivationFactory, whose ActivateInstance answers E_NOTIMPL: the class has statics only). A
// missing factory is the fault "RoGetActivationFactory:Windows.Xbox.ApplicationModel.Store.Product".
// Each member can be made to fail with the fault "IProductStatics.<member>", and each screen or
// check can be scripted with ScriptOutcome under the same name. docs/emulator-store.md describes
// the meanings, the grant rules and the receipt format.
#pragma once

#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/runtime/objects.h"
#include "emulator/services/ledger.h"
#include "platform/store.h"

namespace velmora::emu {

using ::ABI::Windows::Xbox::ApplicationModel::Store::PrivilegeCheckResult;
using ::ABI::Windows::Xbox::ApplicationModel::Store::ProductItemTypes;

// The failure of a purchase screen shown for an offer that is not in the catalog or not purchasable.
inline constexpr HRESULT kOfferNotAvailable = static_cast<HRESULT>(0x803F6107);

// ---- What the platform received ------------------------------------------------------------------

// One started screen, as its arguments arrived. Fields a screen does not take stay empty or zero.
struct ScreenRequest {
    std::string call;  // "IProductStatics.ShowPurchaseAsync", ...
    uint32_t userId = 0;
    std::u16string offer;      // ShowPurchaseAsync, ShowRedeemCodeAsync
    std::u16string productId;  // ShowDetailsAsync, ShowSubscriptionAsync; the input product of ShowMarketplaceAsync
    uint32_t inputTypes = 0;   // ShowMarketplaceAsync
    uint32_t resultTypes = 0;  // ShowMarketplaceAsync
    uint32_t privilegeId = 0;  // ShowSubscriptionAsync
};

// One started privilege check (CheckPrivilegeAsync lists its one id).
struct PrivilegeRequest {
    std::string call;  // "IProductStatics.CheckPrivilegeAsync" or "IProductStatics.CheckPrivilegesAsync"
    uint32_t userId = 0;
    std::vector<uint32_t> privilegeIds;  // in the order given, repeats kept
    uint8_t attemptResolution = 0;       // the boolean byte as it arrived
    std::u16string friendlyDisplay;      // a null string arrives as the empty text
};

// The last 1024 starts that passed the argument checks since the last Reset, oldest first; a start that
// fails by an injected fault before reading its arguments is not recorded.
EMU_API std::vector<ScreenRequest> ScreenRequests();
EMU_API std::vector<PrivilegeRequest> PrivilegeRequests();

// ---- Privileges -----------------------------------------------------------------------------------

// The flags a check answers for the user's privilege; every privilege is NoIssue until set.
EMU_API void SetPrivilege(uint32_t userId, uint32_t privilegeId, PrivilegeCheckResult result);
EMU_API PrivilegeCheckResult PrivilegeOf(uint32_t userId, uint32_t privilegeId);
// A check with attemptResolution set resolves the user's PurchaseRequired privilege by buying the
// product: the product is granted (purchase event included) and the flag is cleared. Used once.
EMU_API void SetPrivilegeResolvable(uint32_t userId, uint32_t privilegeId, std::u16string_view productId);

// A user's privilege as it stands: its flags, and the product that resolves it if one still can.
struct Privilege {
    uint32_t userId = 0;
    uint32_t privilegeId = 0;
    PrivilegeCheckResult result = PrivilegeCheckResult::NoIssue;
    std::optional<std::u16string> resolveWithProduct;  // SetPrivilegeResolvable's product, not used yet

    bool operator==(const Privilege&) const = default;
};
// Every privilege set since the last reset, by user and privilege id. A resolution is listed only
// while its privilege has PurchaseRequired, the one state in which a check can use it.
EMU_API std::vector<Privilege> Privileges();

// ---- Grants of the redeem-code and subscription screens -------------------------------------------

struct RedeemCode {
    std::u16string code;
    std::u16string productId;
    bool redeemed = false;  // used already: the screen completes without a grant

    bool operator==(const RedeemCode&) const = default;
};
// A single-use code that redeems the catalog product (given as `redeemed`, one used already). The
// redeem screen redeems its offer argument when that is a code; with an empty offer, the user types
// the code set last.
EMU_API void SetRedeemCode(std::u16string_view code, std::u16string_view productId, bool redeemed = false);
// The codes set since the last reset, redeemed ones included; the code set last comes last.
EMU_API std::vector<RedeemCode> RedeemCodes();

struct SubscriptionGrant {
    std::u16string productId;
    uint32_t privilegeId = 0;

    bool operator==(const SubscriptionGrant&) const = default;
};
// The subscription screen shown for this product and privilege subscribes the user: the product is
// granted and the user's PurchaseRequired flag on the privilege is cleared.
EMU_API void SetSubscriptionGrant(std::u16string_view productId, uint32_t privilegeId);
EMU_API std::vector<SubscriptionGrant> SubscriptionGrants();

// ---- Screens that wait for a decision -------------------------------------------------------------

enum class ScreenKind { Purchase, RedeemCode, Subscription, Details, Marketplace };
inline constexpr std::string_view kScreenKindNames[] = {"Purchase", "RedeemCode", "Subscription", "Details",
                                                        "Marketplace"};
static_assert(std::size(kScreenKindNames) == size_t(ScreenKind::Marketplace) + 1);

// A screen held open, waiting for a decision.
struct OpenScreen {
    uint64_t id = 0;  // from 1 after each reset
    uint32_t userId = 0;
    ScreenKind kind = ScreenKind::Purchase;
    // The product the screen is for: the signed offer's (purchase), the code's (redeem code; empty for
    // a code the store does not know), the argument (subscription, details, marketplace).
    std::u16string productId;
    std::u16string offer;  // the signed offer or code as given (purchase, redeem code)

    bool operator==(const OpenScreen&) const = default;
};

// How a test (or a person) decides an open screen.
enum class ScreenDecision {
    Purchase,  // the user goes through: the screen does what it does when it completes by itself
    Cancel,    // the user backs out: Canceled, with the given error code; nothing is granted
    Fail,      // the store fails: Error, with the given failure code; nothing is granted
};
inline constexpr std::string_view kScreenDecisionNames[] = {"Purchase", "Cancel", "Fail"};
static_assert(std::size(kScreenDecisionNames) == size_t(ScreenDecision::Fail) + 1);

// While holding, every screen whose outcome is Complete (no script, or a scripted Complete) stays
// open, its action Started, until DecideScreen ends it; other scripted outcomes happen as scripted.
// Turning holding off leaves the open screens open. Reset() stops holding and cancels every open
// screen (Canceled, error code 0, nothing recorded).
EMU_API void HoldScreens(bool hold);
EMU_API bool HoldingScreens();
// The screens open now, oldest first.
EMU_API std::vector<OpenScreen> OpenScreens();
// Ends an open screen on a platform thread, exactly as the scripted outcome of the same kind would
// (Complete, Cancel with hr, Fail with hr): the grant, the purchase event and the ledger entry
// follow, then the action's completion. Throws std::invalid_argument, and changes nothing, for a
// screen that is not open, a decision of no known kind, a Fail without a failure code (high bit
// set) or a Purchase with a code other than 0.
EMU_API void DecideScreen(uint64_t screenId, ScreenDecision decision, HRESULT hr = S_OK);

// ---- The purchase event ---------------------------------------------------------------------------

// Delegates subscribed now through add_ProductPurchased.
EMU_API size_t SubscriberCount();
// Raises the purchase event for a signed-in user on a platform thread, as a purchase made outside
// the game would (nothing is granted; the ledger records it as Raised, Notified). The receipt text
// is answered at once. E_INVALIDARG when no signed-in user has the id.
EMU_API HRESULT RaisePurchase(uint32_t userId, std::u16string_view productId, uint32_t quantity = 1,
                              std::u16string* receipt = nullptr);
// Buys a catalog product for a signed-in user as a purchase made outside the game would (on the
// console's dashboard or another device): on a platform thread the product is granted, the ledger
// records a Purchase and the purchase event is raised, as the purchase screen does (a durable the
// user owns already: nothing). E_INVALIDARG when no signed-in user has the id, kOfferNotAvailable
// when the product is not in the catalog; nothing happens then.
EMU_API HRESULT BuyOutsideTheGame(uint32_t userId, std::u16string_view productId, uint32_t quantity = 1);
// The receipt text of a purchase (see docs/emulator-store.md); its transaction id is the ledger
// entry's (ReceiptId).
EMU_API std::u16string MakeReceipt(std::u16string_view transactionId, std::u16string_view source,
                                   std::u16string_view productId, uint32_t quantity, uint32_t userId);

// ---- Shared by the store's sources ---------------------------------------------------------------

namespace store_detail {
// Buys a catalog product for the user on the calling thread: grants it, records it in the ledger
// and raises the purchase event. A durable the user owns already is neither granted again nor
// recorded nor announced (S_FALSE). kOfferNotAvailable when the product is not in the catalog. A
// quantity of 0 takes the product's own (its first consumable quantity, or 1).
HRESULT Purchase(uint32_t userId, std::u16string_view productId, uint32_t quantity, TransactionSource source);
// The combined flags of the listed privileges, resolving what can be resolved when asked to.
PrivilegeCheckResult CheckPrivileges(uint32_t userId, const std::vector<uint32_t>& privilegeIds,
                                     bool attemptResolution);
void RecordPrivilegeRequest(PrivilegeRequest request);
// Clears the user's PurchaseRequired flag on the privilege.
void ClearPurchaseRequired(uint32_t userId, uint32_t privilegeId);
}  // namespace store_detail

}  // namespace velmora::emu
