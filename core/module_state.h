// The plugin's process-wide state: the host queue it posts to, the kept registry, and the service
// table of interfaces the host delivered. Every field is written by the load or by the host's
// delivering thread and read from any thread, so each is an atomic; nothing here takes a lock.
#pragma once

#include <atomic>

#include "core/event_types.h"
#include "platform/host_interfaces.h"

namespace HaldenPlugin {

// One interface the host delivered, keyed by its interface id. The pointer is not owned.
struct ServiceEntry {
    void* pointer;
    InterfaceId id;
};

// Two ordered lists, filled by deliveries and never freed. Each list is an append-only array of
// static storage: readers see a prefix published with release ordering, so lookups take no lock.
class ServiceTable {
public:
    static constexpr uint32_t Capacity = 64;  // deliveries past this many per list are ignored

    struct List {
        ServiceEntry entries[Capacity]{};
        std::atomic<uint32_t> reserved{0};
        std::atomic<uint32_t> published{0};
        uint32_t Size() const { return published.load(std::memory_order_acquire); }
    };

    // The first non-null delivery of an id wins; a null entry stays in front of later ones.
    void AddPrimary(const InterfaceId& id, void* pointer) { Add(primary, id, pointer); }
    void AddSecondary(const InterfaceId& id, void* pointer) { Add(secondary, id, pointer); }
    // The first entry with the id, searching primary then secondary; null when there is none.
    const ServiceEntry* Find(const InterfaceId& id) const;
    // The first entry with the id whose pointer is not null.
    void* FindNonNull(const InterfaceId& id) const;

    List primary;
    List secondary;

private:
    void Add(List& list, const InterfaceId& id, void* pointer);
};

struct ModuleState {
    std::atomic<HostInterfaces*> registry{nullptr};  // kept by the last step of a successful load
    std::atomic<HostEventQueue*> queue{nullptr};
    std::atomic<ServiceTable*> table{nullptr};  // set once the load has created it
    std::atomic<bool> initializationLogged{false};
};

ModuleState& Module();

// Posts one event to the host queue; the payload is copied or delivered before this returns.
template <class EventT>
void PostEvent(const EventT& payload) {
    if (HostEventQueue* queue = Module().queue.load(std::memory_order_acquire))
        queue->SendEvent(&EventT::Id, &payload, sizeof(EventT));
}

// True once a load has bound the host queue: before that nothing can be registered or posted.
inline bool QueueBound() { return Module().queue.load(std::memory_order_acquire) != nullptr; }

}  // namespace HaldenPlugin
