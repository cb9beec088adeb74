// Asynchronous operations and actions with the console's semantics (status, error code,
// GetResults; a handler set after completion runs at once; a second handler assignment fails), and
// the start of an emulated asynchronous call following its scripted outcome.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>

#include "emulator/runtime/objects.h"
#include "emulator/runtime/recycled_blocks.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/vectors.h"
#include "emulator/runtime/worker_pool.h"
#include "platform/async.h"

namespace velmora::emu {

using ::ABI::Windows::Foundation::AsyncStatus;
using ::ABI::Windows::Foundation::IAsyncAction;
using ::ABI::Windows::Foundation::IAsyncActionCompletedHandler;
using ::ABI::Windows::Foundation::IAsyncInfo;
using ::ABI::Windows::Foundation::IAsyncOperation;
using ::ABI::Windows::Foundation::IAsyncOperationCompletedHandler;

// Completion state shared by operations and actions: status, error code, and the one completed
// handler, which runs once, outside any lock, on the completing thread (or at once when set after
// completion).
template <class Derived, class Handler>
class AsyncState {
public:
    HRESULT SetHandler(Handler* handler) {
        std::unique_lock lock(mutex_);
        if (handlerAssigned_) return E_ILLEGAL_DELEGATE_ASSIGNMENT;
        handlerAssigned_ = true;
        if (status_ == AsyncStatus::Started) {
            handler_ = ComPtr<Handler>(handler);
            return S_OK;
        }
        const AsyncStatus status = status_;
        lock.unlock();
        if (handler) handler->Invoke(static_cast<Derived*>(this), status);
        return S_OK;
    }
    HRESULT GetHandler(Handler** handler) {
        std::lock_guard lock(mutex_);
        *handler = ComPtr<Handler>(handler_).Detach();
        return S_OK;
    }
    AsyncStatus Status() {
        std::lock_guard lock(mutex_);
        return status_;
    }
    HRESULT ErrorCode() {
        std::lock_guard lock(mutex_);
        return error_;
    }

protected:
    // Moves to a final state once; later transitions are ignored. `settle` runs under the lock
    // just before the state changes (an operation stores its result there).
    template <class Settle>
    bool Finish(AsyncStatus status, HRESULT error, Settle settle) {
        ComPtr<Handler> handler;
        {
            std::lock_guard lock(mutex_);
            if (status_ != AsyncStatus::Started) return false;
            settle();
            status_ = status;
            error_ = error;
            handler = std::move(handler_);
        }
        if (handler) handler->Invoke(static_cast<Derived*>(this), status);
        return true;
    }
    bool Finish(AsyncStatus status, HRESULT error) {
        return Finish(status, error, [] {});
    }
    // The status and error code as they are now; the caller holds mutex_.
    AsyncStatus StatusLocked() const { return status_; }
    HRESULT ErrorLocked() const { return error_; }
    std::mutex mutex_;

private:
    AsyncStatus status_ = AsyncStatus::Started;
    HRESULT error_ = S_OK;
    bool handlerAssigned_ = false;
    ComPtr<Handler> handler_;
};

inline std::atomic<uint32_t> nextAsyncId{1};

template <class T>
class AsyncOperation : public RuntimeObject<AsyncOperation<T>, IAsyncOperation<T>, IAsyncInfo>,
                       public AsyncState<AsyncOperation<T>, IAsyncOperationCompletedHandler<T>> {
    using State = AsyncState<AsyncOperation<T>, IAsyncOperationCompletedHandler<T>>;

public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Foundation.IAsyncOperation`1";
    // Completion with a result (a new reference is taken on an interface result). GetResults then
    // answers `readCode`, a success code (a platform may answer S_FALSE with a result).
    void Complete(T result, HRESULT readCode = S_OK) {
        this->Finish(AsyncStatus::Completed, S_OK, [&] {
            result_ = Slot<T>::Store(result);
            readCode_ = readCode;
        });
    }
    void Fail(HRESULT hr) { this->Finish(AsyncStatus::Error, hr); }

    HRESULT put_Completed(IAsyncOperationCompletedHandler<T>* handler) override { return this->SetHandler(handler); }
    HRESULT get_Completed(IAsyncOperationCompletedHandler<T>** handler) override { return this->GetHandler(handler); }
    HRESULT GetResults(T* results) override {
        if (!results) return E_POINTER;
        std::lock_guard lock(this->mutex_);
        switch (this->StatusLocked()) {
            case AsyncStatus::Completed:
                *results = Slot<T>::Give(result_);
                return readCode_;
            case AsyncStatus::Error:
                return this->ErrorLocked();
            default:
                return E_ILLEGAL_METHOD_CALL;
        }
    }
    HRESULT get_Id(uint32_t* id) override {
        *id = id_;
        return S_OK;
    }
    HRESULT get_Status(AsyncStatus* status) override {
        *status = this->Status();
        return S_OK;
    }
    HRESULT get_ErrorCode(HRESULT* error) override {
        *error = this->ErrorCode();
        return S_OK;
    }
    HRESULT Cancel() override {
        this->Finish(AsyncStatus::Canceled, S_OK);
        return S_OK;
    }
    HRESULT Close() override { return S_OK; }

private:
    typename Slot<T>::Stored result_{};
    HRESULT readCode_ = S_OK;
    uint32_t id_ = nextAsyncId++;
};

class AsyncAction : public RuntimeObject<AsyncAction, IAsyncAction, IAsyncInfo>,
                    public AsyncState<AsyncAction, IAsyncActionCompletedHandler> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Foundation.IAsyncAction";
    void Complete() { Finish(AsyncStatus::Completed, S_OK); }
    void Fail(HRESULT hr) { Finish(AsyncStatus::Error, hr); }
    void CancelWith(HRESULT errorCode) { Finish(AsyncStatus::Canceled, errorCode); }

    HRESULT put_Completed(IAsyncActionCompletedHandler* handler) override { return SetHandler(handler); }
    HRESULT get_Completed(IAsyncActionCompletedHandler** handler) override { return GetHandler(handler); }
    HRESULT GetResults() override {
        switch (Status()) {
            case AsyncStatus::Completed:
                return S_OK;
            case AsyncStatus::Error:
                return ErrorCode();
            default:
                return E_ILLEGAL_METHOD_CALL;
        }
    }
    HRESULT get_Id(uint32_t* id) override {
        *id = id_;
        return S_OK;
    }
    HRESULT get_Status(AsyncStatus* status) override {
        *status = Status();
        return S_OK;
    }
    HRESULT get_ErrorCode(HRESULT* error) override {
        *error = ErrorCode();
        return S_OK;
    }
    HRESULT Cancel() override {
        CancelWith(S_OK);
        return S_OK;
    }
    HRESULT Close() override { return S_OK; }

private:
    uint32_t id_ = nextAsyncId++;
};

// What a service's work answers when the operation runs: a failing hr fails the operation.
template <class T>
struct WorkResult {
    HRESULT hr = S_OK;
    typename Slot<T>::Stored value{};
};

// Starts an emulated asynchronous call named `call` following its scripted outcome. `work` runs
// when the operation completes (on a worker thread, or at once for synchronous completion) and
// produces the result or a failure.
template <class T, class Work>
HRESULT StartOperation(OperationName call, Work work, IAsyncOperation<T>** operation) {
    if (!operation) return E_POINTER;
    *operation = nullptr;
    const Outcome outcome = NextOutcome(call);
    using K = Outcome::Kind;
    if (outcome.kind == K::FailStart) return outcome.hr;
    if (outcome.kind == K::NullOperation) return S_OK;
    auto op = Make<AsyncOperation<T>>();
    auto finish = [op, outcome, work = std::move(work)] {
        const HRESULT readCode = Failed(outcome.hr) ? S_OK : outcome.hr;  // a completion's success code
        switch (outcome.kind) {
            case K::Fail:
                op->Fail(outcome.hr);
                return;
            case K::Cancel:
                op->Cancel();
                return;
            case K::NullResult:
                op->Complete(T{}, readCode);
                return;
            default:
                break;
        }
        WorkResult<T> r = work();
        if (Failed(r.hr)) return op->Fail(r.hr);
        op->Complete(Slot<T>::Peek(r.value), readCode);
    };
    if (outcome.kind == K::CompleteSynchronously) {
        finish();
    } else {
        Submit(InBlock(std::move(finish)), outcome.delay.count() < 0 ? DefaultDelay() : outcome.delay);
    }
    *operation = op.Detach();
    return S_OK;
}

// The same for an action; `work` answers the action's failure code, or S_OK.
EMU_API HRESULT StartAction(OperationName call, std::function<HRESULT()> work, IAsyncAction** action);

}  // namespace velmora::emu
