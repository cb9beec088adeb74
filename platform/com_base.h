// COM base of the platform runtime: HRESULT, GUIDs, IUnknown and IInspectable.
// Fixed-width types only, so the layout is the same on every target.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#define PLATFORM_RUNTIME_API __declspec(dllimport)
#else
#define PLATFORM_RUNTIME_API __attribute__((visibility("default")))
#endif

namespace ABI {

using HRESULT = int32_t;
using boolean = uint8_t;  // the runtime's one-byte boolean; any byte value can arrive

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_BOUNDS = static_cast<HRESULT>(0x8000000B);
constexpr HRESULT E_CHANGED_STATE = static_cast<HRESULT>(0x8000000C);
constexpr HRESULT E_ILLEGAL_METHOD_CALL = static_cast<HRESULT>(0x8000000E);
constexpr HRESULT E_ILLEGAL_DELEGATE_ASSIGNMENT = static_cast<HRESULT>(0x80000018);
constexpr HRESULT RO_E_CLOSED = static_cast<HRESULT>(0x80000013);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT RPC_E_DISCONNECTED = static_cast<HRESULT>(0x80010108);
constexpr HRESULT RPC_E_WRONG_THREAD = static_cast<HRESULT>(0x8001010E);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT E_NOT_FOUND = static_cast<HRESULT>(0x80070490);

constexpr bool Failed(HRESULT hr) { return hr < 0; }

struct Guid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(Guid) == 16);

constexpr bool operator==(const Guid& a, const Guid& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

// A derived id for a parameterized interface instance: the generic interface's id mixed with the
// signature id of its argument, so IVectorView<HSTRING> and IVectorView<uint32_t> differ.
constexpr Guid MixGuid(const Guid& generic, const Guid& argument) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const Guid& g) {
        const uint8_t bytes[8] = {uint8_t(g.Data1), uint8_t(g.Data1 >> 8), uint8_t(g.Data1 >> 16), uint8_t(g.Data1 >> 24),
                                  uint8_t(g.Data2), uint8_t(g.Data2 >> 8), uint8_t(g.Data3), uint8_t(g.Data3 >> 8)};
        for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
        for (uint8_t b : g.Data4) h = (h ^ b) * 1099511628211ull;
    };
    mix(generic);
    mix(argument);
    const uint64_t l = h;
    mix(argument);
    const uint64_t r = h;
    return Guid{uint32_t(l), uint16_t(l >> 32), uint16_t((l >> 48 & 0x0FFF) | 0x5000),
                {uint8_t((r & 0x3F) | 0x80), uint8_t(r >> 8), uint8_t(r >> 16), uint8_t(r >> 24), uint8_t(r >> 32),
                 uint8_t(r >> 40), uint8_t(r >> 48), uint8_t(r >> 56)}};
}

struct IUnknown {
    static constexpr Guid IID{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    virtual HRESULT QueryInterface(const Guid& iid, void** object) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

struct HSTRING__;
using HSTRING = HSTRING__*;

enum class TrustLevel : int32_t { BaseTrust = 0, PartialTrust = 1, FullTrust = 2 };

struct IInspectable : IUnknown {
    static constexpr Guid IID{0xAF86E2E0, 0xB12D, 0x4C6A, {0x9C, 0x5A, 0xD7, 0xAA, 0x65, 0x10, 0x1E, 0x90}};
    virtual HRESULT GetIids(uint32_t* count, Guid** iids) = 0;
    virtual HRESULT GetRuntimeClassName(HSTRING* className) = 0;
    virtual HRESULT GetTrustLevel(TrustLevel* level) = 0;

protected:
    ~IInspectable() = default;
};

// The interface id of I: its own IID constant.
template <class I>
inline constexpr Guid IidOf = I::IID;

// The signature id of a value type that parameterizes a generic interface.
template <class T>
struct SignatureOf;
template <class I>
struct SignatureOf<I*> {
    static constexpr Guid value = I::IID;
};
template <>
struct SignatureOf<HSTRING> {
    static constexpr Guid value{0x53545249, 0x4E47, 0x0000, {0, 0, 0, 0, 0, 0, 0, 1}};
};
template <>
struct SignatureOf<uint32_t> {
    static constexpr Guid value{0x55493332, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 2}};
};
template <>
struct SignatureOf<int32_t> {
    static constexpr Guid value{0x49333200, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 3}};
};

struct EventRegistrationToken {
    int64_t value;
};

}  // namespace ABI
