// The fixture of the emulator's test-kit tests (ledger, refunds, clock, held screens, the world
// saved): a plugin in the reference host, a signed-in buyer, and a small store with one product of
// each kind a grant treats differently, bought through the plugin's exports as a game would.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "emulator/services/clock.h"
#include "emulator/services/ledger.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/store/store.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {

// Managed ticks (since 0001-01-01), as the date exports answer them, of platform ticks.
constexpr int64_t Managed(int64_t platformTicks) { return platformTicks + 504911232000000000; }
// 2025-06-01T09:00:00Z, where the tests that fix the clock start it.
inline constexpr int64_t kJune1st = 133932420000000000;
inline constexpr int64_t kTicksPerDay = 864000000000;

class TestKitTest : public PluginTest {
public:
    using PluginTest::Settle;
    using PluginTest::X;
    static constexpr uint32_t kBuyer = 4;
    static constexpr uint32_t kPassPrivilege = 247;
    static constexpr char16_t kGame[] = u"9TKGAME00001";  // a durable
    static constexpr char16_t kGameOffer[] = u"offer-game";
    static constexpr char16_t kGems[] = u"9TKGEMS00500";  // a consumable, 500 a purchase
    static constexpr char16_t kGemsOffer[] = u"offer-gems";
    static constexpr char16_t kPass[] = u"9TKPASS00030";  // a subscription
    static constexpr char16_t kPassOffer[] = u"offer-pass";
    static constexpr char16_t kCode[] = u"TK-CODE-GEMS";  // redeems the gems

    // The buyer's world: the three products, the code, the subscription grant. Also after a reset.
    void BuildStore() {
        AddUser(kBuyer, u"Buyer");
        AddProduct(kGame, u"catalog-game", emu::MediaItemType::GameContent, kGameOffer);
        AddProduct(kGems, u"catalog-gems", emu::MediaItemType::GameConsumable, kGemsOffer, 500);
        AddProduct(kPass, u"catalog-pass", emu::MediaItemType::Subscription, kPassOffer);
        emu::SetRedeemCode(kCode, kGems);
        emu::SetSubscriptionGrant(kPass, kPassPrivilege);
    }

    // The receipts of the purchase notifications the plugin delivered, in order.
    std::vector<std::u16string> receipts;
    void ListenForPurchases() {
        ASSERT_TRUE(X().Store_RegisterForPurchaseEvents(
            [](int32_t, ObjectHandle args, void* self) {
                auto* test = static_cast<TestKitTest*>(self);
                test->receipts.push_back(test->X().ProductPurchasedEventArgs_Receipt(args));
                test->X().ProductPurchasedEventArgs_Dispose(args);
            },
            this));
    }

    // A store screen through its export, pumped to its one callback: (error code, status).
    struct Screen {
        int32_t hr;
        uint32_t status;
    };
    Screen Buy(const char16_t* offer) {
        const Delivered d =
            RunOnce([&](void* u) { return X().Store_ShowPurchaseAsync(kBuyer, offer, DeliverValue, u); });
        return {d.hr, d.value};
    }
    Screen Redeem(const char16_t* code) {
        const Delivered d =
            RunOnce([&](void* u) { return X().Store_ShowRedeemCodeAsync(kBuyer, code, DeliverValue, u); });
        return {d.hr, d.value};
    }
    Screen Subscribe() {
        const Delivered d = RunOnce(
            [&](void* u) { return X().Store_ShowSubscriptionAsync(kBuyer, kPass, kPassPrivilege, DeliverValue, u); });
        return {d.hr, d.value};
    }

    // The buyer's item of a product as the next inventory query answers it: the game's query (Enabled
    // and available items) or, with anyState, the filtered query of every state and availability.
    struct Item {
        int32_t state;
        uint32_t balance;
        int64_t rightsObtained, start, end;  // managed ticks
    };
    std::optional<Item> ItemOf(const char16_t* productId, bool anyState = false) {
        const Delivered d = RunOnce([&](void* u) {
            return anyState ? X().InventoryService_GetInventoryItemsAsyncEx(kBuyer, 14, 1, 0, u"", 0, DeliverObject, u)
                            : X().InventoryService_GetInventoryItemsAsync(kBuyer, 14, DeliverObject, u);
        });
        std::optional<Item> found;
        ObjectHandle items = X().InventoryItemsResult_Items(d.result);
        for (uint32_t i = 0, n = X().InventoryItemsResult_Items_Length(items); i < n; ++i) {
            ObjectHandle item = X().InventoryItemsResult_Items_GetAt(items, i);
            if (std::u16string_view(X().InventoryItem_ProductId(item)) == productId)
                found = Item{X().InventoryItem_InventoryItemState(item), X().InventoryItem_ConsumableBalance(item),
                             X().InventoryItem_RightsObtainedDate(item), X().InventoryItem_StartDate(item),
                             X().InventoryItem_EndDate(item)};
            X().InventoryItem_Dispose(item);
        }
        X().InventoryItemsResult_Items_Dispose(items);
        X().InventoryItemsResult_Dispose(d.result);
        return found;
    }

    // The buyer's consumable, consumed through the export.
    void Consume(const char16_t* productId, uint32_t quantity, const char16_t* transaction) {
        ObjectHandle item = OwnedItem(kBuyer, productId);
        const Delivered d = RunOnce([&](void* u) {
            return X().InventoryService_ConsumeInventoryItemAsync(kBuyer, item, quantity, transaction, DeliverObject,
                                                                  u);
        });
        X().InventoryItem_Dispose(item);
        EXPECT_EQ(d.hr, 0);
        X().ConsumeInventoryItemResult_Dispose(d.result);
    }

    // A privilege check through the export, resolving what it can; answers the flags.
    uint32_t CheckPrivilege(uint32_t privilegeId) {
        return RunOnce(
                   [&](void* u) { return X().Store_CheckPrivilegeAsync(kBuyer, privilegeId, 1, u"", DeliverValue, u); })
            .value;
    }

    // The newest ledger entry, or an empty one.
    static emu::Transaction Last() {
        const auto all = emu::Transactions();
        return all.empty() ? emu::Transaction{} : all.back();
    }

protected:
    void SetUp() override {
        PluginTest::SetUp();
        BuildStore();
    }
};

// "Purchase, Granted" and so on, for messages.
inline std::string Named(emu::TransactionSource source, emu::TransactionOutcome outcome) {
    return std::string(emu::kTransactionSourceNames[size_t(source)]) + ", " +
           std::string(emu::kTransactionOutcomeNames[size_t(outcome)]);
}
inline std::string Named(const emu::Transaction& t) { return Named(t.source, t.outcome); }

}  // namespace velmora::test
