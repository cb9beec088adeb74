// Activation factories of runtime classes, obtained for one use and released by the caller.
#pragma once

#include "core/errors.h"
#include "core/marshalling.h"
#include "platform/activation.h"

namespace HaldenPlugin {

template <class I>
ComPtr<I> GetActivationFactory(const char16_t* runtimeClass) {
    HStringOwner name = MakePlatformString(runtimeClass);
    ComPtr<I> factory;
    Check(RoGetActivationFactory(name.Get(), I::IID, reinterpret_cast<void**>(factory.Put())));
    return factory;
}

}  // namespace HaldenPlugin
