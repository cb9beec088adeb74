// The plugin loader: resolving every export by name, reporting the missing ones, and loading a
// fresh private copy so module state never carries over between tests.
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "host/plugin_loader.h"
#include "platform/host_interfaces.h"
#include "tests/emulator_fixture.h"

namespace velmora::host {
namespace {

using PluginLoaderTest = test::EmulatorTest;

// A registry that offers nothing: the stand-in plugin only counts the load.
IHaldenInterface* NoInterface(InterfaceId) { return nullptr; }
void IgnoreRegistration(InterfaceId, IHaldenInterface*) {}
HostInterfaces emptyRegistry{&NoInterface, &IgnoreRegistration};

int Loads(const LoadedPlugin& plugin) {
    auto loads = reinterpret_cast<int (*)()>(plugin.Resolve("FakePlugin_Loads"));
    return loads ? loads() : -1;
}

TEST_F(PluginLoaderTest, ResolvesEveryExport) {
    LoadedPlugin plugin(VELMORA_HOST_FAKE_PLUGIN);
    const auto* slots = reinterpret_cast<void* const*>(&plugin.Exports());
    static_assert(sizeof(VelmoraExports) == 150 * sizeof(void*));
    const auto names = ExportNames();
    ASSERT_EQ(names.size(), 150u);
    EXPECT_STREQ(names.front(), "HaldenPluginLoad");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << "the names are unique";
    for (size_t i = 0; i < ExportNames().size(); ++i) {
        EXPECT_NE(slots[i], nullptr) << ExportNames()[i];
        EXPECT_EQ(slots[i], plugin.Resolve(ExportNames()[i])) << ExportNames()[i];
    }
    EXPECT_EQ(plugin.Exports().GetPluginVersion(), 0);
    EXPECT_EQ(plugin.Resolve("NoSuchExport"), nullptr);
    EXPECT_EQ(plugin.Resolve(nullptr), nullptr);
}

TEST_F(PluginLoaderTest, MissingExportsAreAllNamedWithTheFile) {
    std::string message;
    try {
        LoadedPlugin plugin(VELMORA_HOST_PARTIAL_PLUGIN);
        FAIL() << "a library without every export must not load";
    } catch (const std::runtime_error& e) {
        message = e.what();
    }
    EXPECT_NE(message.find(VELMORA_HOST_PARTIAL_PLUGIN), std::string::npos) << message;
    EXPECT_NE(message.find("lacks 146 of 150 exports:"), std::string::npos) << message;

    std::set<std::string> listed;
    std::istringstream words(message.substr(message.find("exports:") + 8));
    for (std::string word; words >> word;) listed.insert(word);
    const std::set<std::string> present{"HaldenPluginLoad", "HaldenPluginUnload", "GetPluginVersion",
                                        "DLC_FindPackages"};
    std::set<std::string> expected;
    for (const char* name : ExportNames())
        if (!present.count(name)) expected.insert(name);
    EXPECT_EQ(listed, expected);
}

TEST_F(PluginLoaderTest, AMissingFileIsNamedInPlaceOrCopied) {
    const std::string path = "/nonexistent/libVelmora.so";
    for (bool freshCopy : {false, true}) {
        try {
            LoadedPlugin plugin(path, freshCopy);
            ADD_FAILURE() << "loaded a file that does not exist";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

TEST_F(PluginLoaderTest, FreshCopiesHaveTheirOwnModuleStateAndAreDeletedOnUnload) {
    LoadedPlugin first(VELMORA_HOST_FAKE_PLUGIN, true);
    LoadedPlugin second(VELMORA_HOST_FAKE_PLUGIN, true);
    EXPECT_NE(first.LoadedPath(), first.Path());
    EXPECT_NE(first.LoadedPath(), second.LoadedPath());
    EXPECT_TRUE(std::filesystem::exists(first.LoadedPath()));

    first.Exports().HaldenPluginLoad(&emptyRegistry);
    EXPECT_EQ(Loads(first), 1);
    EXPECT_EQ(Loads(second), 0) << "two fresh copies must not share module state";

    const std::filesystem::path copyDirectory = std::filesystem::path(first.LoadedPath()).parent_path();
    first.Unload();
    first.Unload();
    EXPECT_FALSE(first.Loaded());
    EXPECT_EQ(first.Resolve("FakePlugin_Loads"), nullptr);
    EXPECT_EQ(first.Exports().HaldenPluginLoad, nullptr);
    EXPECT_FALSE(std::filesystem::exists(copyDirectory));
}

}  // namespace
}  // namespace velmora::host
