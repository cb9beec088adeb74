// Injected faults, kept by the call's place in the list of known calls.
#include "emulator/runtime/faults.h"

#include <atomic>
#include <iterator>
#include <mutex>
#include <stdexcept>

#include "platform/com_base.h"

namespace velmora::emu {

using ::ABI::HRESULT;
using ::ABI::S_OK;

namespace {

constexpr size_t kCalls = std::size(kKnownCalls);

struct Armed {
    HRESULT hr = S_OK;
    int remaining = 0;  // < 0: every call; 0: not armed
};
std::mutex faultMutex;
Armed faults[kCalls];            // by CallName::Index()
std::atomic<int> faultCount{0};  // calls armed now, read without the lock

}  // namespace

void InjectFault(std::string_view call, HRESULT hr, int times) {
    if (auto problem = CallNameProblem(call, false)) throw std::invalid_argument(*problem);
    std::lock_guard lock(faultMutex);
    Armed& armed = faults[CallName::Find(call)->Index()];
    if (armed.remaining == 0) ++faultCount;
    armed = Armed{hr, times};
    if (armed.remaining == 0) --faultCount;
}

HRESULT TakeFault(CallName call) {
    if (faultCount.load(std::memory_order_relaxed) == 0) return S_OK;
    std::lock_guard lock(faultMutex);
    Armed& armed = faults[call.Index()];
    if (armed.remaining == 0) return S_OK;
    if (armed.remaining > 0 && --armed.remaining == 0) --faultCount;
    return armed.hr;
}

void ClearFaults() {
    std::lock_guard lock(faultMutex);
    for (Armed& armed : faults) armed = Armed{};
    faultCount = 0;
}

std::vector<InjectedFault> InjectedFaults() {
    std::lock_guard lock(faultMutex);
    std::vector<InjectedFault> out;
    for (size_t i = 0; i < kCalls; ++i)
        if (faults[i].remaining != 0)
            out.push_back({std::string(kKnownCalls[i].name), faults[i].hr, faults[i].remaining});
    return out;
}

}  // namespace velmora::emu
