// The emulated console services as a runtime component: the classes they make activatable, and the
// entry points through which the system's activation reaches the emulated services.
#pragma once

#include <string_view>

#include "emulator/runtime/objects.h"
#include "emulator/services/activatable_classes.h"
#include "platform/activation.h"

namespace velmora::emu {

// The runtime classes the emulated console services make activatable, each with the function that
// makes its activation factory. The services register theirs when the emulator loads; the system's
// activation finds them through DllGetActivationFactory.
using FactoryFunction = HRESULT (*)(IActivationFactory** factory);
EMU_API void RegisterActivatableClass(std::u16string_view runtimeClass, FactoryFunction factory);
template <class Factory>
HRESULT NewFactory(IActivationFactory** factory) {
    *factory = Make<Factory>().Detach();
    return S_OK;
}

}  // namespace velmora::emu

extern "C" {
// The activation factory of a class this component serves; REGDB_E_CLASSNOTREG for any other.
EMU_API ABI::HRESULT DllGetActivationFactory(ABI::HSTRING activatableClassId, ABI::IActivationFactory** factory);
// S_FALSE: the component stays loaded until the process ends.
EMU_API ABI::HRESULT DllCanUnloadNow();
}
