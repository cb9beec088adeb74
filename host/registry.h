// The host's interface registry: the table the plugin receives at load (HostInterfaces) and the
// interfaces registered in it.
//
// HostInterfaces is a table of plain function pointers with no object argument, so the registry
// cannot belong to an object: it is process-global. One owner (a velmora::host::Host) claims it at
// a time; claiming it while another owner holds it throws, so two hosts can never silently share
// or overwrite each other's interfaces.
#pragma once

#include "platform/host_interfaces.h"

namespace velmora::host {

// The registered interface for the id, or null. Thread-safe.
IHaldenInterface* GetInterface(InterfaceId id);
// Registers (or replaces) the interface for the id; a null instance removes the entry. Thread-safe.
void RegisterInterface(InterfaceId id, IHaldenInterface* instance);
// Removes every entry.
void ClearInterfaces();
// The number of registered entries.
size_t InterfaceCount();

// The table handed to the plugin's HaldenPluginLoad; it points at the two functions above.
HostInterfaces* InterfaceTable();

// Makes `owner` the registry's one owner. Throws std::logic_error when another owner holds it.
void ClaimRegistry(const void* owner);
// Clears every entry and gives up ownership; does nothing unless `owner` holds the registry.
void ReleaseRegistry(const void* owner);
// The current owner, or null.
const void* RegistryOwner();

}  // namespace velmora::host
