// The ledger and refunds, with the transactions made through the plugin's exports as a game makes
// them: each kind of transaction is one entry saying what made it and how it ended, dated by the
// clock, its receipt naming it; what buys nothing is no entry; a refund is seen by the next
// inventory query; a bad refund is a clear error that changes nothing; the ledger keeps its newest
// 10,000 entries and counts the rest; a reset empties it.
#include <functional>
#include <stdexcept>

#include "emulator/runtime/scripted_outcomes.h"
#include "tests/test_kit_fixture.h"

namespace velmora::test {
namespace {

using namespace ABI;
using emu::TransactionOutcome;
using emu::TransactionSource;
using K = emu::Outcome::Kind;
constexpr HRESULT kCancelled = static_cast<HRESULT>(0x800704C7);  // ERROR_CANCELLED

class LedgerTest : public TestKitTest {
protected:
    void SetUp() override {
        TestKitTest::SetUp();
        emu::SetClock(kJune1st);
        ListenForPurchases();
    }
};

// ---- every kind of transaction ---------------------------------------------------------------------

struct Made {
    const char* name;
    void (*before)(TestKitTest&);  // what the transaction needs first (its own entries included)
    void (*act)(TestKitTest&);
    TransactionSource source;
    TransactionOutcome outcome;
    const char16_t* productId;
    uint32_t quantity;
    HRESULT hresult;
    bool receipt;  // a purchase event names the entry
};
void PrintTo(const Made& row, std::ostream* out) { *out << row.name; }

void Nothing(TestKitTest&) {}
void Script(const char* call, K kind, HRESULT hr) { emu::ScriptOutcome(call, {kind, hr}); }
// The buyer lacks privilege 99 until a check with resolution buys the product.
template <const char16_t* Product>
void ResolvableBy(TestKitTest&) {
    emu::SetPrivilege(TestKitTest::kBuyer, 99, emu::PrivilegeCheckResult::PurchaseRequired);
    emu::SetPrivilegeResolvable(TestKitTest::kBuyer, 99, Product);
}
void CheckResolves(TestKitTest& t) { EXPECT_EQ(t.CheckPrivilege(99), 0u); }

const Made kMade[] = {
    {"DurableFromThePurchaseScreen", Nothing, [](TestKitTest& t) { t.Buy(TestKitTest::kGameOffer); },
     TransactionSource::Purchase, TransactionOutcome::Granted, TestKitTest::kGame, 1, S_OK, true},
    {"ConsumableFromThePurchaseScreen", Nothing, [](TestKitTest& t) { t.Buy(TestKitTest::kGemsOffer); },
     TransactionSource::Purchase, TransactionOutcome::Granted, TestKitTest::kGems, 500, S_OK, true},
    {"RedeemedCode", Nothing, [](TestKitTest& t) { t.Redeem(TestKitTest::kCode); }, TransactionSource::RedeemCode,
     TransactionOutcome::Granted, TestKitTest::kGems, 500, S_OK, true},
    {"Subscription", Nothing, [](TestKitTest& t) { t.Subscribe(); }, TransactionSource::Subscription,
     TransactionOutcome::Granted, TestKitTest::kPass, 1, S_OK, true},
    {"PrivilegeResolution", ResolvableBy<TestKitTest::kGame>, CheckResolves, TransactionSource::PrivilegeResolution,
     TransactionOutcome::Granted, TestKitTest::kGame, 1, S_OK, true},
    {"ConsumableFromAPrivilegeResolution", ResolvableBy<TestKitTest::kGems>, CheckResolves,
     TransactionSource::PrivilegeResolution, TransactionOutcome::Granted, TestKitTest::kGems, 500, S_OK, true},
    {"Consumption", [](TestKitTest& t) { t.Buy(TestKitTest::kGemsOffer); },
     [](TestKitTest& t) { t.Consume(TestKitTest::kGems, 7, u"tx-7"); }, TransactionSource::Consumption,
     TransactionOutcome::Consumed, TestKitTest::kGems, 7, S_OK, false},
    {"PurchaseRaisedFromOutside", Nothing,
     [](TestKitTest& t) {
         ASSERT_EQ(emu::RaisePurchase(TestKitTest::kBuyer, TestKitTest::kGame, 2), S_OK);
         t.Settle();
     },
     TransactionSource::Raised, TransactionOutcome::Notified, TestKitTest::kGame, 2, S_OK, true},
    {"CancelledPurchaseScreen",
     [](TestKitTest&) { Script("IProductStatics.ShowPurchaseAsync", K::Cancel, kCancelled); },
     [](TestKitTest& t) { t.Buy(TestKitTest::kGameOffer); }, TransactionSource::Purchase, TransactionOutcome::Canceled,
     TestKitTest::kGame, 0, kCancelled, false},
    {"FailedPurchaseScreen", [](TestKitTest&) { Script("IProductStatics.ShowPurchaseAsync", K::Fail, E_ACCESSDENIED); },
     [](TestKitTest& t) { t.Buy(TestKitTest::kGameOffer); }, TransactionSource::Purchase, TransactionOutcome::Failed,
     TestKitTest::kGame, 0, E_ACCESSDENIED, false},
    {"PurchaseOfAnOfferNobodySells", Nothing, [](TestKitTest& t) { t.Buy(u"offer-nobody-made"); },
     TransactionSource::Purchase, TransactionOutcome::Failed, u"", 0, emu::kOfferNotAvailable, false},
    {"CancelledRedeemScreen",
     [](TestKitTest&) { Script("IProductStatics.ShowRedeemCodeAsync", K::Cancel, kCancelled); },
     [](TestKitTest& t) { t.Redeem(TestKitTest::kCode); }, TransactionSource::RedeemCode, TransactionOutcome::Canceled,
     TestKitTest::kGems, 0, kCancelled, false},
    {"FailedSubscriptionScreen",
     [](TestKitTest&) { Script("IProductStatics.ShowSubscriptionAsync", K::Fail, E_ACCESSDENIED); },
     [](TestKitTest& t) { t.Subscribe(); }, TransactionSource::Subscription, TransactionOutcome::Failed,
     TestKitTest::kPass, 0, E_ACCESSDENIED, false},
};

class LedgerEntries : public LedgerTest, public ::testing::WithParamInterface<Made> {};

TEST_P(LedgerEntries, EachTransactionIsOneEntryDatedByTheClock) {
    const Made& row = GetParam();
    row.before(*this);
    const auto before = emu::Transactions();
    const size_t receiptsBefore = receipts.size();
    emu::AdvanceClock(std::chrono::hours(1));
    row.act(*this);
    Settle();

    const auto after = emu::Transactions();
    ASSERT_EQ(after.size(), before.size() + 1) << "exactly one entry";
    const emu::Transaction& e = after.back();
    EXPECT_EQ(e.id, before.size() + 1) << "ids count from 1";
    EXPECT_EQ(e.time, kJune1st + kTicksPerDay / 24) << "the clock's time";
    EXPECT_EQ(e.userId, kBuyer);
    EXPECT_EQ(e.productId, row.productId);
    EXPECT_EQ(e.quantity, row.quantity);
    EXPECT_EQ(Named(e), Named(row.source, row.outcome));
    EXPECT_EQ(e.hresult, row.hresult);
    EXPECT_EQ(e.refundOf, 0u);
    if (row.receipt) {
        EXPECT_EQ(e.transactionId, emu::ReceiptId(e.id));
        ASSERT_EQ(receipts.size(), receiptsBefore + 1) << "one purchase notification";
        const std::u16string named = u"TransactionId=\"" + e.transactionId + u"\"";
        EXPECT_NE(receipts.back().find(named), std::u16string::npos) << emu::ToUtf8(receipts.back());
        const std::u16string source = u"Source=\"" + emu::FromUtf8(emu::kTransactionSourceNames[size_t(row.source)]);
        EXPECT_NE(receipts.back().find(source), std::u16string::npos) << emu::ToUtf8(receipts.back());
    } else {
        EXPECT_EQ(receipts.size(), receiptsBefore) << "no purchase notification";
        EXPECT_EQ(e.transactionId, row.source == TransactionSource::Consumption ? u"tx-7" : u"");
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, LedgerEntries, ::testing::ValuesIn(kMade),
                         [](const auto& info) { return std::string(info.param.name); });

// A screen that sells nothing, and a purchase the store turns down because it is owned, are no
// transactions.
TEST_F(LedgerTest, WhatBuysNothingIsNoEntry) {
    Buy(kGameOffer);
    const size_t entries = emu::Transactions().size();
    EXPECT_EQ(Buy(kGameOffer).status, 1u) << "an owned durable: the screen closes";
    EXPECT_EQ(Redeem(u"TK-NO-SUCH-CODE").status, 1u);
    RunOnce([&](void* u) { return X().Store_ShowDetailsAsync(kBuyer, kGame, DeliverValue, u); });
    RunOnce([&](void* u) { return X().Store_ShowMarketplaceAsync(kBuyer, 1, kGame, 2, DeliverValue, u); });
    EXPECT_EQ(emu::Transactions().size(), entries);
}

// ---- refunds ---------------------------------------------------------------------------------------

struct Refunded {
    const char* name;
    void (*grant)(TestKitTest&);  // its last entry is the one refunded
    const char16_t* productId;
    uint32_t taken;                        // the refund entry's quantity
    std::optional<uint32_t> balanceAfter;  // nothing: the product leaves the inventory
};
void PrintTo(const Refunded& row, std::ostream* out) { *out << row.name; }

const Refunded kRefunded[] = {
    {"Durable", [](TestKitTest& t) { t.Buy(TestKitTest::kGameOffer); }, TestKitTest::kGame, 1, std::nullopt},
    {"ConsumableLosesWhatTheEntryGranted",
     [](TestKitTest& t) {
         t.Buy(TestKitTest::kGemsOffer);
         t.Buy(TestKitTest::kGemsOffer);
     },
     TestKitTest::kGems, 500, 500},
    {"ConsumableNeverBelowZero",
     [](TestKitTest& t) {
         t.Buy(TestKitTest::kGemsOffer);
         t.Consume(TestKitTest::kGems, 450, u"spent");
     },
     TestKitTest::kGems, 50, 0},
    {"RedeemedCode", [](TestKitTest& t) { t.Redeem(TestKitTest::kCode); }, TestKitTest::kGems, 500, 0},
    {"Subscription", [](TestKitTest& t) { t.Subscribe(); }, TestKitTest::kPass, 1, std::nullopt},
    {"PrivilegeResolution",
     [](TestKitTest& t) {
         emu::SetPrivilege(TestKitTest::kBuyer, 99, emu::PrivilegeCheckResult::PurchaseRequired);
         emu::SetPrivilegeResolvable(TestKitTest::kBuyer, 99, TestKitTest::kGame);
         t.CheckPrivilege(99);
     },
     TestKitTest::kGame, 1, std::nullopt},
};

class Refunds : public LedgerTest, public ::testing::WithParamInterface<Refunded> {};

TEST_P(Refunds, ARefundIsSeenByTheNextInventoryQuery) {
    const Refunded& row = GetParam();
    row.grant(*this);
    Settle();
    // The newest grant is the one refunded.
    const auto before = emu::Transactions();
    auto grant = std::find_if(before.rbegin(), before.rend(),
                              [](const auto& e) { return e.outcome == TransactionOutcome::Granted; });
    ASSERT_NE(grant, before.rend());
    ASSERT_TRUE(ItemOf(row.productId)) << "granted";
    const uint64_t refundId = emu::Refund(grant->id);
    const emu::Transaction refund = Last();
    EXPECT_EQ(refund.id, refundId);
    EXPECT_EQ(refund.id, before.back().id + 1);
    EXPECT_EQ(Named(refund), "Refund, Refunded");
    EXPECT_EQ(refund.refundOf, grant->id);
    EXPECT_EQ(refund.productId, row.productId);
    EXPECT_EQ(refund.quantity, row.taken) << "what the grant gave, or what the balance still held";
    EXPECT_EQ(refund.transactionId, grant->transactionId) << "the refund names the receipt it takes back";
    EXPECT_EQ(refund.time, kJune1st);
    const auto item = ItemOf(row.productId);
    if (row.balanceAfter) {
        ASSERT_TRUE(item);
        EXPECT_EQ(item->balance, *row.balanceAfter);
    } else {
        EXPECT_FALSE(item) << "the durable left the inventory";
        EXPECT_FALSE(ItemOf(row.productId, true)) << "in no state at all";
    }
}

INSTANTIATE_TEST_SUITE_P(Grants, Refunds, ::testing::ValuesIn(kRefunded),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadRefund {
    const char* name;
    uint64_t (*prepare)(TestKitTest&);  // answers the entry to refund
    std::string problem;                // a part of the message
};
void PrintTo(const BadRefund& row, std::ostream* out) { *out << row.name; }

const BadRefund kBadRefunds[] = {
    {"EmptyLedger", [](TestKitTest&) -> uint64_t { return 1; }, "no transaction 1 in the ledger (it holds no entry)"},
    {"UnknownEntry",
     [](TestKitTest& t) -> uint64_t {
         t.Buy(TestKitTest::kGameOffer);
         return 99;
     },
     "no transaction 99 in the ledger (it holds 1 to 1)"},
    {"RefundedAlready",
     [](TestKitTest& t) -> uint64_t {
         t.Buy(TestKitTest::kGemsOffer);
         emu::Refund(1);
         return 1;
     },
     "transaction 1 (Purchase, Granted) was refunded already, by transaction 2"},
    {"ARefund",
     [](TestKitTest& t) -> uint64_t {
         t.Buy(TestKitTest::kGameOffer);
         return emu::Refund(1);
     },
     "transaction 2 (Refund, Refunded) granted nothing to take back"},
    {"AConsumption",
     [](TestKitTest& t) -> uint64_t {
         t.Buy(TestKitTest::kGemsOffer);
         t.Consume(TestKitTest::kGems, 1, u"one");
         return 2;
     },
     "transaction 2 (Consumption, Consumed) granted nothing to take back"},
    {"ARaisedPurchase",
     [](TestKitTest&) -> uint64_t {
         emu::RaisePurchase(TestKitTest::kBuyer, TestKitTest::kGame);
         return 1;
     },
     "transaction 1 (Raised, Notified) granted nothing"},
    {"AFailedScreen",
     [](TestKitTest& t) -> uint64_t {
         t.Buy(u"offer-nobody-made");
         return 1;
     },
     "transaction 1 (Purchase, Failed) granted nothing"},
    {"ACancelledScreen",
     [](TestKitTest& t) -> uint64_t {
         Script("IProductStatics.ShowPurchaseAsync", K::Cancel, kCancelled);
         t.Buy(TestKitTest::kGameOffer);
         return 1;
     },
     "transaction 1 (Purchase, Canceled) granted nothing"},
    // The pass expires and is bought again; the new grant refunded, the first has nothing left.
    {"ADurableNoLongerOwned",
     [](TestKitTest& t) -> uint64_t {
         t.Subscribe();
         emu::AdvanceClock(std::chrono::days(31));
         EXPECT_EQ(t.ItemOf(TestKitTest::kPass, true)->state, 4) << "Expired";
         t.Subscribe();
         emu::Refund(2);
         return 1;
     },
     "transaction 1 (Subscription, Granted): user 4 no longer owns \"9TKPASS00030\""},
};

class BadRefunds : public LedgerTest, public ::testing::WithParamInterface<BadRefund> {};

TEST_P(BadRefunds, AreClearErrorsThatChangeNothing) {
    const BadRefund& row = GetParam();
    const uint64_t entry = row.prepare(*this);
    Settle();
    const auto ledger = emu::Transactions();
    const auto inventory = emu::InventoryOf(kBuyer);
    try {
        emu::Refund(entry);
        ADD_FAILURE() << "refunded";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(row.problem), std::string::npos) << e.what();
    }
    EXPECT_EQ(emu::Transactions(), ledger);
    EXPECT_EQ(emu::InventoryOf(kBuyer), inventory);
}

INSTANTIATE_TEST_SUITE_P(Mistakes, BadRefunds, ::testing::ValuesIn(kBadRefunds),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- bounds and reset ------------------------------------------------------------------------------

TEST_F(LedgerTest, KeepsTheNewest10000EntriesAndCountsTheOthers) {
    emu::InventoryItemData gems;
    gems.productId = u"9TKBULKGEMS";
    gems.mediaItemType = emu::MediaItemType::GameConsumable;
    gems.consumableUrl = u"https://inventory.example/bulk";
    gems.consumableBalance = 20000;
    ASSERT_EQ(emu::AddInventoryItem(kBuyer, gems), S_OK);
    const size_t made = emu::kLedgerCapacity + 5;
    for (size_t i = 1; i <= made; ++i) {
        emu::ConsumeResultData result;
        ASSERT_EQ(emu::ConsumeProduct(kBuyer, gems.productId, 1, u"bulk-" + emu::FromUtf8(std::to_string(i)), &result),
                  S_OK);
    }
    const auto ledger = emu::Transactions();
    ASSERT_EQ(ledger.size(), emu::kLedgerCapacity);
    EXPECT_EQ(emu::TransactionsDropped(), 5u);
    EXPECT_EQ(ledger.front().id, 6u) << "the oldest went first";
    EXPECT_EQ(ledger.back().id, made);
    EXPECT_EQ(ledger.back().transactionId, u"bulk-10005");
    try {
        emu::Refund(3);
        ADD_FAILURE() << "refunded a dropped entry";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "no transaction 3 in the ledger (it holds 6 to 10005, the oldest 5 were dropped)");
    }
}

TEST_F(LedgerTest, AResetEmptiesItAndCountsFromOneAgain) {
    Buy(kGameOffer);
    Buy(kGemsOffer);
    ASSERT_EQ(emu::Transactions().size(), 2u);
    emu::Reset();
    EXPECT_TRUE(emu::Transactions().empty());
    EXPECT_EQ(emu::TransactionsDropped(), 0u);
    BuildStore();
    Buy(kGameOffer);
    EXPECT_EQ(Last().id, 1u);
    EXPECT_EQ(Last().transactionId, u"00000000-0000-0000-0000-000000000001");
}

}  // namespace
}  // namespace velmora::test
