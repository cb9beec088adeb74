// Binding the checked wrappers to a plugin at run time. The shim never links the plugin: the host
// loads it (often as a private copy), and the shim must call that very instance, found by its path.
#include <cstdio>
#include <string>

#include "bindings/checked/checked_exports.h"
#include "c_interfaces/last_error.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

constinit thread_local velmora::c_interfaces::LastError lastError;

// The exports a bind in progress on this thread found missing: the first one's name (a name from the
// generated table, which lives as long as the shim) and how many.
struct Missing {
    bool binding = false;
    const char* first = nullptr;
    size_t count = 0;
};
constinit thread_local Missing missing;

// Not std::to_string: its digit table is a vague-linkage object of libstdc++ that the library would
// export beside the wrappers.
std::string Decimal(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llu", value);
    return text;
}

#if defined(_WIN32)
std::string SystemMessage(DWORD code) {
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string message = text[0] ? text : "error " + Decimal(code);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

// The module with one more reference, so the bound addresses outlive the host's unloading of it.
void* Open(const char* path, std::string& error) {
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (length <= 0) {
        error = "the path is not UTF-8";
        return nullptr;
    }
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), length);
    wide.pop_back();  // the terminator the count included
    // The module list holds paths with backslashes; a path given with slashes must still find it.
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(0, wide.c_str(), &module)) module = LoadLibraryW(wide.c_str());
    if (!module) error = SystemMessage(GetLastError());
    return module;
}
void Close(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
void* Resolve(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
#else
// The instance already loaded under this path when there is one. Any other path, a private copy's
// original included, is loaded anew: an instance of its own, which the host never started.
void* Open(const char* path, std::string& error) {
    void* module = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (!module) module = dlopen(path, RTLD_NOW);
    if (!module) {
        const char* text = dlerror();
        error = text ? text : "unknown error";
    }
    return module;
}
void Close(void* module) { dlclose(module); }
void* Resolve(void* module, const char* name) { return dlsym(module, name); }
#endif

bool BindTo(const char* path) {
    std::string error;
    void* module = Open(path, error);
    if (!module) {
        lastError.Set("cannot load ");
        lastError.Append(path);
        lastError.Append(": ");
        lastError.Append(error);
        return false;
    }
    missing = Missing{true, nullptr, 0};
    const bool bound = velmora_checked::BindAll(Resolve, module);
    missing.binding = false;
    if (bound) return true;  // the module stays loaded for the process: the wrappers call into it
    lastError.Set("the plugin at ");
    lastError.Append(path);
    lastError.Append(" has no export ");
    lastError.Append(missing.first);
    if (missing.count > 1) lastError.Append(" (and " + Decimal(missing.count - 1) + " more)");
    Close(module);
    return false;
}

}  // namespace

void velmora_checked::SetLastError(const char* message) {
    if (!missing.binding) {
        lastError.Set(message);
        return;
    }
    // During a bind the message is the name of a missing export.
    if (missing.count++ == 0) missing.first = message;
}

extern "C" {

int32_t VelmoraChecked_Bind(const char* path) {
    try {
        lastError.Clear();
        if (!path) {
            lastError.Set("the plugin's path is null");
            return 0;
        }
        return BindTo(path) ? 1 : 0;
    } catch (const std::exception& e) {
        missing.binding = false;
        lastError.Set(e.what());
    } catch (...) {
        missing.binding = false;
        lastError.Set("binding failed");
    }
    return 0;
}

const char* VelmoraChecked_LastError(void) { return lastError.Text(); }

}  // extern "C"
