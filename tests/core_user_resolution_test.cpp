// Which user manager a user id is resolved through, and what the resolution asks of it.
#include "tests/fake_services.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

class ResolutionTest : public PluginTest {
protected:
    host::HostOptions Options() override {
        auto options = PluginTest::Options();
        options.userManager = &delivered;
        options.registryOffersUserManager = registryKnowsIt;
        options.userManagerAnswer = answer;
        return options;
    }
    // Starts an operation for user 7; the fake hands out no operation, so it answers false
    // after resolving.
    void Resolve() { X().InventoryService_GetInventoryItemsAsync(7, 14, nullptr, nullptr); }

    FakeInventoryService::Shared shared;
    FakeUserManager delivered{{7}, &shared};
    FakeUserManager other{{7}, &shared};
    bool registryKnowsIt = true;
    host::AnswerMode answer = host::AnswerMode::Deferred;
};

TEST_F(ResolutionTest, TheRegistryIsAskedBeforeADeliveredUserManager) {
    Host().DeliverUserManager(&other);
    Host().PumpAll();
    Resolve();
    EXPECT_EQ(delivered.findCalls, 1);
    EXPECT_EQ(other.findCalls, 0);
    EXPECT_EQ(delivered.contextCalls, 1);
    EXPECT_EQ(delivered.lastIndex, 0u) << "index 0 is a valid user";
}

TEST_F(ResolutionTest, ADeliveredUserManagerServesWhenTheRegistryLacksOne) {
    registryKnowsIt = false;
    RecreateHost();
    Resolve();
    EXPECT_EQ(delivered.findCalls, 1);
    EXPECT_EQ(delivered.contextCalls, 1);
}

TEST_F(ResolutionTest, TheFirstNonNullDeliveryWins) {
    registryKnowsIt = false;
    answer = host::AnswerMode::NullThenReal;
    RecreateHost();
    Host().DeliverUserManager(&other);
    Host().PumpAll();
    Resolve();
    EXPECT_EQ(delivered.findCalls, 1) << "a null first delivery does not hide the real one";
    EXPECT_EQ(other.findCalls, 0) << "later deliveries are ignored";
}

TEST_F(ResolutionTest, NoUserManagerAnywhereMeansNoUser) {
    registryKnowsIt = false;
    answer = host::AnswerMode::Never;
    RecreateHost();
    EXPECT_FALSE(X().InventoryService_GetInventoryItemsAsync(7, 14, nullptr, nullptr));
    EXPECT_EQ(delivered.findCalls, 0);
}

TEST_F(ResolutionTest, AnUnknownUserIsNeverFetched) {
    EXPECT_FALSE(X().InventoryService_GetInventoryItemsAsync(8, 14, nullptr, nullptr));
    EXPECT_EQ(delivered.findCalls, 1);
    EXPECT_EQ(delivered.contextCalls, 0);
    EXPECT_EQ(delivered.userCalls, 0);
}

}  // namespace
}  // namespace velmora::test
