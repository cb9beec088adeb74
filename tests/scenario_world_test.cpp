// The world saved: the emulator's state after a game played in it (purchases, a consumption, a
// refund, a redeemed code, a resolved privilege, a subscription the clock expired, a raised
// purchase, an installation, a revoked licence, faults and scripts in force) written as a scenario
// and loaded back answers every group's questions as before; a path that cannot be written and a
// world no scenario can hold are clear errors that write nothing; a scenario fixes the clock and
// restores the ledger.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/scenarios/scenario.h"
#include "emulator/services/packages/packages.h"
#include "tests/test_kit_fixture.h"

namespace velmora::test {
namespace {

using namespace ABI;
namespace fs = std::filesystem;

constexpr uint32_t kUsers[] = {1, 2};
constexpr char16_t kParent[] = u"9NAURSKIES01";
constexpr char16_t kExpansion[] = u"9NCLDTREASR3";
constexpr char16_t kGems100[] = u"9NSKYGEMS105";
constexpr char16_t kCode[] = u"AURL-SKY5-GEMS-0550";

class WorldTest : public PluginTest {
protected:
    void TearDown() override {
        PluginTest::TearDown();
        std::error_code ec;
        for (const auto& p : paths_) fs::remove_all(p, ec);
    }
    fs::path Temporary() { return paths_.emplace_back(FreshTemporaryPath("velmora-world-")); }

    // Every group's answers through the plugin's exports, and the test kit's, as one text.
    std::string Answers() {
        std::ostringstream out;
        auto text = [](const char16_t* t) { return emu::ToUtf8(t ? t : u""); };
        for (uint32_t user : kUsers) {
            // Inventory: every item in every state.
            const Delivered items = RunOnce([&](void* u) {
                return X().InventoryService_GetInventoryItemsAsyncEx(user, 14, 1, 0, u"", 0, DeliverObject, u);
            });
            ObjectHandle list = X().InventoryItemsResult_Items(items.result);
            for (uint32_t i = 0, n = X().InventoryItemsResult_Items_Length(list); i < n; ++i) {
                ObjectHandle item = X().InventoryItemsResult_Items_GetAt(list, i);
                out << "user " << user << " item " << text(X().InventoryItem_ProductId(item)) << " type "
                    << X().InventoryItem_MediaItemType(item) << " state " << X().InventoryItem_InventoryItemState(item)
                    << " title " << X().InventoryItem_TitleId(item) << " url " << text(X().InventoryItem_Url(item))
                    << " consumable " << text(X().InventoryItem_ConsumableUrl(item)) << " balance "
                    << X().InventoryItem_ConsumableBalance(item) << " dates "
                    << X().InventoryItem_RightsObtainedDate(item) << " " << X().InventoryItem_StartDate(item) << " "
                    << X().InventoryItem_EndDate(item) << "\n";
                X().InventoryItem_Dispose(item);
            }
            X().InventoryItemsResult_Items_Dispose(list);
            X().InventoryItemsResult_Dispose(items.result);
            // Privileges, without resolving anything.
            for (uint32_t privilege : {247u, 254u, 300u})
                out << "user " << user << " privilege " << privilege << " = "
                    << RunOnce([&](void* u) {
                           return X().Store_CheckPrivilegeAsync(user, privilege, 0, u"", DeliverValue, u);
                       }).value
                    << "\n";
        }
        // Catalog: the browse and every product's details.
        const Delivered browse = RunOnce([&](void* u) {
            return X().CatalogService_BrowseCatalogAsync(1, kParent, 1, 14, 0, 0, 0, DeliverObject, u);
        });
        std::vector<std::u16string> ids;
        for (uint32_t i = 0, n = X().BrowseCatalogResult_Items_Length(browse.result); i < n; ++i) {
            ObjectHandle item = X().BrowseCatalogResult_Items_GetAt(browse.result, i);
            ids.push_back(X().CatalogItem_ProductId(item));
            out << "browse " << emu::ToUtf8(ids.back()) << " " << text(X().CatalogItem_Name(item)) << "\n";
            X().CatalogItem_Dispose(item);
        }
        X().BrowseCatalogResult_Dispose(browse.result);
        for (const auto& id : ids) {
            const char16_t* one[] = {id.c_str()};
            const Delivered details = RunOnce(
                [&](void* u) { return X().CatalogService_GetCatalogItemDetailsAsync(1, one, 1, DeliverObject, u); });
            ObjectHandle d = X().CatalogItemDetailsList_GetAt(details.result, 0);
            ObjectHandle availabilities = X().CatalogItemDetails_Availabilities(d);
            out << "details " << emu::ToUtf8(id) << " availabilities "
                << X().CatalogItemDetails_Availabilities_Length(availabilities) << "\n";
            X().CatalogItemDetails_Availabilities_Dispose(availabilities);
            X().CatalogItemDetails_Dispose(d);
            X().CatalogItemDetailsList_Dispose(details.result);
        }
        // Packages: each one's description, and its readme read through a mount.
        ObjectHandle packages = X().DLC_FindPackages(0);
        for (uint32_t i = 0, n = X().DLC_IDownloadableContentPackage_Length(packages); i < n; ++i) {
            ObjectHandle p = X().DLC_IDownloadableContentPackage_GetAt(packages, i);
            out << "package " << text(X().IDownloadableContentPackage_PackageFullName(p)) << " "
                << text(X().IDownloadableContentPackage_DisplayName(p)) << " "
                << text(X().IDownloadableContentPackage_Version(p)) << " "
                << text(X().IDownloadableContentPackage_TitleId(p)) << " ";
            if (const char16_t* path = X().IDownloadableContentPackage_Mount(p)) {
                std::ifstream readme(fs::path(std::u16string(path)) / "readme.txt", std::ios::binary);
                out << "readme " << std::string(std::istreambuf_iterator<char>(readme), {});
                X().IDownloadableContentPackage_Unmount(p);
            } else {
                out << "not mounted";
            }
            out << "\n";
            X().IDownloadableContentPackage_Dispose(p);
        }
        X().DLC_IDownloadableContentPackage_Dispose(packages);
        // The store: the code redeemed before redeems nothing now.
        out << "redeem again: status "
            << RunOnce([&](void* u) { return X().Store_ShowRedeemCodeAsync(1, kCode, DeliverValue, u); }).value << "\n";
        // The test kit's own state.
        out << "ledger " << emu::Transactions().size() << " dropped " << emu::TransactionsDropped() << " clock "
            << emu::FixedClock().value_or(-1) << " faults " << emu::InjectedFaults().size() << " scripts "
            << emu::ScriptedOutcomes().size() << "\n";
        return out.str();
    }

    std::u16string OfferOf(std::u16string_view productId) {
        return emu::FindCatalogItem(productId)->availabilities.at(0).signedOffer;
    }

    std::vector<fs::path> paths_;
};

TEST_F(WorldTest, SavedAndLoadedBackItAnswersEveryGroupAsBefore) {
    emu::ApplyScenario(emu::DefaultScenario());
    emu::SetDefaultDelay(std::chrono::microseconds(0));
    Settle();
    // A game plays.
    const std::u16string offer = OfferOf(kExpansion);
    RunOnce([&](void* u) { return X().Store_ShowPurchaseAsync(1, offer.c_str(), DeliverValue, u); });
    ObjectHandle gems = OwnedItem(1, kGems100);
    X().ConsumeInventoryItemResult_Dispose(RunOnce([&](void* u) {
                                               return X().InventoryService_ConsumeInventoryItemAsync(
                                                   1, gems, 3, u"world-1", DeliverObject, u);
                                           }).result);
    X().InventoryItem_Dispose(gems);
    emu::Refund(1);
    RunOnce([&](void* u) { return X().Store_ShowRedeemCodeAsync(1, kCode, DeliverValue, u); });
    RunOnce([&](void* u) { return X().Store_CheckPrivilegeAsync(1, 247, 1, u"", DeliverValue, u); });
    emu::AdvanceClock(std::chrono::days(31));
    ASSERT_EQ(emu::RaisePurchase(2, u"9NSTRMGLIDR2"), S_OK);
    emu::PackageData extra;
    extra.packageFullName = u"World.Extra_1.0.0.0_x64__test";
    extra.displayName = u"Extra ✨";
    emu::ScenarioPackage files{extra, {{"readme.txt", "the extra's readme\n"}, {"data/level.bin", "\x01\x02"}}};
    ASSERT_EQ(emu::StartInstallation(emu::MaterializePackage(files), emu::InstallOperationType::Install), S_OK);
    Settle();
    ASSERT_EQ(emu::SetPackageLicensed(u"AurelianSkies.CloudbreakOST_1.0.0.0_x64__5a3c19e4qpk1", false), S_OK);
    emu::SetPrivilege(2, 300, emu::PrivilegeCheckResult::Banned);
    emu::InjectFault("IProductStatics.remove_ProductPurchased", E_FAIL, 2);
    emu::ScriptOutcome("IProductStatics.ShowMarketplaceAsync", {emu::Outcome::Kind::Cancel, E_ABORT}, 3);
    ASSERT_EQ(emu::Transactions().size(), 6u);

    const std::string before = Answers();
    const emu::Scenario captured = emu::CaptureWorld();
    const fs::path file = Temporary();
    emu::SaveWorld(file);
    emu::ApplyScenario(emu::LoadScenarioFile(file));
    Settle();
    EXPECT_EQ(emu::FirstDifference(captured, emu::CaptureWorld()), "");
    EXPECT_EQ(Answers(), before);
    // What the answers read: the refund, the expiry, the licence, the redeemed code, the new package.
    EXPECT_NE(before.find("item 9NAURELPASS8 type 6 state 4"), std::string::npos) << before;
    EXPECT_EQ(before.find("item 9NCLDTREASR3"), std::string::npos) << before;
    EXPECT_NE(before.find("CloudbreakOST_1.0.0.0_x64__5a3c19e4qpk1 Cloudbreak Original Soundtrack 🎵 1.0.0.0 "
                          "5A3C19E5 not mounted"),
              std::string::npos)
        << before;
    EXPECT_NE(before.find("Extra ✨   readme the extra's readme"), std::string::npos) << before;
    EXPECT_NE(before.find("redeem again: status 1\nledger 6 dropped 0 clock 133959204000000000 faults 1 scripts 1"),
              std::string::npos)
        << before;
}

struct Unwritable {
    const char* name;
    fs::path (*where)(const fs::path& temporary);
    std::string problem;
};
void PrintTo(const Unwritable& row, std::ostream* out) { *out << row.name; }

const Unwritable kUnwritable[] = {
    {"ADirectory",
     [](const fs::path& t) {
         fs::create_directories(t);
         return t;
     },
     ": a directory, not a file"},
    {"AFileInAFolderThatDoesNotExist", [](const fs::path& t) { return t / "no-such-folder" / "world.json"; },
     "world.json: the file cannot be opened for writing"},
};

class UnwritablePaths : public WorldTest, public ::testing::WithParamInterface<Unwritable> {};

TEST_P(UnwritablePaths, AreAClearErrorAndNothingIsWritten) {
    emu::ApplyScenario(emu::DefaultScenario());
    const fs::path path = GetParam().where(Temporary());
    const bool existed = fs::exists(path);
    try {
        emu::SaveWorld(path);
        ADD_FAILURE() << "saved";
    } catch (const std::runtime_error& e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("cannot save the world to ", 0), 0u) << what;
        EXPECT_NE(what.find(GetParam().problem), std::string::npos) << what;
    }
    EXPECT_EQ(fs::exists(path), existed);
    EXPECT_EQ(fs::is_directory(path), existed);
}

INSTANTIATE_TEST_SUITE_P(Mistakes, UnwritablePaths, ::testing::ValuesIn(kUnwritable),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorldTest, AWorldNoScenarioCanHoldIsNotSaved) {
    emu::ApplyScenario(emu::DefaultScenario());
    emu::InventoryItemData item;
    item.productId = u"9NSTRMGLIDR2";
    item.mediaItemType = emu::MediaItemType::GameContent;
    ASSERT_EQ(emu::AddInventoryItem(77, item), S_OK);  // a user who never signed in
    const fs::path file = Temporary();
    try {
        emu::SaveWorld(file);
        ADD_FAILURE() << "saved";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(),
                     "the world cannot be saved as a scenario: user 77 owns items but is not signed in, and a "
                     "scenario lists the inventories of its users only");
    }
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(WorldTest, AScenarioFixesTheClockAndRestoresTheLedger) {
    emu::Scenario s = emu::DefaultScenario();
    s.ledger.dropped = 40;
    emu::Transaction raised;
    raised.id = 42;
    raised.time = kJune1st - 5;
    raised.userId = 2;
    raised.productId = u"9NSTRMGLIDR2";
    raised.quantity = 1;
    raised.source = emu::TransactionSource::Raised;
    raised.outcome = emu::TransactionOutcome::Notified;
    raised.transactionId = emu::ReceiptId(42);
    s.ledger.entries = {raised};
    emu::ApplyScenario(s);
    EXPECT_EQ(emu::FixedClock(), kJune1st) << "default.json starts on 2025-06-01T09:00:00Z";
    EXPECT_EQ(emu::Transactions(), std::vector<emu::Transaction>{raised});
    EXPECT_EQ(emu::TransactionsDropped(), 40u);
    ASSERT_EQ(emu::RaisePurchase(1, u"9NSTRMGLIDR2"), S_OK);
    Settle();
    EXPECT_EQ(emu::Transactions().back().id, 43u) << "ids go on after the restored ones";
    EXPECT_EQ(emu::Transactions().back().transactionId, u"00000000-0000-0000-0000-00000000002B");
    emu::Reset();
    EXPECT_FALSE(emu::FixedClock());
}

}  // namespace
}  // namespace velmora::test
