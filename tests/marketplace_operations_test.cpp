// The eight marketplace operations from one table: a successful road delivers the emulator's
// records once, on the pumping thread, with the user data, posting one event, and disposing leaves
// nothing alive. Every other ending is in async_outcomes_test.cpp, every accessor's reading in
// marketplace_accessors_test.cpp, the groups' first use in plugin_handlers_test.cpp and
// stress_first_use_test.cpp.
#include <functional>

#include "tests/marketplace_fixture.h"

namespace velmora::test {
namespace {

using Kind = emu::Outcome::Kind;
using U16s = std::vector<std::u16string>;

class MarketplaceOperationsTest : public MarketplaceTest {
protected:
    void SetUp() override {
        MarketplaceTest::SetUp();
        AddUser(kUser, u"Ada");
        AddUser(kOtherUser, u"Brun");
        auto castle = Owned(u"dlc.castle");
        castle.containerIds = {{u"bundle.1", u"bundle.2"}};
        Give(kUser, castle);
        Give(kUser, Consumable(u"coins", 100));
        Give(kOtherUser, Owned(u"dlc.sword"));
        auto castleProduct = Listed(u"castle", MediaItemType::GameContent, {u"game"});
        emu::CatalogAvailabilityData offer;
        offer.offerId = u"offer-castle";
        castleProduct.availabilities = {offer};
        castleProduct.freeAndPaidCountDaily = 5;
        auto coinPack = Listed(u"coinpack", MediaItemType::GameConsumable, {u"game"});
        coinPack.freeAndPaidCountDaily = 9;
        List(Listed(u"game", MediaItemType::GameV2, {}));
        List(castleProduct);
        List(coinPack);
        // Made by the emulator directly, so that obtaining it registers nothing.
        emu::IInventoryItem* record = nullptr;
        ASSERT_EQ(emu::CreateInventoryItem(Consumable(u"coins", 100), &record), ABI::S_OK);
        item = record;
        Host().Queue().ClearTrace();
    }
    void TearDown() override {
        X().InventoryItem_Dispose(item);
        MarketplaceTest::TearDown();
    }

    struct Operation {
        std::string platformCall;  // the emulated service method, for scripts
        EventId event;
        std::function<bool(uint32_t user, ManagedObjectCallback, void*)> start;
        std::function<void(ObjectHandle)> verify;  // what a successful result reads
        DisposeExport dispose;
    };
    std::vector<Operation> Operations() {
        using namespace HaldenPlugin;
        auto items = [this](U16s ids, uint32_t total) {
            return [this, ids, total](ObjectHandle r) {
                EXPECT_EQ(X().InventoryItemsResult_TotalItems(r), total);
                EXPECT_EQ(ProductIds(r), ids);
            };
        };
        return {
            {"IInventoryService.GetInventoryItemsAsync", InventoryItemsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsAsync(u, I(MediaItemType::GameContent), cb, d);
             },
             items({u"dlc.castle"}, 1), &Exports::InventoryItemsResult_Dispose},
            {"IInventoryService.GetInventoryItemsWithFiltersAsync", InventoryItemsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsAsyncEx(u, I(MediaItemType::All), I(ItemState::All),
                                                                      I(Availability::All), u"bundle.2", 0, cb, d);
             },
             items({u"dlc.castle"}, 1), &Exports::InventoryItemsResult_Dispose},
            {"IInventoryService.GetInventoryItemsForAllUsersAsync", InventoryItemsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsForAllUsersAsync(u, I(MediaItemType::All), cb, d);
             },
             items({u"dlc.castle", u"coins", u"dlc.sword"}, 3), &Exports::InventoryItemsResult_Dispose},
            {"IInventoryService.GetInventoryItemsForAllUsersWithFiltersAsync", InventoryItemsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_GetInventoryItemsForAllUsersAsyncEx(
                     u, I(MediaItemType::GameContent), I(ItemState::Enabled), I(Availability::Available), nullptr, 1,
                     cb, d);
             },
             items({u"dlc.castle"}, 2), &Exports::InventoryItemsResult_Dispose},
            {"IInventoryService.GetInventoryItemAsync", InventoryItemEvent::Id,
             [&](uint32_t u, auto cb, void* d) { return X().InventoryService_GetInventoryItemAsync(u, item, cb, d); },
             [&](ObjectHandle r) { EXPECT_EQ(Show(X().InventoryItem_ProductId(r)), u"coins"); },
             &Exports::InventoryItem_Dispose},
            {"IInventoryService.ConsumeInventoryItemAsync", ConsumeInventoryItemResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().InventoryService_ConsumeInventoryItemAsync(u, item, 30, u"txn-1", cb, d);
             },
             [&](ObjectHandle r) {
                 EXPECT_EQ(X().ConsumeInventoryItemResult_ConsumableBalance(r), 70u);
                 EXPECT_EQ(Show(X().ConsumeInventoryItemResult_TransactionId(r)), u"txn-1");
                 EXPECT_EQ(emu::InventoryOf(kUser)[1].consumableBalance, 70u);
             },
             &Exports::ConsumeInventoryItemResult_Dispose},
            {"ICatalogService.BrowseCatalogAsync", BrowseCatalogResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 return X().CatalogService_BrowseCatalogAsync(u, u"game", I(MediaItemType::GameV2),
                                                              I(MediaItemType::All),
                                                              I(SortOrder::FreeAndPaidCountDaily), 0, 0, cb, d);
             },
             [&](ObjectHandle r) {
                 EXPECT_EQ(X().BrowseCatalogResult_TotalCount(r), 2u);
                 EXPECT_EQ(CatalogIds(r), (U16s{u"coinpack", u"castle"}));
             },
             &Exports::BrowseCatalogResult_Dispose},
            {"ICatalogService.GetCatalogItemDetailsAsync", CatalogItemDetailsResultEvent::Id,
             [&](uint32_t u, auto cb, void* d) {
                 const char16_t* ids[] = {u"castle.product"};
                 return X().CatalogService_GetCatalogItemDetailsAsync(u, ids, 1, cb, d);
             },
             [&](ObjectHandle r) {
                 ASSERT_EQ(X().CatalogItemDetailsList_Length(r), 1u);
                 ObjectHandle details = X().CatalogItemDetailsList_GetAt(r, 0);
                 EXPECT_EQ(Show(X().CatalogItemDetails_Id(details)), u"castle");
                 ObjectHandle offers = X().CatalogItemDetails_Availabilities(details);
                 ObjectHandle offer = X().CatalogItemDetails_Availabilities_GetAt(offers, 0);
                 EXPECT_EQ(Show(X().CatalogItemAvailability_OfferId(offer)), u"offer-castle");
                 X().CatalogItemAvailability_Dispose(offer);
                 X().CatalogItemDetails_Availabilities_Dispose(offers);
                 X().CatalogItemDetails_Dispose(details);
             },
             &Exports::CatalogItemDetailsList_Dispose},
        };
    }

    // Starts the operation and answers its one delivery.
    Delivered ExpectOneEvent(const Operation& op) {
        Host().Queue().ClearTrace();
        const Delivered r = RunOnce([&](void* d) { return op.start(kUser, &DeliverObject, d); });
        EXPECT_EQ(Sent(op.event), 1u);
        return r;
    }

    ObjectHandle item = nullptr;
};

TEST_F(MarketplaceOperationsTest, EveryOperationDeliversTheEmulatorsDataOnceAndLeavesNothingAlive) {
    for (const Operation& op : Operations()) {
        SCOPED_TRACE(op.platformCall);
        const int64_t objectsBefore = emu::LiveObjects();
        const int64_t stringsBefore = emu::LiveStrings();
        const Delivered call = ExpectOneEvent(op);
        EXPECT_EQ(call.hr, 0);
        ASSERT_NE(call.result, nullptr);
        op.verify(call.result);
        (X().*op.dispose)(call.result);
        EXPECT_EQ(emu::LiveObjects(), objectsBefore);
        EXPECT_EQ(emu::LiveStrings(), stringsBefore);
    }
}

}  // namespace
}  // namespace velmora::test
