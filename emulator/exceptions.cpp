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

#define PLATFORM_EXCEPTION_KIND(Name)                         \
    Name::Name(ABI::HRESULT hr) : COMException(hr, #Name) {} \
    Name::~Name() = default;
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
