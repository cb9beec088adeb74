// The fixture of the scenario tests: an emptied emulator before and after each test (the scenario
// loader needs no plugin), temporary directories, and the repository's scenarios/ folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/runtime/strings.h"
#include "emulator/scenarios/scenario.h"
#include "tests/emulator_fixture.h"

namespace velmora::test {

class ScenarioTest : public EmulatorTest {
protected:
    void TearDown() override {
        EmulatorTest::TearDown();
        std::error_code ec;
        for (const auto& d : temporaries_) std::filesystem::remove_all(d, ec);
    }

    // A new empty directory, removed after the test.
    std::filesystem::path TempDir() {
        const auto base = std::filesystem::temp_directory_path();
        for (int i = 0;; ++i) {
            auto dir =
                base / ("velmora-scenario-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                        "-" + std::to_string(temporaries_.size()) + "-" + std::to_string(i));
            if (std::filesystem::create_directory(dir)) {
                temporaries_.push_back(dir);
                return dir;
            }
        }
    }

    static std::filesystem::path ScenariosDir() {
        return std::filesystem::path(__FILE__).parent_path().parent_path() / "scenarios";
    }
    static std::string ReadFile(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void WriteFile(const std::filesystem::path& file, const std::string& text) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    // A package folder as the emulator stores it (UTF-16 text) as a path.
    static std::filesystem::path Folder(const std::u16string& folder) {
        const std::string text = emu::ToUtf8(folder);
        return std::filesystem::path(std::u8string(text.begin(), text.end()));
    }

private:
    std::vector<std::filesystem::path> temporaries_;
};

}  // namespace velmora::test
