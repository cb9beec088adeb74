// What is wrong with a call's name, with the closest known names.
#include "emulator/runtime/known_calls.h"

#include <vector>

#include "emulator/runtime/closest_names.h"

namespace velmora::emu {

std::optional<std::string> CallNameProblem(std::string_view call, bool forOutcome) {
    const auto found = CallName::Find(call);
    if (found && (!forOutcome || found->StartsOperation())) return std::nullopt;
    std::vector<std::string_view> candidates;
    for (const KnownCall& k : kKnownCalls)
        if (!forOutcome || k.startsOperation) candidates.push_back(k.name);
    const std::string named = "\"" + std::string(call) + "\"";
    const std::string suggestion = "did you mean " + QuotedChoice(ClosestNames(call, candidates)) + "?";
    if (found) return named + " starts no asynchronous operation, so no outcome can be scripted for it; " + suggestion;
    return "unknown call " + named + "; " + suggestion;
}

}  // namespace velmora::emu
