// The start of an emulated asynchronous action following its scripted outcome.
#include "emulator/runtime/async.h"

namespace velmora::emu {

HRESULT StartAction(OperationName call, std::function<HRESULT()> work, IAsyncAction** action) {
    if (!action) return E_POINTER;
    *action = nullptr;
    const Outcome outcome = NextOutcome(call);
    using K = Outcome::Kind;
    if (outcome.kind == K::FailStart) return outcome.hr;
    if (outcome.kind == K::NullOperation) return S_OK;
    auto op = Make<AsyncAction>();
    auto finish = [op, outcome, work = std::move(work)] {
        switch (outcome.kind) {
            case K::Fail:
                return op->Fail(outcome.hr);
            case K::Cancel:
                return op->CancelWith(outcome.hr);
            default:
                break;
        }
        const HRESULT hr = work();
        Failed(hr) ? op->Fail(hr) : op->Complete();
    };
    if (outcome.kind == K::CompleteSynchronously) {
        finish();
    } else {
        Submit(InBlock(std::move(finish)), outcome.delay.count() < 0 ? DefaultDelay() : outcome.delay);
    }
    *action = op.Detach();
    return S_OK;
}

}  // namespace velmora::emu
