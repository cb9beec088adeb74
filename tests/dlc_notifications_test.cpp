// Install-completed notifications through the exports: each kind through every state of its
// registration (Idle, Armed without a subscription, Listening, Muted) independently of the other,
// the details an event carries, the callback chosen at delivery, failing subscriptions, and
// unregistration before any registration.
#include <cstring>
#include <tuple>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/worker_pool.h"
#include "tests/dlc_fixture.h"

namespace velmora::test {
namespace {

using ABI::HRESULT;
using Operation = emu::InstallOperationType;

// What the managed callbacks of one registration received.
struct Recorded {
    explicit Recorded(host::EventQueue* deliveringQueue) : queue(deliveringQueue) {}
    host::EventQueue* queue;
    int completed = 0;
    std::vector<Call> details;
    bool offDeliveringThread = false;
};

void OnCompleted(void* userData) {
    auto* r = static_cast<Recorded*>(userData);
    ++r->completed;
    if (!r->queue->OnDeliveringThread()) r->offDeliveringThread = true;
}

void OnDetails(int32_t hr, ObjectHandle args, void* userData) {
    auto* r = static_cast<Recorded*>(userData);
    r->details.push_back({hr, args, 0, userData, r->queue->OnDeliveringThread()});
    if (!r->queue->OnDeliveringThread()) r->offDeliveringThread = true;
}

// One kind of notification and the exports that drive it.
struct Kind {
    const char* name;
    emu::PackageEvent event;
    const char* subscribeCall;  // the platform's add_ member, for injected failures
    bool (*subscribe)(const host::VelmoraExports& x, Recorded* into);
    bool (*unsubscribe)(const host::VelmoraExports& x);
    size_t (*calls)(const Recorded& r);
};

const Kind kCompleted{
    "Completed",
    emu::PackageEvent::InstallCompleted,
    "IDownloadableContentPackageManager.add_DownloadableContentPackageInstallCompleted",
    [](const host::VelmoraExports& x, Recorded* into) { return x.DLC_RegisterForDLCCompletedEvent(OnCompleted, into); },
    [](const host::VelmoraExports& x) { return x.DLC_UnRegisterForDLCCompletedEvent(); },
    [](const Recorded& r) { return size_t(r.completed); },
};
const Kind kDetails{
    "Details",
    emu::PackageEvent::InstallCompletedWithDetails,
    "IDownloadableContentPackageManager.add_DownloadableContentPackageInstallCompletedWithDetails",
    [](const host::VelmoraExports& x, Recorded* into) {
        return x.DLC_RegisterForDLCCompletedWithDetailsEvent(OnDetails, into);
    },
    [](const host::VelmoraExports& x) { return x.DLC_UnRegisterForDLCCompletedWithDetailsEvent(); },
    [](const Recorded& r) { return r.details.size(); },
};
const Kind* const kKinds[] = {&kCompleted, &kDetails};

enum class State { Idle, Armed, Listening, Muted };
const char* const kStateNames[] = {"Idle", "Armed", "Listening", "Muted"};

void PrintTo(State s, std::ostream* out) { *out << kStateNames[int(s)]; }
void PrintTo(const Kind* kind, std::ostream* out) { *out << kind->name; }

class DlcNotificationTest : public DlcTest {
protected:
    // Brings one kind into a state: Armed is a registration whose platform subscription failed,
    // Muted a subscription whose callback was unregistered.
    void Enter(const Kind& kind, State state, Recorded* into) {
        switch (state) {
            case State::Idle:
                return;
            case State::Armed:
                emu::InjectFault(kind.subscribeCall, ABI::E_ACCESSDENIED, 1);
                EXPECT_EQ(ThrownBy([&] { kind.subscribe(X(), into); }),
                          Thrown("AccessDeniedException", ABI::E_ACCESSDENIED));
                return;
            case State::Listening:
                EXPECT_TRUE(kind.subscribe(X(), into));
                return;
            case State::Muted:
                EXPECT_TRUE(kind.subscribe(X(), into));
                EXPECT_TRUE(kind.unsubscribe(X()));
                return;
        }
    }

    // Installs a package on a platform thread, then delivers what it raised.
    void InstallAndDeliver(const emu::PackageData& package, Operation operation = Operation::Install) {
        ASSERT_EQ(emu::StartInstallation(package, operation), ABI::S_OK);
        Settle();
    }
    emu::PackageData Sample(const std::u16string& name = u"Pack") { return Package(name, u"title", folder_); }

    void DisposeDetails(Recorded& r) {
        for (const Call& call : r.details)
            X().IDownloadableContentPackageInstallCompletedEventArgs_Dispose(call.result);
        r.details.clear();
    }

    PackageFolder folder_;
};

class DlcNotificationStatesTest : public DlcNotificationTest,
                                  public ::testing::WithParamInterface<std::tuple<State, State>> {};

TEST_P(DlcNotificationStatesTest, EachKindAnswersItsOwnStateOnly) {
    const auto [completedState, detailsState] = GetParam();
    Recorded r{&Host().Queue()};
    Enter(kCompleted, completedState, &r);
    Enter(kDetails, detailsState, &r);
    auto subscribed = [](State s) { return s == State::Listening || s == State::Muted ? 1u : 0u; };
    EXPECT_EQ(emu::SubscriberCount(emu::PackageEvent::InstallCompleted), subscribed(completedState));
    EXPECT_EQ(emu::SubscriberCount(emu::PackageEvent::InstallCompletedWithDetails), subscribed(detailsState));

    const int64_t before = emu::LiveObjects();
    InstallAndDeliver(Sample());
    EXPECT_EQ(r.completed, completedState == State::Listening ? 1 : 0);
    ASSERT_EQ(r.details.size(), detailsState == State::Listening ? 1u : 0u);
    for (const Call& call : r.details) {
        EXPECT_EQ(call.hr, 0);
        EXPECT_NE(call.result, nullptr);
        EXPECT_EQ(call.userData, &r);
    }
    EXPECT_FALSE(r.offDeliveringThread);
    DisposeDetails(r);
    // A muted details event released the args it carried.
    EXPECT_EQ(emu::LiveObjects(), before);
}

INSTANTIATE_TEST_SUITE_P(
    AllPairs, DlcNotificationStatesTest,
    ::testing::Combine(::testing::Values(State::Idle, State::Armed, State::Listening, State::Muted),
                       ::testing::Values(State::Idle, State::Armed, State::Listening, State::Muted)),
    [](const auto& info) {
        return std::string("Completed") + kStateNames[int(std::get<0>(info.param))] + "_Details" +
               kStateNames[int(std::get<1>(info.param))];
    });

TEST_F(DlcNotificationTest, DetailsCarryTheInstallationAndEachInstallationRaisesOneOfEach) {
    Recorded r{&Host().Queue()};
    ASSERT_TRUE(kCompleted.subscribe(X(), &r));
    ASSERT_TRUE(kDetails.subscribe(X(), &r));
    const struct {
        std::u16string name;
        Operation operation;
        ABI::Guid contentId;
    } rows[] = {
        {u"Alpha", Operation::Install, {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}}},
        {u"Alpha", Operation::Update, {0xA1B2C3D4, 0xE5F6, 0x0718, {0x29, 0x3A, 0x4B, 0x5C, 0x6D, 0x7E, 0x8F, 0x90}}},
        {u"Beta", Operation::Repair, {0xFFFFFFFF, 0x0000, 0xFFFF, {0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(emu::ToUtf8(row.name));
        emu::PackageData package = Sample(row.name);
        package.contentGuid = row.contentId;
        const size_t completedBefore = size_t(r.completed);
        InstallAndDeliver(package, row.operation);
        EXPECT_EQ(size_t(r.completed), completedBefore + 1);
        ASSERT_EQ(r.details.size(), 1u);
        const Call call = r.details.front();
        EXPECT_TRUE(call.onDeliveringThread);
        EXPECT_EQ(call.hr, 0);
        const VelmoraGuid id = X().IDownloadableContentPackageInstallCompletedEventArgs_ContentId(call.result);
        EXPECT_EQ(std::memcmp(&id, &row.contentId, sizeof id), 0);
        EXPECT_EQ(X().IDownloadableContentPackageInstallCompletedEventArgs_OperationType(call.result),
                  int32_t(row.operation));
        EXPECT_EQ(std::u16string(X().IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName(call.result)),
                  package.packageFullName);
        DisposeDetails(r);
    }
    EXPECT_FALSE(r.offDeliveringThread);

    // The installations are visible to queries: the update replaced Alpha.
    ObjectHandle list = X().DLC_FindPackages(0);
    EXPECT_EQ(X().DLC_IDownloadableContentPackage_Length(list), 2u);
    X().DLC_IDownloadableContentPackage_Dispose(list);

    const VelmoraGuid none = X().IDownloadableContentPackageInstallCompletedEventArgs_ContentId(nullptr);
    EXPECT_EQ(none.Data1 | none.Data2 | none.Data3, 0u);
}

// The callback is read when the host delivers, not when the platform raised the event.
TEST_F(DlcNotificationTest, TheCallbackIsChosenAtDelivery) {
    for (const Kind* kind : kKinds) {
        for (bool reRegister : {true, false}) {
            SCOPED_TRACE(std::string(kind->name) + (reRegister ? ": re-registered" : ": unregistered"));
            Recorded a{&Host().Queue()}, b{&Host().Queue()};
            ASSERT_TRUE(kind->subscribe(X(), &a));
            const int64_t before = emu::LiveObjects();
            ASSERT_EQ(emu::StartInstallation(Sample(), Operation::Install), ABI::S_OK);
            emu::WaitIdle();  // raised by the platform, waiting in the host queue
            EXPECT_EQ(kind->calls(a), 0u);
            if (reRegister) {
                EXPECT_TRUE(kind->subscribe(X(), &b));
            } else {
                EXPECT_TRUE(kind->unsubscribe(X()));
            }
            Host().PumpAll();
            EXPECT_EQ(kind->calls(a), 0u);
            EXPECT_EQ(kind->calls(b), reRegister ? 1u : 0u);
            EXPECT_FALSE(b.offDeliveringThread);
            DisposeDetails(a);
            DisposeDetails(b);
            EXPECT_EQ(emu::LiveObjects(), before);
            EXPECT_EQ(emu::SubscriberCount(kind->event), 1u);
            EXPECT_TRUE(kind->unsubscribe(X()));
        }
    }
}

TEST_F(DlcNotificationTest, AFailingSubscriptionRaisesAndTheNextRegistrationSubscribesOnce) {
    for (const Kind* kind : kKinds) {
        SCOPED_TRACE(kind->name);
        Recorded r{&Host().Queue()};
        emu::InjectFault(kind->subscribeCall, ABI::E_ACCESSDENIED, 1);
        EXPECT_EQ(ThrownBy([&] { kind->subscribe(X(), &r); }), Thrown("AccessDeniedException", ABI::E_ACCESSDENIED));
        EXPECT_EQ(emu::SubscriberCount(kind->event), 0u);
        EXPECT_TRUE(kind->subscribe(X(), &r));
        EXPECT_TRUE(kind->subscribe(X(), &r));
        EXPECT_EQ(emu::SubscriberCount(kind->event), 1u);
        InstallAndDeliver(Sample());
        EXPECT_EQ(kind->calls(r), 1u);
        DisposeDetails(r);
        EXPECT_TRUE(kind->unsubscribe(X()));
    }
    EXPECT_EQ(emu::PackageCalls().activations, 1u);
}

class DlcFirstUnregistrationTest : public DlcNotificationTest, public ::testing::WithParamInterface<const Kind*> {};

TEST_P(DlcFirstUnregistrationTest, CreatesTheGroupAndSubscribesToNothing) {
    const Kind& kind = *GetParam();
    EXPECT_TRUE(kind.unsubscribe(X()));
    EXPECT_EQ(emu::PackageCalls().activations, 1u);
    EXPECT_EQ(DlcHandlerRegistrations(), BothDlcHandlers());
    EXPECT_EQ(emu::SubscriberCount(emu::PackageEvent::InstallCompleted), 0u);
    EXPECT_EQ(emu::SubscriberCount(emu::PackageEvent::InstallCompletedWithDetails), 0u);

    const uint64_t sent = Host().Queue().Counters().sent;
    InstallAndDeliver(Sample());
    EXPECT_EQ(Host().Queue().Counters().sent, sent);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DlcFirstUnregistrationTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
}  // namespace velmora::test
