// The emulator's clock: real time until a test fixes it; every date a grant carries and every
// ledger entry's time come from it; a subscription whose end it passes reads Expired in the next
// inventory query (and a new grant renews it); it never goes back, and a bad time changes nothing.
#include <stdexcept>
#include <thread>

#include "tests/test_kit_fixture.h"

namespace velmora::test {
namespace {

using namespace ABI;
using namespace std::chrono_literals;
constexpr int32_t kEnabled = 2, kExpired = 4;
constexpr int64_t kNoEnd = 3155378975999999999;  // the managed "no end date"

class ClockTest : public TestKitTest {};

TEST_F(ClockTest, RunsRealTimeUntilFixedAndAgainAfterAResetOrUseRealTime) {
    const auto real = [] {
        const auto since = std::chrono::system_clock::now().time_since_epoch();
        return emu::kUnixEpochTicks + std::chrono::duration_cast<std::chrono::microseconds>(since).count() * 10;
    };
    const int64_t before = real();
    EXPECT_FALSE(emu::FixedClock());
    const int64_t now = emu::NowTicks();
    EXPECT_GE(now, before - 10'000'000);  // a second's slack either way
    EXPECT_LE(now, real() + 10'000'000);

    emu::SetClock(kJune1st);
    EXPECT_EQ(emu::FixedClock(), kJune1st);
    std::this_thread::sleep_for(2ms);
    EXPECT_EQ(emu::NowTicks(), kJune1st) << "a fixed clock stands still";
    emu::AdvanceClock(std::chrono::days(1) + 1us);
    EXPECT_EQ(emu::NowTicks(), kJune1st + kTicksPerDay + 10);
    emu::UseRealTime();
    EXPECT_FALSE(emu::FixedClock());
    emu::SetClock(kJune1st);
    emu::Reset();
    EXPECT_FALSE(emu::FixedClock()) << "a reset goes back to real time";
    // Advancing a clock that runs real time fixes it first.
    emu::AdvanceClock(1h);
    ASSERT_TRUE(emu::FixedClock());
    EXPECT_GE(*emu::FixedClock(), before + 36'000'000'000);
}

TEST_F(ClockTest, GrantsAreDatedByTheClock) {
    emu::SetClock(kJune1st);
    Buy(kGameOffer);
    Subscribe();
    const auto game = ItemOf(kGame);
    ASSERT_TRUE(game);
    EXPECT_EQ(game->rightsObtained, Managed(kJune1st));
    EXPECT_EQ(game->start, Managed(kJune1st));
    EXPECT_EQ(game->end, kNoEnd) << "a durable never ends";
    const auto pass = ItemOf(kPass);
    ASSERT_TRUE(pass);
    EXPECT_EQ(pass->start, Managed(kJune1st));
    EXPECT_EQ(pass->end, Managed(kJune1st + 30 * kTicksPerDay)) << "a subscription runs 30 days";
    for (const auto& e : emu::Transactions()) EXPECT_EQ(e.time, kJune1st) << Named(e);
}

struct Passing {
    const char* name;
    std::chrono::microseconds advance;  // after the subscription
    int32_t state;                      // the next query's
    bool listedForTheGame;              // in the game's query of Enabled, available items
};
void PrintTo(const Passing& row, std::ostream* out) { *out << row.name; }

const Passing kPassing[] = {
    {"ADayBeforeItsEnd", std::chrono::days(29), kEnabled, true},
    {"AMicrosecondBeforeItsEnd", std::chrono::days(30) - 1us, kEnabled, true},
    {"AtItsEnd", std::chrono::days(30), kExpired, false},
    {"AMonthAndADayLater", std::chrono::days(31), kExpired, false},
};

class SubscriptionEnd : public ClockTest, public ::testing::WithParamInterface<Passing> {};

TEST_P(SubscriptionEnd, ReadsExpiredInTheNextQueryOnceTheClockPassesIt) {
    const Passing& row = GetParam();
    emu::SetClock(kJune1st);
    ASSERT_EQ(Subscribe().status, 1u);
    ASSERT_EQ(ItemOf(kPass)->state, kEnabled);
    emu::AdvanceClock(row.advance);
    const auto pass = ItemOf(kPass, true);
    ASSERT_TRUE(pass);
    EXPECT_EQ(pass->state, row.state);
    EXPECT_EQ(pass->end, Managed(kJune1st + 30 * kTicksPerDay)) << "the end stays where it was";
    EXPECT_EQ(ItemOf(kPass).has_value(), row.listedForTheGame);
}

INSTANTIATE_TEST_SUITE_P(Advances, SubscriptionEnd, ::testing::ValuesIn(kPassing),
                         [](const auto& info) { return std::string(info.param.name); });

// A subscription set by a scenario (an item with an end date) expires the same way, and buying the
// product again renews it: a new period from the clock's now.
TEST_F(ClockTest, AnExpiredSubscriptionIsRenewedByANewGrant) {
    emu::SetClock(kJune1st);
    emu::InventoryItemData pass;
    pass.productId = kPass;
    pass.mediaItemType = emu::MediaItemType::Subscription;
    pass.startDate = kJune1st - 20 * kTicksPerDay;
    pass.endDate = kJune1st + 10 * kTicksPerDay;
    ASSERT_EQ(emu::AddInventoryItem(kBuyer, pass), S_OK);
    EXPECT_EQ(ItemOf(kPass)->state, kEnabled);
    emu::AdvanceClock(std::chrono::days(10));
    EXPECT_EQ(ItemOf(kPass, true)->state, kExpired);
    ASSERT_EQ(Buy(kPassOffer).status, 1u);
    const auto renewed = ItemOf(kPass);
    ASSERT_TRUE(renewed);
    EXPECT_EQ(renewed->start, Managed(kJune1st + 10 * kTicksPerDay));
    EXPECT_EQ(renewed->end, Managed(kJune1st + 40 * kTicksPerDay));
    EXPECT_EQ(Named(Last()), "Purchase, Granted");
    EXPECT_EQ(Buy(kPassOffer).status, 1u);
    EXPECT_EQ(emu::Transactions().size(), 1u) << "an active subscription is not bought twice";
}

struct BadTime {
    const char* name;
    void (*act)();
    std::string problem;
};
void PrintTo(const BadTime& row, std::ostream* out) { *out << row.name; }

const BadTime kBadTimes[] = {
    {"SetBackwards", [] { emu::SetClock(kJune1st - 1); },
     "the clock does not go back: it reads 2025-06-01T09:00:00Z, and 2025-06-01T08:59:59.9999999Z is earlier"},
    {"SetBefore1601", [] { emu::SetClock(-1); }, "the time -1 ticks is outside the platform's dates"},
    {"SetAfter9999", [] { emu::SetClock(emu::kLastTicks + 1); }, "is outside the platform's dates"},
    {"AdvanceBackwards", [] { emu::AdvanceClock(-1us); }, "a clock advance of -1 us; the clock only moves forwards"},
    {"AdvancePast9999", [] { emu::AdvanceClock(std::chrono::days(3'000'000)); },
     "passes 9999-12-31T23:59:59.9999999Z, the last platform date"},
};

class BadTimes : public ClockTest, public ::testing::WithParamInterface<BadTime> {};

TEST_P(BadTimes, AreClearErrorsThatLeaveTheClockAsItWas) {
    emu::SetClock(kJune1st);
    try {
        GetParam().act();
        ADD_FAILURE() << "taken";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().problem), std::string::npos) << e.what();
    }
    EXPECT_EQ(emu::FixedClock(), kJune1st);
}

INSTANTIATE_TEST_SUITE_P(Mistakes, BadTimes, ::testing::ValuesIn(kBadTimes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::test
