// Activation by runtime-class name, where the system has no runtime: the system's own
// "Windows.System.Threading.ThreadPool", and every other class from the emulated services'
// component, reached through its DllGetActivationFactory as the system's activation reaches it.
#include "emulator/runtime/async.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/services/component.h"
#include "platform/threadpool.h"

namespace velmora::emu {
namespace {

using ::ABI::Windows::System::Threading::IThreadPoolStatics;
using ::ABI::Windows::System::Threading::IWorkItemHandler;
using ::ABI::Windows::System::Threading::RuntimeClass_ThreadPool;

class ThreadPoolStatics : public RuntimeObject<ThreadPoolStatics, IActivationFactory, IThreadPoolStatics> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.System.Threading.ThreadPool";
    HRESULT ActivateInstance(IInspectable**) override { return E_NOTIMPL; }
    HRESULT RunAsync(IWorkItemHandler* handler, IAsyncAction** operation) override {
        if (!handler || !operation) return E_POINTER;
        auto action = Make<AsyncAction>();
        Submit([action, h = ComPtr<IWorkItemHandler>(handler)] {
            const HRESULT hr = h->Invoke(action.Get());
            Failed(hr) ? action->Fail(hr) : action->Complete();
        });
        *operation = action.Detach();
        return S_OK;
    }
};

}  // namespace
}  // namespace velmora::emu

using namespace velmora::emu;

HRESULT RoGetActivationFactory(HSTRING activatableClassId, const Guid& iid, void** factory) {
    if (!factory) return E_POINTER;
    *factory = nullptr;
    ComPtr<IActivationFactory> made;
    const HRESULT hr = ToU16(activatableClassId) == RuntimeClass_ThreadPool
                           ? NewFactory<ThreadPoolStatics>(made.Put())
                           : DllGetActivationFactory(activatableClassId, made.Put());
    if (Failed(hr)) return hr;
    return made->QueryInterface(iid, factory);
}
