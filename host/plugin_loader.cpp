#include "host/plugin_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace velmora::host {
namespace {

// The system's library loader: LoadLibrary on Windows, dlopen elsewhere. Open answers null and
// sets `error` when the library cannot be loaded.
#if defined(_WIN32)
void* OpenLibrary(const std::string& path, std::string& error) {
    const std::wstring wide = std::filesystem::path(std::u8string(path.begin(), path.end())).wstring();
    HMODULE module = LoadLibraryW(wide.c_str());
    if (!module) {
        char text[512] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0, text,
                       sizeof text, nullptr);
        error = text[0] ? text : "error " + std::to_string(GetLastError());
        while (!error.empty() && (error.back() == '\n' || error.back() == '\r' || error.back() == ' '))
            error.pop_back();
    }
    return module;
}
void* LibrarySymbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void CloseLibrary(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
#else
void* OpenLibrary(const std::string& path, std::string& error) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* text = dlerror();
        error = text ? text : "unknown error";
    }
    return module;
}
void* LibrarySymbol(void* module, const char* name) { return dlsym(module, name); }
void CloseLibrary(void* module) { dlclose(module); }
#endif

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
    std::random_device random;
    for (int attempt = 0; directory.empty() && attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path(ec) / ("velmora-plugin-" + std::to_string(random()));
        if (fs::create_directory(candidate, ec)) directory = candidate.string();
    }
    if (directory.empty()) {
        throw std::runtime_error("velmora host: cannot create a temporary directory for a copy of '" + path + "'");
    }
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

    std::string error;
    module_ = OpenLibrary(loadedPath_, error);
    if (!module_) {
        RemoveCopy();
        throw std::runtime_error("velmora host: cannot load plugin '" + path + "': " + error);
    }

    std::vector<const char*> missing;
    auto bind = [&](auto& slot, const char* name) {
        void* symbol = LibrarySymbol(module_, name);
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

void* LoadedPlugin::Resolve(const char* name) const { return module_ && name ? LibrarySymbol(module_, name) : nullptr; }

void LoadedPlugin::Unload() {
    if (module_) {
        CloseLibrary(module_);
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
