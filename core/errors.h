// Error translation: a failing HRESULT becomes the platform exception of its kind. The throw
// lives out of line, so the happy path of a check is one test of the sign bit.
#pragma once

#include "platform/com_base.h"

namespace HaldenPlugin {

[[noreturn]] void ThrowForHResult(ABI::HRESULT hr);

inline void Check(ABI::HRESULT hr) {
    if (hr < 0) [[unlikely]]
        ThrowForHResult(hr);
}

}  // namespace HaldenPlugin
