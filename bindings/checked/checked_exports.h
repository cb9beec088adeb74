// The checked-exports shim: managed code reaches every export that can throw through a wrapper of
// the same name with the prefix VelmoraChecked_ and one more parameter, an HRESULT out-parameter.
// A managed runtime ends the process when a C++ exception reaches its frames, so the wrapper
// catches the platform exception, answers a zero result and hands its HRESULT back. The plugin
// itself is unchanged; the shim is bound to an already loaded plugin by VelmoraChecked_Bind.
#pragma once

#include <cstdint>
#include <exception>
#include <type_traits>

#include "platform/exceptions.h"
#include "velmora/velmora.h"

#if defined(_WIN32)
#define VELMORA_CHECKED_API __declspec(dllexport)
#else
#define VELMORA_CHECKED_API __attribute__((visibility("default")))
#endif

extern "C" {
// Binds the wrappers to the plugin library at `path` (UTF-8), which the host has usually loaded
// already. Answers 1 when every wrapped export was found, else 0 and leaves the reason for
// VelmoraChecked_LastError; a failed bind keeps the earlier binding.
VELMORA_CHECKED_API int32_t VelmoraChecked_Bind(const char* path);
// Why the last bind on this thread failed, or "" (cut to 2047 bytes, ending " [...]").
VELMORA_CHECKED_API const char* VelmoraChecked_LastError(void);
}

namespace velmora_checked {

// The address of a plugin export by name, or null.
using Resolver = void* (*)(void* context, const char* name);

// Binds every wrapper (generated from the export list); false when any export is missing.
bool BindAll(Resolver resolve, void* context);
void SetLastError(const char* message);

template <class Function>
bool Bind(Resolver resolve, void* context, const char* name, Function* slot) {
    *slot = reinterpret_cast<Function>(resolve(context, name));
    if (*slot == nullptr) SetLastError(name);
    return *slot != nullptr;
}

// E_UNEXPECTED: what a failure that is not a platform exception comes back as (a plugin defect, which
// must still not end the game's process).
inline constexpr int32_t kUnexpected = static_cast<int32_t>(0x8000FFFF);
// E_ILLEGAL_METHOD_CALL: a wrapper called before VelmoraChecked_Bind succeeded.
inline constexpr int32_t kNotBound = static_cast<int32_t>(0x8000000E);

template <class Result, class... Parameters, class... Arguments>
Result Call(int32_t* hr, Result (*plugin)(Parameters...), Arguments... arguments) noexcept {
    *hr = plugin == nullptr ? kNotBound : 0;
    if (plugin != nullptr) {
        try {
            return plugin(arguments...);
        } catch (const Platform::Exception& e) {
            *hr = e.HResult();
        } catch (...) {
            *hr = kUnexpected;
        }
    }
    if constexpr (!std::is_void_v<Result>) return Result{};
}

}  // namespace velmora_checked
