// Every asynchronous export against every way its operation can end or fail to start: a true
// answer is followed by exactly one event of the export's own id and one callback, inside the
// host's delivery, with the caller's data, the error code, and the result, status or value the
// ending calls for; a false answer by neither.
// Whatever the ending, the operation, its arguments and its continuation are released.
#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/services/store/store.h"
#include "tests/async_exports.h"
#include "tests/stress_fixture.h"

namespace velmora::test {
namespace {

using Kind = emu::Outcome::Kind;
using ::ABI::Windows::Foundation::AsyncStatus;

constexpr uint32_t kBanned = 4;  // the privilege's flags: a delivered 0 is the ending's, not the privilege's

enum class Fault { None, Call, Service };  // a fault injected instead of a scripted outcome

struct Ending {
    const char* name;
    emu::Outcome outcome;  // scripted for the row's platform call
    Fault fault;
    bool started;
    int32_t hr;      // the error code the platform reports
    bool completes;  // the platform's result reaches the callback
    AsyncStatus status;
};

const Ending kEndings[] = {
    {"completed", {Kind::Complete}, Fault::None, true, 0, true, AsyncStatus::Completed},
    {"completed before attaching", {Kind::CompleteSynchronously}, Fault::None, true, 0, true, AsyncStatus::Completed},
    // A success is HRESULT 0 to managed code, whatever success code the result read answered.
    {"completed, the result read answering S_FALSE",
     {Kind::Complete, ABI::S_FALSE},
     Fault::None,
     true,
     0,
     true,
     AsyncStatus::Completed},
    {"a null result", {Kind::NullResult}, Fault::None, true, 0, false, AsyncStatus::Completed},
    {"failed", {Kind::Fail, ABI::E_ACCESSDENIED}, Fault::None, true, ABI::E_ACCESSDENIED, false, AsyncStatus::Error},
    {"cancelled", {Kind::Cancel, ABI::E_ABORT}, Fault::None, true, ABI::E_ABORT, false, AsyncStatus::Canceled},
    {"the start fails", {Kind::FailStart, ABI::E_FAIL}, Fault::None, false, 0, false, AsyncStatus::Started},
    {"the start hands out no operation", {Kind::NullOperation}, Fault::None, false, 0, false, AsyncStatus::Started},
    {"the platform call fails", {}, Fault::Call, false, 0, false, AsyncStatus::Started},
    {"the service cannot be had", {}, Fault::Service, false, 0, false, AsyncStatus::Started},
};

void Arrange(const Ending& ending, const AsyncExport& row) {
    const std::string call = row.call;
    if (ending.fault == Fault::None) {
        emu::ScriptOutcome(call, ending.outcome);
    } else if (ending.fault == Fault::Call) {
        emu::InjectFault(call, ABI::E_FAIL);
    } else {
        emu::InjectFault(call.starts_with("IInventory") ? "IXboxLiveContext.get_InventoryService"
                         : call.starts_with("ICatalog")
                             ? "IXboxLiveContext.get_CatalogService"
                             : "RoGetActivationFactory:Windows.Xbox.ApplicationModel.Store.Product",
                         ABI::REGDB_E_CLASSNOTREG);
    }
}

class AsyncOutcomesTest : public StressTest {
protected:
    // The trace counts the events each operation posts.
    host::HostOptions Options() override { return PluginTest::Options(); }
};

TEST_F(AsyncOutcomesTest, EveryExportDeliversItsEndingOnceOrAnswersFalse) {
    BuildWorld();
    emu::SetPrivilege(kUser, kPrivilege, emu::PrivilegeCheckResult(kBanned));
    AsyncIds ids{nullptr, kTransaction, kParent, kGame, kCoinsOffer, u"NO-SUCH-CODE", kPrivilege};
    ids.item = OwnedItem(kUser, kCoins);
    for (const AsyncExport& row : kAsyncExports) {
        for (const Ending& ending : kEndings) {
            SCOPED_TRACE(std::string(row.name) + ", " + ending.name);
            Settle();
            const int64_t objects = emu::LiveObjects(), strings = emu::LiveStrings();
            Arrange(ending, row);
            Delivered got{&Host().Queue()};
            Host().Queue().ClearTrace();
            const bool started = row.start(X(), kUser, ids, DeliverObject, DeliverValue, &got);
            EXPECT_EQ(started, ending.started);
            EXPECT_EQ(got.calls, 0) << "delivery waits for the pump, even for a synchronous completion";
            if (started) {
                ASSERT_TRUE(PumpUntil([&] { return got.calls > 0; })) << "no callback followed a true answer";
            }
            Settle();
            emu::ClearFaults();
            emu::ClearScripts();
            if (got.result) (X().*row.dispose)(got.result);
            EXPECT_EQ(got.calls, ending.started ? 1 : 0);
            EXPECT_EQ(Sent(row.event), ending.started ? 1u : 0u);
            EXPECT_EQ(emu::LiveObjects(), objects);
            EXPECT_EQ(emu::LiveStrings(), strings);
            if (!ending.started || got.calls != 1) continue;
            EXPECT_TRUE(got.inDelivery) << "the callback runs inside the host's delivery";
            EXPECT_EQ(got.userData, &got);
            // An operation's error code is read only when it failed; a screen's whatever its status.
            const bool read = row.shape == Shape::Action || ending.status == AsyncStatus::Error;
            EXPECT_EQ(got.hr, read ? ending.hr : 0);
            switch (row.shape) {
                case Shape::Object:
                    EXPECT_EQ(got.result != nullptr, ending.completes);
                    break;
                case Shape::Action:
                    EXPECT_EQ(got.value, uint32_t(ending.status));
                    break;
                case Shape::Value:
                    EXPECT_EQ(got.value, ending.completes ? kBanned : 0u);
                    break;
            }
        }
    }
    X().InventoryItem_Dispose(ids.item);
}

}  // namespace
}  // namespace velmora::test
