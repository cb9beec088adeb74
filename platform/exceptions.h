// The platform exception family. The classes are defined by the runtime library, so a host
// can catch what an export throws with the same type identity.
#pragma once

#include <exception>

#include "platform/com_base.h"

namespace Platform {

class PLATFORM_RUNTIME_API Exception : public std::exception {
public:
    explicit Exception(ABI::HRESULT hr);
    ~Exception() override;
    ABI::HRESULT HResult() const noexcept { return hr_; }
    // "Platform::<Kind>Exception (0x8XXXXXXX)".
    const char* what() const noexcept override;

protected:
    Exception(ABI::HRESULT hr, const char* kind);

private:
    ABI::HRESULT hr_;
    char message_[72];
};

class PLATFORM_RUNTIME_API COMException : public Exception {
public:
    explicit COMException(ABI::HRESULT hr);
    ~COMException() override;

protected:
    COMException(ABI::HRESULT hr, const char* kind);
};

#define PLATFORM_EXCEPTION_KIND(Name)                      \
    class PLATFORM_RUNTIME_API Name : public COMException { \
    public:                                                \
        explicit Name(ABI::HRESULT hr);                    \
        ~Name() override;                                  \
    };
PLATFORM_EXCEPTION_KIND(OutOfBoundsException)
PLATFORM_EXCEPTION_KIND(ChangedStateException)
PLATFORM_EXCEPTION_KIND(ObjectDisposedException)
PLATFORM_EXCEPTION_KIND(NotImplementedException)
PLATFORM_EXCEPTION_KIND(InvalidCastException)
PLATFORM_EXCEPTION_KIND(NullReferenceException)
PLATFORM_EXCEPTION_KIND(OperationCanceledException)
PLATFORM_EXCEPTION_KIND(FailureException)
PLATFORM_EXCEPTION_KIND(DisconnectedException)
PLATFORM_EXCEPTION_KIND(WrongThreadException)
PLATFORM_EXCEPTION_KIND(ClassNotRegisteredException)
PLATFORM_EXCEPTION_KIND(AccessDeniedException)
PLATFORM_EXCEPTION_KIND(OutOfMemoryException)
PLATFORM_EXCEPTION_KIND(InvalidArgumentException)
#undef PLATFORM_EXCEPTION_KIND

}  // namespace Platform
