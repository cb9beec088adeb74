// Scripted outcomes: how the next starts of an asynchronous call end (completed, at once or after a
// delay, failed, cancelled, with a null result, a failing start, no operation). Plain types only, so
// the Windows parts of the emulator can include it beside the system's own headers.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/runtime/export.h"
#include "emulator/runtime/known_calls.h"

namespace velmora::emu {

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

// Outcomes queued now for a call: `times` equal ones in a row.
struct ScriptedOutcome {
    std::string call;
    Outcome outcome;
    int times = 1;

    bool operator==(const ScriptedOutcome&) const = default;
};
// What is queued now, call by call in the order of kKnownCalls, each call's in the order its starts
// will take them.
EMU_API std::vector<ScriptedOutcome> ScriptedOutcomes();

// 'unknown outcome kind 9; the kinds are Complete (0), ...', or nothing for a known kind.
EMU_API std::optional<std::string> OutcomeKindProblem(Outcome::Kind kind);

}  // namespace velmora::emu
