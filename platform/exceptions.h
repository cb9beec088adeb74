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

// One class per kind, each carrying the HRESULT it was raised for.
#define PLATFORM_EXCEPTION_KIND(Name, code)                \
    class PLATFORM_RUNTIME_API Name : public COMException { \
    public:                                                \
        explicit Name(ABI::HRESULT hr);                    \
        ~Name() override;                                  \
    };
#include "platform/exception_kinds.inc"
#undef PLATFORM_EXCEPTION_KIND

}  // namespace Platform
