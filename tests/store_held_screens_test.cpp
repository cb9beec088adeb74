// Store screens that wait for a decision: while screens are held, each screen a game opens stays
// open (its action started, the game pumping on) and is listed with its user, kind, product and
// offer until the test decides it; a decision ends it exactly as the scripted outcome of the same
// kind would; scripted outcomes are not held; a reset cancels what is open; a bad decision is a
// clear error that changes nothing.
#include <stdexcept>
#include <thread>

#include "emulator/runtime/scripted_outcomes.h"
#include "tests/test_kit_fixture.h"

namespace velmora::test {
namespace {

using namespace ABI;
using namespace std::chrono_literals;
using emu::ScreenDecision;
using emu::ScreenKind;
constexpr HRESULT kCancelled = static_cast<HRESULT>(0x800704C7);  // ERROR_CANCELLED
constexpr uint32_t kOther = 5;                                    // a second buyer, for comparisons

class HeldScreensTest : public TestKitTest {
protected:
    void SetUp() override {
        TestKitTest::SetUp();
        AddUser(kOther, u"Other");
        emu::SetClock(kJune1st);
        ListenForPurchases();
        emu::HoldScreens(true);
    }

    // Frames of a game loop: the host pumps, time passes, the emulator's work runs.
    void Frames(int count) {
        for (int i = 0; i < count; ++i) {
            Host().PumpAll();
            std::this_thread::sleep_for(1ms);
        }
        Settle();
    }
};

// ---- a held purchase screen, decided three ways ----------------------------------------------------

struct Decided {
    const char* name;
    ScreenDecision decision;
    HRESULT hr;
    emu::Outcome::Kind scripted;  // the scripted outcome it must equal
    uint32_t status;              // what the game's callback receives
    int32_t error;
    bool granted;
    const char* entry;
};
void PrintTo(const Decided& row, std::ostream* out) { *out << row.name; }

const Decided kDecided[] = {
    {"Purchase", ScreenDecision::Purchase, S_OK, emu::Outcome::Kind::Complete, 1, 0, true, "Purchase, Granted"},
    {"Cancel", ScreenDecision::Cancel, kCancelled, emu::Outcome::Kind::Cancel, 2, kCancelled, false,
     "Purchase, Canceled"},
    {"CancelWithoutACode", ScreenDecision::Cancel, S_OK, emu::Outcome::Kind::Cancel, 2, 0, false, "Purchase, Canceled"},
    {"Fail", ScreenDecision::Fail, E_ACCESSDENIED, emu::Outcome::Kind::Fail, 3, E_ACCESSDENIED, false,
     "Purchase, Failed"},
};

// What one purchase screen did, as the game and a test see it.
struct Seen {
    uint32_t status;
    int32_t error;
    bool granted;
    size_t receipts;
    std::string entry;
    HRESULT entryCode;

    bool operator==(const Seen&) const = default;
};
void PrintTo(const Seen& s, std::ostream* out) {
    *out << "status " << s.status << ", error " << s.error << ", granted " << s.granted << ", receipts " << s.receipts
         << ", entry " << s.entry << " " << s.entryCode;
}

class HeldPurchaseScreen : public HeldScreensTest, public ::testing::WithParamInterface<Decided> {
protected:
    Seen SeenAfter(uint32_t user, const Delivered& d, size_t receiptsBefore) {
        const auto owned = emu::InventoryOf(user);
        const bool granted =
            std::any_of(owned.begin(), owned.end(), [](const auto& i) { return i.productId == kGame; });
        return {d.value, d.hr, granted, receipts.size() - receiptsBefore, Named(Last()), Last().hresult};
    }
};

TEST_P(HeldPurchaseScreen, EndsAsTheDecisionSaysExactlyAsItsScriptedOutcome) {
    const Decided& row = GetParam();
    // The scripted outcome of the same kind, for the other buyer, with screens not held.
    emu::HoldScreens(false);
    emu::ScriptOutcome("IProductStatics.ShowPurchaseAsync", {row.scripted, row.hr});
    size_t before = receipts.size();
    const Delivered scripted =
        RunOnce([&](void* u) { return X().Store_ShowPurchaseAsync(kOther, kGameOffer, DeliverValue, u); });
    const Seen byScript = SeenAfter(kOther, scripted, before);
    EXPECT_EQ(byScript, (Seen{row.status, row.error, row.granted, row.granted ? 1u : 0u, row.entry, row.error}));

    // The same screen held for the buyer: open while the game pumps, until the decision.
    emu::HoldScreens(true);
    const size_t entries = emu::Transactions().size();
    before = receipts.size();
    Delivered d{&Host().Queue()};
    ASSERT_TRUE(X().Store_ShowPurchaseAsync(kBuyer, kGameOffer, DeliverValue, &d));
    Frames(20);
    EXPECT_EQ(d.calls, 0) << "the screen waits";
    const auto open = emu::OpenScreens();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0], (emu::OpenScreen{1, kBuyer, ScreenKind::Purchase, kGame, kGameOffer}));
    EXPECT_EQ(emu::Transactions().size(), entries) << "nothing is bought before the decision";
    EXPECT_FALSE(ItemOf(kGame));

    emu::DecideScreen(1, row.decision, row.hr);
    EXPECT_TRUE(emu::OpenScreens().empty());
    ASSERT_TRUE(PumpUntil([&] { return d.calls > 0; }));
    Settle();
    EXPECT_EQ(d.calls, 1);
    EXPECT_TRUE(d.inDelivery) << "delivered on the pumping thread";
    EXPECT_EQ(SeenAfter(kBuyer, d, before), byScript);
    EXPECT_EQ(emu::Transactions().size(), entries + 1);
}

INSTANTIATE_TEST_SUITE_P(Decisions, HeldPurchaseScreen, ::testing::ValuesIn(kDecided),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- every kind of screen ----------------------------------------------------------------------------

struct Held {
    const char* name;
    bool (*start)(const host::VelmoraExports& x, void* userData);
    emu::OpenScreen listed;  // id and user aside
};
void PrintTo(const Held& row, std::ostream* out) { *out << row.name; }

const Held kHeld[] = {
    {"Purchase",
     [](const host::VelmoraExports& x, void* d) {
         return x.Store_ShowPurchaseAsync(TestKitTest::kBuyer, TestKitTest::kGemsOffer, DeliverValue, d);
     },
     {0, 0, ScreenKind::Purchase, TestKitTest::kGems, TestKitTest::kGemsOffer}},
    {"PurchaseOfAnOfferNobodySells",
     [](const host::VelmoraExports& x, void* d) {
         return x.Store_ShowPurchaseAsync(TestKitTest::kBuyer, u"offer-nobody", DeliverValue, d);
     },
     {0, 0, ScreenKind::Purchase, u"", u"offer-nobody"}},
    {"RedeemCode",
     [](const host::VelmoraExports& x, void* d) {
         return x.Store_ShowRedeemCodeAsync(TestKitTest::kBuyer, TestKitTest::kCode, DeliverValue, d);
     },
     {0, 0, ScreenKind::RedeemCode, TestKitTest::kGems, TestKitTest::kCode}},
    {"RedeemCodeTyped",
     [](const host::VelmoraExports& x, void* d) {
         return x.Store_ShowRedeemCodeAsync(TestKitTest::kBuyer, nullptr, DeliverValue, d);
     },
     {0, 0, ScreenKind::RedeemCode, TestKitTest::kGems, u""}},
    {"Subscription",
     [](const host::VelmoraExports& x, void* d) {
         return x.Store_ShowSubscriptionAsync(TestKitTest::kBuyer, TestKitTest::kPass, TestKitTest::kPassPrivilege,
                                              DeliverValue, d);
     },
     {0, 0, ScreenKind::Subscription, TestKitTest::kPass, u""}},
    {"Details",
     [](const host::VelmoraExports& x, void* d) {
         return x.Store_ShowDetailsAsync(TestKitTest::kBuyer, TestKitTest::kGame, DeliverValue, d);
     },
     {0, 0, ScreenKind::Details, TestKitTest::kGame, u""}},
    {"Marketplace",
     [](const host::VelmoraExports& x, void* d) {
         return x.Store_ShowMarketplaceAsync(TestKitTest::kBuyer, 1, TestKitTest::kGame, 2, DeliverValue, d);
     },
     {0, 0, ScreenKind::Marketplace, TestKitTest::kGame, u""}},
};

class HeldScreenKinds : public HeldScreensTest, public ::testing::WithParamInterface<Held> {};

TEST_P(HeldScreenKinds, EachIsListedThenCompletesAsItWouldByItself) {
    const Held& row = GetParam();
    Delivered d{&Host().Queue()};
    ASSERT_TRUE(row.start(X(), &d));
    Frames(5);
    EXPECT_EQ(d.calls, 0);
    emu::OpenScreen expected = row.listed;
    expected.id = 1;
    expected.userId = kBuyer;
    ASSERT_EQ(emu::OpenScreens(), std::vector<emu::OpenScreen>{expected});
    emu::DecideScreen(1, ScreenDecision::Purchase);
    ASSERT_TRUE(PumpUntil([&] { return d.calls > 0; }));
    Settle();
    const bool sellable = !row.listed.productId.empty();
    EXPECT_EQ(d.value, sellable ? 1u : 3u);
    EXPECT_EQ(d.hr, sellable ? S_OK : emu::kOfferNotAvailable);
}

INSTANTIATE_TEST_SUITE_P(Screens, HeldScreenKinds, ::testing::ValuesIn(kHeld),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- around the hold ---------------------------------------------------------------------------------

TEST_F(HeldScreensTest, TheGameGoesOnWhileAScreenIsOpenAndScreensAreNumberedInOrder) {
    Delivered first{&Host().Queue()}, second{&Host().Queue()};
    ASSERT_TRUE(X().Store_ShowPurchaseAsync(kBuyer, kGameOffer, DeliverValue, &first));
    ASSERT_TRUE(X().Store_ShowPurchaseAsync(kOther, kGemsOffer, DeliverValue, &second));
    // Other operations complete as usual meanwhile.
    EXPECT_EQ(CheckPrivilege(254), 0u);
    EXPECT_FALSE(ItemOf(kGame));
    const auto open = emu::OpenScreens();
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[0].id, 1u);
    EXPECT_EQ(open[1], (emu::OpenScreen{2, kOther, ScreenKind::Purchase, kGems, kGemsOffer}));
    // Decided in any order.
    emu::DecideScreen(2, ScreenDecision::Purchase);
    ASSERT_TRUE(PumpUntil([&] { return second.calls > 0; }));
    EXPECT_EQ(first.calls, 0);
    EXPECT_EQ(emu::OpenScreens().size(), 1u);
    emu::DecideScreen(1, ScreenDecision::Purchase);
    ASSERT_TRUE(PumpUntil([&] { return first.calls > 0; }));
    Settle();
    EXPECT_TRUE(ItemOf(kGame));
}

TEST_F(HeldScreensTest, AScriptedOutcomeIsNotHeld) {
    emu::ScriptOutcome("IProductStatics.ShowPurchaseAsync", {emu::Outcome::Kind::Cancel, kCancelled});
    emu::ScriptOutcome("IProductStatics.ShowPurchaseAsync", {emu::Outcome::Kind::CompleteSynchronously});
    EXPECT_EQ(Buy(kGameOffer).status, 2u);
    EXPECT_EQ(Buy(kGameOffer).status, 1u);
    EXPECT_TRUE(emu::OpenScreens().empty());
}

TEST_F(HeldScreensTest, ScreensOpenStayOpenWhenHoldingStopsAndAResetCancelsThem) {
    Delivered held{&Host().Queue()};
    ASSERT_TRUE(X().Store_ShowPurchaseAsync(kBuyer, kGameOffer, DeliverValue, &held));
    emu::HoldScreens(false);
    EXPECT_FALSE(emu::HoldingScreens());
    EXPECT_EQ(Buy(kGemsOffer).status, 1u) << "a new screen completes by itself";
    Frames(5);
    EXPECT_EQ(held.calls, 0);
    EXPECT_EQ(emu::OpenScreens().size(), 1u);

    emu::HoldScreens(true);
    emu::Reset();
    ASSERT_TRUE(PumpUntil([&] { return held.calls > 0; }));
    Settle();
    EXPECT_EQ(held.calls, 1);
    EXPECT_EQ(held.value, 2u) << "cancelled";
    EXPECT_EQ(held.hr, 0);
    EXPECT_TRUE(emu::OpenScreens().empty());
    EXPECT_FALSE(emu::HoldingScreens());
    EXPECT_TRUE(emu::Transactions().empty()) << "the reset's cancellation is not a transaction";
}

// ---- bad decisions -----------------------------------------------------------------------------------

struct BadDecision {
    const char* name;
    uint64_t screen;
    ScreenDecision decision;
    HRESULT hr;
    bool decideFirst;  // screen 1 is decided before
    std::string problem;
};
void PrintTo(const BadDecision& row, std::ostream* out) { *out << row.name; }

const BadDecision kBadDecisions[] = {
    {"ScreenNotOpen", 99, ScreenDecision::Purchase, S_OK, false,
     "no open screen 99; the open screens are 1 (a decided screen closes, and a reset cancels every open one)"},
    {"ScreenDecidedAlready", 1, ScreenDecision::Cancel, S_OK, true, "no open screen 1; no screen is open"},
    {"UnknownDecision", 1, ScreenDecision(7), S_OK, false,
     "unknown screen decision 7; the decisions are Purchase (0), Cancel (1), Fail (2)"},
    {"FailWithoutACode", 1, ScreenDecision::Fail, S_OK, false,
     "a screen decided as Fail needs a failure code (high bit set), like 0x80004005, not 0x00000000"},
    {"FailWithASuccessCode", 1, ScreenDecision::Fail, S_FALSE, false, "needs a failure code"},
    {"PurchaseWithACode", 1, ScreenDecision::Purchase, E_FAIL, false,
     "a screen decided as Purchase ends as its own work says; give 0 as its code, not 0x80004005"},
};

class BadDecisions : public HeldScreensTest, public ::testing::WithParamInterface<BadDecision> {};

TEST_P(BadDecisions, AreClearErrorsThatChangeNothing) {
    const BadDecision& row = GetParam();
    Delivered d{&Host().Queue()};
    ASSERT_TRUE(X().Store_ShowPurchaseAsync(kBuyer, kGameOffer, DeliverValue, &d));
    if (row.decideFirst) {
        emu::DecideScreen(1, ScreenDecision::Purchase);
        ASSERT_TRUE(PumpUntil([&] { return d.calls > 0; }));
    }
    Settle();
    const auto open = emu::OpenScreens();
    const auto ledger = emu::Transactions();
    try {
        emu::DecideScreen(row.screen, row.decision, row.hr);
        ADD_FAILURE() << "decided";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(row.problem), std::string::npos) << e.what();
    }
    Frames(3);
    EXPECT_EQ(emu::OpenScreens(), open);
    EXPECT_EQ(emu::Transactions(), ledger);
    EXPECT_EQ(d.calls, row.decideFirst ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Mistakes, BadDecisions, ::testing::ValuesIn(kBadDecisions),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::test
