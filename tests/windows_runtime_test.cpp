// On Windows the runtime base is the system's: the string functions are combase's own, and the
// system's activation finds the emulated services through the registry, in the component that
// registered them. (An unknown class is refused by the same activation: emulator_runtime_test.)
#if defined(_WIN32)
#include <windows.h>
// after windows.h
#include <activation.h>
#include <roapi.h>
#include <winstring.h>

#include <cwctype>
#include <string>

#include <gtest/gtest.h>

#include "emulator/runtime/live_counts.h"
#include "emulator/services/activatable_classes.h"

namespace {

class WindowsRuntimeTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(velmora::emu::LiveObjects(), 0);
        EXPECT_EQ(velmora::emu::LiveStrings(), 0);
    }
};

std::wstring FoldedPath(std::wstring path) {
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : wchar_t(std::towlower(c));
    return path;
}

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return FoldedPath(std::wstring(path, n < MAX_PATH ? n : 0));
}

// A string the test owns, made by the system's function.
struct String {
    explicit String(const std::wstring& text) {
        EXPECT_EQ(WindowsCreateString(text.c_str(), UINT32(text.size()), &handle), S_OK);
    }
    ~String() { WindowsDeleteString(handle); }
    HSTRING handle = nullptr;
};

TEST_F(WindowsRuntimeTest, TheStringFunctionsAreCombasesOwn) {
    HMODULE combase = GetModuleHandleW(L"combase.dll");
    ASSERT_NE(combase, nullptr) << "the program's runtime imports did not load combase";
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(ModulePath(combase), FoldedPath(std::wstring(system, n) + L"\\combase.dll"));

    String text(L"caf\u00E9");
    UINT32 length = 0;
    EXPECT_STREQ(WindowsGetStringRawBuffer(text.handle, &length), L"caf\u00E9");
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(velmora::emu::LiveStrings(), 1) << "the ledger sees the system's strings";
}

TEST_F(WindowsRuntimeTest, TheServicesComeFromTheComponentTheRegistryNames) {
    for (const std::u16string& name : velmora::emu::ActivatableClasses()) {
        const std::wstring className(name.begin(), name.end());
        SCOPED_TRACE(std::string(className.begin(), className.end()));
        const std::wstring key = L"Software\\Microsoft\\WindowsRuntime\\ActivatableClassId\\" + className;
        wchar_t registered[MAX_PATH] = {};
        DWORD size = sizeof registered;
        ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DllPath", RRF_RT_REG_SZ, nullptr, registered, &size),
                  ERROR_SUCCESS);

        String activatable(className);
        IActivationFactory* factory = nullptr;
        ASSERT_EQ(RoGetActivationFactory(activatable.handle, __uuidof(IActivationFactory),
                                         reinterpret_cast<void**>(&factory)),
                  S_OK);
        // The factory's code, reached through its vtable, lives in the module the registry names.
        HMODULE answering = nullptr;
        EXPECT_TRUE(
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               *reinterpret_cast<LPCWSTR*>(factory), &answering));
        EXPECT_EQ(ModulePath(answering), FoldedPath(registered));
        factory->Release();
    }
}

}  // namespace
#endif
