// Injected faults: a platform call made to answer a chosen HRESULT instead of running. Plain types
// only, so the Windows parts of the emulator can include it beside the system's own headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/runtime/export.h"
#include "emulator/runtime/known_calls.h"

namespace velmora::emu {

// Makes the named platform call answer `hr` instead of running: for the next `times` calls, or for
// every call when times < 0 (0: none, which disarms the call). Names are those of kKnownCalls:
// "<Interface>.<member>" ("IInventoryItem.get_ProductId"), "WindowsCreateString",
// "WindowsDuplicateString", or "RoGetActivationFactory:<runtime class>". Any other name throws
// std::invalid_argument with CallNameProblem's message, and nothing changes.
EMU_API void InjectFault(std::string_view call, int32_t hr, int times = -1);
// The injected failure for this call, or 0 (S_OK). Cheap when nothing is armed.
EMU_API int32_t TakeFault(CallName call);
EMU_API void ClearFaults();

// A fault armed now: the call, what it answers, and how many more calls it fails (-1: every call).
struct InjectedFault {
    std::string call;
    int32_t hr = 0;
    int times = -1;

    bool operator==(const InjectedFault&) const = default;
};
// The faults armed now, in the order of kKnownCalls.
EMU_API std::vector<InjectedFault> InjectedFaults();

}  // namespace velmora::emu
