// Continues one platform asynchronous operation into exactly one completion event.
//
// The continuation is the operation's completed handler and runs inline, on the thread that
// finished the operation (a platform thread), or at once on the attaching thread when the
// operation had already finished. Running inline avoids a hop through a thread pool, which costs
// several times the throughput and adds latency, and keeps the plugin free of threads of its own.
// The continuation never calls a managed callback: it posts the record, and the host calls the
// callback when it delivers the event on its own thread.
#pragma once

#include "core/errors.h"
#include "core/event_types.h"
#include "core/module_state.h"
#include "platform/async.h"
#include "platform/com_ptr.h"
#include "platform/exceptions.h"
#include "platform/implements.h"

namespace HaldenPlugin {

namespace WF = ABI::Windows::Foundation;

// The failure code of a finished operation.
inline ABI::HRESULT ErrorCodeOf(ABI::IInspectable* operation) {
    ComPtr<WF::IAsyncInfo> info;
    ABI::HRESULT hr = operation->QueryInterface(WF::IAsyncInfo::IID, reinterpret_cast<void**>(info.Put()));
    if (ABI::Failed(hr)) return hr;
    ABI::HRESULT error = ABI::S_OK;
    hr = info->get_ErrorCode(&error);
    return ABI::Failed(hr) ? hr : error;
}

// Object-result and 32-bit-result kinds.
template <class EventT, class T>
class OperationContinuation final
    : public ABI::Implements<OperationContinuation<EventT, T>, WF::IAsyncOperationCompletedHandler<T>> {
    static constexpr bool kObject = std::is_pointer_v<T>;
    using Callback = decltype(EventT::callback);

public:
    OperationContinuation(Callback callback, void* userData) : callback_(callback), userData_(userData) {}

    ABI::HRESULT Invoke(WF::IAsyncOperation<T>* operation, WF::AsyncStatus status) override {
        EventT record{};
        record.callback = callback_;
        record.userData = userData_;
        if (status == WF::AsyncStatus::Completed) {
            T result{};
            // A success is HRESULT 0 whatever success code the read answered (S_FALSE with a result).
            if (const ABI::HRESULT read = operation->GetResults(&result); ABI::Failed(read)) {
                record.hr = read;
                result = T{};
            }
            // The reference GetResults handed over passes to managed code with the event.
            if constexpr (kObject) {
                record.result = result;
            } else {
                record.value = static_cast<uint32_t>(result);
            }
        } else if (status == WF::AsyncStatus::Error) {
            record.hr = ErrorCodeOf(operation);
        }  // cancelled: success code and no result
        PostEvent(record);
        return ABI::S_OK;
    }

private:
    Callback callback_;
    void* userData_;
};

// Action-status kind: the event carries the action's final status and error code.
template <class EventT>
class ActionContinuation final : public ABI::Implements<ActionContinuation<EventT>, WF::IAsyncActionCompletedHandler> {
public:
    ActionContinuation(WF::IAsyncAction* action, ManagedValueCallback callback, void* userData)
        : action_(action), callback_(callback), userData_(userData) {}

    ABI::HRESULT Invoke(WF::IAsyncAction*, WF::AsyncStatus status) override {
        EventT record{};
        record.callback = callback_;
        record.userData = userData_;
        try {
            ComPtr<WF::IAsyncInfo> info;
            Check(action_.As(&info));
            WF::AsyncStatus final = WF::AsyncStatus::Canceled;
            if (status != WF::AsyncStatus::Canceled) Check(info->get_Status(&final));
            Check(info->get_ErrorCode(&record.hr));
            record.value = static_cast<uint32_t>(final);
        } catch (const Platform::Exception& e) {
            record.value = static_cast<uint32_t>(WF::AsyncStatus::Error);
            record.hr = e.HResult();
        }
        PostEvent(record);
        return ABI::S_OK;
    }

private:
    ComPtr<WF::IAsyncAction> action_;
    ManagedValueCallback callback_;
    void* userData_;
};

// Attaches the continuation; true when exactly one event will follow. A null operation attaches
// nothing and answers false. A refused attachment throws.
template <class EventT, class T>
bool AttachCompletionContinuation(WF::IAsyncOperation<T>* operation, decltype(EventT::callback) callback,
                                  void* userData) {
    if (!operation) return false;
    auto handler = ComPtr<WF::IAsyncOperationCompletedHandler<T>>::Attach(
        new OperationContinuation<EventT, T>(callback, userData));
    Check(operation->put_Completed(handler.Get()));
    return true;
}

template <class EventT>
bool AttachCompletionContinuation(WF::IAsyncAction* action, ManagedValueCallback callback, void* userData) {
    if (!action) return false;
    auto handler =
        ComPtr<WF::IAsyncActionCompletedHandler>::Attach(new ActionContinuation<EventT>(action, callback, userData));
    Check(action->put_Completed(handler.Get()));
    return true;
}

}  // namespace HaldenPlugin
