// Loads the plugin library with the system's loader (dlopen, LoadLibrary) and resolves every export of
// include/velmora/exports.inc by name into a typed table, as an engine does when it binds a native plugin.
#pragma once

#include <span>
#include <string>

#include "velmora/velmora.h"

namespace velmora::host {

// One typed function pointer per plugin export, named as the export.
struct VelmoraExports {
#define VELMORA_EXPORT(result, name, params, args) result(*name) params = nullptr;
#include "velmora/exports.inc"
#undef VELMORA_EXPORT
};

// The names of every plugin export, in the order of exports.inc.
std::span<const char* const> ExportNames();

class LoadedPlugin {
public:
    // Loads the library and resolves every export. With `freshCopy`, the library is first copied
    // to a new temporary directory and the copy is loaded, so the module's static state is new
    // even when the same library was loaded (and unloaded) before in this process.
    // Throws std::runtime_error naming the file when it cannot be loaded, and naming every
    // missing export when some are not found.
    explicit LoadedPlugin(const std::string& path, bool freshCopy = false);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    const VelmoraExports& Exports() const { return exports_; }
    // Any symbol of the library by name, or null.
    void* Resolve(const char* name) const;
    // The path asked for, and the path actually loaded (the copy, with `freshCopy`).
    const std::string& Path() const { return path_; }
    const std::string& LoadedPath() const { return loadedPath_; }

    // Unloads the library and deletes the copy; the exports are unusable afterwards. Idempotent.
    void Unload();
    bool Loaded() const { return module_ != nullptr; }

private:
    void RemoveCopy();

    std::string path_;
    std::string loadedPath_;
    std::string copyDirectory_;  // empty unless loaded from a copy
    void* module_ = nullptr;
    VelmoraExports exports_;
};

}  // namespace velmora::host
