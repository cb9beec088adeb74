// The emulated "Product" class of the console store: its statics (the five screens, the two
// privilege checks, the purchase event), purchases and their receipts, and the scripted grants of
// the redeem-code and subscription screens.
#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "emulator/runtime/async.h"
#include "emulator/runtime/faults.h"
#include "emulator/runtime/recent_calls.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/vectors.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/services/component.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/store/store.h"
#include "emulator/services/users.h"

namespace velmora::emu {
namespace {

using ::ABI::Windows::Xbox::ApplicationModel::Store::IProductPurchasedEventArgs;
using ::ABI::Windows::Xbox::ApplicationModel::Store::IProductPurchasedEventHandler;
using ::ABI::Windows::Xbox::ApplicationModel::Store::IProductStatics;
using ::ABI::Windows::Xbox::ApplicationModel::Store::RuntimeClass_Product;

constexpr char kShowPurchase[] = "IProductStatics.ShowPurchaseAsync";
constexpr char kShowDetails[] = "IProductStatics.ShowDetailsAsync";
constexpr char kShowMarketplace[] = "IProductStatics.ShowMarketplaceAsync";
constexpr char kShowRedeemCode[] = "IProductStatics.ShowRedeemCodeAsync";
constexpr char kShowSubscription[] = "IProductStatics.ShowSubscriptionAsync";
constexpr char kCheckPrivilege[] = "IProductStatics.CheckPrivilegeAsync";
constexpr char kCheckPrivileges[] = "IProductStatics.CheckPrivilegesAsync";

struct StoreState {
    std::mutex mutex;
    std::map<int64_t, ComPtr<IProductPurchasedEventHandler>> subscribers;  // by registration token
    int64_t nextToken = 1;
    uint64_t nextTransaction = 1;
    RecentCalls<ScreenRequest> screens;
    std::map<std::u16string, std::u16string, std::less<>> redeemCodes;  // code -> product id
    std::u16string lastCode;
    std::set<std::pair<std::u16string, uint32_t>> subscriptionGrants;  // (product id, privilege id)
};

StoreState& State() {
    static StoreState state;
    return state;
}

const bool resetRegistered = [] {
    OnReset([] {
        // The delegates belong to a plugin module that may unload next: they are released here,
        // outside the lock, because their release runs the plugin's code.
        std::map<int64_t, ComPtr<IProductPurchasedEventHandler>> dropped;
        StoreState& s = State();
        {
            std::lock_guard lock(s.mutex);
            if (!ResetKeepsSubscriptions()) {
                dropped.swap(s.subscribers);
                s.nextToken = 1;
            }
            s.nextTransaction = 1;
            s.screens.Clear();
            s.redeemCodes.clear();
            s.lastCode.clear();
            s.subscriptionGrants.clear();
        }
    });
    return true;
}();

// ---- receipts

void AppendAttribute(std::u16string& out, std::u16string_view name, std::u16string_view value) {
    out += u' ';
    out += name;
    out += u"=\"";
    for (char16_t c : value) {
        switch (c) {
            case u'&':
                out += u"&amp;";
                break;
            case u'<':
                out += u"&lt;";
                break;
            case u'>':
                out += u"&gt;";
                break;
            case u'"':
                out += u"&quot;";
                break;
            default:
                out += c;
        }
    }
    out += u'"';
}

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

std::u16string NextTransactionId() {
    uint64_t n = 0;
    {
        std::lock_guard lock(State().mutex);
        n = State().nextTransaction++;
    }
    char text[40];
    std::snprintf(text, sizeof text, "00000000-0000-0000-0000-%012llX", static_cast<unsigned long long>(n));
    return Ascii(text);
}

// The signed-in user's Xbox user id and gamertag, empty when no signed-in user has the id.
std::pair<std::u16string, std::u16string> UserNames(uint32_t userId) {
    const int32_t index = FindUser(userId);
    ComPtr<IUser> user;
    if (index < 0 || Failed(GetUser(uint32_t(index), user.Put()))) return {};
    HStringOwner xuid, gamertag;
    user->get_XboxUserId(xuid.Put());
    user->get_Gamertag(gamertag.Put());
    return {ToU16(xuid.Get()), ToU16(gamertag.Get())};
}

std::u16string MakeReceipt(std::u16string_view source, std::u16string_view productId, uint32_t quantity,
                           uint32_t userId) {
    const auto [xuid, gamertag] = UserNames(userId);
    std::u16string out = u"<Receipt";
    AppendAttribute(out, u"Version", u"1.0");
    AppendAttribute(out, u"TransactionId", NextTransactionId());
    AppendAttribute(out, u"Source", source);
    AppendAttribute(out, u"ProductId", productId);
    AppendAttribute(out, u"Quantity", Ascii(std::to_string(quantity).c_str()));
    AppendAttribute(out, u"UserId", Ascii(std::to_string(userId).c_str()));
    AppendAttribute(out, u"XboxUserId", xuid);
    AppendAttribute(out, u"Gamertag", gamertag);
    out += u"/>";
    return out;
}

// ---- the purchase event

class ProductPurchasedEventArgs : public RuntimeObject<ProductPurchasedEventArgs, IProductPurchasedEventArgs> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Xbox.ApplicationModel.Store.ProductPurchasedEventArgs";
    explicit ProductPurchasedEventArgs(std::u16string_view receipt) : receipt_(MakeString(receipt)) {}
    HRESULT get_Receipt(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IProductPurchasedEventArgs.get_Receipt")) return hr;
        if (!value) return E_POINTER;
        return WindowsDuplicateString(receipt_.Get(), value);
    }

private:
    HStringOwner receipt_;  // held for the object's life: readers borrow its buffer
};

// Invokes every subscribed delegate on the calling thread with one args object, outside the lock.
void DeliverPurchase(std::u16string_view receipt) {
    std::vector<ComPtr<IProductPurchasedEventHandler>> handlers;
    {
        std::lock_guard lock(State().mutex);
        for (const auto& [token, handler] : State().subscribers) handlers.push_back(handler);
    }
    if (handlers.empty()) return;
    auto args = Make<ProductPurchasedEventArgs>(receipt);
    for (const auto& handler : handlers) handler->Invoke(args.Get());
}

// The quantity a grant without an explicit one uses: the product's first consumable quantity, or 1.
uint32_t DefaultQuantity(const CatalogItemData& item) {
    for (const auto& availability : item.availabilities)
        if (availability.consumableQuantity > 0) return availability.consumableQuantity;
    return 1;
}

// ---- the statics

HRESULT UserIdOf(IUser* user, uint32_t* id) {
    if (!user) return E_POINTER;
    return user->get_Id(id);
}

HRESULT StartScreen(OperationName call, ScreenRequest request, std::function<HRESULT()> work, IAsyncAction** action) {
    if (!action) return E_POINTER;
    request.call = call.Name();
    {
        std::lock_guard lock(State().mutex);
        State().screens.Record(std::move(request));
    }
    return StartAction(call, std::move(work), action);
}

HRESULT StartCheck(OperationName call, PrivilegeRequest request, IAsyncOperation<PrivilegeCheckResult>** operation) {
    if (!operation) return E_POINTER;
    request.call = call.Name();
    const uint32_t userId = request.userId;
    const std::vector<uint32_t> ids = request.privilegeIds;
    const bool attemptResolution = request.attemptResolution != 0;
    store_detail::RecordPrivilegeRequest(std::move(request));
    return StartOperation<PrivilegeCheckResult>(
        call,
        [userId, ids, attemptResolution] {
            return WorkResult<PrivilegeCheckResult>{S_OK,
                                                    store_detail::CheckPrivileges(userId, ids, attemptResolution)};
        },
        operation);
}

// The factory is the statics: the plugin asks for IProductStatics directly.
class ProductStatics : public RuntimeObject<ProductStatics, IActivationFactory, IProductStatics> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Xbox.ApplicationModel.Store.Product";

    HRESULT ActivateInstance(IInspectable** instance) override {
        if (instance) *instance = nullptr;
        return E_NOTIMPL;  // the class has statics only
    }

    HRESULT ShowPurchaseAsync(IUser* user, HSTRING offer, IAsyncAction** action) override {
        if (HRESULT hr = TakeFault(kShowPurchase)) return hr;
        ScreenRequest r;
        r.offer = ToU16(offer);
        if (HRESULT hr = UserIdOf(user, &r.userId); Failed(hr)) return hr;
        return StartScreen(
            kShowPurchase, r,
            [userId = r.userId, offer = r.offer]() -> HRESULT {
                const auto found = FindOffer(offer);
                if (!found || !found->second.isPurchasable) return kOfferNotAvailable;
                const uint32_t quantity = std::max(found->second.consumableQuantity, 1u);
                const HRESULT hr = store_detail::Purchase(userId, found->first.productId, quantity, u"Purchase");
                return Failed(hr) ? hr : S_OK;
            },
            action);
    }

    HRESULT ShowDetailsAsync(IUser* user, HSTRING productId, IAsyncAction** action) override {
        if (HRESULT hr = TakeFault(kShowDetails)) return hr;
        ScreenRequest r;
        r.productId = ToU16(productId);
        if (HRESULT hr = UserIdOf(user, &r.userId); Failed(hr)) return hr;
        return StartScreen(
            kShowDetails, r, [] { return S_OK; }, action);
    }

    HRESULT ShowMarketplaceAsync(IUser* user, ProductItemTypes inputTypes, HSTRING inputProductId,
                                 ProductItemTypes resultTypes, IAsyncAction** action) override {
        if (HRESULT hr = TakeFault(kShowMarketplace)) return hr;
        ScreenRequest r;
        r.productId = ToU16(inputProductId);
        r.inputTypes = uint32_t(inputTypes);
        r.resultTypes = uint32_t(resultTypes);
        if (HRESULT hr = UserIdOf(user, &r.userId); Failed(hr)) return hr;
        return StartScreen(
            kShowMarketplace, r, [] { return S_OK; }, action);
    }

    HRESULT ShowRedeemCodeAsync(IUser* user, HSTRING offer, IAsyncAction** action) override {
        if (HRESULT hr = TakeFault(kShowRedeemCode)) return hr;
        ScreenRequest r;
        r.offer = ToU16(offer);
        if (HRESULT hr = UserIdOf(user, &r.userId); Failed(hr)) return hr;
        return StartScreen(
            kShowRedeemCode, r,
            [userId = r.userId, offer = r.offer]() -> HRESULT {
                std::u16string productId;
                {
                    std::lock_guard lock(State().mutex);
                    auto& codes = State().redeemCodes;
                    auto it = codes.find(offer.empty() ? State().lastCode : offer);
                    if (it == codes.end()) return S_OK;  // the user closes the screen on an unknown code
                    productId = std::move(it->second);
                    codes.erase(it);
                }
                const HRESULT hr = store_detail::Purchase(userId, productId, 0, u"RedeemCode");
                return Failed(hr) ? hr : S_OK;
            },
            action);
    }

    HRESULT ShowSubscriptionAsync(IUser* user, HSTRING productId, uint32_t privilegeId,
                                  IAsyncAction** action) override {
        if (HRESULT hr = TakeFault(kShowSubscription)) return hr;
        ScreenRequest r;
        r.productId = ToU16(productId);
        r.privilegeId = privilegeId;
        if (HRESULT hr = UserIdOf(user, &r.userId); Failed(hr)) return hr;
        return StartScreen(
            kShowSubscription, r,
            [userId = r.userId, productId = r.productId, privilegeId]() -> HRESULT {
                {
                    std::lock_guard lock(State().mutex);
                    if (!State().subscriptionGrants.contains({productId, privilegeId})) return S_OK;
                }
                if (HRESULT hr = store_detail::Purchase(userId, productId, 0, u"Subscription"); Failed(hr)) return hr;
                store_detail::ClearPurchaseRequired(userId, privilegeId);
                return S_OK;
            },
            action);
    }

    HRESULT CheckPrivilegeAsync(IUser* user, uint32_t privilegeId, boolean attemptResolution, HSTRING friendlyDisplay,
                                IAsyncOperation<PrivilegeCheckResult>** operation) override {
        if (HRESULT hr = TakeFault(kCheckPrivilege)) return hr;
        PrivilegeRequest r;
        r.privilegeIds = {privilegeId};
        r.attemptResolution = attemptResolution;
        r.friendlyDisplay = ToU16(friendlyDisplay);
        if (HRESULT hr = UserIdOf(user, &r.userId); Failed(hr)) return hr;
        return StartCheck(kCheckPrivilege, std::move(r), operation);
    }

    HRESULT CheckPrivilegesAsync(IUser* user, IVectorView<uint32_t>* privilegeIds, boolean attemptResolution,
                                 HSTRING friendlyDisplay, IAsyncOperation<PrivilegeCheckResult>** operation) override {
        if (HRESULT hr = TakeFault(kCheckPrivileges)) return hr;
        if (!privilegeIds) return E_POINTER;
        PrivilegeRequest r;
        r.attemptResolution = attemptResolution;
        r.friendlyDisplay = ToU16(friendlyDisplay);
        if (HRESULT hr = UserIdOf(user, &r.userId); Failed(hr)) return hr;
        // The list is read now: the caller may release it as soon as the call returns.
        if (HRESULT hr = ReadUInt32s(privilegeIds, &r.privilegeIds); Failed(hr)) return hr;
        if (r.privilegeIds.empty()) return E_INVALIDARG;
        return StartCheck(kCheckPrivileges, std::move(r), operation);
    }

    HRESULT add_ProductPurchased(IProductPurchasedEventHandler* handler, EventRegistrationToken* token) override {
        if (HRESULT hr = TakeFault("IProductStatics.add_ProductPurchased")) return hr;
        if (!handler || !token) return E_POINTER;
        std::lock_guard lock(State().mutex);
        token->value = State().nextToken++;
        State().subscribers.emplace(token->value, ComPtr<IProductPurchasedEventHandler>(handler));
        return S_OK;
    }

    HRESULT remove_ProductPurchased(EventRegistrationToken token) override {
        if (HRESULT hr = TakeFault("IProductStatics.remove_ProductPurchased")) return hr;
        ComPtr<IProductPurchasedEventHandler> removed;  // released after the lock
        std::lock_guard lock(State().mutex);
        if (auto it = State().subscribers.find(token.value); it != State().subscribers.end()) {
            removed = std::move(it->second);
            State().subscribers.erase(it);
        }
        return S_OK;  // an unknown token is ignored, as the platform's events do
    }
};

const bool productRegistered = [] {
    RegisterActivatableClass(RuntimeClass_Product, NewFactory<ProductStatics>);
    return true;
}();

}  // namespace

std::vector<ScreenRequest> ScreenRequests() {
    std::lock_guard lock(State().mutex);
    return State().screens.Snapshot();
}

void SetRedeemCode(std::u16string_view code, std::u16string_view productId) {
    std::lock_guard lock(State().mutex);
    State().redeemCodes[std::u16string(code)] = std::u16string(productId);
    State().lastCode = std::u16string(code);
}

void SetSubscriptionGrant(std::u16string_view productId, uint32_t privilegeId) {
    std::lock_guard lock(State().mutex);
    State().subscriptionGrants.emplace(std::u16string(productId), privilegeId);
}

size_t SubscriberCount() {
    std::lock_guard lock(State().mutex);
    return State().subscribers.size();
}

HRESULT RaisePurchase(uint32_t userId, std::u16string_view productId, uint32_t quantity, std::u16string* receipt) {
    if (FindUser(userId) < 0) return E_INVALIDARG;
    std::u16string text = MakeReceipt(u"Raised", productId, quantity, userId);
    if (receipt) *receipt = text;
    Submit([text = std::move(text)] { DeliverPurchase(text); });
    return S_OK;
}

namespace store_detail {

HRESULT Purchase(uint32_t userId, std::u16string_view productId, uint32_t quantity, std::u16string_view source) {
    const auto item = FindCatalogItem(productId);
    if (!item) return kOfferNotAvailable;
    if (item->mediaItemType == MediaItemType::GameConsumable) {
        if (quantity == 0) quantity = DefaultQuantity(*item);
    } else {
        for (const auto& owned : InventoryOf(userId))
            if (owned.productId == productId) return S_FALSE;
        quantity = 1;
    }
    if (HRESULT hr = GrantProduct(userId, productId, quantity); Failed(hr)) return hr;
    DeliverPurchase(MakeReceipt(source, productId, quantity, userId));
    return S_OK;
}

}  // namespace store_detail
}  // namespace velmora::emu
