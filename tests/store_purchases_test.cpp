// Purchase notifications and the store's grants, through the exports: the four states of the
// purchase registration (Idle, Armed without a subscription, Listening, Muted) and every
// transition between them, one platform subscription per module, delivery with the callback of
// the moment a purchase was posted, release of what nobody receives, and purchases, redemptions
// and subscriptions that land in the user's inventory with a receipt naming them.
#include <string>
#include <vector>

#include "core/event_types.h"
#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/store/store.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

using emu::MediaItemType;
using emu::Outcome;

constexpr uint32_t kUser = 6;
constexpr uint32_t kMultiplayer = 254;
constexpr char16_t kGame[] = u"9P0GAME00001";
constexpr char16_t kGameOffer[] = u"signed-offer-game";
constexpr char16_t kCoins[] = u"9P0COINS0500";
constexpr char16_t kCoinsOffer[] = u"signed-offer-coins";
constexpr char16_t kPass[] = u"9P0SEASONPASS";
constexpr char kMissingProduct[] = "RoGetActivationFactory:Windows.Xbox.ApplicationModel.Store.Product";
constexpr char kSubscribe[] = "IProductStatics.add_ProductPurchased";

// A managed purchase callback: reads the receipt, then disposes the args as managed code does.
struct Notifications {
    host::EventQueue* queue = nullptr;
    const host::VelmoraExports* x = nullptr;
    std::vector<Call> calls;
    std::vector<std::u16string> receipts;
};

void RecordNotification(int32_t hr, ObjectHandle args, void* userData) {
    auto* n = static_cast<Notifications*>(userData);
    n->calls.push_back({hr, args, 0, userData, n->queue->OnDeliveringThread()});
    n->receipts.push_back(n->x->ProductPurchasedEventArgs_Receipt(args));
    n->x->ProductPurchasedEventArgs_Dispose(args);
}

// The screens these tests show, as Show takes them.
bool BuyGame(const host::VelmoraExports& x, void* d) {
    return x.Store_ShowPurchaseAsync(kUser, kGameOffer, DeliverValue, d);
}
bool BuyCoins(const host::VelmoraExports& x, void* d) {
    return x.Store_ShowPurchaseAsync(kUser, kCoinsOffer, DeliverValue, d);
}

class StorePurchasesTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        AddUser(kUser, u"Buyer");
        AddProduct(kGame, u"catalog-game", MediaItemType::Game, kGameOffer, 0);
        AddProduct(kCoins, u"catalog-coins", MediaItemType::GameConsumable, kCoinsOffer, 500);
        AddProduct(kPass, u"catalog-pass", MediaItemType::GameContent, u"signed-offer-pass", 0);
    }

    Notifications NewNotifications() { return Notifications{&Host().Queue(), &X(), {}, {}}; }

    // Shows a screen and waits for its callback; answers (error code, status).
    std::pair<int32_t, uint32_t> Show(bool (*start)(const host::VelmoraExports&, void*)) {
        const Delivered d = RunOnce([&](void* data) { return start(X(), data); });
        return {d.hr, d.value};
    }

    // (product id, consumable balance) of each item the inventory export answers for media type All.
    std::vector<std::pair<std::u16string, uint32_t>> InventoryThroughExports() {
        const Delivered inventory =
            RunOnce([&](void* d) { return X().InventoryService_GetInventoryItemsAsync(kUser, 14, DeliverObject, d); });
        std::vector<std::pair<std::u16string, uint32_t>> owned;
        ObjectHandle items = X().InventoryItemsResult_Items(inventory.result);
        for (uint32_t i = 0, n = X().InventoryItemsResult_Items_Length(items); i < n; ++i) {
            ObjectHandle item = X().InventoryItemsResult_Items_GetAt(items, i);
            owned.emplace_back(X().InventoryItem_ProductId(item), X().InventoryItem_ConsumableBalance(item));
            X().InventoryItem_Dispose(item);
        }
        X().InventoryItemsResult_Items_Dispose(items);
        X().InventoryItemsResult_Dispose(inventory.result);
        return owned;
    }

    static std::u16string ReceiptFor(const char16_t* transaction, const char16_t* source, const char16_t* product,
                                     const char16_t* quantity) {
        return std::u16string(u"<Receipt Version=\"1.0\" TransactionId=\"00000000-0000-0000-0000-") + transaction +
               u"\" Source=\"" + source + u"\" ProductId=\"" + product + u"\" Quantity=\"" + quantity +
               u"\" UserId=\"6\" XboxUserId=\"xuid-Buyer\" Gamertag=\"Buyer\"/>";
    }
};

// ---- the four states of the registration ---------------------------------------------------------

enum class Act {
    Register,        // succeeds
    FailSubscribe,   // add_ProductPurchased fails once
    FailActivation,  // the class is missing once
    RegisterAgain,   // succeeds though add_ProductPurchased would fail: a subscription exists
    Unregister,
    Raise,  // a purchase made outside the game
};

struct Step {
    Act act;
    int callback;        // Register*: the callback registered (0 = A, 1 = B); Raise: the one that receives, or -1
    size_t subscribers;  // platform subscriptions after the step
};

struct Path {
    const char* name;
    std::vector<Step> steps;
};
void PrintTo(const Path& p, std::ostream* os) { *os << p.name; }

const Path kPaths[] = {
    {"IdleUnregisterStaysIdle", {{Act::Unregister, -1, 0}, {Act::Raise, -1, 0}, {Act::Register, 0, 1}}},
    {"IdleRegisterListens", {{Act::Register, 0, 1}, {Act::Raise, 0, 1}, {Act::Raise, 0, 1}}},
    {"ListeningRegisterReplacesThePairOnly",
     {{Act::Register, 0, 1}, {Act::Register, 1, 1}, {Act::Register, 1, 1}, {Act::Raise, 1, 1}}},
    {"ListeningUnregisterMutes",
     {{Act::Register, 0, 1},
      {Act::Unregister, -1, 1},
      {Act::Raise, -1, 1},
      {Act::Unregister, -1, 1},
      {Act::Raise, -1, 1}}},
    {"MutedRegisterListensAgain",
     {{Act::Register, 0, 1}, {Act::Unregister, -1, 1}, {Act::Register, 1, 1}, {Act::Raise, 1, 1}}},
    {"IdleFailedSubscriptionArmsAndRetries",
     {{Act::FailSubscribe, 0, 0},
      {Act::Raise, -1, 0},
      {Act::FailSubscribe, 0, 0},
      {Act::Register, 0, 1},
      {Act::Raise, 0, 1}}},
    {"IdleMissingClassArms", {{Act::FailActivation, 0, 0}, {Act::Register, 1, 1}, {Act::Raise, 1, 1}}},
    {"ArmedUnregisterIsIdle",
     {{Act::FailSubscribe, 0, 0},
      {Act::Unregister, -1, 0},
      {Act::Raise, -1, 0},
      {Act::Register, 1, 1},
      {Act::Raise, 1, 1}}},
    {"RegisteringAgainNeverResubscribes",
     {{Act::Register, 0, 1},
      {Act::RegisterAgain, 1, 1},
      {Act::Raise, 1, 1},
      {Act::Unregister, -1, 1},
      {Act::RegisterAgain, 0, 1},
      {Act::Raise, 0, 1}}},
};

class StoreRegistrationTest : public StorePurchasesTest, public ::testing::WithParamInterface<Path> {};

TEST_P(StoreRegistrationTest, FollowsItsPathWithOneSubscription) {
    Notifications callbacks[] = {NewNotifications(), NewNotifications()};
    int step = 0;
    for (const Step& s : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(step++));
        switch (s.act) {
            case Act::Register:
                EXPECT_TRUE(X().Store_RegisterForPurchaseEvents(RecordNotification, &callbacks[s.callback]));
                break;
            case Act::FailSubscribe:
                emu::InjectFault(kSubscribe, ABI::E_FAIL, 1);
                EXPECT_FALSE(X().Store_RegisterForPurchaseEvents(RecordNotification, &callbacks[s.callback]));
                break;
            case Act::FailActivation:
                emu::InjectFault(kMissingProduct, ABI::REGDB_E_CLASSNOTREG, 1);
                EXPECT_FALSE(X().Store_RegisterForPurchaseEvents(RecordNotification, &callbacks[s.callback]));
                break;
            case Act::RegisterAgain:
                emu::InjectFault(kSubscribe, ABI::E_FAIL, 1);
                EXPECT_TRUE(X().Store_RegisterForPurchaseEvents(RecordNotification, &callbacks[s.callback]));
                EXPECT_EQ(emu::TakeFault(kSubscribe), ABI::E_FAIL) << "the platform was not asked again";
                break;
            case Act::Unregister:
                // An armed one-shot fault that is still armed afterwards proves no platform call was made.
                emu::InjectFault(kMissingProduct, ABI::REGDB_E_CLASSNOTREG, 1);
                EXPECT_TRUE(X().Store_UnRegisterForPurchaseEvents());
                EXPECT_EQ(emu::TakeFault(kMissingProduct), ABI::REGDB_E_CLASSNOTREG);
                break;
            case Act::Raise: {
                Settle();
                const int64_t objects = emu::LiveObjects();
                const size_t before[] = {callbacks[0].calls.size(), callbacks[1].calls.size()};
                std::u16string receipt;
                ASSERT_EQ(emu::RaisePurchase(kUser, kPass, 1, &receipt), ABI::S_OK);
                Settle();
                for (int c = 0; c < 2; ++c) {
                    ASSERT_EQ(callbacks[c].calls.size(), before[c] + (c == s.callback ? 1 : 0)) << "callback " << c;
                }
                if (s.callback >= 0) {
                    const Call& call = callbacks[s.callback].calls.back();
                    EXPECT_EQ(call.hr, 0);
                    EXPECT_NE(call.result, nullptr);
                    EXPECT_EQ(call.userData, &callbacks[s.callback]);
                    EXPECT_TRUE(call.onDeliveringThread);
                    EXPECT_EQ(callbacks[s.callback].receipts.back(), receipt);
                }
                EXPECT_EQ(emu::LiveObjects(), objects) << "the args object was released, delivered or not";
                break;
            }
        }
        EXPECT_EQ(emu::SubscriberCount(), s.subscribers);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryTransition, StoreRegistrationTest, ::testing::ValuesIn(kPaths),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StorePurchasesTest, ANotificationPostedBeforeUnregistrationReachesTheCallbackItWasPostedWith) {
    Notifications a = NewNotifications();
    ASSERT_TRUE(X().Store_RegisterForPurchaseEvents(RecordNotification, &a));
    std::u16string receipt;
    ASSERT_EQ(emu::RaisePurchase(kUser, kPass, 1, &receipt), ABI::S_OK);
    emu::WaitIdle();  // posted to the host queue, not yet delivered
    ASSERT_TRUE(X().Store_UnRegisterForPurchaseEvents());
    Host().PumpAll();
    ASSERT_EQ(a.calls.size(), 1u);
    EXPECT_EQ(a.receipts[0], receipt);

    const int64_t objects = emu::LiveObjects();
    ASSERT_EQ(emu::RaisePurchase(kUser, kPass, 1), ABI::S_OK);
    Settle();
    EXPECT_EQ(a.calls.size(), 1u) << "raised after unregistration: dropped";
    EXPECT_EQ(emu::LiveObjects(), objects);
}

// ---- purchases, redemptions and subscriptions --------------------------------------------------

TEST_F(StorePurchasesTest, APurchaseArrivesAsANotificationNamingTheProductAndLandsInTheInventory) {
    Notifications a = NewNotifications();
    ASSERT_TRUE(X().Store_RegisterForPurchaseEvents(RecordNotification, &a));

    Host().Queue().ClearTrace();
    const auto result = Show(BuyGame);
    EXPECT_EQ(result, (std::pair<int32_t, uint32_t>{0, 1}));
    ASSERT_EQ(a.calls.size(), 1u);
    EXPECT_TRUE(a.calls[0].onDeliveringThread);
    EXPECT_EQ(a.receipts[0], ReceiptFor(u"000000000001", u"Purchase", kGame, u"1"));
    std::vector<EventId> sent;
    for (const auto& entry : Host().Queue().Trace())
        if (entry.kind == host::TraceEntry::Kind::SendEvent) sent.push_back(entry.id);
    EXPECT_EQ(sent, (std::vector<EventId>{HaldenPlugin::ProductPurchasedEventArgsEvent::Id,
                                          HaldenPlugin::ShowPurchaseAsyncEvent::Id}))
        << "the purchase, then the screen closes";

    const auto owned = InventoryThroughExports();
    ASSERT_EQ(owned.size(), 1u);
    EXPECT_EQ(owned[0].first, kGame);

    // Owned already: the store sells it no second time.
    EXPECT_EQ(Show(BuyGame), (std::pair<int32_t, uint32_t>{0, 1}));
    EXPECT_EQ(a.calls.size(), 1u);
    EXPECT_EQ(InventoryThroughExports().size(), 1u);
}

TEST_F(StorePurchasesTest, EachPurchaseOfAConsumableRaisesTheBalanceByTheOffersQuantity) {
    Notifications a = NewNotifications();
    ASSERT_TRUE(X().Store_RegisterForPurchaseEvents(RecordNotification, &a));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Show(BuyCoins).second, 1u);
    }
    ASSERT_EQ(a.receipts.size(), 2u);
    EXPECT_EQ(a.receipts[1], ReceiptFor(u"000000000002", u"Purchase", kCoins, u"500"));
    const auto owned = InventoryThroughExports();
    ASSERT_EQ(owned.size(), 1u);
    EXPECT_EQ(owned[0], (std::pair<std::u16string, uint32_t>{kCoins, 1000}));
}

TEST_F(StorePurchasesTest, ACancelledOrFailedPurchaseScreenGrantsNothing) {
    Notifications a = NewNotifications();
    ASSERT_TRUE(X().Store_RegisterForPurchaseEvents(RecordNotification, &a));
    emu::ScriptOutcome("IProductStatics.ShowPurchaseAsync", {Outcome::Kind::Cancel, ABI::E_ABORT});
    emu::ScriptOutcome("IProductStatics.ShowPurchaseAsync", {Outcome::Kind::Fail, ABI::E_ACCESSDENIED});
    EXPECT_EQ(Show(BuyGame), (std::pair<int32_t, uint32_t>{ABI::E_ABORT, 2}));
    EXPECT_EQ(Show(BuyGame), (std::pair<int32_t, uint32_t>{ABI::E_ACCESSDENIED, 3}));
    EXPECT_TRUE(a.calls.empty());
    EXPECT_TRUE(InventoryThroughExports().empty());
}

TEST_F(StorePurchasesTest, ARedeemCodeGrantsItsProductOnce) {
    Notifications a = NewNotifications();
    ASSERT_TRUE(X().Store_RegisterForPurchaseEvents(RecordNotification, &a));
    emu::SetRedeemCode(u"AAAAA-BBBBB", kPass);
    emu::SetRedeemCode(u"CCCCC-DDDDD", kCoins);

    auto redeemGiven = [](const host::VelmoraExports& x, void* d) {
        return x.Store_ShowRedeemCodeAsync(kUser, u"AAAAA-BBBBB", DeliverValue, d);
    };
    auto redeemTyped = [](const host::VelmoraExports& x, void* d) {
        return x.Store_ShowRedeemCodeAsync(kUser, nullptr, DeliverValue, d);
    };
    EXPECT_EQ(Show(redeemGiven), (std::pair<int32_t, uint32_t>{0, 1}));
    EXPECT_EQ(Show(redeemGiven), (std::pair<int32_t, uint32_t>{0, 1})) << "a redeemed code completes, grants nothing";
    EXPECT_EQ(Show(redeemTyped), (std::pair<int32_t, uint32_t>{0, 1})) << "the user types the code set last";

    ASSERT_EQ(a.receipts.size(), 2u);
    EXPECT_EQ(a.receipts[0], ReceiptFor(u"000000000001", u"RedeemCode", kPass, u"1"));
    EXPECT_EQ(a.receipts[1], ReceiptFor(u"000000000002", u"RedeemCode", kCoins, u"500"));
    EXPECT_EQ(InventoryThroughExports().size(), 2u);
}

TEST_F(StorePurchasesTest, AScriptedSubscriptionGrantsItsProductAndLiftsThePrivilege) {
    Notifications a = NewNotifications();
    ASSERT_TRUE(X().Store_RegisterForPurchaseEvents(RecordNotification, &a));
    emu::SetPrivilege(kUser, kMultiplayer, emu::PrivilegeCheckResult::PurchaseRequired);
    auto subscribe = [](const host::VelmoraExports& x, void* d) {
        return x.Store_ShowSubscriptionAsync(kUser, kPass, kMultiplayer, DeliverValue, d);
    };

    EXPECT_EQ(Show(subscribe), (std::pair<int32_t, uint32_t>{0, 1})) << "not scripted: the user only looks";
    EXPECT_TRUE(a.calls.empty());
    EXPECT_EQ(emu::PrivilegeOf(kUser, kMultiplayer), emu::PrivilegeCheckResult::PurchaseRequired);

    emu::SetSubscriptionGrant(kPass, kMultiplayer);
    EXPECT_EQ(Show(subscribe), (std::pair<int32_t, uint32_t>{0, 1}));
    ASSERT_EQ(a.receipts.size(), 1u);
    EXPECT_EQ(a.receipts[0], ReceiptFor(u"000000000001", u"Subscription", kPass, u"1"));
    EXPECT_EQ(emu::PrivilegeOf(kUser, kMultiplayer), emu::PrivilegeCheckResult::NoIssue);
    const auto owned = InventoryThroughExports();
    ASSERT_EQ(owned.size(), 1u);
    EXPECT_EQ(owned[0].first, kPass);
}

}  // namespace
}  // namespace velmora::test
