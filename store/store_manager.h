// The store group's manager: target of the seven store handlers and holder of the purchase
// callback and its user data.
#pragma once

#include "core/event_managers.h"
#include "core/notifications.h"

namespace HaldenPlugin {

class Store : public EventManager<Store, PrivilegeCheckResultEvent, ShowDetailsAsyncEvent, ShowMarketplaceAsyncEvent,
                                  ShowPurchaseAsyncEvent, ShowRedeemCodeAsyncEvent, ShowSubscriptionAsyncEvent,
                                  ProductPurchasedEventArgsEvent> {
public:
    // Read when a purchase notification arrives and carried in its record.
    CallbackPair<ManagedObjectCallback> purchase;

private:
    friend EventManager;
    Store() { RegisterHandlers(); }
};

}  // namespace HaldenPlugin
