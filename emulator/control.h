// What tests and tools use to steer and observe the emulator: live counts, injected faults and
// scripted outcomes. Plain types only, so code that must also include the system's own headers
// (the Windows parts of the emulator) can include it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#define EMU_API  // the emulator DLL exports every symbol (see emulator/CMakeLists.txt)
#else
#define EMU_API __attribute__((visibility("default")))
#endif

namespace velmora::emu {

// ---- Live counts --------------------------------------------------------------------------------

// Emulator objects alive now (an object dies at its last Release).
EMU_API int64_t LiveObjects();
// Platform strings alive now that our own code created or duplicated (duplicates that share one
// string count once).
EMU_API int64_t LiveStrings();

// ---- The runtime component ----------------------------------------------------------------------

// The runtime classes the emulated services make activatable (what the component's registration
// writes).
EMU_API std::vector<std::u16string> ActivatableClasses();

// ---- Faults and scripted outcomes ----------------------------------------------------------------

// Makes the named platform call answer `hr` instead of running: for the next `times` calls, or for
// every call when times < 0. Names are "<Interface>.<member>" ("IInventoryItem.get_ProductId"),
// "WindowsCreateString", "WindowsDuplicateString", or "RoGetActivationFactory:<runtime class>".
EMU_API void InjectFault(std::string_view call, int32_t hr, int times = -1);
// The injected failure for this call, or 0 (S_OK). Cheap when nothing is armed.
EMU_API int32_t TakeFault(std::string_view call);
EMU_API void ClearFaults();

// How a started asynchronous call ends.
struct Outcome {
    enum class Kind {
        Complete,               // runs the call's work on a worker thread after the delay
        CompleteSynchronously,  // finished before the operation is handed out
        Fail,                   // the operation fails with hr
        Cancel,                 // the operation is cancelled; an action reports hr as its error code
        NullResult,             // completes successfully with a null result
        FailStart,              // the starting call itself answers hr; no operation
        NullOperation,          // the starting call succeeds but hands out no operation
    };
    Kind kind = Kind::Complete;
    int32_t hr = 0;
    std::chrono::microseconds delay{-1};  // negative: the default delay

    bool operator==(const Outcome&) const = default;
};
// Queues an outcome for the next `times` starts of the named call ("IInventoryService.GetInventoryItemAsync").
EMU_API void ScriptOutcome(std::string_view call, Outcome outcome, int times = 1);
// The next scripted outcome of the call, or Complete with the default delay.
EMU_API Outcome NextOutcome(std::string_view call);
EMU_API void SetDefaultDelay(std::chrono::microseconds delay);
EMU_API std::chrono::microseconds DefaultDelay();
EMU_API void ClearScripts();

}  // namespace velmora::emu
