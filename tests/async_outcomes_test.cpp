// Every asynchronous export against every way its operation can end or fail to start: a true
// answer is followed by exactly one callback, inside the host's delivery, with the caller's data,
// the error code, and the result, status or value the ending calls for; a false answer by none.
// Whatever the ending, the operation, its arguments and its continuation are released.
#include "emulator/store.h"
#include "tests/async_exports.h"
#include "tests/stress_fixture.h"

namespace velmora::test {
namespace {

using Kind = emu::Outcome::Kind;
using ::ABI::Windows::Foundation::AsyncStatus;

constexpr uint32_t kBanned = 4;  // the privilege's flags: a delivered 0 is the ending's, not the privilege's

struct Ending {
    const char* name;
    void (*arrange)(const AsyncExport& row);
    bool started;
    int32_t hr;      // the error code the platform reports
    bool completes;  // the platform's result reaches the callback
    AsyncStatus status;
};

const Ending kEndings[] = {
    {"completed", [](const AsyncExport& r) { emu::ScriptOutcome(r.call, {Kind::Complete}); }, true, 0, true,
     AsyncStatus::Completed},
    {"completed before the continuation is attached",
     [](const AsyncExport& r) { emu::ScriptOutcome(r.call, {Kind::CompleteSynchronously}); }, true, 0, true,
     AsyncStatus::Completed},
    {"a null result", [](const AsyncExport& r) { emu::ScriptOutcome(r.call, {Kind::NullResult}); }, true, 0, false,
     AsyncStatus::Completed},
    {"failed",
     [](const AsyncExport& r) {
         emu::ScriptOutcome(r.call, {Kind::Fail, ABI::E_ACCESSDENIED});
     },
     true, ABI::E_ACCESSDENIED, false, AsyncStatus::Error},
    {"cancelled",
     [](const AsyncExport& r) {
         emu::ScriptOutcome(r.call, {Kind::Cancel, ABI::E_ABORT});
     },
     true, ABI::E_ABORT, false, AsyncStatus::Canceled},
    {"the start fails",
     [](const AsyncExport& r) {
         emu::ScriptOutcome(r.call, {Kind::FailStart, ABI::E_FAIL});
     },
     false,
     0,
     false,
     {}},
    {"the start hands out no operation",
     [](const AsyncExport& r) { emu::ScriptOutcome(r.call, {Kind::NullOperation}); },
     false,
     0,
     false,
     {}},
    {"the platform call fails",
     [](const AsyncExport& r) { emu::InjectFault(r.call, ABI::E_FAIL); },
     false,
     0,
     false,
     {}},
    {"the service cannot be had",
     [](const AsyncExport& r) {
         const std::string call = r.call;
         emu::InjectFault(call.starts_with("IInventory") ? "IXboxLiveContext.get_InventoryService"
                          : call.starts_with("ICatalog")
                              ? "IXboxLiveContext.get_CatalogService"
                              : "RoGetActivationFactory:Windows.Xbox.ApplicationModel.Store.Product",
                          ABI::REGDB_E_CLASSNOTREG);
     },
     false,
     0,
     false,
     {}},
};

struct Received {
    const host::VelmoraExports* x = nullptr;
    const AsyncExport* row = nullptr;
    DeliveryThread where;
    int calls = 0;
    int32_t hr = 0;
    bool result = false;
    uint32_t value = 0;
    bool inDelivery = false;
};

void TakeObject(int32_t hr, ObjectHandle result, void* userData) {
    auto& r = *static_cast<Received*>(userData);
    r = {r.x, r.row, r.where, r.calls + 1, hr, result != nullptr, 0, r.where.Here()};
    if (result) (r.x->*r.row->dispose)(result);
}
void TakeValue(int32_t hr, uint32_t value, void* userData) {
    auto& r = *static_cast<Received*>(userData);
    r = {r.x, r.row, r.where, r.calls + 1, hr, false, value, r.where.Here()};
}

class AsyncOutcomesTest : public StressTest {};

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
            ending.arrange(row);
            Received got{&X(), &row, {&Host().Queue()}};
            const bool started = row.start(X(), kUser, ids, TakeObject, TakeValue, &got);
            EXPECT_EQ(started, ending.started);
            EXPECT_EQ(got.calls, 0) << "delivery waits for the pump, even for a synchronous completion";
            if (started) {
                ASSERT_TRUE(PumpUntil([&] { return got.calls > 0; })) << "no callback followed a true answer";
            }
            Settle();
            emu::ClearFaults();
            emu::ClearScripts();
            EXPECT_EQ(got.calls, ending.started ? 1 : 0);
            EXPECT_EQ(emu::LiveObjects(), objects);
            EXPECT_EQ(emu::LiveStrings(), strings);
            if (!ending.started || got.calls != 1) continue;
            EXPECT_TRUE(got.inDelivery) << "the callback runs inside the host's delivery, on the pumping thread";
            // An operation's error code is read only when it failed; a screen's whatever its status.
            const bool read = row.shape == Shape::Action || ending.status == AsyncStatus::Error;
            EXPECT_EQ(got.hr, read ? ending.hr : 0);
            switch (row.shape) {
                case Shape::Object:
                    EXPECT_EQ(got.result, ending.completes);
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
