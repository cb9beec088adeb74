// Reset: the emulator back to its state at load, between tests and before a scenario is applied.
#pragma once

#include <functional>

#include "emulator/runtime/export.h"

namespace velmora::emu {

// Registers state that Reset() clears (each emulated service registers its own, once).
EMU_API void OnReset(std::function<void()> clear);
// Waits for pending work, clears every service's state, faults and scripts, and restores defaults.
EMU_API void Reset();
// Whether Reset keeps the delegates subscribed to the platform's events (purchases, installs).
// A process that loads the plugin once for its whole life (a managed game or test suite) is
// subscribed once, so its resets must keep them; one that loads a fresh plugin per test must not,
// since the delegates belong to a module that unloads. Starts false.
EMU_API void SetResetKeepsSubscriptions(bool keep);
EMU_API bool ResetKeepsSubscriptions();

}  // namespace velmora::emu
