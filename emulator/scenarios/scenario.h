// Scenario files: the emulator's whole state (users, catalog, inventories, privileges, store grants,
// packages and titles, scripted outcomes and faults, the default delay, the clock, the ledger) and
// the walkthrough that velmora-demo follows, read from JSON; and the emulator's current state saved
// as one. docs/scenario.md describes the format and every message; scenarios/default.json is
// compiled in as the built-in scenario.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/services/ledger.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/packages/packages.h"
#include "emulator/services/store/store.h"
#include "emulator/services/users.h"

namespace velmora::emu {

// A scenario that cannot be read or applied. what() is "<file>: <path>: <problem>".
struct EMU_API ScenarioError : std::runtime_error {
    ScenarioError(std::string file, std::string path, std::string problem);
    std::string file;     // the file name as given to the parser
    std::string path;     // where in the document: "$", "$.catalog[2].availabilities[0].price"
    std::string problem;  // what is wrong there
};

// Limits on what a scenario may hold, far above what a real one needs; the parser checks each as it
// reaches it, so a file that breaks one is refused in milliseconds and a few megabytes.
inline constexpr size_t kScenarioMaxBytes = 16 * 1024 * 1024;  // the whole text
inline constexpr size_t kScenarioMaxDepth = 64;                // arrays and objects nested in each other
inline constexpr size_t kScenarioMaxListLength = 100000;       // elements of one array, members of one object
inline constexpr size_t kScenarioMaxValues = 1000000;          // values in the whole document

// ---- The emulator's state -------------------------------------------------------------------------

// The parts the services list in the same form (Titles, Privileges, RedeemCodes,
// SubscriptionGrants, InjectedFaults, ScriptedOutcomes).
using ScenarioTitles = TitleIds;
using ScenarioPrivilege = Privilege;
using ScenarioRedeemCode = RedeemCode;
using ScenarioSubscription = SubscriptionGrant;
using ScenarioFault = InjectedFault;
using ScenarioOutcome = ScriptedOutcome;

struct ScenarioInventory {
    uint32_t userId = 0;
    std::vector<InventoryItemData> items;

    bool operator==(const ScenarioInventory&) const = default;
};

// A package as the scenario installs it. Given as "folder", data.folder is that existing directory
// (absolute) and `files` is empty. Given as "files", data.folder is empty and the files are written
// into a fresh temporary directory when the package is materialized.
struct ScenarioPackage {
    PackageData data;
    std::map<std::string, std::string> files;  // relative file name (UTF-8, '/' separated) → content

    bool operator==(const ScenarioPackage&) const = default;
};

// The ledger as saved: the entries kept and how many older ones were dropped.
struct ScenarioLedger {
    uint64_t dropped = 0;
    std::vector<Transaction> entries;

    bool operator==(const ScenarioLedger&) const = default;
};

// ---- The walkthrough (what velmora-demo does) -------------------------------------------------------

// What a step should end with; the demo reports each difference.
struct StepExpectation {
    bool started = true;             // the export answered true (an event will come)
    int32_t hresult = 0;             // the HRESULT the callback receives
    std::optional<uint32_t> status;  // store screens: the action's status (1 completed, 2 cancelled, 3 error)
    std::optional<bool> nullResult;  // when set: whether the callback's result handle is null

    bool operator==(const StepExpectation&) const = default;
};

struct BrowseStep {
    std::u16string parentId;
    int32_t parentMediaType = int32_t(MediaItemType::Game);
    int32_t childMediaType = int32_t(MediaItemType::All);
    int32_t sortOrder = int32_t(CatalogSortOrder::FreeAndPaidCountDaily);
    uint32_t skip = 0;
    uint32_t max = 25;
    StepExpectation expect;

    bool operator==(const BrowseStep&) const = default;
};

struct DetailsStep {
    std::vector<std::u16string> productIds;
    StepExpectation expect;

    bool operator==(const DetailsStep&) const = default;
};

struct InventoryStep {
    int32_t mediaItemType = int32_t(MediaItemType::All);
    StepExpectation expect;

    bool operator==(const InventoryStep&) const = default;
};

// The demo opens the purchase screen with the signed offer of the product's first availability
// that carries one (a non-purchasable one shows the store's refusal).
struct PurchaseStep {
    std::u16string productId;
    StepExpectation expect;

    bool operator==(const PurchaseStep&) const = default;
};

struct ConsumeStep {
    std::u16string productId;
    uint32_t quantity = 1;
    std::u16string transactionId = u"walkthrough-consume-1";
    StepExpectation expect;

    bool operator==(const ConsumeStep&) const = default;
};

// Refunds the newest Granted entry of the product for the walkthrough's user (emu::Refund), then
// looks at the user's inventory.
struct RefundStep {
    std::u16string productId;

    bool operator==(const RefundStep&) const = default;
};

struct PrivilegeStep {
    uint32_t privilegeId = 0;
    bool attemptResolution = false;
    StepExpectation expect;
    uint32_t expectedResult = 0;  // PrivilegeCheckResult flags

    bool operator==(const PrivilegeStep&) const = default;
};

// Advances the clock (emu::AdvanceClock), then reads the user's item of the product, whatever its
// state, through the filtered inventory query.
struct ClockStep {
    std::chrono::microseconds advance{0};
    std::u16string productId;                         // empty: no item is read
    std::optional<InventoryItemState> expectedState;  // what the item should read after the advance

    bool operator==(const ClockStep&) const = default;
};

struct DlcStep {
    int32_t filter = int32_t(DownloadableContentPackageFilter::AllDownloadableContentOnly);
    std::optional<ScenarioPackage>
        install;              // installed during the walkthrough (MaterializePackage, then StartInstallation)
    std::u16string readFile;  // a file of the installed package, read after mounting; empty: none

    bool operator==(const DlcStep&) const = default;
};

// Every step is optional: the demo runs the steps present, in the order of the members.
struct Walkthrough {
    uint32_t userId = 0;
    std::optional<BrowseStep> browse;
    std::optional<DetailsStep> details;
    std::optional<InventoryStep> inventory;
    std::optional<PurchaseStep> purchase;
    std::optional<ConsumeStep> consume;
    std::optional<RefundStep> refund;
    std::optional<PrivilegeStep> privilege;
    std::optional<ClockStep> clock;
    std::optional<DlcStep> dlc;

    bool operator==(const Walkthrough&) const = default;
};

// ---- A whole scenario -----------------------------------------------------------------------------

struct Scenario {
    std::string file;                 // the name messages use
    std::filesystem::path directory;  // where relative package folders start
    ScenarioTitles title;
    std::optional<std::chrono::microseconds> defaultDelay;  // absent: the emulator's default after Reset
    std::vector<UserInfo> users;
    std::vector<CatalogItemData> catalog;
    std::vector<ScenarioInventory> inventories;
    std::vector<ScenarioPrivilege> privileges;
    std::vector<ScenarioRedeemCode> redeemCodes;  // applied in order: the last is the code a user types
    std::vector<ScenarioSubscription> subscriptions;
    std::vector<ScenarioPackage> packages;
    std::vector<ScenarioFault> faults;
    std::vector<ScenarioOutcome> outcomes;
    std::optional<int64_t> clock;  // fixed at this time (platform ticks) when applied; absent: real time
    ScenarioLedger ledger;
    std::optional<Walkthrough> walkthrough;

    bool operator==(const Scenario&) const = default;
};

// Parses and validates a whole scenario without touching the emulator. Relative package folders
// start at `baseDirectory`, which becomes Scenario::directory. Throws ScenarioError.
EMU_API Scenario ParseScenario(std::string_view json, const std::string& fileName,
                               const std::filesystem::path& baseDirectory);
// Reads and parses a file; relative folders start at the file's directory. An unreadable file
// throws ScenarioError with the path "$".
EMU_API Scenario LoadScenarioFile(const std::filesystem::path& file);

// The text of scenarios/default.json as it was when the emulator was built.
EMU_API std::string_view DefaultScenarioJson();
EMU_API Scenario DefaultScenario();

// Resets the emulator (emu::Reset), then applies every part of the scenario. Packages given as
// files are written to fresh temporary directories, removed at the next Reset or at process exit.
// Should the emulator refuse a part of a scenario built by hand, the emulator is reset again and
// ScenarioError names the part.
EMU_API void ApplyScenario(const Scenario& scenario);
// The package ready for AddPackage or StartInstallation: a package given as files is written to a
// fresh temporary directory (removed at the next Reset or at process exit), which becomes its folder.
EMU_API PackageData MaterializePackage(const ScenarioPackage& package);

// The scenario as JSON text in the documented format; parsing it again gives equal data.
EMU_API std::string ScenarioToJson(const Scenario& scenario);
// The emulator's current state as a scenario that applies back into the same world (no walkthrough):
// the users signed in, the catalog, every inventory as it stands (balances, states, dates), the
// privileges and resolutions left, the redeem codes (redeemed ones marked), the subscription grants,
// the titles, the installed packages (a package whose folder the emulator wrote from a scenario's
// files is saved as those files; any other keeps its folder), the default delay, the faults and
// outcomes still armed, the clock when it is fixed, and the ledger. The file name is "<world>".
// Throws std::runtime_error when the state holds what a scenario cannot (an inventory or privilege
// of a user who is not signed in) or a package's files cannot be read. Take it while nothing runs
// (after WaitIdle): the services are read one after the other.
EMU_API Scenario CaptureWorld();
// Writes CaptureWorld() to the file, replacing it. Throws std::runtime_error naming the file and
// the reason when it cannot be written; nothing is written then.
EMU_API void SaveWorld(const std::filesystem::path& file);

// The JSON path of the first place where the two scenarios' written documents differ
// ("$.catalog[3].availabilities[0].price"), or the empty text when they hold the same data. Where
// they were read from (file, directory) is not part of the data; operator== compares it too.
EMU_API std::string FirstDifference(const Scenario& a, const Scenario& b);

}  // namespace velmora::emu
