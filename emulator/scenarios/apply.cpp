// Applying a parsed scenario to the emulator, writing packages given as files into temporary
// directories (removed at the next Reset or at process exit), and the built-in scenario.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/strings.h"
#include "emulator/scenarios/formats.h"
#include "emulator/scenarios/materialized_folders.h"
#include "emulator/scenarios/scenario.h"

namespace velmora::emu {
namespace {

using namespace scenario_detail;

// The temporary directories written since the last Reset. The list itself is never destroyed, so
// a Reset that runs late during process exit still finds it.
struct Temporaries {
    std::mutex mutex;
    std::vector<std::filesystem::path> directories;

    void RemoveAll() {
        std::vector<std::filesystem::path> removed;
        {
            std::lock_guard lock(mutex);
            removed.swap(directories);
        }
        std::error_code ec;
        for (const auto& d : removed) std::filesystem::remove_all(d, ec);
    }
};

Temporaries& TheTemporaries() {
    static auto* temporaries = new Temporaries;
    return *temporaries;
}

const bool resetRegistered = [] {
    OnReset([] { TheTemporaries().RemoveAll(); });
    return true;
}();

// Removes what is left when the process ends.
struct RemoveAtExit {
    ~RemoveAtExit() { TheTemporaries().RemoveAll(); }
} removeAtExit;

std::filesystem::path FreshDirectory() {
    static std::atomic<uint64_t> counter{0};
    std::random_device random;
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) throw std::runtime_error("no temporary directory: " + ec.message());
    for (int attempt = 0; attempt < 64; ++attempt) {
        char name[48];
        std::snprintf(name, sizeof name, "velmora-package-%08x%08x-%llu", unsigned(random()), unsigned(random()),
                      static_cast<unsigned long long>(counter++));
        const std::filesystem::path dir = temp / name;
        if (std::filesystem::create_directory(dir, ec)) {
            std::lock_guard lock(TheTemporaries().mutex);
            TheTemporaries().directories.push_back(dir);
            return dir;
        }
        if (ec) throw std::runtime_error("cannot create " + Utf8OfPath(dir) + ": " + ec.message());
    }
    throw std::runtime_error("cannot create a fresh directory in " + Utf8OfPath(temp));
}

}  // namespace

bool scenario_detail::IsMaterializedFolder(const std::filesystem::path& folder) {
    std::lock_guard lock(TheTemporaries().mutex);
    const auto& written = TheTemporaries().directories;
    return std::any_of(written.begin(), written.end(),
                       [&](const auto& d) { return d.lexically_normal() == folder.lexically_normal(); });
}

PackageData MaterializePackage(const ScenarioPackage& package) {
    PackageData data = package.data;
    if (!data.folder.empty()) return data;
    const std::filesystem::path dir = FreshDirectory();
    for (const auto& [name, content] : package.files) {
        const std::filesystem::path file = dir / PathFromUtf8(name);
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(content.data(), std::streamsize(content.size()));
        out.close();
        if (!out) throw std::runtime_error("cannot write " + Utf8OfPath(file));
    }
    data.folder = FromUtf8(Utf8OfPath(dir));
    return data;
}

namespace {

void ApplyParts(const Scenario& s) {
    auto check = [&](HRESULT hr, const std::string& path) {
        if (Failed(hr)) throw ScenarioError(s.file, path, "the emulator refused it (" + FormatHresult(hr) + ")");
    };
    SetTitles(s.title.currentTitleId, s.title.relatedTitleIds);
    if (s.defaultDelay) SetDefaultDelay(*s.defaultDelay);
    for (size_t i = 0; i < s.users.size(); ++i) check(AddUser(s.users[i]), IndexPath("$.users", i));
    for (size_t i = 0; i < s.catalog.size(); ++i) check(AddCatalogItem(s.catalog[i]), IndexPath("$.catalog", i));
    for (size_t i = 0; i < s.inventories.size(); ++i) {
        const std::string path = IndexPath("$.inventories", i) + ".items";
        const ScenarioInventory& inv = s.inventories[i];
        for (size_t j = 0; j < inv.items.size(); ++j)
            check(AddInventoryItem(inv.userId, inv.items[j]), IndexPath(path, j));
    }
    for (const auto& p : s.privileges) {
        SetPrivilege(p.userId, p.privilegeId, p.result);
        if (p.resolveWithProduct) SetPrivilegeResolvable(p.userId, p.privilegeId, *p.resolveWithProduct);
    }
    for (const auto& r : s.redeemCodes) SetRedeemCode(r.code, r.productId, r.redeemed);
    for (const auto& g : s.subscriptions) SetSubscriptionGrant(g.productId, g.privilegeId);
    for (size_t i = 0; i < s.packages.size(); ++i) {
        const std::string path = IndexPath("$.packages", i);
        PackageData data;
        try {
            data = MaterializePackage(s.packages[i]);
        } catch (const std::runtime_error& e) {
            throw ScenarioError(s.file, path, e.what());
        }
        check(AddPackage(data), path);
    }
    try {
        if (s.clock) SetClock(*s.clock);  // the reset before has it run real time: any start is taken
    } catch (const std::invalid_argument& e) {
        throw ScenarioError(s.file, "$.clock", e.what());
    }
    try {
        RestoreLedger(s.ledger.entries, s.ledger.dropped);
    } catch (const std::invalid_argument& e) {
        throw ScenarioError(s.file, "$.ledger", e.what());
    }
    // Faults and scripts last: nothing above may consume them.
    for (const auto& f : s.faults) InjectFault(f.call, f.hr, f.times);
    for (const auto& o : s.outcomes) ScriptOutcome(o.call, o.outcome, o.times);
}

}  // namespace

void ApplyScenario(const Scenario& scenario) {
    Reset();
    try {
        ApplyParts(scenario);
    } catch (...) {
        Reset();  // nothing half-applied stays
        throw;
    }
}

std::string_view DefaultScenarioJson() { return EmbeddedDefaultScenario(); }

Scenario DefaultScenario() {
    // Its packages are given as files, so no folder is resolved against the directory.
    std::error_code ec;
    std::filesystem::path directory = std::filesystem::temp_directory_path(ec);
    if (ec) directory = ".";
    return ParseScenario(DefaultScenarioJson(), "scenarios/default.json", directory);
}

}  // namespace velmora::emu
