// The test kit through the emulator's C interface, as C and C# call it: the ledger and the open
// screens as count-and-copy lists of plain structs with their texts in one buffer, refunds, the
// clock in Unix microseconds, decisions, the world saved; and every bad input answers 0 with a
// message naming the mistake, changing nothing.
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "emulator/c_interface/c_api.h"
#include "emulator/scenarios/scenario.h"
#include "tests/test_kit_fixture.h"

namespace velmora::test {
namespace {

using namespace ABI;
constexpr int64_t kJune1stUs = 1748768400000000;  // 2025-06-01T09:00:00Z in Unix microseconds

class TestKitCApiTest : public TestKitTest {
protected:
    void SetUp() override {
        TestKitTest::SetUp();
        ASSERT_EQ(velmora_emulator_set_clock_us(kJune1stUs), 1) << velmora_emulator_last_error();
    }
    static std::string TextAt(const std::vector<char>& texts, int32_t offset, int32_t length) {
        return std::string(texts.data() + offset, size_t(length));
    }
};

TEST_F(TestKitCApiTest, TheLedgerIsCopiedWholeOrNotAtAll) {
    Buy(kGameOffer);
    Buy(kGemsOffer);
    Consume(kGems, 2, u"c-api-1");
    int32_t textsSize = -1;
    ASSERT_EQ(velmora_emulator_transactions(nullptr, 0, nullptr, 0, &textsSize), 3);
    const int32_t expectedTexts = 3 * 12 + 2 * 36 + 7;  // three product ids, two receipts, one consumption
    EXPECT_EQ(textsSize, expectedTexts);

    // Too small a buffer, for the entries or their texts: nothing is copied.
    std::vector<VelmoraTransaction> entries(3);
    std::vector<char> texts(static_cast<size_t>(textsSize));
    std::memset(entries.data(), 0xCC, entries.size() * sizeof(VelmoraTransaction));
    EXPECT_EQ(velmora_emulator_transactions(entries.data(), 2, texts.data(), textsSize, nullptr), 3);
    EXPECT_EQ(velmora_emulator_transactions(entries.data(), 3, texts.data(), textsSize - 1, nullptr), 3);
    EXPECT_EQ(velmora_emulator_transactions(entries.data(), 3, nullptr, textsSize, nullptr), 3);
    EXPECT_EQ(entries[0].id, 0xCCCCCCCCCCCCCCCCu) << "nothing copied";

    ASSERT_EQ(velmora_emulator_transactions(entries.data(), 3, texts.data(), textsSize, &textsSize), 3);
    const VelmoraTransaction& gems = entries[1];
    EXPECT_EQ(gems.id, 2u);
    EXPECT_EQ(gems.time_us, kJune1stUs);
    EXPECT_EQ(gems.user_id, kBuyer);
    EXPECT_EQ(gems.quantity, 500u);
    EXPECT_EQ(gems.source, VELMORA_TRANSACTION_PURCHASE);
    EXPECT_EQ(gems.outcome, VELMORA_TRANSACTION_GRANTED);
    EXPECT_EQ(gems.hresult, 0);
    EXPECT_EQ(gems.refund_of, 0u);
    EXPECT_EQ(gems.reserved, 0);
    EXPECT_EQ(TextAt(texts, gems.product_id_offset, gems.product_id_length), "9TKGEMS00500");
    EXPECT_EQ(TextAt(texts, gems.transaction_id_offset, gems.transaction_id_length),
              "00000000-0000-0000-0000-000000000002");
    EXPECT_EQ(entries[2].source, VELMORA_TRANSACTION_CONSUMPTION);
    EXPECT_EQ(entries[2].outcome, VELMORA_TRANSACTION_CONSUMED);
    EXPECT_EQ(TextAt(texts, entries[2].transaction_id_offset, entries[2].transaction_id_length), "c-api-1");
    EXPECT_EQ(velmora_emulator_transactions_dropped(), 0u);

    uint64_t refund = 0;
    ASSERT_EQ(velmora_emulator_refund(1, &refund), 1) << velmora_emulator_last_error();
    EXPECT_EQ(refund, 4u);
    EXPECT_FALSE(ItemOf(kGame));
    ASSERT_EQ(velmora_emulator_transactions(entries.data(), 0, nullptr, 0, nullptr), 4);
    entries.resize(4);
    texts.resize(size_t(textsSize) + 64);
    ASSERT_EQ(velmora_emulator_transactions(entries.data(), 4, texts.data(), int32_t(texts.size()), nullptr), 4);
    EXPECT_EQ(entries[3].source, VELMORA_TRANSACTION_REFUND);
    EXPECT_EQ(entries[3].outcome, VELMORA_TRANSACTION_REFUNDED);
    EXPECT_EQ(entries[3].refund_of, 1u);
}

TEST_F(TestKitCApiTest, TheClockSpeaksUnixMicroseconds) {
    EXPECT_EQ(emu::NowTicks(), kJune1st);
    EXPECT_EQ(velmora_emulator_clock_now_us(), kJune1stUs);
    EXPECT_EQ(velmora_emulator_clock_is_fixed(), 1);
    ASSERT_EQ(velmora_emulator_advance_clock_us(86'400'000'000), 1);
    EXPECT_EQ(velmora_emulator_clock_now_us(), kJune1stUs + 86'400'000'000);
    velmora_emulator_use_real_time();
    EXPECT_EQ(velmora_emulator_clock_is_fixed(), 0);
    // Before 1970, a time is negative; the earliest and latest platform dates are taken.
    ASSERT_EQ(velmora_emulator_set_clock_us(-1), 1);
    EXPECT_EQ(velmora_emulator_clock_now_us(), -1);
    velmora_emulator_use_real_time();
    ASSERT_EQ(velmora_emulator_set_clock_us(-11644473600000000), 1) << velmora_emulator_last_error();
    EXPECT_EQ(emu::NowTicks(), 0);
    ASSERT_EQ(velmora_emulator_set_clock_us(253402300799999999), 1) << velmora_emulator_last_error();
    EXPECT_EQ(emu::NowTicks(), emu::kLastTicks - 9);
}

TEST_F(TestKitCApiTest, AHeldScreenIsListedAndDecided) {
    velmora_emulator_hold_screens(1);
    EXPECT_EQ(velmora_emulator_holding_screens(), 1);
    Delivered d{&Host().Queue()};
    ASSERT_TRUE(X().Store_ShowRedeemCodeAsync(kBuyer, kCode, DeliverValue, &d));
    int32_t textsSize = 0;
    ASSERT_EQ(velmora_emulator_open_screens(nullptr, 0, nullptr, 0, &textsSize), 1);
    VelmoraOpenScreen screen{};
    std::vector<char> texts(static_cast<size_t>(textsSize));
    ASSERT_EQ(velmora_emulator_open_screens(&screen, 1, texts.data(), textsSize, nullptr), 1);
    EXPECT_EQ(screen.id, 1u);
    EXPECT_EQ(screen.user_id, kBuyer);
    EXPECT_EQ(screen.kind, VELMORA_SCREEN_REDEEM_CODE);
    EXPECT_EQ(TextAt(texts, screen.product_id_offset, screen.product_id_length), "9TKGEMS00500");
    EXPECT_EQ(TextAt(texts, screen.offer_offset, screen.offer_length), "TK-CODE-GEMS");
    ASSERT_EQ(velmora_emulator_decide_screen(1, VELMORA_DECIDE_FAIL, int32_t(E_ACCESSDENIED)), 1);
    ASSERT_TRUE(PumpUntil([&] { return d.calls > 0; }));
    Settle();
    EXPECT_EQ(d.value, 3u);
    EXPECT_EQ(d.hr, E_ACCESSDENIED);
    EXPECT_EQ(velmora_emulator_open_screens(nullptr, 0, nullptr, 0, nullptr), 0);
    velmora_emulator_hold_screens(0);
    EXPECT_EQ(velmora_emulator_holding_screens(), 0);
}

TEST_F(TestKitCApiTest, TheWorldIsSavedToAFileThatLoadsBack) {
    Buy(kGameOffer);
    const auto file = FreshTemporaryPath("velmora-c-world-");
    ASSERT_EQ(velmora_emulator_save_world(reinterpret_cast<const char*>(file.u8string().c_str())), 1)
        << velmora_emulator_last_error();
    const emu::Scenario saved = emu::LoadScenarioFile(file);
    std::filesystem::remove(file);
    EXPECT_EQ(saved.ledger.entries, emu::Transactions());
    EXPECT_EQ(saved.clock, kJune1st);
}

// ---- bad input -----------------------------------------------------------------------------------

struct BadCall {
    const char* name;
    std::function<int()> call;  // after a purchase (transaction 1) and, for a second refund, its refund
    std::string message;        // the whole message, or its start when it ends with "..."
};
void PrintTo(const BadCall& row, std::ostream* out) { *out << row.name; }

std::vector<BadCall> BadCalls() {
    return {
        {"RefundOfAnUnknownEntry", [] { return velmora_emulator_refund(9, nullptr); },
         "velmora emulator: no transaction 9 in the ledger (it holds 1 to 1)"},
        {"SecondRefund",
         [] {
             uint64_t id = 77;
             const int ok = velmora_emulator_refund(1, &id);
             EXPECT_EQ(id, 77u) << "no id on a failure";
             return ok;
         },
         "velmora emulator: transaction 1 (Purchase, Granted) was refunded already, by transaction 2"},
        {"ClockBackwards", [] { return velmora_emulator_set_clock_us(kJune1stUs - 1); },
         "velmora emulator: the clock does not go back: it reads 2025-06-01T09:00:00Z, and "
         "2025-06-01T08:59:59.999999Z is earlier (UseRealTime or a reset lets a test start again)"},
        {"ClockBefore1601", [] { return velmora_emulator_set_clock_us(INT64_MIN); },
         "velmora emulator: the time -9223372036854775808 us is outside the platform's dates, -11644473600000000 "
         "(1601-01-01) to 253402300799999999 us (9999-12-31)"},
        {"ClockAfter9999", [] { return velmora_emulator_set_clock_us(INT64_MAX); }, "velmora emulator: the time ..."},
        {"NegativeAdvance", [] { return velmora_emulator_advance_clock_us(-5); },
         "velmora emulator: a clock advance of -5 us; the clock only moves forwards"},
        {"AdvancePast9999", [] { return velmora_emulator_advance_clock_us(INT64_MAX); },
         "velmora emulator: advancing the clock by 9223372036854775807 us from 2025-06-01T09:00:00Z passes ..."},
        {"DecisionForAScreenNotOpen", [] { return velmora_emulator_decide_screen(1, VELMORA_DECIDE_PURCHASE, 0); },
         "velmora emulator: no open screen 1; no screen is open (a decided screen closes, and a reset cancels every "
         "open one)"},
        {"UnknownDecision", [] { return velmora_emulator_decide_screen(1, 3, 0); },
         "velmora emulator: unknown screen decision 3; the decisions are Purchase (0), Cancel (1), Fail (2)"},
        {"NullSavePath", [] { return velmora_emulator_save_world(nullptr); },
         "velmora emulator: the file's path is null"},
        {"EmptySavePath", [] { return velmora_emulator_save_world(""); }, "velmora emulator: the file's path is empty"},
        {"SavePathOfADirectory",
         [] {
             return velmora_emulator_save_world(
                 reinterpret_cast<const char*>(std::filesystem::temp_directory_path().u8string().c_str()));
         },
         "velmora emulator: cannot save the world to ..."},
    };
}

class TestKitCApiBadInput : public TestKitCApiTest, public ::testing::WithParamInterface<BadCall> {};

TEST_P(TestKitCApiBadInput, AnswersZeroWithAMessageAndChangesNothing) {
    Buy(kGameOffer);
    if (std::string(GetParam().name) == "SecondRefund") emu::Refund(1);
    const auto ledger = emu::Transactions();
    const auto clock = emu::FixedClock();
    EXPECT_EQ(GetParam().call(), 0);
    const std::string message = velmora_emulator_last_error();
    const std::string& expected = GetParam().message;
    if (expected.ends_with("...")) {
        EXPECT_EQ(message.substr(0, expected.size() - 3), expected.substr(0, expected.size() - 3)) << message;
    } else {
        EXPECT_EQ(message, expected);
    }
    EXPECT_EQ(emu::Transactions(), ledger);
    EXPECT_EQ(emu::FixedClock(), clock);
    EXPECT_TRUE(emu::OpenScreens().empty());
}

INSTANTIATE_TEST_SUITE_P(Mistakes, TestKitCApiBadInput, ::testing::ValuesIn(BadCalls()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::test
