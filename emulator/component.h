// The entry points of the emulated services' runtime component, and the names of the classes it
// serves (what its registration writes).
#pragma once

#include <string>
#include <vector>

#include "emulator/runtime.h"

namespace velmora::emu {

EMU_API std::vector<std::u16string> ActivatableClasses();

}  // namespace velmora::emu

extern "C" {
// The activation factory of a class this component serves; REGDB_E_CLASSNOTREG for any other.
EMU_API ABI::HRESULT DllGetActivationFactory(ABI::HSTRING activatableClassId, ABI::IActivationFactory** factory);
// S_FALSE: the component stays loaded until the process ends.
EMU_API ABI::HRESULT DllCanUnloadNow();
}
