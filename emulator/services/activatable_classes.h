// The runtime classes the emulated services make activatable, by name. Plain types only, so the
// Windows parts of the emulator (the component's registration) can include it beside the system's
// own headers.
#pragma once

#include <string>
#include <vector>

#include "emulator/runtime/export.h"

namespace velmora::emu {

// The runtime classes the emulated services make activatable (what the component's registration
// writes).
EMU_API std::vector<std::u16string> ActivatableClasses();

}  // namespace velmora::emu
