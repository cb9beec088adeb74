#include "core/errors.h"

#include "platform/exceptions.h"

namespace HaldenPlugin {

[[gnu::noinline, gnu::cold]] void ThrowForHResult(ABI::HRESULT hr) {
    switch (static_cast<uint32_t>(hr)) {
        case 0x8000000B: throw Platform::OutOfBoundsException(hr);
        case 0x8000000C: throw Platform::ChangedStateException(hr);
        case 0x80000013: throw Platform::ObjectDisposedException(hr);
        case 0x80004001: throw Platform::NotImplementedException(hr);
        case 0x80004002: throw Platform::InvalidCastException(hr);
        case 0x80004003: throw Platform::NullReferenceException(hr);
        case 0x80004004: throw Platform::OperationCanceledException(hr);
        case 0x80004005: throw Platform::FailureException(hr);
        case 0x80010108: throw Platform::DisconnectedException(hr);
        case 0x8001010E: throw Platform::WrongThreadException(hr);
        case 0x80040154: throw Platform::ClassNotRegisteredException(hr);
        case 0x80070005: throw Platform::AccessDeniedException(hr);
        case 0x8007000E: throw Platform::OutOfMemoryException(hr);
        case 0x80070057: throw Platform::InvalidArgumentException(hr);
        default: throw Platform::COMException(hr);
    }
}

}  // namespace HaldenPlugin
