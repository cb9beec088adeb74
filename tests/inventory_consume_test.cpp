// Consumption of a consumable: the balance it lowers, a transaction processed once, a balance that
// does not cover the quantity, and the arguments the starting call refuses.
#include "tests/marketplace_fixture.h"

namespace velmora::test {
namespace {

class InventoryConsumeTest : public MarketplaceTest {
protected:
    void SetUp() override {
        MarketplaceTest::SetUp();
        AddUser(kUser);
        Give(kUser, Consumable(u"coins", 100));
        Give(kUser, Owned(u"castle"));
        coins = OwnedItem(kUser, u"coins");
    }
    void TearDown() override {
        X().InventoryItem_Dispose(coins);
        MarketplaceTest::TearDown();
    }

    uint32_t Balance() { return emu::InventoryOf(kUser)[0].consumableBalance; }

    // Consumes and answers (HRESULT, balance answered, transaction id answered); the result is disposed.
    std::tuple<int32_t, uint32_t, std::u16string> Consume(ObjectHandle item, uint32_t quantity,
                                                          const char16_t* transactionId) {
        const Delivered r = RunOnce([&](void* d) {
            return X().InventoryService_ConsumeInventoryItemAsync(kUser, item, quantity, transactionId, &DeliverObject,
                                                                  d);
        });
        std::tuple<int32_t, uint32_t, std::u16string> answer{r.hr,
                                                             X().ConsumeInventoryItemResult_ConsumableBalance(r.result),
                                                             X().ConsumeInventoryItemResult_TransactionId(r.result)};
        if (r.result) {
            EXPECT_EQ(Show(X().ConsumeInventoryItemResult_ConsumableUrl(r.result)),
                      u"https://inventory.example.com/consumables/coins");
        }
        X().ConsumeInventoryItemResult_Dispose(r.result);
        return answer;
    }

    ObjectHandle coins = nullptr;
};

TEST_F(InventoryConsumeTest, ConsumingLowersTheBalanceAndTheItemQueryShowsIt) {
    EXPECT_EQ(Consume(coins, 30, u"txn-1"), std::tuple(0, 70u, std::u16string(u"txn-1")));
    EXPECT_EQ(Consume(coins, 70, u"txn-2"), std::tuple(0, 0u, std::u16string(u"txn-2")));
    EXPECT_EQ(Balance(), 0u);
    ObjectHandle current =
        Run([&](auto cb, void* d) { return X().InventoryService_GetInventoryItemAsync(kUser, coins, cb, d); });
    EXPECT_EQ(X().InventoryItem_ConsumableBalance(current), 0u);
    EXPECT_EQ(X().InventoryItem_ConsumableBalance(coins), 100u) << "a snapshot keeps the balance it was made with";
    X().InventoryItem_Dispose(current);
}

TEST_F(InventoryConsumeTest, ATransactionIsProcessedOnce) {
    EXPECT_EQ(Consume(coins, 30, u"txn-1"), std::tuple(0, 70u, std::u16string(u"txn-1")));
    EXPECT_EQ(Consume(coins, 30, u"txn-1"), std::tuple(0, 70u, std::u16string(u"txn-1")));
    EXPECT_EQ(Consume(coins, 5, u"txn-1"), std::tuple(0, 70u, std::u16string(u"txn-1")))
        << "a repeat answers the first result whatever its quantity";
    EXPECT_EQ(Balance(), 70u);
}

TEST_F(InventoryConsumeTest, ABalanceThatDoesNotCoverTheQuantityFailsTheOperationAndConsumesNothing) {
    EXPECT_EQ(Consume(coins, 101, u"txn-1"), std::tuple(emu::E_CONSUMABLE_BALANCE_SHORT, 0u, std::u16string(u"")));
    EXPECT_EQ(Balance(), 100u);
    // The failed transaction was not recorded: once the balance covers it, it goes through.
    ASSERT_EQ(emu::UpdateInventoryItem(kUser, Consumable(u"coins", 101)), ABI::S_OK);
    EXPECT_EQ(Consume(coins, 101, u"txn-1"), std::tuple(0, 0u, std::u16string(u"txn-1")));
}

TEST_F(InventoryConsumeTest, AConsumableTheUserDoesNotOwnFailsTheOperationWithNotFound) {
    emu::IInventoryItem* record = nullptr;
    ASSERT_EQ(emu::CreateInventoryItem(Consumable(u"gems", 10), &record), ABI::S_OK);
    EXPECT_EQ(Consume(record, 1, u"txn-1"), std::tuple(ABI::E_NOT_FOUND, 0u, std::u16string(u"")));
    X().InventoryItem_Dispose(record);
}

TEST_F(InventoryConsumeTest, TheStartingCallRefusesArgumentsThatCannotBeConsumed) {
    ObjectHandle castle = OwnedItem(kUser, u"castle");
    struct Row {
        const char* name;
        ObjectHandle item;
        uint32_t quantity;
        const char16_t* transactionId;
        std::u16string received;  // the transaction id the service saw
    };
    const Row rows[] = {
        {"quantity 0", coins, 0, u"txn", u"txn"},
        {"empty transaction id", coins, 1, u"", u""},
        {"null transaction id", coins, 1, nullptr, u""},
        {"an item without a consumable URL", castle, 1, u"txn", u"txn"},
        {"no item", nullptr, 1, u"txn", u"txn"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Host().Queue().ClearTrace();
        ExpectRefused([&](void* d) {
            return X().InventoryService_ConsumeInventoryItemAsync(kUser, row.item, row.quantity, row.transactionId,
                                                                  &DeliverObject, d);
        });
        EXPECT_EQ(Sent(HaldenPlugin::ConsumeInventoryItemResultEvent::Id), 0u);
        const emu::MarketplaceCall call = emu::MarketplaceCalls().back();
        EXPECT_EQ(call.method, "IInventoryService.ConsumeInventoryItemAsync");
        EXPECT_EQ(call.texts[1], row.received);
        EXPECT_EQ(call.numbers, std::vector<int64_t>{row.quantity});
    }
    EXPECT_EQ(Balance(), 100u);
    X().InventoryItem_Dispose(castle);
}

TEST_F(InventoryConsumeTest, AGrantRaisesTheBalanceOfTheConsumableProduct) {
    auto product = Listed(u"coins", MediaItemType::GameConsumable, {});
    product.productId = u"coins";
    List(product);
    ASSERT_EQ(emu::GrantProduct(kUser, u"coins", 50), ABI::S_OK);
    EXPECT_EQ(Balance(), 150u);
    EXPECT_EQ(Consume(coins, 150, u"txn-1"), std::tuple(0, 0u, std::u16string(u"txn-1")));
}

}  // namespace
}  // namespace velmora::test
