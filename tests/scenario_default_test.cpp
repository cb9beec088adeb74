// The built-in scenario: what applying it does to the emulator, its round trip through JSON, and
// the temporary folders of packages given as files. (The demo's tests walk through what it holds.)
#include <functional>

#include "emulator/runtime/reset.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/packages/packages.h"
#include "emulator/services/store/store.h"
#include "emulator/services/users.h"
#include "tests/scenario_fixture.h"

namespace velmora::test {
namespace {

using namespace ABI;
using emu::PrivilegeCheckResult;

using ScenarioDefaultTest = ScenarioTest;

TEST_F(ScenarioDefaultTest, BuiltInTextIsTheFileInTheRepository) {
    EXPECT_EQ(emu::DefaultScenarioJson(), ReadFile(ScenariosDir() / "default.json"));
}

TEST_F(ScenarioDefaultTest, ApplyingTheDefaultFillsTheEmulator) {
    const emu::Scenario s = emu::DefaultScenario();
    emu::ApplyScenario(s);

    EXPECT_EQ(emu::UserCount(), 2u);
    EXPECT_EQ(emu::FindUser(2), 1);
    EXPECT_EQ(emu::DefaultDelay(), std::chrono::milliseconds(15));
    const auto catalog = emu::CatalogItems();
    ASSERT_EQ(catalog.size(), s.catalog.size());
    for (size_t i = 0; i < catalog.size(); ++i) EXPECT_EQ(catalog[i].productId, s.catalog[i].productId);
    ASSERT_EQ(emu::InventoryOf(1).size(), 2u);
    EXPECT_EQ(emu::InventoryOf(1)[1].consumableBalance, 250u);
    EXPECT_EQ(emu::InventoryOf(2).size(), 1u);
    EXPECT_EQ(emu::PrivilegeOf(1, 254), PrivilegeCheckResult::NoIssue);
    EXPECT_EQ(emu::PrivilegeOf(1, 247), PrivilegeCheckResult::PurchaseRequired);
    EXPECT_EQ(emu::PrivilegeOf(2, 254), PrivilegeCheckResult::Restricted);

    // Packages given as files live in fresh folders holding exactly those files.
    const auto installed = emu::InstalledPackages();
    ASSERT_EQ(installed.size(), 2u);
    for (size_t i = 0; i < installed.size(); ++i) {
        EXPECT_EQ(installed[i].packageFullName, s.packages[i].data.packageFullName);
        const std::filesystem::path folder = Folder(installed[i].folder);
        ASSERT_TRUE(std::filesystem::is_directory(folder));
        for (const auto& [name, content] : s.packages[i].files) EXPECT_EQ(ReadFile(folder / name), content) << name;
    }
    EXPECT_NE(installed[0].folder, installed[1].folder);
}

// The default with a value other than the default in each member the two files leave at it.
emu::Scenario EveryMemberChanged() {
    emu::Scenario s = emu::DefaultScenario();
    s.defaultDelay = std::chrono::microseconds(2500);
    s.catalog[0].releaseDate = -5;  // no text form: written as a number
    s.catalog[0].availabilities[0].isPurchasable = 7;
    s.packages[0].data.licensed = false;
    s.faults.push_back({"IInventoryItem.get_ProductId", E_FAIL, -1});
    s.outcomes.push_back({"ICatalogService.BrowseCatalogAsync",
                          {emu::Outcome::Kind::CompleteSynchronously, S_OK, std::chrono::microseconds(1)},
                          3});
    s.outcomes.push_back(
        {"IProductStatics.ShowDetailsAsync", {emu::Outcome::Kind::Fail, E_FAIL, std::chrono::microseconds(-1)}, 1});
    s.redeemCodes[0].redeemed = true;
    s.clock = 133931916000000001;  // a tick past a second: written with its fraction
    using Source = emu::TransactionSource;
    using Ended = emu::TransactionOutcome;
    const auto entry = [](uint64_t id, Source source, Ended outcome, std::u16string productId) {
        emu::Transaction t;
        t.id = id;
        t.time = 133931916000000000;
        t.userId = 1;
        t.productId = std::move(productId);
        t.quantity = 1;
        t.source = source;
        t.outcome = outcome;
        return t;
    };
    emu::Transaction bought = entry(7, Source::Purchase, Ended::Granted, u"9NCLDTREASR3");
    bought.transactionId = emu::ReceiptId(7);
    emu::Transaction cancelled = entry(8, Source::Subscription, Ended::Canceled, u"");
    cancelled.hresult = static_cast<HRESULT>(0x800704C7);
    emu::Transaction refund = entry(9, Source::Refund, Ended::Refunded, u"9NCLDTREASR3");
    refund.time = 5;  // no whole second: written with its fraction
    refund.refundOf = 7;
    s.ledger = {6, {bought, cancelled, refund}};
    emu::Walkthrough& w = *s.walkthrough;
    *w.browse = {u"9NAURSKIES01", 2, 5, 5, 3, 0, {false, E_FAIL, 3u, false}};
    w.refund->productId = u"9NSTRMGLIDR2";
    *w.clock = {std::chrono::hours(36), u"", std::nullopt};
    w.inventory->mediaItemType = 6;
    w.consume->quantity = 2;
    w.privilege->attemptResolution = true;
    w.privilege->expectedResult = 9;
    w.dlc->filter = 3;
    return s;
}

// Parse → JSON → parse gives the same data, so the writer loses no member.
TEST_F(ScenarioDefaultTest, RoundTripKeepsEveryMember) {
    std::vector<std::pair<std::string, emu::Scenario>> scenarios;
    for (const char* file : {"default.json", "faults.json"})
        scenarios.emplace_back(file, emu::LoadScenarioFile(ScenariosDir() / file));
    scenarios.emplace_back("every member changed", EveryMemberChanged());
    for (const auto& [name, first] : scenarios) {
        const std::string text = emu::ScenarioToJson(first);
        const emu::Scenario second = emu::ParseScenario(text, first.file, first.directory);
        EXPECT_EQ(emu::FirstDifference(first, second), "") << name;
        EXPECT_TRUE(first == second) << name;
        EXPECT_EQ(emu::ScenarioToJson(second), text) << name << ": writing is stable";
    }
}

TEST_F(ScenarioDefaultTest, FirstDifferenceNamesTheMember) {
    const emu::Scenario base = emu::DefaultScenario();
    struct Row {
        std::function<void(emu::Scenario&)> change;
        std::string path;
    };
    const Row rows[] = {
        {[](auto& s) { s.catalog[2].availabilities[0].price = 1; }, "$.catalog[2].availabilities[0].price"},
        {[](auto& s) { s.catalog[1].images[0].resizeUrl.reset(); }, "$.catalog[1].images[0].resizeUrl"},
        {[](auto& s) { s.catalog.pop_back(); }, "$.catalog[8]"},
        {[](auto& s) { s.inventories[0].items[1].consumableBalance = 1; },
         "$.inventories[0].items[1].consumableBalance"},
        {[](auto& s) { s.packages[1].files["extra.txt"] = "x"; }, "$.packages[1].files[\"extra.txt\"]"},
        {[](auto& s) { s.packages[0].data.contentGuid.Data4[7] ^= 1; }, "$.packages[0].contentGuid"},
        {[](auto& s) { s.title.relatedTitleIds.clear(); }, "$.title.relatedTitleIds[0]"},
        {[](auto& s) { s.defaultDelay.reset(); }, "$.defaultDelayMs"},
        {[](auto& s) { s.walkthrough->consume->expect.nullResult = false; }, "$.walkthrough.consume.expect.nullResult"},
        {[](auto& s) { s.walkthrough->dlc->install.reset(); }, "$.walkthrough.dlc.install"},
        {[](auto& s) { s.walkthrough->clock->advance += std::chrono::hours(12); }, "$.walkthrough.clock.advanceDays"},
        {[](auto& s) { s.clock.reset(); }, "$.clock"},
        {[](auto& s) { s.redeemCodes[0].redeemed = true; }, "$.redeemCodes[0].redeemed"},
        {[](auto& s) { s.ledger.dropped = 1; }, "$.ledger"},
        {[](auto& s) { s.walkthrough.reset(); }, "$.walkthrough"},
    };
    for (const Row& row : rows) {
        emu::Scenario changed = base;
        row.change(changed);
        EXPECT_EQ(emu::FirstDifference(base, changed), row.path);
        EXPECT_FALSE(base == changed) << row.path;
    }
}

// Each application writes fresh folders; the next Reset removes them.
TEST_F(ScenarioDefaultTest, PackageFoldersLiveUntilTheNextReset) {
    const emu::Scenario s = emu::DefaultScenario();
    emu::ApplyScenario(s);
    const auto first = emu::InstalledPackages();
    emu::ApplyScenario(s);
    const auto second = emu::InstalledPackages();
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 2u);
    auto path = [](const std::u16string& folder) { return Folder(folder); };
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_NE(first[i].folder, second[i].folder);
        EXPECT_FALSE(std::filesystem::exists(path(first[i].folder))) << "removed by the second application's Reset";
        EXPECT_TRUE(std::filesystem::is_directory(path(second[i].folder)));
    }
    // The walkthrough's installation is written the same way, ready for StartInstallation.
    const emu::PackageData install = emu::MaterializePackage(*s.walkthrough->dlc->install);
    const auto installFolder = path(install.folder);
    EXPECT_EQ(ReadFile(installFolder / "levels" / "sky-temple.level"),
              s.walkthrough->dlc->install->files.at("levels/sky-temple.level"));
    ASSERT_EQ(emu::StartInstallation(install, emu::InstallOperationType::Install), S_OK);
    emu::WaitIdle();
    EXPECT_EQ(emu::InstalledPackages().size(), 3u);

    emu::Reset();
    EXPECT_TRUE(emu::InstalledPackages().empty());
    for (const auto& p : second) EXPECT_FALSE(std::filesystem::exists(path(p.folder)));
    EXPECT_FALSE(std::filesystem::exists(installFolder));
}

}  // namespace
}  // namespace velmora::test
