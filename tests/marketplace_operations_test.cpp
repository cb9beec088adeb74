// The whole road of one request for each of the eight marketplace operations: the export starts
// it, the emulated service answers from its data, the callback runs once on the pumping thread
// with the user data, the accessors read exactly that data, and disposing leaves nothing alive.
#include <functional>

#include "tests/marketplace_fixture.h"

namespace velmora::test {
namespace {

class MarketplaceOperationsTest : public MarketplaceTest {
protected:
    void SetUp() override {
        MarketplaceTest::SetUp();
        AddUser(kUser, u"Ada");
        AddUser(kOtherUser, u"Brun");
        castle.containerIds = {{u"bundle.1", u"bundle.2"}};
        Give(kUser, castle);
        Give(kUser, coins);
        Give(kOtherUser, sword);

        castleProduct.images = {
            {u"img-1", u"BoxArt", {u"BoxArt", u"Poster"}, u"https://images.example.com/castle.png", 1920, 1080}};
        emu::CatalogAvailabilityData offer;
        offer.contentId = u"content-castle";
        offer.title = u"Castle";
        offer.currencyCode = u"EUR";
        offer.displayPrice = u"4,99 €";
        offer.signedOffer = u"signed-castle";
        offer.offerId = u"offer-castle";
        offer.price = 4.99;
        offer.listPrice = 9.99;
        offer.acceptablePaymentInstrumentTypes = {u"CreditCard", u"Token"};
        castleProduct.availabilities = {offer};
        castleProduct.freeAndPaidCountDaily = 5;
        coinPack.freeAndPaidCountDaily = 9;
        List(Listed(u"game", MediaItemType::GameV2, {}));
        List(castleProduct);
        List(coinPack);
    }

    emu::InventoryItemData castle = Owned(u"dlc.castle");
    emu::InventoryItemData coins = Consumable(u"coins", 100);
    emu::InventoryItemData sword = Owned(u"dlc.sword");
    emu::CatalogItemData castleProduct = Listed(u"castle", MediaItemType::GameContent, {u"game"});
    emu::CatalogItemData coinPack = Listed(u"coinpack", MediaItemType::GameConsumable, {u"game"});
};

// One operation's road: how it starts, what its result must read, how the result is disposed.
struct Road {
    const char* name;
    EventId event;
    std::function<bool(ManagedObjectCallback, void*)> start;
    std::function<void(ObjectHandle)> verify;
    DisposeExport dispose;
};

TEST_F(MarketplaceOperationsTest, EveryOperationDeliversTheEmulatorsDataOnceAndLeavesNothingAlive) {
    using namespace HaldenPlugin;
    ObjectHandle castleItem = OwnedItem(kUser, u"dlc.castle");
    ObjectHandle coinsItem = OwnedItem(kUser, u"coins");
    auto expectItems = [&](ObjectHandle result, const std::vector<const emu::InventoryItemData*>& expected,
                           uint32_t total) {
        EXPECT_EQ(X().InventoryItemsResult_TotalItems(result), total);
        ObjectHandle items = X().InventoryItemsResult_Items(result);
        ASSERT_EQ(X().InventoryItemsResult_Items_Length(items), expected.size());
        for (uint32_t i = 0; i < expected.size(); ++i) {
            ObjectHandle item = X().InventoryItemsResult_Items_GetAt(items, i);
            ExpectInventoryItem(item, *expected[i]);
            X().InventoryItem_Dispose(item);
        }
        X().InventoryItemsResult_Items_Dispose(items);
    };
    const std::vector<Road> roads = {
        {"InventoryService_GetInventoryItemsAsync", InventoryItemsResultEvent::Id,
         [&](auto cb, void* data) {
             return X().InventoryService_GetInventoryItemsAsync(kUser, I(MediaItemType::GameContent), cb, data);
         },
         [&](ObjectHandle r) { expectItems(r, {&castle}, 1); }, &Exports::InventoryItemsResult_Dispose},
        {"InventoryService_GetInventoryItemsAsyncEx", InventoryItemsResultEvent::Id,
         [&](auto cb, void* data) {
             return X().InventoryService_GetInventoryItemsAsyncEx(kUser, I(MediaItemType::All), I(ItemState::All),
                                                                  I(Availability::All), u"bundle.2", 0, cb, data);
         },
         [&](ObjectHandle r) { expectItems(r, {&castle}, 1); }, &Exports::InventoryItemsResult_Dispose},
        {"InventoryService_GetInventoryItemsForAllUsersAsync", InventoryItemsResultEvent::Id,
         [&](auto cb, void* data) {
             return X().InventoryService_GetInventoryItemsForAllUsersAsync(kUser, I(MediaItemType::All), cb, data);
         },
         [&](ObjectHandle r) {
             expectItems(r, {&castle, &coins, &sword}, 3);
         },
         &Exports::InventoryItemsResult_Dispose},
        {"InventoryService_GetInventoryItemsForAllUsersAsyncEx", InventoryItemsResultEvent::Id,
         [&](auto cb, void* data) {
             return X().InventoryService_GetInventoryItemsForAllUsersAsyncEx(
                 kOtherUser, I(MediaItemType::GameContent), I(ItemState::Enabled), I(Availability::Available), nullptr,
                 1, cb, data);
         },
         [&](ObjectHandle r) { expectItems(r, {&castle}, 2); }, &Exports::InventoryItemsResult_Dispose},
        {"InventoryService_GetInventoryItemAsync", InventoryItemEvent::Id,
         [&](auto cb, void* data) { return X().InventoryService_GetInventoryItemAsync(kUser, castleItem, cb, data); },
         [&](ObjectHandle r) { ExpectInventoryItem(r, castle); }, &Exports::InventoryItem_Dispose},
        {"InventoryService_ConsumeInventoryItemAsync", ConsumeInventoryItemResultEvent::Id,
         [&](auto cb, void* data) {
             return X().InventoryService_ConsumeInventoryItemAsync(kUser, coinsItem, 30, u"txn-1", cb, data);
         },
         [&](ObjectHandle r) {
             EXPECT_EQ(X().ConsumeInventoryItemResult_ConsumableBalance(r), 70u);
             EXPECT_EQ(Show(X().ConsumeInventoryItemResult_ConsumableUrl(r)), *coins.consumableUrl);
             EXPECT_EQ(Show(X().ConsumeInventoryItemResult_TransactionId(r)), u"txn-1");
             EXPECT_EQ(emu::InventoryOf(kUser)[1].consumableBalance, 70u);
         },
         &Exports::ConsumeInventoryItemResult_Dispose},
        {"CatalogService_BrowseCatalogAsync", BrowseCatalogResultEvent::Id,
         [&](auto cb, void* data) {
             return X().CatalogService_BrowseCatalogAsync(kUser, u"game", I(MediaItemType::GameV2),
                                                          I(MediaItemType::All), I(SortOrder::FreeAndPaidCountDaily), 0,
                                                          0, cb, data);
         },
         [&](ObjectHandle r) {
             EXPECT_EQ(X().BrowseCatalogResult_TotalCount(r), 2u);
             ASSERT_EQ(X().BrowseCatalogResult_Items_Length(r), 2u);
             const emu::CatalogItemData* expected[] = {&coinPack, &castleProduct};
             for (uint32_t i = 0; i < 2; ++i) {
                 ObjectHandle item = X().BrowseCatalogResult_Items_GetAt(r, i);
                 ExpectCatalogItem(item, *expected[i]);
                 X().CatalogItem_Dispose(item);
             }
         },
         &Exports::BrowseCatalogResult_Dispose},
        {"CatalogService_GetCatalogItemDetailsAsync", CatalogItemDetailsResultEvent::Id,
         [&](auto cb, void* data) {
             const char16_t* ids[] = {u"castle.product"};
             return X().CatalogService_GetCatalogItemDetailsAsync(kUser, ids, 1, cb, data);
         },
         [&](ObjectHandle r) {
             ASSERT_EQ(X().CatalogItemDetailsList_Length(r), 1u);
             ObjectHandle details = X().CatalogItemDetailsList_GetAt(r, 0);
             ExpectDetails(details, castleProduct);
             X().CatalogItemDetails_Dispose(details);
         },
         &Exports::CatalogItemDetailsList_Dispose},
    };

    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        Host().Queue().ClearTrace();
        const int64_t objectsBefore = emu::LiveObjects();
        const int64_t stringsBefore = emu::LiveStrings();
        Receipt& r = NewReceipt();
        ASSERT_TRUE(road.start(&Receive, &r));
        EXPECT_EQ(r.calls.load(), 0) << "a callback runs only when the host pumps";
        AwaitOne(r);
        EXPECT_EQ(Sent(road.event), 1u);
        EXPECT_EQ(r.call.hr, 0);
        EXPECT_EQ(r.call.userData, &r);
        EXPECT_TRUE(r.call.onDeliveringThread);
        EXPECT_TRUE(r.onPumpingThread);
        ASSERT_NE(r.call.result, nullptr);
        road.verify(r.call.result);
        (X().*road.dispose)(r.call.result);
        EXPECT_EQ(emu::LiveObjects(), objectsBefore);
        EXPECT_EQ(emu::LiveStrings(), stringsBefore);
    }
    X().InventoryItem_Dispose(castleItem);
    X().InventoryItem_Dispose(coinsItem);
}

}  // namespace
}  // namespace velmora::test
