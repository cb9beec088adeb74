// On Windows the runtime's strings are the system's own (combase). So that tests can still prove
// that no string leaked, and can make string creation fail on demand as on Linux, the emulator
// routes our own modules' imports of the three string functions that create and release strings
// through this ledger: every call goes on to the system's function, and the ledger keeps how many
// references our code holds to each string. Our modules are every module outside the Windows
// directory: those loaded when the emulator loads, and each one loaded later.
#include <windows.h>
// after windows.h
#include <psapi.h>
#include <winternl.h>

#include <cwctype>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"

namespace {

using CreateFunction = HRESULT(WINAPI*)(const WCHAR*, UINT32, void**);
using DuplicateFunction = HRESULT(WINAPI*)(void*, void**);
using DeleteFunction = HRESULT(WINAPI*)(void*);

struct SystemFunctions {
    CreateFunction create = nullptr;
    DuplicateFunction duplicate = nullptr;
    DeleteFunction remove = nullptr;
};

const SystemFunctions& System() {
    static const SystemFunctions functions = [] {
        SystemFunctions f;
        if (HMODULE combase = GetModuleHandleW(L"combase.dll")) {
            f.create = reinterpret_cast<CreateFunction>(
                reinterpret_cast<void*>(GetProcAddress(combase, "WindowsCreateString")));
            f.duplicate = reinterpret_cast<DuplicateFunction>(
                reinterpret_cast<void*>(GetProcAddress(combase, "WindowsDuplicateString")));
            f.remove = reinterpret_cast<DeleteFunction>(
                reinterpret_cast<void*>(GetProcAddress(combase, "WindowsDeleteString")));
        }
        return f;
    }();
    return functions;
}

std::mutex ledgerMutex;
std::unordered_map<void*, uint32_t> held;  // string -> references our code holds

HRESULT WINAPI LedgerCreate(const WCHAR* text, UINT32 length, void** string) {
    if (HRESULT hr = velmora::emu::TakeFault("WindowsCreateString")) {
        if (string) *string = nullptr;
        return hr;
    }
    std::lock_guard lock(ledgerMutex);
    const HRESULT hr = System().create(text, length, string);
    if (SUCCEEDED(hr) && *string) ++held[*string];
    return hr;
}

HRESULT WINAPI LedgerDuplicate(void* string, void** copy) {
    if (HRESULT hr = velmora::emu::TakeFault("WindowsDuplicateString")) {
        if (copy) *copy = nullptr;
        return hr;
    }
    std::lock_guard lock(ledgerMutex);
    const HRESULT hr = System().duplicate(string, copy);
    if (SUCCEEDED(hr) && *copy) ++held[*copy];  // the same string again, or a new one
    return hr;
}

HRESULT WINAPI LedgerDelete(void* string) {
    std::lock_guard lock(ledgerMutex);
    const HRESULT hr = System().remove(string);
    if (auto it = held.find(string); it != held.end() && --it->second == 0) held.erase(it);
    return hr;
}

bool InWindowsDirectory(std::wstring_view path) {
    wchar_t windows[MAX_PATH];
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || path.size() <= n) return false;
    for (UINT i = 0; i < n; ++i)
        if (std::towlower(path[i]) != std::towlower(windows[i])) return false;
    return path[n] == L'\\' || path[n] == L'/';
}

// Points every import slot of the module that the loader bound to one of the system's three
// functions at the ledger's.
void RouteImports(void* module) {
    const SystemFunctions& f = System();
    if (!f.create || !f.duplicate || !f.remove) return;
    auto* base = static_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
        for (auto* slot = reinterpret_cast<ULONG_PTR*>(base + d->FirstThunk); *slot; ++slot) {
            ULONG_PTR routed = 0;
            if (*slot == reinterpret_cast<ULONG_PTR>(f.create)) routed = reinterpret_cast<ULONG_PTR>(&LedgerCreate);
            if (*slot == reinterpret_cast<ULONG_PTR>(f.duplicate))
                routed = reinterpret_cast<ULONG_PTR>(&LedgerDuplicate);
            if (*slot == reinterpret_cast<ULONG_PTR>(f.remove)) routed = reinterpret_cast<ULONG_PTR>(&LedgerDelete);
            if (!routed) continue;
            DWORD protection = 0;
            if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) continue;
            *slot = routed;
            VirtualProtect(slot, sizeof *slot, protection, &protection);
        }
    }
}

void RouteIfOurs(void* module, std::wstring_view path) {
    if (!InWindowsDirectory(path)) RouteImports(module);
}

// The loader's notification of each module it loads, from ntdll (not in the SDK's headers).
struct LoadedModuleData {
    ULONG flags;
    const UNICODE_STRING* fullName;
    const UNICODE_STRING* baseName;
    void* base;
    ULONG size;
};
constexpr ULONG kModuleLoaded = 1;
using ModuleNotification = void(NTAPI*)(ULONG reason, const LoadedModuleData* data, void* context);
using RegisterNotification = NTSTATUS(NTAPI*)(ULONG flags, ModuleNotification notification, void* context,
                                              void** cookie);

void NTAPI OnModuleLoaded(ULONG reason, const LoadedModuleData* data, void*) {
    if (reason != kModuleLoaded || !data->fullName) return;
    RouteIfOurs(data->base, std::wstring_view(data->fullName->Buffer, data->fullName->Length / sizeof(WCHAR)));
}

const bool routed = [] {
    // The loader keeps calling OnModuleLoaded, and the worker threads run on, until the process
    // ends: the emulator stays loaded until then, whoever frees it.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&OnModuleLoaded), &self);
    HMODULE modules[512];
    DWORD bytes = 0;
    if (EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &bytes)) {
        for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
            wchar_t path[MAX_PATH];
            const DWORD n = GetModuleFileNameW(modules[i], path, MAX_PATH);
            if (n > 0 && n < MAX_PATH) RouteIfOurs(modules[i], std::wstring_view(path, n));
        }
    }
    auto registerNotification = reinterpret_cast<RegisterNotification>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrRegisterDllNotification")));
    void* cookie = nullptr;
    return registerNotification && registerNotification(0, OnModuleLoaded, nullptr, &cookie) == 0;
}();

}  // namespace

namespace velmora::emu {

int64_t LiveStrings() {
    std::lock_guard lock(ledgerMutex);
    return int64_t(held.size());
}

}  // namespace velmora::emu
