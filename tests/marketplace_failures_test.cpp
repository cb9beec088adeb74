// How each of the eight marketplace operations ends when something goes wrong: a user that does
// not resolve, a platform call that fails at once, an operation that fails, is cancelled, answers
// null or completes before the continuation is attached. A false start means no callback ever; a
// true start means exactly one.
#include <functional>

#include "tests/marketplace_fixture.h"

namespace velmora::test {
namespace {

using Outcome = emu::Outcome;
using Kind = emu::Outcome::Kind;

class MarketplaceFailuresTest : public MarketplaceTest {
protected:
    void SetUp() override {
        MarketplaceTest::SetUp();
        AddUser(kUser);
        Give(kUser, Consumable(u"coins", 1000));
        List(Listed(u"game", MediaItemType::GameV2, {}));
        List(Listed(u"castle", MediaItemType::GameContent, {u"game"}));
        emu::IInventoryItem* record = nullptr;
        ASSERT_EQ(emu::CreateInventoryItem(Consumable(u"coins", 1000), &record), ABI::S_OK);
        item = record;
    }
    void TearDown() override {
        X().InventoryItem_Dispose(item);
        MarketplaceTest::TearDown();
    }

    struct Operation {
        std::string platformCall;  // the emulated service method, for scripts
        std::string serviceGetter;
        EventId event;
        std::function<bool(uint32_t user, ManagedObjectCallback, void*)> start;
        DisposeExport dispose;
    };
    std::vector<Operation> Operations() {
        using namespace HaldenPlugin;
        const std::string inventory = "IXboxLiveContext.get_InventoryService";
        const std::string catalog = "IXboxLiveContext.get_CatalogService";
        return {
            {"IInventoryService.GetInventoryItemsAsync", inventory, InventoryItemsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsAsync(u, I(MediaItemType::All), cb, d);
             },
             &Exports::InventoryItemsResult_Dispose},
            {"IInventoryService.GetInventoryItemsWithFiltersAsync", inventory, InventoryItemsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsAsyncEx(u, I(MediaItemType::All), I(ItemState::All),
                                                                      I(Availability::All), u"", 0, cb, d);
             },
             &Exports::InventoryItemsResult_Dispose},
            {"IInventoryService.GetInventoryItemsForAllUsersAsync", inventory, InventoryItemsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsForAllUsersAsync(u, I(MediaItemType::All), cb, d);
             },
             &Exports::InventoryItemsResult_Dispose},
            {"IInventoryService.GetInventoryItemsForAllUsersWithFiltersAsync", inventory, InventoryItemsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsForAllUsersAsyncEx(
                     u, I(MediaItemType::All), I(ItemState::All), I(Availability::All), u"", 0, cb, d);
             },
             &Exports::InventoryItemsResult_Dispose},
            {"IInventoryService.GetInventoryItemAsync", inventory, InventoryItemEvent::Id,
             [&](uint32_t u, auto cb, void* d) { return X().InventoryService_GetInventoryItemAsync(u, item, cb, d); },
             &Exports::InventoryItem_Dispose},
            {"IInventoryService.ConsumeInventoryItemAsync", inventory, ConsumeInventoryItemResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_ConsumeInventoryItemAsync(u, item, 1, u"txn", cb, d);
             },
             &Exports::ConsumeInventoryItemResult_Dispose},
            {"ICatalogService.BrowseCatalogAsync", catalog, BrowseCatalogResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().CatalogService_BrowseCatalogAsync(u, u"game", I(MediaItemType::GameV2),
                                                              I(MediaItemType::All), I(SortOrder::UserRatings), 0, 0,
                                                              cb, d);
             },
             &Exports::BrowseCatalogResult_Dispose},
            {"ICatalogService.GetCatalogItemDetailsAsync", catalog, CatalogItemDetailsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 const char16_t* ids[] = {u"castle.product"};
                 return X().CatalogService_GetCatalogItemDetailsAsync(u, ids, 1, cb, d);
             },
             &Exports::CatalogItemDetailsList_Dispose},
        };
    }

    // Starts the operation and checks that it answers false and that no callback and no event follow.
    void ExpectNoStart(const Operation& op, uint32_t user) {
        Host().Queue().ClearTrace();
        Receipt& r = NewReceipt();
        EXPECT_FALSE(op.start(user, &Receive, &r));
        Settle();
        EXPECT_EQ(r.calls.load(), 0);
        EXPECT_EQ(Sent(op.event), 0u);
    }

    // Starts the operation and answers its one delivery.
    ObjectCall ExpectOneEvent(const Operation& op) {
        Host().Queue().ClearTrace();
        Receipt& r = NewReceipt();
        EXPECT_TRUE(op.start(kUser, &Receive, &r));
        EXPECT_EQ(r.calls.load(), 0) << "delivery waits for the pump, even for a synchronous completion";
        AwaitOne(r);
        EXPECT_EQ(Sent(op.event), 1u);
        EXPECT_TRUE(r.call.onDeliveringThread && r.onPumpingThread);
        EXPECT_EQ(r.call.userData, &r);
        return r.call;
    }

    ObjectHandle item = nullptr;
};

TEST_F(MarketplaceFailuresTest, AUserThatDoesNotResolveStartsNothing) {
    for (const Operation& op : Operations()) {
        SCOPED_TRACE(op.platformCall);
        ExpectNoStart(op, kUnknownUser);
    }
    EXPECT_TRUE(emu::MarketplaceCalls().empty()) << "no service was asked";
}

TEST_F(MarketplaceFailuresTest, ASynchronousPlatformFailureStartsNothing) {
    struct Failure {
        const char* name;
        std::function<void(const Operation&)> arm;
    };
    const Failure failures[] = {
        {"the start fails",
         [](const Operation& op) {
             emu::ScriptOutcome(op.platformCall, {Kind::FailStart, ABI::E_FAIL});
         }},
        {"the start hands out no operation",
         [](const Operation& op) { emu::ScriptOutcome(op.platformCall, {Kind::NullOperation}); }},
        {"the service is unavailable",
         [](const Operation& op) { emu::InjectFault(op.serviceGetter, ABI::E_ACCESSDENIED, 1); }},
        {"the service method fails", [](const Operation& op) { emu::InjectFault(op.platformCall, ABI::E_FAIL, 1); }},
    };
    for (const Failure& failure : failures) {
        for (const Operation& op : Operations()) {
            SCOPED_TRACE(std::string(failure.name) + ": " + op.platformCall);
            failure.arm(op);
            ExpectNoStart(op, kUser);
        }
    }
}

TEST_F(MarketplaceFailuresTest, AnAsynchronousEndDeliversExactlyOneEvent) {
    struct End {
        const char* name;
        Outcome outcome;
        int32_t hr;
    };
    const End ends[] = {
        {"failed", {Kind::Fail, ABI::E_ACCESSDENIED}, ABI::E_ACCESSDENIED},
        {"cancelled", {Kind::Cancel}, ABI::S_OK},
        {"null result", {Kind::NullResult}, ABI::S_OK},
    };
    for (const End& end : ends) {
        for (const Operation& op : Operations()) {
            SCOPED_TRACE(std::string(end.name) + ": " + op.platformCall);
            emu::ScriptOutcome(op.platformCall, end.outcome);
            const ObjectCall call = ExpectOneEvent(op);
            EXPECT_EQ(call.hr, end.hr);
            EXPECT_EQ(call.result, nullptr);
        }
    }
}

TEST_F(MarketplaceFailuresTest, ASynchronousCompletionDeliversExactlyOneEventWithItsResult) {
    for (const Operation& op : Operations()) {
        SCOPED_TRACE(op.platformCall);
        emu::ScriptOutcome(op.platformCall, {Kind::CompleteSynchronously});
        const int64_t before = emu::LiveObjects();
        const ObjectCall call = ExpectOneEvent(op);
        EXPECT_EQ(call.hr, ABI::S_OK);
        EXPECT_NE(call.result, nullptr);
        (X().*op.dispose)(call.result);
        EXPECT_EQ(emu::LiveObjects(), before);
    }
}

}  // namespace
}  // namespace velmora::test
