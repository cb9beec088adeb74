#include "core/errors.h"

#include "platform/exceptions.h"

namespace HaldenPlugin {

[[gnu::noinline, gnu::cold]] void ThrowForHResult(ABI::HRESULT hr) {
    switch (static_cast<uint32_t>(hr)) {
#define PLATFORM_EXCEPTION_KIND(Name, code) \
    case code: throw Platform::Name(hr);
#include "platform/exception_kinds.inc"
#undef PLATFORM_EXCEPTION_KIND
        default: throw Platform::COMException(hr);
    }
}

}  // namespace HaldenPlugin
