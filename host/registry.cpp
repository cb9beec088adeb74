#include "host/registry.h"

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace velmora::host {
namespace {

// An id keeps its slot once it has one, so a lookup reads the slots without the lock: the plugin
// asks for the user manager at every call, from every caller thread, and a lock there would move
// one cache line between the callers' cores each time. Writers still take the lock.
constexpr size_t kSlots = 64;
struct Entry {
    InterfaceId id{};
    std::atomic<IHaldenInterface*> instance{nullptr};
};

// A function-local static avoids initialization-order trouble when a plugin calls the registry
// from a static constructor.
struct State {
    std::mutex mutex;
    Entry entries[kSlots];
    std::atomic<size_t> used{0};  // slots with an id, published after the id is written
    const void* owner = nullptr;

    void Clear() {
        for (size_t i = 0; i < used.load(std::memory_order_relaxed); ++i) entries[i].instance.store(nullptr);
    }
};

State& Global() {
    static State state;
    return state;
}

}  // namespace

IHaldenInterface* GetInterface(InterfaceId id) {
    State& s = Global();
    const size_t used = s.used.load(std::memory_order_acquire);
    for (size_t i = 0; i < used; ++i)
        if (s.entries[i].id == id) return s.entries[i].instance.load(std::memory_order_acquire);
    return nullptr;
}

void RegisterInterface(InterfaceId id, IHaldenInterface* instance) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const size_t used = s.used.load(std::memory_order_relaxed);
    for (size_t i = 0; i < used; ++i)
        if (s.entries[i].id == id) return s.entries[i].instance.store(instance, std::memory_order_release);
    if (!instance) return;
    if (used == kSlots) throw std::length_error("velmora host: more than 64 interface ids registered");
    s.entries[used].id = id;
    s.entries[used].instance.store(instance, std::memory_order_relaxed);
    s.used.store(used + 1, std::memory_order_release);
}

void ClearInterfaces() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    s.Clear();
}

size_t InterfaceCount() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    size_t count = 0;
    for (size_t i = 0; i < s.used.load(std::memory_order_relaxed); ++i)
        count += s.entries[i].instance.load() != nullptr;
    return count;
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
    s.Clear();
}

const void* RegistryOwner() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    return s.owner;
}

}  // namespace velmora::host
