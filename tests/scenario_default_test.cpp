// The built-in scenario and scenarios/faults.json: what they hold, what applying them does to the
// emulator, their round trip through JSON, and the temporary folders of packages given as files.
#include <algorithm>
#include <functional>

#include "emulator/marketplace.h"
#include "emulator/packages.h"
#include "emulator/store.h"
#include "emulator/users.h"
#include "platform/activation.h"
#include "tests/scenario_fixture.h"

namespace velmora::test {
namespace {

using namespace ABI;
using emu::MediaItemType;
using emu::PrivilegeCheckResult;

const emu::CatalogItemData& Product(const emu::Scenario& s, std::u16string_view productId) {
    auto it = std::find_if(s.catalog.begin(), s.catalog.end(), [&](auto& c) { return c.productId == productId; });
    if (it == s.catalog.end()) throw std::runtime_error("no product " + emu::ToUtf8(productId));
    return *it;
}

constexpr int64_t kNoEnd = 2650467743999999999;  // 9999-12-31T23:59:59.9999999Z

using ScenarioDefaultTest = ScenarioTest;

TEST_F(ScenarioDefaultTest, BuiltInTextIsTheFileInTheRepository) {
    EXPECT_EQ(emu::DefaultScenarioJson(), ReadFile(ScenariosDir() / "default.json"));
}

TEST_F(ScenarioDefaultTest, DefaultHoldsTheWorldTheDemoWalksThrough) {
    const emu::Scenario s = emu::DefaultScenario();
    EXPECT_EQ(s.title.currentTitleId, u"5A3C19E4");
    EXPECT_EQ(s.title.relatedTitleIds, std::vector<std::u16string>{u"5A3C19E5"});
    EXPECT_EQ(s.defaultDelay, std::chrono::milliseconds(15));
    ASSERT_EQ(s.users.size(), 2u);
    EXPECT_EQ(s.users[0].gamertag, u"SkyCaptain");
    EXPECT_EQ(s.users[1].xboxUserId, u"2814639087654321");

    // One game and eight add-ons under it.
    ASSERT_EQ(s.catalog.size(), 9u);
    EXPECT_EQ(std::count_if(s.catalog.begin(), s.catalog.end(),
                            [](auto& c) { return c.parentIds == std::vector<std::u16string>{u"9NAURSKIES01"}; }),
              8);
    const auto& glider = Product(s, u"9NSTRMGLIDR2");
    EXPECT_EQ(glider.name, u"\u5D50\u306E\u7FFC Stormrider Glider");
    EXPECT_EQ(glider.mediaItemType, MediaItemType::GameContent);
    EXPECT_EQ(glider.releaseDate, 133589952000000000);         // 2024-05-01T00:00:00Z
    EXPECT_EQ(glider.digitalReleaseDate, 133590546005000000);  // 2024-05-01T16:30:00.5Z
    ASSERT_EQ(glider.availabilities.size(), 1u);
    EXPECT_EQ(glider.availabilities[0].price, 4.99);
    EXPECT_EQ(glider.availabilities[0].displayPrice, u"$4.99");
    EXPECT_EQ(glider.availabilities[0].offerDisplayDataJson, u"{\"badge\":\"\",\"discountPercent\":0}");
    EXPECT_EQ(glider.availabilities[0].isPurchasable, 1);
    ASSERT_EQ(glider.images.size(), 2u);
    EXPECT_EQ(glider.images[1].purposes, std::vector<std::u16string>{u"Screenshot"});
    EXPECT_TRUE(glider.images[1].resizeUrl.has_value());

    const auto& gems = Product(s, u"9NSKYGEMS105");
    EXPECT_EQ(gems.name, u"Sky Gems \U0001F48E \u00D7100");
    EXPECT_EQ(gems.name[9], char16_t(0xD83D));  // the emoji is a surrogate pair
    EXPECT_EQ(gems.mediaItemType, MediaItemType::GameConsumable);
    EXPECT_EQ(gems.availabilities[0].consumableQuantity, 100u);

    const auto& expansion = Product(s, u"9NCLDTREASR3");
    EXPECT_EQ(expansion.name.substr(0, 8), u"\u0398\u03B7\u03C3\u03B1\u03C5\u03C1\u03BF\u03AF");
    ASSERT_EQ(expansion.availabilities.size(), 2u);
    EXPECT_EQ(expansion.availabilities[0].listPrice, 19.99);
    EXPECT_EQ(expansion.availabilities[1].isPurchasable, 0);
    EXPECT_FALSE(expansion.images[1].resizeUrl.has_value());
    EXPECT_EQ(Product(s, u"9NDSRTLANTN4").name.substr(0, 5), u"\u0641\u0627\u0646\u0648\u0633");
    EXPECT_EQ(Product(s, u"9NAURELPASS8").mediaItemType, MediaItemType::Subscription);
    EXPECT_EQ(Product(s, u"9NCLDBRKOST9").releaseDate, 133571808000000000);  // given as a raw tick count

    ASSERT_EQ(s.inventories.size(), 2u);
    ASSERT_EQ(s.inventories[0].items.size(), 2u);
    const auto& owned = s.inventories[0].items[1];
    EXPECT_EQ(owned.productId, u"9NSKYGEMS105");
    EXPECT_EQ(owned.consumableBalance, 250u);
    EXPECT_TRUE(owned.consumableUrl.has_value());
    EXPECT_EQ(owned.endDate, kNoEnd);
    const auto& expired = s.inventories[1].items[0];
    EXPECT_EQ(expired.state, emu::InventoryItemState::Expired);
    EXPECT_FALSE(expired.available);
    EXPECT_FALSE(expired.containerIds.has_value());

    ASSERT_EQ(s.privileges.size(), 3u);
    EXPECT_EQ(s.privileges[0].result, PrivilegeCheckResult::NoIssue);
    EXPECT_EQ(s.privileges[1].result, PrivilegeCheckResult::PurchaseRequired);
    EXPECT_EQ(s.privileges[1].resolveWithProduct, u"9NAURELPASS8");
    EXPECT_EQ(s.privileges[2].result, PrivilegeCheckResult::Restricted);
    ASSERT_EQ(s.redeemCodes.size(), 1u);
    ASSERT_EQ(s.subscriptions.size(), 1u);
    ASSERT_EQ(s.packages.size(), 2u);
    EXPECT_TRUE(s.packages[0].data.folder.empty());
    EXPECT_EQ(s.packages[0].files.size(), 2u);
    EXPECT_FALSE(s.packages[0].data.contentGuid == Guid{});
    EXPECT_TRUE(s.faults.empty());
    EXPECT_TRUE(s.outcomes.empty());

    ASSERT_TRUE(s.walkthrough.has_value());
    const emu::Walkthrough& w = *s.walkthrough;
    EXPECT_EQ(w.userId, 1u);
    ASSERT_TRUE(w.browse && w.details && w.inventory && w.purchase && w.consume && w.privilege && w.dlc);
    EXPECT_EQ(w.browse->parentId, u"9NAURSKIES01");
    EXPECT_EQ(w.browse->parentMediaType, int32_t(MediaItemType::Game));
    EXPECT_EQ(w.details->productIds.size(), 2u);
    EXPECT_EQ(w.inventory->mediaItemType, int32_t(MediaItemType::All));
    EXPECT_EQ(w.purchase->productId, u"9NCLDTREASR3");
    EXPECT_EQ(w.purchase->expect.status, 1u);
    EXPECT_EQ(w.consume->quantity, 1u);
    EXPECT_EQ(w.privilege->privilegeId, 254u);
    EXPECT_EQ(w.privilege->expectedResult, 0u);
    EXPECT_EQ(w.dlc->filter, 0);
    ASSERT_TRUE(w.dlc->install.has_value());
    EXPECT_EQ(w.dlc->install->files.count(U8(w.dlc->readFile)), 1u);
    // The walkthrough buys what the user does not own yet, and consumes what the user holds.
    for (const auto& item : s.inventories[0].items) EXPECT_NE(item.productId, w.purchase->productId);
    EXPECT_EQ(owned.productId, w.consume->productId);
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

TEST_F(ScenarioDefaultTest, TitlesReachThePackageManager) {
    emu::ApplyScenario(emu::DefaultScenario());
    HStringOwner name =
        emu::MakeString(Windows::Xbox::Management::Deployment::RuntimeClass_DownloadableContentPackageManager);
    ComPtr<IActivationFactory> factory;
    ASSERT_EQ(RoGetActivationFactory(name.Get(), IActivationFactory::IID, reinterpret_cast<void**>(factory.Put())),
              S_OK);
    ComPtr<IInspectable> instance;
    ASSERT_EQ(factory->ActivateInstance(instance.Put()), S_OK);
    ComPtr<emu::IDownloadableContentPackageManager> manager;
    ASSERT_EQ(instance.As(&manager), S_OK);

    struct Row {
        emu::DownloadableContentPackageFilter filter;
        uint32_t found;
    };
    for (const Row row : {Row{emu::DownloadableContentPackageFilter::AllDownloadableContentOnly, 2},
                          Row{emu::DownloadableContentPackageFilter::CurrentTitleOnly, 1},
                          Row{emu::DownloadableContentPackageFilter::RelatedTitlesOnly, 1}}) {
        ComPtr<emu::IVectorView<emu::IDownloadableContentPackage*>> packages;
        ASSERT_EQ(manager->FindPackages(row.filter, packages.Put()), S_OK);
        uint32_t size = 0;
        ASSERT_EQ(packages->get_Size(&size), S_OK);
        EXPECT_EQ(size, row.found) << "filter " << int(row.filter);
    }
}

TEST_F(ScenarioDefaultTest, CatalogBrowsesThroughTheServicesContext) {
    emu::ApplyScenario(emu::DefaultScenario());
    ComPtr<emu::IXboxLiveContext> context;
    ASSERT_EQ(emu::GetServicesContext(0, context.Put()), S_OK);
    ComPtr<emu::ICatalogService> catalog;
    ASSERT_EQ(context->get_CatalogService(catalog.Put()), S_OK);
    HStringOwner parent = emu::MakeString(u"9NAURSKIES01");
    ComPtr<emu::IAsyncOperation<emu::IBrowseCatalogResult*>> operation;
    ASSERT_EQ(catalog->BrowseCatalogAsync(parent.Get(), MediaItemType::Game, MediaItemType::All,
                                          emu::CatalogSortOrder::FreeAndPaidCountDaily, 0, 25, operation.Put()),
              S_OK);
    emu::WaitIdle();
    ComPtr<emu::IBrowseCatalogResult> result;
    ASSERT_EQ(operation->GetResults(result.Put()), S_OK);
    uint32_t total = 0;
    ASSERT_EQ(result->get_TotalCount(&total), S_OK);
    EXPECT_EQ(total, 8u);
}

TEST_F(ScenarioDefaultTest, FaultsScenarioScriptsTheFailurePaths) {
    const emu::Scenario s = emu::LoadScenarioFile(ScenariosDir() / "faults.json");
    EXPECT_EQ(s.directory, ScenariosDir());
    ASSERT_TRUE(s.walkthrough.has_value());
    const emu::Walkthrough& w = *s.walkthrough;
    EXPECT_EQ(w.browse->expect.hresult, E_ACCESSDENIED);
    EXPECT_EQ(w.browse->expect.nullResult, true);
    EXPECT_EQ(w.details->expect.hresult, S_OK);
    EXPECT_EQ(w.details->expect.nullResult, true);
    EXPECT_FALSE(w.inventory->expect.started);
    EXPECT_EQ(w.purchase->expect.status, 2u);
    EXPECT_EQ(w.purchase->expect.hresult, E_ABORT);
    EXPECT_EQ(w.consume->expect.hresult, emu::E_CONSUMABLE_BALANCE_SHORT);
    EXPECT_FALSE(w.privilege->expect.started);
    // The same world as the default.
    const emu::Scenario d = emu::DefaultScenario();
    EXPECT_EQ(s.catalog.size(), d.catalog.size());
    EXPECT_EQ(s.packages.size(), d.packages.size());

    emu::ApplyScenario(s);
    using K = emu::Outcome::Kind;
    struct Row {
        const char* call;
        K kind;
        HRESULT hr;
    };
    for (const Row row : {Row{"ICatalogService.BrowseCatalogAsync", K::Fail, E_ACCESSDENIED},
                          Row{"ICatalogService.GetCatalogItemDetailsAsync", K::Cancel, S_OK},
                          Row{"IInventoryService.GetInventoryItemsAsync", K::FailStart, E_OUTOFMEMORY},
                          Row{"IProductStatics.ShowPurchaseAsync", K::Cancel, E_ABORT}}) {
        const emu::Outcome first = emu::NextOutcome(row.call);
        EXPECT_EQ(first.kind, row.kind) << row.call;
        EXPECT_EQ(first.hr, row.hr) << row.call;
        EXPECT_EQ(emu::NextOutcome(row.call).kind, K::Complete) << row.call << " is scripted once";
    }
    EXPECT_EQ(emu::NextOutcome("ICatalogService.BrowseCatalogAsync").delay.count(), -1);
    EXPECT_EQ(emu::TakeFault("IProductStatics.CheckPrivilegeAsync"), HRESULT(0x8007045B));
    EXPECT_EQ(emu::TakeFault("IProductStatics.CheckPrivilegeAsync"), S_OK);
}

TEST_F(ScenarioDefaultTest, ScriptedDelayAndRepeatsAreKept) {
    const emu::Scenario s = emu::LoadScenarioFile(ScenariosDir() / "faults.json");
    ASSERT_FALSE(s.outcomes.empty());
    EXPECT_EQ(s.outcomes[0].outcome.delay, std::chrono::milliseconds(40));
    EXPECT_EQ(s.outcomes[0].times, 1);
    ASSERT_EQ(s.faults.size(), 1u);
    EXPECT_EQ(s.faults[0].times, 1);
}

// The default with a value other than the default in each member the two files leave at it.
emu::Scenario EveryMemberChanged() {
    emu::Scenario s = emu::DefaultScenario();
    s.defaultDelay = std::chrono::microseconds(2500);
    s.catalog[0].releaseDate = -5;  // no text form: written as a number
    s.catalog[0].availabilities[0].isPurchasable = 7;
    s.packages[0].data.licensed = false;
    s.faults.push_back({"IFoo.get_Bar", E_FAIL, -1});
    s.outcomes.push_back(
        {"IFoo.BarAsync", {emu::Outcome::Kind::CompleteSynchronously, S_OK, std::chrono::microseconds(1)}, 3});
    s.outcomes.push_back({"IFoo.BazAsync", {emu::Outcome::Kind::Fail, E_FAIL, std::chrono::microseconds(-1)}, 1});
    emu::Walkthrough& w = *s.walkthrough;
    *w.browse = {u"9NAURSKIES01", 2, 5, 5, 3, 0, {false, E_FAIL, 3u, false}};
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
