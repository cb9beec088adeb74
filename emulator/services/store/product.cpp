// The emulated "Product" class of the console store: its statics (the five screens, the two
// privilege checks, the purchase event), screens held open until a decision, purchases and their
// receipts, and the scripted grants of the redeem-code and subscription screens.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
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

// A started screen, from its start until its action ends.
struct Screen {
    OpenScreen shown;               // what OpenScreens lists (its id is set when it is held)
    std::function<HRESULT()> work;  // what the screen does when the user goes through
    ComPtr<AsyncAction> action;
};

struct Code {
    std::u16string productId;
    bool redeemed = false;
};

struct StoreState {
    std::mutex mutex;
    std::map<int64_t, ComPtr<IProductPurchasedEventHandler>> subscribers;  // by registration token
    int64_t nextToken = 1;
    RecentCalls<ScreenRequest> screens;
    std::map<std::u16string, Code, std::less<>> redeemCodes;  // by code
    std::u16string lastCode;
    std::set<std::pair<std::u16string, uint32_t>> subscriptionGrants;  // (product id, privilege id)
    bool holding = false;
    uint64_t nextScreen = 1;
    std::map<uint64_t, std::shared_ptr<Screen>> open;  // the held screens, by id
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
        std::map<uint64_t, std::shared_ptr<Screen>> closed;
        StoreState& s = State();
        {
            std::lock_guard lock(s.mutex);
            if (!ResetKeepsSubscriptions()) {
                dropped.swap(s.subscribers);
                s.nextToken = 1;
            }
            s.screens.Clear();
            s.redeemCodes.clear();
            s.lastCode.clear();
            s.subscriptionGrants.clear();
            s.holding = false;
            s.nextScreen = 1;
            closed.swap(s.open);
        }
        // The game waits for every screen it opened: each held one ends cancelled, on a platform
        // thread as any screen does (Reset waits for it), and is not recorded in the fresh ledger.
        for (auto& [id, screen] : closed) Submit([action = screen->action] { action->CancelWith(S_OK); });
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

}  // namespace

std::u16string MakeReceipt(std::u16string_view transactionId, std::u16string_view source, std::u16string_view productId,
                           uint32_t quantity, uint32_t userId) {
    const auto [xuid, gamertag] = UserNames(userId);
    std::u16string out = u"<Receipt";
    AppendAttribute(out, u"Version", u"1.0");
    AppendAttribute(out, u"TransactionId", transactionId);
    AppendAttribute(out, u"Source", source);
    AppendAttribute(out, u"ProductId", productId);
    AppendAttribute(out, u"Quantity", Ascii(std::to_string(quantity).c_str()));
    AppendAttribute(out, u"UserId", Ascii(std::to_string(userId).c_str()));
    AppendAttribute(out, u"XboxUserId", xuid);
    AppendAttribute(out, u"Gamertag", gamertag);
    out += u"/>";
    return out;
}

namespace {

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

// A purchase, redeem-code or subscription screen that ended without a grant, for the ledger.
void RecordUnsuccessful(const OpenScreen& screen, TransactionOutcome outcome, HRESULT hr) {
    static constexpr TransactionSource kSources[] = {TransactionSource::Purchase, TransactionSource::RedeemCode,
                                                     TransactionSource::Subscription};
    if (size_t(screen.kind) >= std::size(kSources)) return;  // details and marketplace sell nothing
    Transaction entry;
    entry.userId = screen.userId;
    entry.productId = screen.productId;
    entry.source = kSources[size_t(screen.kind)];
    entry.outcome = outcome;
    entry.hresult = hr;
    RecordTransaction(std::move(entry));
}

// Ends a screen as the outcome says, the way a user's decision would: Fail and Cancel end it with
// the outcome's code and grant nothing; any other kind runs the screen's work, which grants (raising
// the purchase event first) or fails the screen. The ledger entry comes before the action's end, so
// a game that sees the screen end finds the entry.
void EndScreen(const Screen& screen, const Outcome& outcome) {
    using K = Outcome::Kind;
    if (outcome.kind == K::Fail) {
        RecordUnsuccessful(screen.shown, TransactionOutcome::Failed, outcome.hr);
        return screen.action->Fail(outcome.hr);
    }
    if (outcome.kind == K::Cancel) {
        RecordUnsuccessful(screen.shown, TransactionOutcome::Canceled, outcome.hr);
        return screen.action->CancelWith(outcome.hr);
    }
    const HRESULT hr = screen.work();
    if (!Failed(hr)) return screen.action->Complete();
    RecordUnsuccessful(screen.shown, TransactionOutcome::Failed, hr);
    screen.action->Fail(hr);
}

// Starts a screen as its scripted outcome says, or holds it open when screens are held.
HRESULT StartScreen(OperationName call, ScreenRequest request, OpenScreen shown, std::function<HRESULT()> work,
                    IAsyncAction** action) {
    if (!action) return E_POINTER;
    *action = nullptr;
    request.call = call.Name();
    StoreState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.screens.Record(std::move(request));
    }
    const Outcome outcome = NextOutcome(call);
    using K = Outcome::Kind;
    if (outcome.kind == K::FailStart) return outcome.hr;
    if (outcome.kind == K::NullOperation) return S_OK;
    auto screen = std::make_shared<Screen>(Screen{std::move(shown), std::move(work), Make<AsyncAction>()});
    *action = ComPtr<AsyncAction>(screen->action).Detach();
    bool held = false;
    if (outcome.kind == K::Complete) {
        std::lock_guard lock(s.mutex);
        if ((held = s.holding)) {
            screen->shown.id = s.nextScreen++;
            s.open.emplace(screen->shown.id, screen);
        }
    }
    if (held) return S_OK;
    if (outcome.kind == K::CompleteSynchronously) {
        EndScreen(*screen, outcome);
    } else {
        Submit([screen, outcome] { EndScreen(*screen, outcome); },
               outcome.delay.count() < 0 ? DefaultDelay() : outcome.delay);
    }
    return S_OK;
}

// The product the redeem screen would redeem now: its code's, or the last code's for an empty
// offer; empty for a code the store does not know or one redeemed already.
std::u16string ProductOfCode(std::u16string_view offer) {
    std::lock_guard lock(State().mutex);
    const auto& codes = State().redeemCodes;
    auto it = codes.find(offer.empty() ? std::u16string_view(State().lastCode) : offer);
    return it == codes.end() || it->second.redeemed ? std::u16string() : it->second.productId;
}

OpenScreen Shown(ScreenKind kind, uint32_t userId, std::u16string productId, std::u16string offer = {}) {
    return OpenScreen{0, userId, kind, std::move(productId), std::move(offer)};
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
        const auto offered = FindOffer(r.offer);
        OpenScreen shown = Shown(ScreenKind::Purchase, r.userId, offered ? offered->first.productId : u"", r.offer);
        return StartScreen(
            kShowPurchase, r, std::move(shown),
            [userId = r.userId, offer = r.offer]() -> HRESULT {
                const auto found = FindOffer(offer);
                if (!found || !found->second.isPurchasable) return kOfferNotAvailable;
                const uint32_t quantity = std::max(found->second.consumableQuantity, 1u);
                const HRESULT hr =
                    store_detail::Purchase(userId, found->first.productId, quantity, TransactionSource::Purchase);
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
            kShowDetails, r, Shown(ScreenKind::Details, r.userId, r.productId), [] { return S_OK; }, action);
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
            kShowMarketplace, r, Shown(ScreenKind::Marketplace, r.userId, r.productId), [] { return S_OK; }, action);
    }

    HRESULT ShowRedeemCodeAsync(IUser* user, HSTRING offer, IAsyncAction** action) override {
        if (HRESULT hr = TakeFault(kShowRedeemCode)) return hr;
        ScreenRequest r;
        r.offer = ToU16(offer);
        if (HRESULT hr = UserIdOf(user, &r.userId); Failed(hr)) return hr;
        return StartScreen(
            kShowRedeemCode, r, Shown(ScreenKind::RedeemCode, r.userId, ProductOfCode(r.offer), r.offer),
            [userId = r.userId, offer = r.offer]() -> HRESULT {
                std::u16string productId;
                {
                    std::lock_guard lock(State().mutex);
                    auto& codes = State().redeemCodes;
                    auto it = codes.find(offer.empty() ? State().lastCode : offer);
                    // The user reads the store's error and closes the screen on an unknown or used code.
                    if (it == codes.end() || it->second.redeemed) return S_OK;
                    productId = it->second.productId;
                    it->second.redeemed = true;
                }
                const HRESULT hr = store_detail::Purchase(userId, productId, 0, TransactionSource::RedeemCode);
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
            kShowSubscription, r, Shown(ScreenKind::Subscription, r.userId, r.productId),
            [userId = r.userId, productId = r.productId, privilegeId]() -> HRESULT {
                {
                    std::lock_guard lock(State().mutex);
                    if (!State().subscriptionGrants.contains({productId, privilegeId})) return S_OK;
                }
                if (HRESULT hr = store_detail::Purchase(userId, productId, 0, TransactionSource::Subscription);
                    Failed(hr))
                    return hr;
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

void SetRedeemCode(std::u16string_view code, std::u16string_view productId, bool redeemed) {
    std::lock_guard lock(State().mutex);
    State().redeemCodes[std::u16string(code)] = Code{std::u16string(productId), redeemed};
    State().lastCode = std::u16string(code);
}

std::vector<RedeemCode> RedeemCodes() {
    std::lock_guard lock(State().mutex);
    std::vector<RedeemCode> out;
    std::optional<RedeemCode> last;
    for (const auto& [code, c] : State().redeemCodes)
        (code == State().lastCode ? last.emplace() : out.emplace_back()) = RedeemCode{code, c.productId, c.redeemed};
    if (last) out.push_back(std::move(*last));
    return out;
}

void SetSubscriptionGrant(std::u16string_view productId, uint32_t privilegeId) {
    std::lock_guard lock(State().mutex);
    State().subscriptionGrants.emplace(std::u16string(productId), privilegeId);
}

std::vector<SubscriptionGrant> SubscriptionGrants() {
    std::lock_guard lock(State().mutex);
    std::vector<SubscriptionGrant> out;
    for (const auto& [productId, privilegeId] : State().subscriptionGrants) out.push_back({productId, privilegeId});
    return out;
}

void HoldScreens(bool hold) {
    std::lock_guard lock(State().mutex);
    State().holding = hold;
}

bool HoldingScreens() {
    std::lock_guard lock(State().mutex);
    return State().holding;
}

std::vector<OpenScreen> OpenScreens() {
    std::lock_guard lock(State().mutex);
    std::vector<OpenScreen> out;
    for (const auto& [id, screen] : State().open) out.push_back(screen->shown);
    return out;
}

void DecideScreen(uint64_t screenId, ScreenDecision decision, HRESULT hr) {
    using K = Outcome::Kind;
    static constexpr K kKinds[] = {K::Complete, K::Cancel, K::Fail};
    if (size_t(decision) >= std::size(kKinds)) {
        std::string known;
        for (size_t i = 0; i < std::size(kScreenDecisionNames); ++i)
            known += (i ? ", " : "") + std::string(kScreenDecisionNames[i]) + " (" + std::to_string(i) + ")";
        throw std::invalid_argument("unknown screen decision " + std::to_string(int(decision)) +
                                    "; the decisions are " + known);
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", unsigned(uint32_t(hr)));
    if (decision == ScreenDecision::Fail && !Failed(hr))
        throw std::invalid_argument(std::string("a screen decided as Fail needs a failure code (high bit set), like "
                                                "0x80004005, not ") +
                                    code);
    if (decision == ScreenDecision::Purchase && hr != S_OK)
        throw std::invalid_argument(std::string("a screen decided as Purchase ends as its own work says; give 0 as "
                                                "its code, not ") +
                                    code);
    std::shared_ptr<Screen> screen;
    {
        std::lock_guard lock(State().mutex);
        auto& open = State().open;
        auto it = open.find(screenId);
        if (it == open.end()) {
            std::string ids;
            for (const auto& [id, held] : open) ids += (ids.empty() ? "" : ", ") + std::to_string(id);
            throw std::invalid_argument("no open screen " + std::to_string(screenId) +
                                        (ids.empty() ? "; no screen is open" : "; the open screens are " + ids) +
                                        " (a decided screen closes, and a reset cancels every open one)");
        }
        screen = std::move(it->second);
        open.erase(it);
    }
    Outcome outcome;
    outcome.kind = kKinds[size_t(decision)];
    outcome.hr = hr;
    Submit([screen, outcome] { EndScreen(*screen, outcome); });
}

size_t SubscriberCount() {
    std::lock_guard lock(State().mutex);
    return State().subscribers.size();
}

HRESULT RaisePurchase(uint32_t userId, std::u16string_view productId, uint32_t quantity, std::u16string* receipt) {
    if (FindUser(userId) < 0) return E_INVALIDARG;
    Transaction raised;
    raised.userId = userId;
    raised.productId = std::u16string(productId);
    raised.quantity = quantity;
    raised.source = TransactionSource::Raised;
    raised.outcome = TransactionOutcome::Notified;
    raised = RecordTransaction(std::move(raised), true);
    std::u16string text = MakeReceipt(raised.transactionId, u"Raised", productId, quantity, userId);
    if (receipt) *receipt = text;
    Submit([text = std::move(text)] { DeliverPurchase(text); });
    return S_OK;
}

HRESULT BuyOutsideTheGame(uint32_t userId, std::u16string_view productId, uint32_t quantity) {
    if (FindUser(userId) < 0) return E_INVALIDARG;
    if (!FindCatalogItem(productId)) return kOfferNotAvailable;
    Submit([userId, product = std::u16string(productId), quantity] {
        store_detail::Purchase(userId, product, quantity, TransactionSource::Purchase);
    });
    return S_OK;
}

namespace store_detail {

HRESULT Purchase(uint32_t userId, std::u16string_view productId, uint32_t quantity, TransactionSource source) {
    const auto item = FindCatalogItem(productId);
    if (!item) return kOfferNotAvailable;
    if (item->mediaItemType != MediaItemType::GameConsumable) {
        quantity = 1;
    } else if (quantity == 0) {
        quantity = DefaultQuantity(*item);
    }
    if (HRESULT hr = GrantProduct(userId, productId, quantity); hr != S_OK) return hr;  // S_FALSE: owned
    Transaction bought;
    bought.userId = userId;
    bought.productId = std::u16string(productId);
    bought.quantity = quantity;
    bought.source = source;
    bought = RecordTransaction(std::move(bought), true);
    DeliverPurchase(MakeReceipt(bought.transactionId, FromUtf8(kTransactionSourceNames[size_t(source)]), productId,
                                quantity, userId));
    return S_OK;
}

}  // namespace store_detail
}  // namespace velmora::emu
