// The platform exception family, as the console SDK's headers define it for the code a title
// compiles: one class per kind, each carrying the HRESULT it was raised for. Every module that
// throws or catches one compiles the same inline classes, and they match by name across modules.
#pragma once

#include <cstdio>
#include <exception>

#include "platform/com_base.h"

namespace Platform {

class Exception : public std::exception {
public:
    explicit Exception(ABI::HRESULT hr) : Exception(hr, "Exception") {}
    ABI::HRESULT HResult() const noexcept { return hr_; }
    // "Platform::<Kind>Exception (0x8XXXXXXX)".
    const char* what() const noexcept override { return message_; }

protected:
    Exception(ABI::HRESULT hr, const char* kind) : hr_(hr) {
        std::snprintf(message_, sizeof message_, "Platform::%s (0x%08X)", kind, static_cast<unsigned>(hr));
    }

private:
    ABI::HRESULT hr_;
    char message_[72];
};

class COMException : public Exception {
public:
    explicit COMException(ABI::HRESULT hr) : COMException(hr, "COMException") {}

protected:
    COMException(ABI::HRESULT hr, const char* kind) : Exception(hr, kind) {}
};

#define PLATFORM_EXCEPTION_KIND(Name, code)                         \
    class Name : public COMException {                              \
    public:                                                         \
        explicit Name(ABI::HRESULT hr) : COMException(hr, #Name) {} \
    };
#include "platform/exception_kinds.inc"
#undef PLATFORM_EXCEPTION_KIND

}  // namespace Platform
