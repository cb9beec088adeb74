// Work submission to the platform's thread pool.
#pragma once

#include "platform/async.h"

namespace ABI::Windows::System::Threading {

struct IWorkItemHandler : IUnknown {
    static constexpr Guid IID{0x1D1A8B8B, 0xFA66, 0x414F, {0x9C, 0xBD, 0xB6, 0x5E, 0x13, 0x5E, 0x3F, 0xE0}};
    virtual HRESULT Invoke(Foundation::IAsyncAction* operation) = 0;

protected:
    ~IWorkItemHandler() = default;
};

// Statics of "Windows.System.Threading.ThreadPool".
struct IThreadPoolStatics : IInspectable {
    static constexpr Guid IID{0xB6BF67DD, 0x84BD, 0x44F8, {0xAC, 0x1C, 0x93, 0xEB, 0xCB, 0x9D, 0xBA, 0x91}};
    virtual HRESULT RunAsync(IWorkItemHandler* handler, Foundation::IAsyncAction** operation) = 0;

protected:
    ~IThreadPoolStatics() = default;
};

constexpr char16_t RuntimeClass_ThreadPool[] = u"Windows.System.Threading.ThreadPool";

}  // namespace ABI::Windows::System::Threading
