// The emulator's current state as a scenario, read from every service, and saved to a file.
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/strings.h"
#include "emulator/scenarios/formats.h"
#include "emulator/scenarios/materialized_folders.h"
#include "emulator/scenarios/scenario.h"
#include "emulator/services/clock.h"

namespace velmora::emu {
namespace {

using namespace scenario_detail;

bool SignedIn(uint32_t userId) { return FindUser(userId) >= 0; }

[[noreturn]] void Unsavable(const std::string& problem) {
    throw std::runtime_error("the world cannot be saved as a scenario: " + problem);
}

// The files of a folder the emulator wrote, by their names relative to it ('/' between parts).
std::map<std::string, std::string> FilesOf(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        std::ifstream in(it->path(), std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in && !in.eof()) Unsavable("the package file " + Utf8OfPath(it->path()) + " cannot be read");
        const std::u8string name = it->path().lexically_relative(folder).generic_u8string();
        files[std::string(name.begin(), name.end())] = std::move(content);
    }
    if (ec) Unsavable("the package folder " + Utf8OfPath(folder) + " cannot be read: " + ec.message());
    return files;
}

ScenarioPackage Saved(const PackageData& installed) {
    ScenarioPackage p{installed, {}};
    const std::filesystem::path folder = PathFromUtf8(ToUtf8(installed.folder));
    if (IsMaterializedFolder(folder)) {
        p.files = FilesOf(folder);  // the next Reset removes the folder: keep what it holds
        p.data.folder.clear();
    }
    return p;
}

}  // namespace

Scenario CaptureWorld() {
    Scenario s;
    s.file = "<world>";
    s.directory = std::filesystem::current_path();
    s.title = Titles();
    s.defaultDelay = DefaultDelay();
    for (uint32_t i = 0, n = UserCount(); i < n; ++i)
        if (auto user = UserAt(i)) s.users.push_back(*user);
    s.catalog = CatalogItems();
    for (auto& [userId, items] : Inventories()) {
        if (!SignedIn(userId))
            Unsavable("user " + std::to_string(userId) + " owns items but is not signed in, and a scenario lists " +
                      "the inventories of its users only");
        s.inventories.push_back({userId, std::move(items)});
    }
    for (auto& p : Privileges()) {
        if (!SignedIn(p.userId))
            Unsavable("user " + std::to_string(p.userId) + " has privilege " + std::to_string(p.privilegeId) +
                      " set but is not signed in, and a scenario sets the privileges of its users only");
        s.privileges.push_back(std::move(p));
    }
    s.redeemCodes = RedeemCodes();
    s.subscriptions = SubscriptionGrants();
    for (const auto& installed : InstalledPackages()) s.packages.push_back(Saved(installed));
    s.faults = InjectedFaults();
    s.outcomes = ScriptedOutcomes();
    s.clock = FixedClock();
    s.ledger = {TransactionsDropped(), Transactions()};
    return s;
}

void SaveWorld(const std::filesystem::path& file) {
    const std::string text = ScenarioToJson(CaptureWorld());
    const std::string name = Utf8OfPath(file);
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec))
        throw std::runtime_error("cannot save the world to " + name + ": a directory, not a file");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot save the world to " + name + ": the file cannot be opened for writing");
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot save the world to " + name + ": writing it failed");
}

}  // namespace velmora::emu
