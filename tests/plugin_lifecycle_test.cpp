// Load, unload, the start-up deliveries, readiness, and the one initialization line.
#include "core/event_types.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/strings.h"
#include "host/plugin_loader.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

using HaldenPlugin::FirstStartupRequest;
using HaldenPlugin::OnIHaldenPluginLogRequested;
using HaldenPlugin::OnUserManagerRequested;
using HaldenPlugin::SecondStartupRequest;
using Kind = host::TraceEntry::Kind;

TEST(PluginEntry, QueriesAnswerTheirConstantsWithoutAnyLoad) {
    emu::Reset();
    host::LoadedPlugin plugin(VELMORA_PLUGIN_PATH, /*freshCopy=*/true);
    const auto& x = plugin.Exports();
    x.HaldenPluginLoad(nullptr);  // a null registry changes nothing
    EXPECT_EQ(x.GetPluginFrameworkVersion(), 50700);
    EXPECT_EQ(x.GetPluginVersion(), 10100);
    EXPECT_EQ(x.GetPlatformId(), 0);
    EXPECT_EQ(x.InitializePlugin(), 0);
    EXPECT_FALSE(x.AmFullyInitialized());  // what else answers before a load: BadInputBeforeLoad
    x.HaldenPluginUnload();
    x.LogCallbackException();
    EXPECT_EQ(emu::LiveObjects(), 0);
}

class LoadTest : public PluginTest {
protected:
    bool LoadOnSetUp() override { return false; }
    host::HostOptions Options() override {
        auto options = PluginTest::Options();
        options.userManagerAnswer = userAnswer;
        options.logAnswer = logAnswer;
        options.registryOffersQueue = offersQueue;
        options.registryOffersUserManager = false;
        return options;
    }
    void Load() {
        Host().Load(VELMORA_PLUGIN_PATH, /*freshCopy=*/true);
        Host().PumpAll();
    }
    size_t InitializationLines(host::PluginLog& log) {
        size_t n = 0;
        for (const auto& line : log.Lines()) n += line.text.find(u"PLUGIN INITIALIZED") != std::u16string::npos;
        return n;
    }

    host::AnswerMode userAnswer = host::AnswerMode::Deferred;
    host::AnswerMode logAnswer = host::AnswerMode::Deferred;
    bool offersQueue = true;
};

TEST_F(LoadTest, AddsThreeHandlersAndSendsTwoRequestsInOrder) {
    userAnswer = logAnswer = host::AnswerMode::Never;
    RecreateHost();
    Load();
    const std::vector<host::TraceEntry> expected = {
        {Kind::AddHandler, OnUserManagerRequested::Id, 0},      {Kind::AddHandler, OnIHaldenPluginLogRequested::Id, 0},
        {Kind::SendEvent, FirstStartupRequest::Id, 1},          {Kind::SendEvent, SecondStartupRequest::Id, 1},
        {Kind::AddHandler, OnIHaldenPluginLogRequested::Id, 0},
    };
    EXPECT_EQ(Host().Queue().Trace(), expected);
    EXPECT_TRUE(X().AmFullyInitialized()) << "a successful load is initialized even with nothing delivered";
    EXPECT_EQ(Host().Log().LineCount(), 0u);
}

// The line goes to the first real log delivered after the requests, once: a log delivered only
// inside the requests' send, or a null one, leaves it to the next delivery.
TEST_F(LoadTest, TheInitializationLineIsWrittenOnceWithTheFirstLog) {
    const std::pair<host::AnswerMode, size_t> rows[] = {
        {host::AnswerMode::TwiceDifferent, 1}, {host::AnswerMode::Synchronous, 0}, {host::AnswerMode::NullThenReal, 1}};
    for (const auto& [mode, afterLoad] : rows) {
        SCOPED_TRACE(int(mode));
        logAnswer = mode;
        RecreateHost();
        Load();
        EXPECT_EQ(InitializationLines(Host().Log()), afterLoad);
        EXPECT_EQ(InitializationLines(Host().SecondLog()), 0u);
        Host().DeliverLog(&Host().Log());
        Host().PumpAll();
        EXPECT_EQ(InitializationLines(Host().Log()), 1u) << "a later delivery writes it only if none did";
    }
    ASSERT_FALSE(Host().Log().Lines().empty());
    const host::LogLine line = Host().Log().Lines().back();
    EXPECT_EQ(line.tag, u"Velmora");
    EXPECT_EQ(line.text, u"PLUGIN INITIALIZED: [Velmora] Framework (50700) Version (10100)");
    EXPECT_TRUE(line.location.starts_with(u"core/StandardExports.cpp")) << emu::ToUtf8(line.location);
    EXPECT_TRUE(line.location.ends_with(u"(15)")) << emu::ToUtf8(line.location);
}

TEST_F(LoadTest, ASecondLoadDoesNothing) {
    Load();
    const size_t before = Host().Queue().Trace().size();
    X().HaldenPluginLoad(Host().Interfaces());
    EXPECT_EQ(Host().Queue().Trace().size(), before);
}

}  // namespace
}  // namespace velmora::test
