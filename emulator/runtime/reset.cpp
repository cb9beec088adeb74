// Reset: every service's registered state cleared, then the faults, the scripts and the default
// delay.
#include "emulator/runtime/reset.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/worker_pool.h"

namespace velmora::emu {
namespace {

std::mutex resetMutex;
std::vector<std::function<void()>>& ResetHooks() {
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

std::atomic<bool> resetKeepsSubscriptions{false};

}  // namespace

void OnReset(std::function<void()> clear) {
    std::lock_guard lock(resetMutex);
    ResetHooks().push_back(std::move(clear));
}

void SetResetKeepsSubscriptions(bool keep) { resetKeepsSubscriptions = keep; }
bool ResetKeepsSubscriptions() { return resetKeepsSubscriptions; }

void Reset() {
    WaitIdle();
    std::vector<std::function<void()>> hooks;
    {
        std::lock_guard lock(resetMutex);
        hooks = ResetHooks();
    }
    for (auto& clear : hooks) clear();
    WaitIdle();
    ClearFaults();
    ClearScripts();
    SetDefaultDelay(std::chrono::microseconds{0});
}

}  // namespace velmora::emu
