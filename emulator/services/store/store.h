// The emulated console store (Windows.Xbox.ApplicationModel.Store.Product): the five store
// screens, privilege checks with scripted results and resolutions, and the purchase event.
//
// The "Product" class is registered at load. Its activation factory answers IProductStatics (and
// IActivationFactory, whose ActivateInstance answers E_NOTIMPL: the class has statics only). A
// missing factory is the fault "RoGetActivationFactory:Windows.Xbox.ApplicationModel.Store.Product".
// Each member can be made to fail with the fault "IProductStatics.<member>", and each screen or
// check can be scripted with ScriptOutcome under the same name. docs/emulator-store.md describes
// the meanings, the grant rules and the receipt format.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "emulator/runtime/objects.h"
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

// ---- Grants of the redeem-code and subscription screens -------------------------------------------

// A single-use code that redeems the catalog product. The redeem screen redeems its offer argument
// when that is a code; with an empty offer, the user types the code set last.
EMU_API void SetRedeemCode(std::u16string_view code, std::u16string_view productId);
// The subscription screen shown for this product and privilege subscribes the user: the product is
// granted and the user's PurchaseRequired flag on the privilege is cleared.
EMU_API void SetSubscriptionGrant(std::u16string_view productId, uint32_t privilegeId);

// ---- The purchase event ---------------------------------------------------------------------------

// Delegates subscribed now through add_ProductPurchased.
EMU_API size_t SubscriberCount();
// Raises the purchase event for a signed-in user on a platform thread, as a purchase made outside
// the game would (nothing is granted). The receipt text is answered at once. E_INVALIDARG when no
// signed-in user has the id.
EMU_API HRESULT RaisePurchase(uint32_t userId, std::u16string_view productId, uint32_t quantity = 1,
                              std::u16string* receipt = nullptr);
// The receipt text of a purchase (see docs/emulator-store.md).
EMU_API std::u16string MakeReceipt(std::u16string_view transactionId, std::u16string_view source,
                                   std::u16string_view productId, uint32_t quantity, uint32_t userId);

// ---- Shared by the store's sources ---------------------------------------------------------------

namespace store_detail {
// Buys a catalog product for the user on the calling thread: grants it and raises the purchase
// event. A durable the user owns already is neither granted again nor announced (S_FALSE).
// kOfferNotAvailable when the product is not in the catalog.
HRESULT Purchase(uint32_t userId, std::u16string_view productId, uint32_t quantity, std::u16string_view source);
// The combined flags of the listed privileges, resolving what can be resolved when asked to.
PrivilegeCheckResult CheckPrivileges(uint32_t userId, const std::vector<uint32_t>& privilegeIds,
                                     bool attemptResolution);
void RecordPrivilegeRequest(PrivilegeRequest request);
// Clears the user's PurchaseRequired flag on the privilege.
void ClearPurchaseRequired(uint32_t userId, uint32_t privilegeId);
}  // namespace store_detail

}  // namespace velmora::emu
