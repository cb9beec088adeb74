// The start of an emulated asynchronous action following its scripted outcome.
#include "emulator/runtime/async.h"

namespace velmora::emu {

HRESULT StartAction(OperationName call, std::function<HRESULT()> work, IAsyncAction** action) {
    return Start<AsyncAction>(call, std::move(work), action);
}

}  // namespace velmora::emu
