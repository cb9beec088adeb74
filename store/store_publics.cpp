// Store exports: the five store screens, the two privilege checks, purchase notifications and
// the accessors of a purchase's event args.
#include "core/async_export.h"
#include "core/vector_argument.h"
#include "platform/store.h"
#include "store/store_manager.h"

using namespace HaldenPlugin;
using namespace ABI::Windows::Xbox::ApplicationModel::Store;

namespace {

// The Product statics are obtained for each call and released right after it; nothing is cached.
ComPtr<IProductStatics> ProductStatics() { return GetActivationFactory<IProductStatics>(RuntimeClass_Product); }

// A store call for the resolved platform user, continued into one event of EventT.
template <class EventT, auto Method, class... A>
bool StoreOperation(uint32_t userId, ManagedValueCallback callback, void* userData, A... args) {
    return StartAsync<Store>([&] {
        ComPtr<PlatformUser> user = ResolvePlatformUser(userId);
        if (!user) return false;
        auto abiArgs = std::make_tuple(ToAbiArg(args)...);
        return std::apply(
            [&](const auto&... a) {
                return CallAndAttach<EventT, Method>(ProductStatics().Get(), callback, userData, user.Get(), a...);
            },
            abiArgs);
    });
}

// Only the flag's low byte is read.
ABI::boolean Flag(uint32_t value) { return static_cast<ABI::boolean>(value & 0xFF); }

// Forwards each purchase into the host queue with the callback registered at that moment.
class PurchaseForwarder final : public ABI::Implements<PurchaseForwarder, IProductPurchasedEventHandler> {
public:
    ABI::HRESULT Invoke(IProductPurchasedEventArgs* args) override {
        const auto [callback, userData] = Store::Instance().purchase.Get();
        ProductPurchasedEventArgsEvent record{};
        record.callback = callback;
        record.userData = userData;
        record.result = args;
        if (args) args->AddRef();  // travels with the record to managed code
        PostEvent(record);
        return ABI::S_OK;
    }
};

PlatformSubscription purchaseSubscription;

}  // namespace

extern "C" {

bool Store_ShowDetailsAsync(uint32_t userId, const char16_t* productId, ManagedValueCallback callback, void* userData) {
    return StoreOperation<ShowDetailsAsyncEvent, &IProductStatics::ShowDetailsAsync>(userId, callback, userData,
                                                                                     productId);
}

bool Store_ShowMarketplaceAsync(uint32_t userId, uint32_t inputTypes, const char16_t* inputProductId,
                                uint32_t resultTypes, ManagedValueCallback callback, void* userData) {
    return StoreOperation<ShowMarketplaceAsyncEvent, &IProductStatics::ShowMarketplaceAsync>(
        userId, callback, userData, inputTypes, inputProductId, resultTypes);
}

bool Store_ShowPurchaseAsync(uint32_t userId, const char16_t* offer, ManagedValueCallback callback, void* userData) {
    return StoreOperation<ShowPurchaseAsyncEvent, &IProductStatics::ShowPurchaseAsync>(userId, callback, userData,
                                                                                       offer);
}

bool Store_ShowRedeemCodeAsync(uint32_t userId, const char16_t* offer, ManagedValueCallback callback, void* userData) {
    return StoreOperation<ShowRedeemCodeAsyncEvent, &IProductStatics::ShowRedeemCodeAsync>(userId, callback, userData,
                                                                                           offer);
}

bool Store_ShowSubscriptionAsync(uint32_t userId, const char16_t* productId, uint32_t privilegeId,
                                 ManagedValueCallback callback, void* userData) {
    return StoreOperation<ShowSubscriptionAsyncEvent, &IProductStatics::ShowSubscriptionAsync>(
        userId, callback, userData, productId, privilegeId);
}

bool Store_CheckPrivilegeAsync(uint32_t userId, uint32_t privilegeId, uint32_t attemptResolution,
                               const char16_t* friendlyDisplay, ManagedValueCallback callback, void* userData) {
    return StoreOperation<PrivilegeCheckResultEvent, &IProductStatics::CheckPrivilegeAsync>(
        userId, callback, userData, privilegeId, Flag(attemptResolution), friendlyDisplay);
}

// A failure while building the id list (out of memory) answers false like any start failure, and
// so does a null array.
bool Store_CheckPrivilegesAsync(uint32_t userId, const uint32_t* privilegeIds, int32_t count,
                                uint32_t attemptResolution, const char16_t* friendlyDisplay,
                                ManagedValueCallback callback, void* userData) {
    if (count <= 0 || !privilegeIds) return false;
    VectorArgument<uint32_t> ids;
    try {
        ids = MakeVectorArgument<uint32_t>(privilegeIds, count);
    } catch (const Platform::Exception&) {
        return false;
    }
    return StoreOperation<PrivilegeCheckResultEvent, &IProductStatics::CheckPrivilegesAsync>(
        userId, callback, userData, ids.view.Get(), Flag(attemptResolution), friendlyDisplay);
}

// The pair is stored first and stays when the subscription fails; the next registration retries.
bool Store_RegisterForPurchaseEvents(ManagedObjectCallback callback, void* userData) {
    if (!QueueBound()) return false;
    Store::Instance().purchase.Set(callback, userData);
    try {
        purchaseSubscription.Ensure([] {
            auto forwarder = ComPtr<IProductPurchasedEventHandler>::Attach(new PurchaseForwarder);
            ABI::EventRegistrationToken token{};
            Check(ProductStatics()->add_ProductPurchased(forwarder.Get(), &token));
        });
        return true;
    } catch (const Platform::Exception&) {
        return false;
    }
}

bool Store_UnRegisterForPurchaseEvents() {
    if (QueueBound()) Store::Instance().purchase.Set(nullptr, nullptr);
    return true;
}

}  // extern "C"

VELMORA_RULE(ProductPurchasedEventArgs_Receipt, StringProperty, &IProductPurchasedEventArgs::get_Receipt)
VELMORA_DISPOSE(ProductPurchasedEventArgs_Dispose)
