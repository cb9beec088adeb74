// Asynchronous operations and actions with their completed handlers.
#pragma once

#include "platform/com_base.h"

namespace ABI::Windows::Foundation {

enum class AsyncStatus : int32_t { Started = 0, Completed = 1, Canceled = 2, Error = 3 };

struct IAsyncInfo : IInspectable {
    static constexpr Guid IID{0x00000036, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    virtual HRESULT get_Id(uint32_t* id) = 0;
    virtual HRESULT get_Status(AsyncStatus* status) = 0;
    virtual HRESULT get_ErrorCode(HRESULT* errorCode) = 0;
    virtual HRESULT Cancel() = 0;
    virtual HRESULT Close() = 0;

protected:
    ~IAsyncInfo() = default;
};

struct IAsyncAction;

struct IAsyncActionCompletedHandler : IUnknown {
    static constexpr Guid IID{0xA4ED5C81, 0x76C9, 0x40BD, {0x8B, 0xE6, 0xB1, 0xD9, 0x0F, 0xB2, 0x0A, 0xE7}};
    virtual HRESULT Invoke(IAsyncAction* asyncInfo, AsyncStatus status) = 0;

protected:
    ~IAsyncActionCompletedHandler() = default;
};

struct IAsyncAction : IInspectable {
    static constexpr Guid IID{0x5A648006, 0x843A, 0x4DA9, {0x86, 0x5B, 0x9D, 0x26, 0xE5, 0xDF, 0xAD, 0x7B}};
    // A handler set after completion runs at once; a second assignment is refused.
    virtual HRESULT put_Completed(IAsyncActionCompletedHandler* handler) = 0;
    virtual HRESULT get_Completed(IAsyncActionCompletedHandler** handler) = 0;
    virtual HRESULT GetResults() = 0;

protected:
    ~IAsyncAction() = default;
};

template <class T>
struct IAsyncOperation;

template <class T>
struct IAsyncOperationCompletedHandler : IUnknown {
    static constexpr Guid IID = MixGuid({0xFCDCF02C, 0xE5D8, 0x4478, {0x91, 0x5A, 0x4D, 0x90, 0xB7, 0x4B, 0x83, 0xA5}},
                                        SignatureOf<T>::value);
    virtual HRESULT Invoke(IAsyncOperation<T>* asyncInfo, AsyncStatus status) = 0;

protected:
    ~IAsyncOperationCompletedHandler() = default;
};

// T is the result's ABI type: an interface pointer, or a 32-bit value.
template <class T>
struct IAsyncOperation : IInspectable {
    static constexpr Guid IID = MixGuid({0x9FC2B0BB, 0xE446, 0x44E2, {0xAA, 0x61, 0x9C, 0xAB, 0x8F, 0x63, 0x6A, 0xF2}},
                                        SignatureOf<T>::value);
    using ResultType = T;
    virtual HRESULT put_Completed(IAsyncOperationCompletedHandler<T>* handler) = 0;
    virtual HRESULT get_Completed(IAsyncOperationCompletedHandler<T>** handler) = 0;
    virtual HRESULT GetResults(T* results) = 0;

protected:
    ~IAsyncOperation() = default;
};

}  // namespace ABI::Windows::Foundation
