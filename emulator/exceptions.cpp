// The platform exception classes, defined once here as the console's runtime library defines them.
#include "platform/exceptions.h"

#include <cstdio>

namespace Platform {

Exception::Exception(ABI::HRESULT hr) : Exception(hr, "Exception") {}
Exception::Exception(ABI::HRESULT hr, const char* kind) : hr_(hr) {
    std::snprintf(message_, sizeof message_, "Platform::%s (0x%08X)", kind, static_cast<unsigned>(hr));
}
Exception::~Exception() = default;
const char* Exception::what() const noexcept { return message_; }

COMException::COMException(ABI::HRESULT hr) : COMException(hr, "COMException") {}
COMException::COMException(ABI::HRESULT hr, const char* kind) : Exception(hr, kind) {}
COMException::~COMException() = default;

#define PLATFORM_EXCEPTION_KIND(Name, code)                  \
    Name::Name(ABI::HRESULT hr) : COMException(hr, #Name) {} \
    Name::~Name() = default;
#include "platform/exception_kinds.inc"
#undef PLATFORM_EXCEPTION_KIND

}  // namespace Platform
