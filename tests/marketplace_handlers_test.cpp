// Registration of the inventory and catalog groups' handlers with the host queue: once per module,
// on the group's first call, in a fixed order, whatever the call answers and however many threads
// make the first call at once.
#include <barrier>
#include <functional>

#include "tests/marketplace_fixture.h"

namespace velmora::test {
namespace {

class MarketplaceHandlersTest : public MarketplaceTest {
protected:
    void SetUp() override {
        MarketplaceTest::SetUp();
        AddUser(kUser);
        Give(kUser, Consumable(u"coins", 10));
        List(Listed(u"game", MediaItemType::GameV2, {}));
        item = OwnedItemRecord();
        Host().Queue().ClearTrace();
    }
    void TearDown() override {
        if (item) X().InventoryItem_Dispose(item);
        MarketplaceTest::TearDown();
    }

    // An inventory item made by the emulator directly, so that obtaining it registers nothing.
    static ObjectHandle OwnedItemRecord() {
        emu::IInventoryItem* record = nullptr;
        EXPECT_EQ(emu::CreateInventoryItem(Consumable(u"coins", 10), &record), ABI::S_OK);
        return record;
    }

    using Start = std::function<bool(uint32_t user, ManagedObjectCallback, void*)>;
    struct Call {
        const char* name;
        Start start;
        DisposeExport dispose;
    };
    std::vector<Call> InventoryCalls() {
        return {
            {"GetInventoryItemsAsync",
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsAsync(u, I(MediaItemType::All), cb, d);
             },
             &Exports::InventoryItemsResult_Dispose},
            {"GetInventoryItemsAsyncEx",
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsAsyncEx(u, I(MediaItemType::All), I(ItemState::All),
                                                                      I(Availability::All), nullptr, 0, cb, d);
             },
             &Exports::InventoryItemsResult_Dispose},
            {"GetInventoryItemsForAllUsersAsync",
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsForAllUsersAsync(u, I(MediaItemType::All), cb, d);
             },
             &Exports::InventoryItemsResult_Dispose},
            {"GetInventoryItemsForAllUsersAsyncEx",
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsForAllUsersAsyncEx(
                     u, I(MediaItemType::All), I(ItemState::All), I(Availability::All), nullptr, 0, cb, d);
             },
             &Exports::InventoryItemsResult_Dispose},
            {"GetInventoryItemAsync",
             [&](uint32_t u, auto cb, void* d) { return X().InventoryService_GetInventoryItemAsync(u, item, cb, d); },
             &Exports::InventoryItem_Dispose},
            {"ConsumeInventoryItemAsync",
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_ConsumeInventoryItemAsync(u, item, 1, u"txn", cb, d);
             },
             &Exports::ConsumeInventoryItemResult_Dispose},
        };
    }
    std::vector<Call> CatalogCalls() {
        return {
            {"BrowseCatalogAsync",
             [&](uint32_t u, auto cb, void* d) {
                 return X().CatalogService_BrowseCatalogAsync(u, u"game", I(MediaItemType::GameV2),
                                                              I(MediaItemType::All), I(SortOrder::ReleaseDate), 0, 0,
                                                              cb, d);
             },
             &Exports::BrowseCatalogResult_Dispose},
            {"GetCatalogItemDetailsAsync",
             [&](uint32_t u, auto cb, void* d) {
                 const char16_t* ids[] = {u"game.product"};
                 return X().CatalogService_GetCatalogItemDetailsAsync(u, ids, 1, cb, d);
             },
             &Exports::CatalogItemDetailsList_Dispose},
        };
    }

    // Makes the call for a known user, waits for its one delivery and disposes the result.
    void RunToEnd(const Call& call) {
        Receipt& r = NewReceipt();
        ASSERT_TRUE(call.start(kUser, &Receive, &r));
        AwaitOne(r);
        EXPECT_EQ(r.call.hr, 0);
        (X().*call.dispose)(r.call.result);
    }

    ObjectHandle item = nullptr;
};

// Each row runs in a fresh module, so every call of the table is the group's first.
struct GroupCase {
    const char* group;
    bool inventory;
    size_t index;
};

class FirstCallTest : public MarketplaceHandlersTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(FirstCallTest, RegistersTheGroupsHandlersInOrderOnceAndNothingOfTheOtherGroup) {
    const GroupCase c = GetParam();
    const auto calls = c.inventory ? InventoryCalls() : CatalogCalls();
    const auto expected = c.inventory ? InventoryHandlers() : CatalogHandlers();
    const Call& call = calls[c.index];
    SCOPED_TRACE(call.name);

    RunToEnd(call);
    EXPECT_EQ(AddedHandlers(), expected);
    RunToEnd(call);
    EXPECT_EQ(AddedHandlers(), expected) << "a second call registers nothing more";
}

TEST_P(FirstCallTest, AFirstCallForAnUnknownUserRegistersTooAndAnswersFalse) {
    const GroupCase c = GetParam();
    const auto calls = c.inventory ? InventoryCalls() : CatalogCalls();
    const Call& call = calls[c.index];
    SCOPED_TRACE(call.name);

    Receipt& r = NewReceipt();
    EXPECT_FALSE(call.start(kUnknownUser, &Receive, &r));
    Settle();
    EXPECT_EQ(r.calls.load(), 0);
    EXPECT_EQ(AddedHandlers(), c.inventory ? InventoryHandlers() : CatalogHandlers());
}

INSTANTIATE_TEST_SUITE_P(Marketplace, FirstCallTest,
                         ::testing::Values(GroupCase{"inventory", true, 0}, GroupCase{"inventory", true, 1},
                                           GroupCase{"inventory", true, 2}, GroupCase{"inventory", true, 3},
                                           GroupCase{"inventory", true, 4}, GroupCase{"inventory", true, 5},
                                           GroupCase{"catalog", false, 0}, GroupCase{"catalog", false, 1}),
                         [](const auto& info) {
                             return std::string(info.param.group) + std::to_string(info.param.index);
                         });

TEST_F(MarketplaceHandlersTest, ADetailsQueryWithoutIdsAnswersFalseAndRegistersNothing) {
    const char16_t* ids[] = {u"game.product"};
    for (int32_t count : {0, -1}) {
        SCOPED_TRACE(count);
        Receipt& r = NewReceipt();
        EXPECT_FALSE(X().CatalogService_GetCatalogItemDetailsAsync(kUser, ids, count, &Receive, &r));
        Settle();
        EXPECT_EQ(r.calls.load(), 0);
        EXPECT_TRUE(AddedHandlers().empty());
    }
    EXPECT_TRUE(emu::MarketplaceCalls().empty()) << "nothing reached the platform";
    RunToEnd(CatalogCalls()[1]);
    EXPECT_EQ(AddedHandlers(), CatalogHandlers());
}

TEST_F(MarketplaceHandlersTest, ConcurrentFirstCallsFromEightThreadsRegisterOnce) {
    constexpr int kThreads = 8;
    for (bool inventory : {true, false}) {
        SCOPED_TRACE(inventory ? "inventory" : "catalog");
        const Call call = inventory ? InventoryCalls()[0] : CatalogCalls()[0];
        std::vector<Receipt*> receipts;
        for (int i = 0; i < kThreads; ++i) receipts.push_back(&NewReceipt());
        std::atomic<int> started{0};
        std::barrier gate(kThreads);
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                gate.arrive_and_wait();
                if (call.start(kUser, &Receive, receipts[i])) ++started;
            });
        for (auto& t : threads) t.join();
        EXPECT_EQ(started.load(), kThreads);
        EXPECT_TRUE(PumpUntil([&] {
            return std::all_of(receipts.begin(), receipts.end(), [](Receipt* r) { return r->calls.load() >= 1; });
        }));
        Settle();
        for (Receipt* r : receipts) {
            EXPECT_EQ(r->calls.load(), 1);
            (X().*call.dispose)(r->call.result);
        }
    }
    std::vector<EventId> expected = InventoryHandlers();
    for (const EventId& id : CatalogHandlers()) expected.push_back(id);
    EXPECT_EQ(AddedHandlers(), expected);
}

}  // namespace
}  // namespace velmora::test
