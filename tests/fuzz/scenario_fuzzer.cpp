// libFuzzer harness over the scenario loader: the input is a scenario file's text. What parses is
// applied to the emulator, written back and parsed again.
//
// Findings (the harness aborts): any exception but ScenarioError from parsing or applying; a
// written scenario that does not parse, or parses to other data (the first differing JSON path is
// printed); and live emulator objects or strings left once the emulator is reset. AddressSanitizer,
// UBSan and LeakSanitizer catch the rest; libFuzzer's -timeout and -rss_limit_mb bound each input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/scenarios/scenario.h"

namespace {

using namespace velmora;

[[noreturn]] void Finding(const std::string& what) {
    std::fprintf(stderr, "velmora scenario fuzz finding: %s\n", what.c_str());
    std::abort();
}

// Relative package folders start here: an empty directory of the harness's own.
const std::filesystem::path& BaseDirectory() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "velmora-scenario-fuzz";
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

template <class Step>
bool Run(const char* what, Step step) {
    try {
        step();
        return true;
    } catch (const emu::ScenarioError&) {
        return false;
    } catch (const std::exception& e) {
        Finding(std::string(what) + " threw " + e.what());
    } catch (...) {
        Finding(std::string(what) + " threw a non-standard exception");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string file = "fuzz.json";
    emu::Scenario first;
    if (!Run("parsing", [&] { first = emu::ParseScenario(text, file, BaseDirectory()); })) return 0;
    Run("applying", [&] { emu::ApplyScenario(first); });
    emu::Reset();
    emu::WaitIdle();
    if (emu::LiveObjects() != 0 || emu::LiveStrings() != 0)
        Finding("the emulator holds " + std::to_string(emu::LiveObjects()) + " objects and " +
                std::to_string(emu::LiveStrings()) + " strings after a reset");

    const std::string written = emu::ScenarioToJson(first);
    emu::Scenario second;
    try {
        second = emu::ParseScenario(written, file, BaseDirectory());
    } catch (const std::exception& e) {
        Finding(std::string("the written scenario does not parse: ") + e.what() + "\n" + written);
    }
    if (!(first == second))
        Finding("the round trip changed " + emu::FirstDifference(first, second) +
                " (empty: a member the file "
                "does not hold)\n" +
                written);
    return 0;
}
