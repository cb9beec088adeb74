// The component's self-registration (regsvr32): each class it serves, under the key where the
// system's activation looks a runtime class up, with this module's path.
#include <windows.h>

#include <string>

#include "emulator/services/activatable_classes.h"

extern "C" HRESULT WINAPI DllRegisterServer() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&DllRegisterServer), &self))
        return HRESULT_FROM_WIN32(GetLastError());
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

    for (const std::u16string& name : velmora::emu::ActivatableClasses()) {
        const std::wstring key =
            L"Software\\Microsoft\\WindowsRuntime\\ActivatableClassId\\" + std::wstring(name.begin(), name.end());
        HKEY classKey = nullptr;
        LSTATUS status =
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &classKey, nullptr);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        const DWORD inProcess = 0, bothApartments = 0;
        status = RegSetValueExW(classKey, L"DllPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                                (length + 1) * sizeof(wchar_t));
        if (status == ERROR_SUCCESS)
            status = RegSetValueExW(classKey, L"ActivationType", 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&inProcess), sizeof inProcess);
        if (status == ERROR_SUCCESS)
            status = RegSetValueExW(classKey, L"Threading", 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&bothApartments), sizeof bothApartments);
        RegCloseKey(classKey);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}
