// What tests and tools use to steer and observe the emulator: live counts, injected faults and
// scripted outcomes. Plain types only, so code that must also include the system's own headers
// (the Windows parts of the emulator) can include it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/known_calls.h"

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
// every call when times < 0 (0: none, which disarms the call). Names are those of kKnownCalls:
// "<Interface>.<member>" ("IInventoryItem.get_ProductId"), "WindowsCreateString",
// "WindowsDuplicateString", or "RoGetActivationFactory:<runtime class>". Any other name throws
// std::invalid_argument with CallNameProblem's message, and nothing changes.
EMU_API void InjectFault(std::string_view call, int32_t hr, int times = -1);
// The injected failure for this call, or 0 (S_OK). Cheap when nothing is armed.
EMU_API int32_t TakeFault(CallName call);
EMU_API void ClearFaults();

// How a started asynchronous call ends.
struct Outcome {
    // The completing kinds (Complete, CompleteSynchronously, NullResult) take a success code in hr
    // (S_FALSE, say) as what an operation's GetResults answers with its result.
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
// The kinds' names, in the order of their values (a scenario's "kind").
inline constexpr std::string_view kOutcomeKindNames[] = {
    "Complete", "CompleteSynchronously", "Fail", "Cancel", "NullResult", "FailStart", "NullOperation",
};
static_assert(std::size(kOutcomeKindNames) == size_t(Outcome::Kind::NullOperation) + 1);

// Queues an outcome for the next `times` starts of the named call ("IInventoryService.GetInventoryItemAsync").
// A name that is not a call of kKnownCalls starting an operation, or an outcome of no known kind,
// throws std::invalid_argument with CallNameProblem's or OutcomeKindProblem's message, and nothing
// changes.
EMU_API void ScriptOutcome(std::string_view call, Outcome outcome, int times = 1);
// The next scripted outcome of the call, or Complete with the default delay.
EMU_API Outcome NextOutcome(OperationName call);
EMU_API void SetDefaultDelay(std::chrono::microseconds delay);
EMU_API std::chrono::microseconds DefaultDelay();
EMU_API void ClearScripts();

// What is wrong with a call's name for a fault (`forOutcome` false) or a scripted outcome (true), or
// nothing: 'unknown call "IInventoryService.GetInventoryItemAsyn"; did you mean
// "IInventoryService.GetInventoryItemAsync" or "IInventoryService.GetInventoryItemsAsync"?'
EMU_API std::optional<std::string> CallNameProblem(std::string_view call, bool forOutcome);
// 'unknown outcome kind 9; the kinds are Complete (0), ...', or nothing for a known kind.
EMU_API std::optional<std::string> OutcomeKindProblem(Outcome::Kind kind);

}  // namespace velmora::emu
