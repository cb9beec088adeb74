#include "host/registry.h"

#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

namespace velmora::host {
namespace {

struct Entry {
    InterfaceId id;
    IHaldenInterface* instance;
};

// A function-local static avoids initialization-order trouble when a plugin calls the registry
// from a static constructor.
struct State {
    std::mutex mutex;
    std::vector<Entry> entries;
    const void* owner = nullptr;
};

State& Global() {
    static State state;
    return state;
}

}  // namespace

IHaldenInterface* GetInterface(InterfaceId id) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    for (const Entry& e : s.entries)
        if (e.id == id) return e.instance;
    return nullptr;
}

void RegisterInterface(InterfaceId id, IHaldenInterface* instance) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    for (auto it = s.entries.begin(); it != s.entries.end(); ++it) {
        if (it->id != id) continue;
        if (instance) {
            it->instance = instance;
        } else {
            s.entries.erase(it);
        }
        return;
    }
    if (instance) s.entries.push_back({id, instance});
}

void ClearInterfaces() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    s.entries.clear();
}

size_t InterfaceCount() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    return s.entries.size();
}

HostInterfaces* InterfaceTable() {
    static HostInterfaces table{&GetInterface, &RegisterInterface};
    return &table;
}

void ClaimRegistry(const void* owner) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.owner && s.owner != owner) {
        throw std::logic_error(
            "velmora host: a second Host was created while another is alive. The interface registry is "
            "process-global (HostInterfaces carries no object argument), so only one Host may exist at a time; "
            "destroy the first Host before creating another.");
    }
    s.owner = owner;
}

void ReleaseRegistry(const void* owner) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (s.owner != owner) return;
    s.owner = nullptr;
    s.entries.clear();
}

const void* RegistryOwner() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    return s.owner;
}

}  // namespace velmora::host
