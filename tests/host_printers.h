// How the host's own types read in parameterised tests' names and in GoogleTest's messages.
#pragma once

#include <ostream>

#include "host/event_queue.h"

namespace velmora::host {

inline const char* ModeName(DeliveryMode mode) { return mode == DeliveryMode::Deferred ? "Deferred" : "Synchronous"; }
// Found by argument-dependent lookup, so it lives in the namespace of DeliveryMode.
inline void PrintTo(DeliveryMode mode, std::ostream* out) { *out << ModeName(mode); }

}  // namespace velmora::host
