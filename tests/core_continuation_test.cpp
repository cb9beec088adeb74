// One started operation, one event, driven by hand: every outcome, finished before the continuation
// is attached, later on a platform thread or on a thread of the test's own, reaches the managed
// callback exactly once, the result handed over holds exactly one reference, two operations in
// flight are told apart, and a null callback releases what it would have received.
#include <thread>

#include "core/event_types.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/objects.h"
#include "emulator/runtime/worker_pool.h"
#include "tests/fake_services.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

struct Calls {
    std::vector<Call> calls;
    host::EventQueue* queue = nullptr;
    std::thread::id hostThread;
};

void RecordCall(int32_t hr, ObjectHandle result, void* userData) {
    auto* c = static_cast<Calls*>(userData);
    c->calls.push_back(
        {hr, result, 0, userData, c->queue->InDelivery() && std::this_thread::get_id() == c->hostThread});
}

enum class Outcome { Success, NullResult, Failure, Cancel };
enum class Timing { BeforeAttach, LaterOnPlatformThread, LaterOnOtherThread };

struct Case {
    Outcome outcome;
    Timing timing;
};
const char* const kOutcomeNames[] = {"Success", "NullResult", "Failure", "Cancel"};
const char* const kTimingNames[] = {"BeforeAttach", "LaterOnPlatformThread", "LaterOnOtherThread"};

void PrintTo(const Case& c, std::ostream* out) {
    *out << kOutcomeNames[int(c.outcome)] << ", " << kTimingNames[int(c.timing)];
}

class ContinuationTest : public PluginTest, public ::testing::WithParamInterface<Case> {
protected:
    host::HostOptions Options() override {
        auto options = PluginTest::Options();
        options.userManager = &users_;
        return options;
    }
    ComPtr<ItemsOperation> Prepare() {
        auto op = emu::Make<ItemsOperation>();
        shared_.operations.push_back(op);
        return op;
    }
    Calls Expecting() { return Calls{{}, &Host().Queue(), std::this_thread::get_id()}; }

public:
    FakeInventoryService::Shared shared_;
    FakeUserManager users_{{7, 8}, &shared_};
};

void Finish(ItemsOperation* op, Outcome outcome) {
    switch (outcome) {
        case Outcome::Success: {
            auto result = emu::Make<FakeItemsResult>(42);
            op->Complete(result.Get());
            break;
        }
        case Outcome::NullResult:
            op->Complete(nullptr);
            break;
        case Outcome::Failure:
            op->Fail(E_ACCESSDENIED);
            break;
        case Outcome::Cancel:
            op->Cancel();
            break;
    }
}

TEST_P(ContinuationTest, ExactlyOneEventWithTheRecordOfItsOutcome) {
    const Case c = GetParam();
    Calls calls = Expecting();
    ComPtr<ItemsOperation> op = Prepare();
    if (c.timing == Timing::BeforeAttach) Finish(op.Get(), c.outcome);

    ASSERT_TRUE(X().InventoryService_GetInventoryItemsAsync(7, 14, RecordCall, &calls));

    std::thread other;
    if (c.timing == Timing::LaterOnPlatformThread) emu::Submit([op, c] { Finish(op.Get(), c.outcome); });
    if (c.timing == Timing::LaterOnOtherThread) other = std::thread([op, c] { Finish(op.Get(), c.outcome); });
    ASSERT_TRUE(PumpUntil([&] { return !calls.calls.empty(); }));
    if (other.joinable()) other.join();
    Settle();

    ASSERT_EQ(calls.calls.size(), 1u) << "exactly one callback per started operation";
    const Call& call = calls.calls[0];
    EXPECT_TRUE(call.onDeliveringThread);
    EXPECT_EQ(call.userData, &calls);
    EXPECT_EQ(call.hr, c.outcome == Outcome::Failure ? E_ACCESSDENIED : S_OK);
    EXPECT_EQ(call.result != nullptr, c.outcome == Outcome::Success);

    op.Reset();  // the platform lets go of the operation and what it held
    if (call.result) {
        auto* result = static_cast<FakeItemsResult*>(static_cast<IInventoryItemsResult*>(call.result));
        EXPECT_EQ(result->RefCount(), 1u) << "managed code owns exactly one reference";
        EXPECT_EQ(X().InventoryItemsResult_TotalItems(call.result), 42u);
        X().InventoryItemsResult_Dispose(call.result);
    }
    EXPECT_EQ(emu::LiveObjects(), 0);
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (Outcome o : {Outcome::Success, Outcome::NullResult, Outcome::Failure, Outcome::Cancel})
        for (Timing t : {Timing::BeforeAttach, Timing::LaterOnPlatformThread, Timing::LaterOnOtherThread})
            cases.push_back({o, t});
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return std::string(kOutcomeNames[int(info.param.outcome)]) + kTimingNames[int(info.param.timing)];
}

INSTANTIATE_TEST_SUITE_P(OutcomeByTiming, ContinuationTest, ::testing::ValuesIn(AllCases()), CaseName);

class StartTest : public ContinuationTest {};

TEST_F(StartTest, TwoOperationsInFlightAreToldApartByTheirCallbackData) {
    Calls first = Expecting(), second = Expecting();
    auto a = Prepare(), b = Prepare();
    ASSERT_TRUE(X().InventoryService_GetInventoryItemsAsync(7, 14, RecordCall, &first));
    ASSERT_TRUE(X().InventoryService_GetInventoryItemsAsync(8, 14, RecordCall, &second));
    Finish(b.Get(), Outcome::Failure);
    Finish(a.Get(), Outcome::Success);
    Settle();
    ASSERT_EQ(first.calls.size(), 1u);
    ASSERT_EQ(second.calls.size(), 1u);
    EXPECT_EQ(first.calls[0].hr, S_OK);
    EXPECT_EQ(second.calls[0].hr, E_ACCESSDENIED);
    a.Reset();
    b.Reset();
    X().InventoryItemsResult_Dispose(first.calls[0].result);
}

// A record whose callback is null is dropped, and the reference it carries is released.
TEST_F(StartTest, ANullCallbackDropsTheEventAndReleasesTheResult) {
    auto op = Prepare();
    ASSERT_TRUE(X().InventoryService_GetInventoryItemsAsync(7, 14, nullptr, nullptr));
    Finish(op.Get(), Outcome::Success);
    Settle();
    op.Reset();
    EXPECT_EQ(emu::LiveObjects(), 0);
}

}  // namespace
}  // namespace velmora::test
