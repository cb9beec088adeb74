// 100,000 asynchronous operations (scaled by VELMORA_STRESS_SCALE) over every operation kind (six
// inventory, two catalog, five screens, two privilege checks), started from four caller threads
// with randomly scripted outcomes while the test thread pumps the host queue. Every export that
// answers true gets exactly one callback, with the record its outcome calls for, inside the host's
// delivery on the pumping thread; every false gets none; and every result is disposed in its
// callback, so the live counts end where they began.
//
// ScriptOutcome queues outcomes per call name, so a caller scripts the outcome of an operation
// and starts it while holding that kind's lock: each start takes exactly the outcome scripted for
// it. Operations of different kinds start, complete and deliver concurrently.
#include <array>
#include <atomic>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "tests/async_exports.h"
#include "tests/stress_fixture.h"

namespace velmora::test {
namespace {

using Exports = host::VelmoraExports;
using OutcomeKind = emu::Outcome::Kind;
using ::ABI::Windows::Foundation::AsyncStatus;

// One operation as a caller thread ran it and as its callback found it.
struct Op {
    uint8_t kind = 0;
    OutcomeKind outcome = OutcomeKind::Complete;
    int32_t scriptedHr = 0;
    bool started = false;
    std::atomic<int> calls{0};
    int32_t hr = 0;
    bool hadResult = false;
    uint32_t value = 0;
    bool onDeliveryThread = false;
};

struct Storm;
Storm* current = nullptr;  // the run the callbacks report to

void ObjectDone(int32_t hr, ObjectHandle result, void* userData);
void ValueDone(int32_t hr, uint32_t value, void* userData);

struct Storm {
    const Exports* x = nullptr;
    DeliveryThread where;
    std::atomic<int64_t> started{0};  // operations whose export answered true
    std::atomic<int64_t> delivered{0};
};

void ObjectDone(int32_t hr, ObjectHandle result, void* userData) {
    auto& op = *static_cast<Op*>(userData);
    op.hr = hr;
    op.hadResult = result != nullptr;
    op.onDeliveryThread = current->where.Here();
    if (result) (current->x->*kAsyncExports[op.kind].dispose)(result);
    op.calls.fetch_add(1, std::memory_order_relaxed);
    current->delivered.fetch_add(1, std::memory_order_release);
}

void ValueDone(int32_t hr, uint32_t value, void* userData) {
    auto& op = *static_cast<Op*>(userData);
    op.hr = hr;
    op.value = value;
    op.onDeliveryThread = current->where.Here();
    op.calls.fetch_add(1, std::memory_order_relaxed);
    current->delivered.fetch_add(1, std::memory_order_release);
}

// What is wrong with an operation's record, or the empty text.
std::string Mismatch(const Op& op) {
    const Shape shape = kAsyncExports[op.kind].shape;
    const bool failStart = op.outcome == OutcomeKind::FailStart;
    if (op.started == failStart) return failStart ? "answered true for a failed start" : "answered false";
    const int expectedCalls = failStart ? 0 : 1;
    if (op.calls.load() != expectedCalls)
        return "callbacks: " + std::to_string(op.calls.load()) + ", expected " + std::to_string(expectedCalls);
    if (failStart) return "";
    if (!op.onDeliveryThread) return "callback outside the host's delivery thread";
    const bool completes = op.outcome == OutcomeKind::Complete || op.outcome == OutcomeKind::CompleteSynchronously;
    const int32_t hr = op.outcome == OutcomeKind::Fail ? op.scriptedHr : 0;
    if (op.hr != hr) return "hr " + std::to_string(op.hr) + ", expected " + std::to_string(hr);
    switch (shape) {
        case Shape::Object:
            if (op.hadResult != completes) return completes ? "no result" : "a result where none belongs";
            break;
        case Shape::Action: {
            // A screen has no result to be null, so a null-result outcome completes it.
            const auto status = op.outcome == OutcomeKind::Fail     ? AsyncStatus::Error
                                : op.outcome == OutcomeKind::Cancel ? AsyncStatus::Canceled
                                                                    : AsyncStatus::Completed;
            if (op.value != uint32_t(status)) return "status " + std::to_string(op.value);
            break;
        }
        case Shape::Value:
            if (!completes && op.value != 0) return "value " + std::to_string(op.value) + " without a result";
            break;
    }
    return "";
}

class StressAsync : public StressTest {
protected:
    void SetUp() override {
        StressTest::SetUp();
        BuildWorld();
        emu::SetPrivilege(kUser, kPrivilege, emu::PrivilegeCheckResult::PurchaseRequired);
    }
};

TEST_F(StressAsync, EveryStartedOperationDeliversExactlyOnceOnTheHostThread) {
    constexpr int kCallers = 4;
    const int total = Scaled(100000, 2000);
    AsyncIds args{OwnedItem(kUser, kCoins), kTransaction, kParent, kGame, kCoinsOffer, u"NO-SUCH-CODE", kPrivilege};
    ASSERT_NE(args.item, nullptr);
    // An item makes its URI objects on their first read and keeps them while it lives; the consume
    // export reads the consumable URL, so both are made before the counts are taken.
    X().InventoryItem_Url(args.item);
    X().InventoryItem_ConsumableUrl(args.item);
    Settle();
    const int64_t objectsBefore = emu::LiveObjects();
    const int64_t stringsBefore = emu::LiveStrings();

    Storm run;
    run.x = &X();
    run.where.queue = &Host().Queue();
    current = &run;
    std::vector<Op> ops(static_cast<size_t>(total));
    std::array<std::mutex, kAsyncExports.size()> kindLocks;
    std::atomic<int> callersDone{0};

    auto caller = [&](int index) {
        std::mt19937 random(uint32_t(7919 * (index + 1)));
        const int32_t failures[] = {int32_t(0x80004005), int32_t(0x80070005), int32_t(0x80190194), int32_t(0x8007000E)};
        for (int i = index; i < total; i += kCallers) {
            Op& op = ops[size_t(i)];
            op.kind = uint8_t(random() % kAsyncExports.size());
            const uint32_t roll = random() % 100;
            op.outcome = roll < 35   ? OutcomeKind::Complete
                         : roll < 55 ? OutcomeKind::CompleteSynchronously
                         : roll < 67 ? OutcomeKind::NullResult
                         : roll < 79 ? OutcomeKind::Fail
                         : roll < 90 ? OutcomeKind::Cancel
                                     : OutcomeKind::FailStart;
            const bool failing = op.outcome == OutcomeKind::Fail || op.outcome == OutcomeKind::FailStart;
            op.scriptedHr = failing ? failures[random() % std::size(failures)] : 0;
            const emu::Outcome outcome{op.outcome, op.scriptedHr, std::chrono::microseconds(random() % 50)};
            // Keeps the number of operations in flight bounded, as a game's frame does.
            while (run.started.load() - run.delivered.load(std::memory_order_acquire) > 2048) std::this_thread::yield();
            const AsyncExport& kind = kAsyncExports[op.kind];
            {
                std::lock_guard lock(kindLocks[op.kind]);
                emu::ScriptOutcome(kind.call, outcome);
                op.started = kind.start(*run.x, kUser, args, ObjectDone, ValueDone, &op);
            }
            if (op.started) run.started.fetch_add(1);
        }
        callersDone.fetch_add(1, std::memory_order_release);
    };
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c) callers.emplace_back(caller, c);

    // The host's main loop: deliver until every caller is done and every started operation delivered.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    bool finished = false;
    while (!finished && std::chrono::steady_clock::now() < deadline) {
        Host().Queue().WaitAndPump(std::chrono::milliseconds(1));
        finished = callersDone.load(std::memory_order_acquire) == kCallers &&
                   run.delivered.load(std::memory_order_acquire) == run.started.load();
    }
    for (auto& t : callers) t.join();
    Settle();
    current = nullptr;
    EXPECT_TRUE(finished) << run.delivered.load() << " of " << run.started.load() << " callbacks arrived in time";

    int reported = 0;
    std::array<std::array<int, 7>, kAsyncExports.size()> seen{};
    for (int i = 0; i < total; ++i) {
        const Op& op = ops[size_t(i)];
        ++seen[op.kind][size_t(op.outcome)];
        if (std::string why = Mismatch(op); !why.empty() && reported++ < 20)
            ADD_FAILURE() << "operation " << i << " (" << kAsyncExports[op.kind].call << ", outcome " << int(op.outcome)
                          << "): " << why;
    }
    EXPECT_EQ(reported, 0) << "operations with a wrong record";
    // Every kind met every outcome, so no path went untried.
    for (size_t k = 0; k < kAsyncExports.size(); ++k)
        for (OutcomeKind o : {OutcomeKind::Complete, OutcomeKind::CompleteSynchronously, OutcomeKind::NullResult,
                              OutcomeKind::Fail, OutcomeKind::Cancel, OutcomeKind::FailStart})
            EXPECT_GT(seen[k][size_t(o)], 0) << kAsyncExports[k].call << " never met outcome " << int(o);

    EXPECT_EQ(emu::LiveObjects(), objectsBefore) << "a result was not handed to its callback or not released";
    EXPECT_EQ(emu::LiveStrings(), stringsBefore);
    X().InventoryItem_Dispose(args.item);
}

}  // namespace
}  // namespace velmora::test
