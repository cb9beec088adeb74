// The assembled host over its life: the one-host registry, the start-up answers in every answer
// mode, hand deliveries, the user manager, and loading / unloading a plugin module.
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/services/users.h"
#include "host/host.h"
#include "host/registry.h"
#include "tests/emulator_fixture.h"
#include "tests/host_printers.h"

namespace velmora::host {
namespace {

using HostTest = test::EmulatorTest;

template <class F>
F Function(Host& host, const char* name) {
    auto f = reinterpret_cast<F>(host.Resolve(name));
    if (!f) throw std::runtime_error(std::string("stand-in plugin lacks ") + name);
    return f;
}

// The stand-in plugin (host_fake_plugin.cpp) plays the real plugin's start-up: what it received
// for one of its two requests (0: the user manager, 1: the log), and whether each answer arrived
// inside the request's send.
struct Answer {
    const void* pointer;
    bool insideRequest;
};
std::vector<Answer> Answers(Host& host, int request) {
    auto count = Function<int (*)(int)>(host, "FakePlugin_AnswerCount");
    auto answer = Function<void* (*)(int, int)>(host, "FakePlugin_Answer");
    auto inside = Function<int (*)(int, int)>(host, "FakePlugin_AnswerInsideRequest");
    std::vector<Answer> answers;
    for (int i = 0; i < count(request); ++i) answers.push_back({answer(request, i), inside(request, i) != 0});
    return answers;
}

TEST_F(HostTest, OnlyOneHostAtATime) {
    {
        Host first;
        try {
            Host second;
            FAIL() << "a second Host was created";
        } catch (const std::logic_error& e) {
            EXPECT_NE(std::string(e.what()).find("only one Host may exist at a time"), std::string::npos);
        }
        EXPECT_EQ(RegistryOwner(), &first) << "the failed second Host must not take the registry";
        EXPECT_EQ(GetInterface(HostEventQueue::Id), static_cast<IHaldenInterface*>(&first.Queue()));
    }
    EXPECT_EQ(RegistryOwner(), nullptr);
    EXPECT_EQ(InterfaceCount(), 0u);
    Host third;
    EXPECT_EQ(RegistryOwner(), &third);
}

enum class Expect { Real, Second, Null };

struct AnswerCase {
    const char* name;
    AnswerMode mode;
    std::vector<Expect> answers;
};

void PrintTo(const AnswerCase& c, std::ostream* out) { *out << c.name; }

class StartupAnswerTest : public HostTest,
                          public ::testing::WithParamInterface<std::tuple<AnswerCase, DeliveryMode>> {};

TEST_P(StartupAnswerTest, EachRequestIsAnsweredAsConfigured) {
    // Named references rather than a structured binding: clang 14 cannot capture a binding in a lambda.
    const AnswerCase& answerCase = std::get<0>(GetParam());
    const DeliveryMode delivery = std::get<1>(GetParam());
    HostOptions options;
    options.delivery = delivery;
    options.userManagerAnswer = answerCase.mode;
    options.logAnswer = answerCase.mode;
    Host host(options);
    host.Load(VELMORA_HOST_FAKE_PLUGIN, true);

    // Before any pump, only answers given inside the send (or by a synchronous queue) have arrived.
    const bool immediate = answerCase.mode == AnswerMode::Synchronous || delivery == DeliveryMode::Synchronous;
    EXPECT_EQ(Answers(host, 0).size(), immediate ? answerCase.answers.size() : 0u);
    host.PumpAll();

    auto check = [&](const std::vector<Answer>& got, const void* real, const void* second) {
        ASSERT_EQ(got.size(), answerCase.answers.size());
        for (size_t i = 0; i < got.size(); ++i) {
            const Expect e = answerCase.answers[i];
            EXPECT_EQ(got[i].pointer, e == Expect::Real ? real : e == Expect::Second ? second : nullptr) << i;
            EXPECT_EQ(got[i].insideRequest, immediate) << i;
        }
    };
    check(Answers(host, 0), static_cast<UserManager*>(&host.Users()), static_cast<UserManager*>(&host.SecondUsers()));
    check(Answers(host, 1), static_cast<IHaldenPluginLog*>(&host.Log()),
          static_cast<IHaldenPluginLog*>(&host.SecondLog()));
    EXPECT_NE(static_cast<void*>(&host.Users()), static_cast<void*>(&host.SecondUsers()));
    EXPECT_NE(static_cast<void*>(&host.Log()), static_cast<void*>(&host.SecondLog()));
}

const AnswerCase kAnswerCases[] = {
    {"Deferred", AnswerMode::Deferred, {Expect::Real}},
    {"Synchronous", AnswerMode::Synchronous, {Expect::Real}},
    {"Twice", AnswerMode::Twice, {Expect::Real, Expect::Real}},
    {"TwiceDifferent", AnswerMode::TwiceDifferent, {Expect::Real, Expect::Second}},
    {"NullThenReal", AnswerMode::NullThenReal, {Expect::Null, Expect::Real}},
    {"Null", AnswerMode::Null, {Expect::Null}},
    {"Never", AnswerMode::Never, {}},
};

INSTANTIATE_TEST_SUITE_P(Modes, StartupAnswerTest,
                         ::testing::Combine(::testing::ValuesIn(kAnswerCases),
                                            ::testing::Values(DeliveryMode::Deferred, DeliveryMode::Synchronous)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    ModeName(std::get<1>(info.param)) + "Queue";
                         });

TEST_F(HostTest, TheDeliveredInterfacesWork) {
    ASSERT_EQ(emu::AddUser({7, u"Ann", u"2533274800000007"}), ABI::S_OK);
    Host host;
    host.Load(VELMORA_HOST_FAKE_PLUGIN, true);
    host.PumpAll();
    ASSERT_EQ(Answers(host, 0).size(), 1u);
    ASSERT_EQ(Answers(host, 1).size(), 1u);

    auto* users = static_cast<UserManager*>(const_cast<void*>(Answers(host, 0)[0].pointer));
    EXPECT_EQ(users->GetUserCount(), 1u);
    EXPECT_EQ(users->FindUserIndex(7), 0);
    EXPECT_EQ(users->FindUserIndex(8), -1);
    // A balanced get/release leaves the count where it was only if each get adds exactly one.
    PlatformUser* user = users->GetUserAt(0);
    ASSERT_NE(user, nullptr);
    const uint32_t afterFirst = user->Release();
    user = users->GetUserAt(0);
    EXPECT_EQ(user->Release(), afterFirst) << "GetUserAt must hand over exactly one reference";
    UserServicesContext* context = users->GetServicesContextAt(0);
    ASSERT_NE(context, nullptr);
    const uint32_t contextAfterFirst = context->Release();
    context = users->GetServicesContextAt(0);
    EXPECT_EQ(context->Release(), contextAfterFirst) << "GetServicesContextAt must hand over exactly one reference";
    EXPECT_EQ(users->GetUserAt(1), nullptr);
    EXPECT_EQ(users->GetServicesContextAt(1), nullptr);

    auto* log = static_cast<IHaldenPluginLog*>(const_cast<void*>(Answers(host, 1)[0].pointer));
    log->WriteLine(u"Plugin", u"hello");
    EXPECT_EQ(host.Log().Lines(), (std::vector<LogLine>{{u"Plugin", u"", u"hello"}}));
}

// A user manager of the game's own, used instead of the emulator's.
class FixedUsers final : public UserManager {
public:
    const char* GetInterfaceName() const override { return "FixedUsers"; }
    uint32_t GetUserCount() override { return 3; }
    PlatformUser* GetUserAt(uint32_t) override { return nullptr; }
    UserServicesContext* GetServicesContextAt(uint32_t) override { return nullptr; }
    int32_t FindUserIndex(uint32_t) override { return -1; }
};

TEST_F(HostTest, ACustomUserManagerIsRegisteredAndDelivered) {
    FixedUsers custom;
    HostOptions options;
    options.userManager = &custom;
    Host host(options);
    EXPECT_EQ(host.Interfaces()->GetInterface(UserManager::Id), static_cast<IHaldenInterface*>(&custom));
    host.Load(VELMORA_HOST_FAKE_PLUGIN, true);
    host.PumpAll();
    ASSERT_EQ(Answers(host, 0).size(), 1u);
    EXPECT_EQ(Answers(host, 0)[0].pointer, static_cast<UserManager*>(&custom));
}

TEST_F(HostTest, HandDeliveriesGoThroughTheQueue) {
    HostOptions options;
    options.userManagerAnswer = AnswerMode::Never;
    options.logAnswer = AnswerMode::Never;
    Host host(options);
    host.Load(VELMORA_HOST_FAKE_PLUGIN, true);
    host.DeliverUserManager(nullptr);
    host.DeliverLog(&host.SecondLog());
    host.DeliverUserManager(&host.Users());
    EXPECT_TRUE(Answers(host, 0).empty());
    host.PumpAll();
    const auto users = Answers(host, 0), logs = Answers(host, 1);
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].pointer, nullptr);
    EXPECT_EQ(users[1].pointer, static_cast<UserManager*>(&host.Users()));
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].pointer, static_cast<IHaldenPluginLog*>(&host.SecondLog()));
}

TEST_F(HostTest, LoadingAPluginRunsItsStartUpThroughTheQueue) {
    HostOptions options;
    options.traceEvents = true;
    Host host(options);
    host.Load(VELMORA_HOST_FAKE_PLUGIN, true);
    EXPECT_THROW(host.Load(VELMORA_HOST_FAKE_PLUGIN, true), std::logic_error);

    using K = TraceEntry::Kind;
    EXPECT_EQ(host.Queue().Trace(), (std::vector<TraceEntry>{{K::AddHandler, kUserManagerDeliveryId, 0},
                                                             {K::AddHandler, kLogDeliveryId, 0},
                                                             {K::SendEvent, kUserManagerRequestId, 1},
                                                             {K::SendEvent, kLogRequestId, 1}}));
    EXPECT_TRUE(Answers(host, 0).empty());
    host.PumpAll();
    ASSERT_EQ(Answers(host, 0).size(), 1u);
    ASSERT_EQ(Answers(host, 1).size(), 1u);
    EXPECT_EQ(Answers(host, 0)[0].pointer, static_cast<UserManager*>(&host.Users()));
    EXPECT_EQ(Answers(host, 1)[0].pointer, static_cast<IHaldenPluginLog*>(&host.Log()));
    EXPECT_EQ(Function<void* (*)()>(host, "FakePlugin_RegistryQueue")(), static_cast<HostEventQueue*>(&host.Queue()));

    // The plugin logs through the delivered log with a printf format and a va_list.
    EXPECT_EQ(host.Exports().InitializePlugin(), 1);
    EXPECT_EQ(host.Log().Lines(),
              (std::vector<LogLine>{{u"FakePlugin", u"InitializePlugin", u"users=0 queue=yes 100%"}}));
}

TEST_F(HostTest, UnloadRemovesThePluginsHandlersAndAReloadStartsFresh) {
    Host host;
    const size_t hostHandlers = host.Queue().HandlerCount();
    host.Load(VELMORA_HOST_FAKE_PLUGIN, true);
    host.PumpAll();
    EXPECT_EQ(host.Queue().HandlerCount(), hostHandlers + 2);

    host.Unload();
    EXPECT_FALSE(host.Loaded());
    EXPECT_EQ(host.Queue().HandlerCount(), hostHandlers);
    EXPECT_TRUE(host.Queue().Delivering());

    host.Load(VELMORA_HOST_FAKE_PLUGIN, true);
    EXPECT_EQ(Function<int (*)()>(host, "FakePlugin_Loads")(), 1);
    EXPECT_EQ(Function<int (*)()>(host, "FakePlugin_Unloads")(), 0);
    host.PumpAll();
    EXPECT_EQ(Answers(host, 0).size(), 1u);
}

TEST_F(HostTest, UnloadingWithQueuedEventsDropsThemInsteadOfCallingUnmappedCode) {
    Host host;
    host.Load(VELMORA_HOST_FAKE_PLUGIN, true);
    host.Pump();  // requests delivered; the answers for the plugin are queued
    ASSERT_EQ(host.Queue().PendingCount(), 2u);
    const uint64_t dropped = host.Queue().Counters().droppedUndelivered;
    host.Unload();
    EXPECT_EQ(host.Queue().Counters().droppedUndelivered, dropped + 2);
    EXPECT_EQ(host.PumpAll(), 0u);
}

TEST_F(HostTest, APluginFacingARegistryWithoutAQueueSendsNothing) {
    HostOptions options;
    options.registryOffersQueue = false;
    options.traceEvents = true;
    Host host(options);
    host.Load(VELMORA_HOST_FAKE_PLUGIN, true);
    EXPECT_EQ(Function<void* (*)()>(host, "FakePlugin_RegistryQueue")(), nullptr);
    EXPECT_EQ(Function<void* (*)()>(host, "FakePlugin_RegistryUsers")(), static_cast<UserManager*>(&host.Users()));
    EXPECT_EQ(host.PumpAll(), 0u);
    EXPECT_TRUE(host.Queue().Trace().empty());
    EXPECT_EQ(host.Exports().InitializePlugin(), 0) << "without a log the stand-in reports failure";
}

}  // namespace
}  // namespace velmora::host
