// Privilege checks through the exports: the platform's flags reach the callback, a list answers
// its privileges' flags combined with OR, the ids, the flag's low byte and the text reach the
// platform as given, and a scripted resolution buys the product that lifts the privilege.
#include <tuple>
#include <vector>

#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/store/store.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

using emu::Outcome;
using emu::PrivilegeCheckResult;

constexpr uint32_t kUser = 4;
constexpr uint32_t kOtherUser = 5;
constexpr uint32_t kMultiplayer = 254;
constexpr uint32_t kCommunication = 252;
constexpr uint32_t kUserContent = 247;
constexpr char16_t kPass[] = u"9P0ONLINEPASS";

constexpr uint32_t kNoIssue = 0, kPurchaseRequired = 1, kAborted = 2, kBanned = 4, kRestricted = 8;

PrivilegeCheckResult Flags(uint32_t value) { return PrivilegeCheckResult(value); }

// One export of the two, started with a list of ids (the single check takes the first).
struct Check {
    const char* name;
    const char* call;
    bool (*start)(const host::VelmoraExports& x, uint32_t user, const std::vector<uint32_t>& ids, uint32_t attempt,
                  const char16_t* text, void* userData);
};

const Check kSingle{"CheckPrivilegeAsync", "IProductStatics.CheckPrivilegeAsync",
                    [](const host::VelmoraExports& x, uint32_t user, const std::vector<uint32_t>& ids, uint32_t attempt,
                       const char16_t* text, void* d) {
                        return x.Store_CheckPrivilegeAsync(user, ids.at(0), attempt, text, DeliverValue, d);
                    }};
const Check kList{"CheckPrivilegesAsync", "IProductStatics.CheckPrivilegesAsync",
                  [](const host::VelmoraExports& x, uint32_t user, const std::vector<uint32_t>& ids, uint32_t attempt,
                     const char16_t* text, void* d) {
                      return x.Store_CheckPrivilegesAsync(user, ids.data(), int32_t(ids.size()), attempt, text,
                                                          DeliverValue, d);
                  }};
const Check kChecks[] = {kSingle, kList};

class StorePrivilegesTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        AddUser(kUser);
        AddUser(kOtherUser, u"Other");
        AddProduct(kPass, u"catalog-online-pass", emu::MediaItemType::GameContent);
    }

    // Runs one check to its callback and answers what the callback received.
    Delivered Run(const Check& check, const std::vector<uint32_t>& ids, uint32_t attempt = 0,
                  const char16_t* text = nullptr, uint32_t user = kUser) {
        return RunOnce([&](void* d) { return check.start(X(), user, ids, attempt, text, d); });
    }
};

TEST_F(StorePrivilegesTest, TheCallbackReceivesThePrivilegesFlagsAndAListCombinesThemWithOr) {
    for (uint32_t flags : {kNoIssue, kPurchaseRequired, kAborted, kBanned, kRestricted, kBanned | kRestricted}) {
        SCOPED_TRACE(flags);
        emu::SetPrivilege(kUser, kMultiplayer, Flags(flags));
        for (const Check& check : kChecks) EXPECT_EQ(Run(check, {kMultiplayer}).value, flags) << check.name;
    }
    EXPECT_EQ(Run(kSingle, {kMultiplayer}, 0, nullptr, kOtherUser).value, kNoIssue) << "flags belong to one user";

    emu::SetPrivilege(kUser, kMultiplayer, Flags(kPurchaseRequired));
    emu::SetPrivilege(kUser, kCommunication, Flags(kBanned));
    emu::SetPrivilege(kUser, kUserContent, Flags(kRestricted | kBanned));
    EXPECT_EQ(Run(kList, {kMultiplayer, kCommunication}).value, kPurchaseRequired | kBanned);
    EXPECT_EQ(Run(kList, {kMultiplayer, kCommunication, kUserContent, 1}).value,
              kPurchaseRequired | kBanned | kRestricted);
    EXPECT_EQ(Run(kList, {1, 2, 3}).value, kNoIssue);
}

// The ids in order with repeats, only the attempt flag's low byte, and the text (null as empty).
TEST_F(StorePrivilegesTest, TheArgumentsReachThePlatformAsGiven) {
    const std::vector<uint32_t> ids = {kMultiplayer, 7, kMultiplayer, 0xFFFFFFFF, 7};
    Run(kList, ids);
    EXPECT_EQ(emu::PrivilegeRequests().back().privilegeIds, ids);
    EXPECT_EQ(emu::PrivilegeRequests().back().userId, kUser);
    Run(kSingle, {0xFEDCBA98});
    EXPECT_EQ(emu::PrivilegeRequests().back().privilegeIds, std::vector<uint32_t>{0xFEDCBA98});
    const std::tuple<uint32_t, uint8_t, const char16_t*, std::u16string> rows[] = {
        {0x100, 0, nullptr, u""},
        {0x101, 1, u"", u""},
        {0xFFFFFF00, 0, u"\u00e9t\u00e9", u"\u00e9t\u00e9"},
        {0x12345602, 2, nullptr, u""},
    };
    for (const Check& check : kChecks) {
        for (const auto& [attempt, arrives, text, arrivesText] : rows) {
            SCOPED_TRACE(std::string(check.name) + " " + std::to_string(attempt));
            Run(check, {kMultiplayer}, attempt, text);
            const emu::PrivilegeRequest request = emu::PrivilegeRequests().back();
            EXPECT_EQ(request.call, check.call);
            EXPECT_EQ(request.attemptResolution, arrives);
            EXPECT_EQ(request.friendlyDisplay, arrivesText);
        }
    }
}

TEST_F(StorePrivilegesTest, AResolutionAttemptBuysTheScriptedProductAndLiftsThePrivilege) {
    emu::SetPrivilege(kUser, kMultiplayer, Flags(kPurchaseRequired));
    emu::SetPrivilegeResolvable(kUser, kMultiplayer, kPass);

    EXPECT_EQ(Run(kSingle, {kMultiplayer}, 0x100).value, kPurchaseRequired) << "no attempt: nothing is bought";
    EXPECT_TRUE(emu::InventoryOf(kUser).empty());

    EXPECT_EQ(Run(kSingle, {kMultiplayer}, 1).value, kNoIssue);
    const auto owned = emu::InventoryOf(kUser);
    ASSERT_EQ(owned.size(), 1u);
    EXPECT_EQ(owned[0].productId, kPass);
    EXPECT_EQ(emu::PrivilegeOf(kUser, kMultiplayer), PrivilegeCheckResult::NoIssue);
    EXPECT_EQ(Run(kSingle, {kMultiplayer}).value, kNoIssue) << "the privilege stays lifted";
    EXPECT_TRUE(emu::InventoryOf(kOtherUser).empty());
}

TEST_F(StorePrivilegesTest, AResolutionInAListClearsOnlyThePurchaseRequirement) {
    emu::SetPrivilege(kUser, kMultiplayer, Flags(kPurchaseRequired | kRestricted));
    emu::SetPrivilege(kUser, kCommunication, Flags(kPurchaseRequired));
    emu::SetPrivilegeResolvable(kUser, kMultiplayer, kPass);

    EXPECT_EQ(Run(kList, {kMultiplayer, kCommunication}, 1).value, kPurchaseRequired | kRestricted)
        << "the second privilege has no resolution, the first keeps its restriction";
    EXPECT_EQ(emu::PrivilegeOf(kUser, kMultiplayer), Flags(kRestricted));
    EXPECT_EQ(emu::InventoryOf(kUser).size(), 1u);
}

TEST_F(StorePrivilegesTest, ACancelledResolutionAttemptBuysNothing) {
    emu::SetPrivilege(kUser, kMultiplayer, Flags(kPurchaseRequired));
    emu::SetPrivilegeResolvable(kUser, kMultiplayer, kPass);
    emu::ScriptOutcome(kSingle.call, {Outcome::Kind::Cancel});
    EXPECT_EQ(Run(kSingle, {kMultiplayer}, 1).value, 0u);
    EXPECT_TRUE(emu::InventoryOf(kUser).empty());
    EXPECT_EQ(emu::PrivilegeOf(kUser, kMultiplayer), PrivilegeCheckResult::PurchaseRequired);
}

}  // namespace
}  // namespace velmora::test
