// Scripted outcomes, queued by the call's place in the list of known calls, and the default delay.
#include "emulator/runtime/scripted_outcomes.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace velmora::emu {
namespace {

constexpr size_t kCalls = std::size(kKnownCalls);

std::mutex scriptMutex;
std::vector<Outcome> scripts[kCalls];   // by CallName::Index(), the next first; few are ever queued
std::atomic<int64_t> scriptedCount{0};  // outcomes queued in `scripts`, read without the lock
std::atomic<int64_t> defaultDelayUs{0};

}  // namespace

std::optional<std::string> OutcomeKindProblem(Outcome::Kind kind) {
    if (size_t(kind) < std::size(kOutcomeKindNames)) return std::nullopt;
    std::string kinds;
    for (size_t i = 0; i < std::size(kOutcomeKindNames); ++i)
        kinds += (i ? ", " : "") + std::string(kOutcomeKindNames[i]) + " (" + std::to_string(i) + ")";
    return "unknown outcome kind " + std::to_string(int(kind)) + "; the kinds are " + kinds;
}

void ScriptOutcome(std::string_view call, Outcome outcome, int times) {
    if (auto problem = CallNameProblem(call, true)) throw std::invalid_argument(*problem);
    if (auto problem = OutcomeKindProblem(outcome.kind)) throw std::invalid_argument(*problem);
    std::lock_guard lock(scriptMutex);
    auto& queue = scripts[CallName::Find(call)->Index()];
    for (int i = 0; i < times; ++i) queue.push_back(outcome);
    scriptedCount += std::max(times, 0);
}

Outcome NextOutcome(OperationName call) {
    if (scriptedCount.load(std::memory_order_relaxed) == 0) return Outcome{};
    std::lock_guard lock(scriptMutex);
    auto& queue = scripts[call.Index()];
    if (queue.empty()) return Outcome{};
    Outcome o = queue.front();
    queue.erase(queue.begin());
    --scriptedCount;
    return o;
}

void SetDefaultDelay(std::chrono::microseconds delay) { defaultDelayUs = delay.count(); }
std::chrono::microseconds DefaultDelay() { return std::chrono::microseconds(defaultDelayUs.load()); }

void ClearScripts() {
    std::lock_guard lock(scriptMutex);
    for (auto& queue : scripts) queue.clear();
    scriptedCount = 0;
}

std::vector<ScriptedOutcome> ScriptedOutcomes() {
    std::lock_guard lock(scriptMutex);
    std::vector<ScriptedOutcome> out;
    for (size_t i = 0; i < kCalls; ++i)
        for (const Outcome& o : scripts[i]) {
            if (!out.empty() && out.back().call == kKnownCalls[i].name && out.back().outcome == o) {
                ++out.back().times;
            } else {
                out.push_back({std::string(kKnownCalls[i].name), o, 1});
            }
        }
    return out;
}

}  // namespace velmora::emu
