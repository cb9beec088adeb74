#include "host/plugin_loader.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace velmora::host {
namespace {

constexpr const char* kExportNames[] = {
#define VELMORA_EXPORT(result, name, params, args) #name,
#include "velmora/exports.inc"
#undef VELMORA_EXPORT
};

// Copies the library into a new private directory, keeping its file name.
std::string CopyToTemporaryDirectory(const std::string& path, std::string& directory) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        throw std::runtime_error("velmora host: cannot load plugin '" + path + "': no such file");
    }
    std::string pattern = (fs::temp_directory_path() / "velmora-plugin-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("velmora host: cannot create a temporary directory for a copy of '" + path + "'");
    }
    directory = pattern;
    const fs::path copy = fs::path(directory) / fs::path(path).filename();
    if (!fs::copy_file(path, copy, ec)) {
        fs::remove_all(directory, ec);
        directory.clear();
        throw std::runtime_error("velmora host: cannot copy plugin '" + path + "' to '" + copy.string() +
                                 "': " + ec.message());
    }
    return copy.string();
}

}  // namespace

std::span<const char* const> ExportNames() { return kExportNames; }

LoadedPlugin::LoadedPlugin(const std::string& path, bool freshCopy) : path_(path), loadedPath_(path) {
    if (freshCopy) loadedPath_ = CopyToTemporaryDirectory(path, copyDirectory_);

    module_ = dlopen(loadedPath_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module_) {
        const char* error = dlerror();
        RemoveCopy();
        throw std::runtime_error("velmora host: cannot load plugin '" + path +
                                 "': " + (error ? error : "unknown error"));
    }

    std::vector<const char*> missing;
    auto bind = [&](auto& slot, const char* name) {
        void* symbol = dlsym(module_, name);
        if (!symbol) missing.push_back(name);
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol);
    };
#define VELMORA_EXPORT(result, name, params, args) bind(exports_.name, #name);
#include "velmora/exports.inc"
#undef VELMORA_EXPORT

    if (!missing.empty()) {
        std::string message = "velmora host: plugin '" + path + "' lacks " + std::to_string(missing.size()) + " of " +
                              std::to_string(ExportNames().size()) + " exports:";
        for (const char* name : missing) message += std::string(" ") + name;
        Unload();
        throw std::runtime_error(message);
    }
}

LoadedPlugin::~LoadedPlugin() { Unload(); }

void* LoadedPlugin::Resolve(const char* name) const { return module_ && name ? dlsym(module_, name) : nullptr; }

void LoadedPlugin::Unload() {
    if (module_) {
        dlclose(module_);
        module_ = nullptr;
        exports_ = {};
    }
    RemoveCopy();
}

void LoadedPlugin::RemoveCopy() {
    if (copyDirectory_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(copyDirectory_, ec);
    copyDirectory_.clear();
}

}  // namespace velmora::host
