// Which user manager a user id is resolved through, and what the resolution asks of it: one row
// per way a user manager can reach the plugin.
#include "tests/fake_services.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

struct Source {
    const char* name;
    bool registryKnowsIt;     // the host's registry offers the delivered manager
    host::AnswerMode answer;  // how start-up delivers it
    bool deliverOther;        // a second manager is delivered by hand after start-up
    uint32_t user;            // the user resolved (the managers know only 7)
    int findCalls, otherFindCalls, contextCalls;
};
void PrintTo(const Source& s, std::ostream* os) { *os << s.name; }

const Source kSources[] = {
    {"TheRegistryIsAskedBeforeADeliveredUserManager", true, host::AnswerMode::Deferred, true, 7, 1, 0, 1},
    {"ADeliveredUserManagerServesWhenTheRegistryLacksOne", false, host::AnswerMode::Deferred, false, 7, 1, 0, 1},
    // A null first delivery does not hide the real one, and later deliveries are ignored.
    {"TheFirstNonNullDeliveryWins", false, host::AnswerMode::NullThenReal, true, 7, 1, 0, 1},
    {"NoUserManagerAnywhereMeansNoUser", false, host::AnswerMode::Never, false, 7, 0, 0, 0},
    {"AnUnknownUserIsNeverFetched", true, host::AnswerMode::Deferred, false, 8, 1, 0, 0},
};

class ResolutionTest : public PluginTest, public ::testing::WithParamInterface<Source> {
protected:
    host::HostOptions Options() override {
        auto options = PluginTest::Options();
        options.userManager = &delivered;
        options.registryOffersUserManager = GetParam().registryKnowsIt;
        options.userManagerAnswer = GetParam().answer;
        return options;
    }

    FakeInventoryService::Shared shared;
    FakeUserManager delivered{{7}, &shared};
    FakeUserManager other{{7}, &shared};
};

// The fake service hands out no operation, so the start answers false whether it resolved or not.
TEST_P(ResolutionTest, AsksOnlyTheManagerThatServes) {
    const Source& s = GetParam();
    if (s.deliverOther) {
        Host().DeliverUserManager(&other);
        Host().PumpAll();
    }
    EXPECT_FALSE(X().InventoryService_GetInventoryItemsAsync(s.user, 14, nullptr, nullptr));
    EXPECT_EQ(delivered.findCalls, s.findCalls);
    EXPECT_EQ(other.findCalls, s.otherFindCalls);
    EXPECT_EQ(delivered.contextCalls, s.contextCalls);
    EXPECT_EQ(delivered.userCalls, 0) << "an inventory call needs the services context only";
    EXPECT_EQ(delivered.lastIndex, s.contextCalls > 0 ? 0u : ~0u) << "index 0 is a valid user";
}

INSTANTIATE_TEST_SUITE_P(Sources, ResolutionTest, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::test
