// The entry points through which the system's activation reaches the emulated services' runtime
// component.
#pragma once

#include "emulator/runtime/runtime.h"

extern "C" {
// The activation factory of a class this component serves; REGDB_E_CLASSNOTREG for any other.
EMU_API ABI::HRESULT DllGetActivationFactory(ABI::HSTRING activatableClassId, ABI::IActivationFactory** factory);
// S_FALSE: the component stays loaded until the process ends.
EMU_API ABI::HRESULT DllCanUnloadNow();
}
