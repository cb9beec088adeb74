#include "core/module_state.h"

#include <thread>

namespace HaldenPlugin {

ModuleState& Module() {
    static constinit ModuleState state;
    return state;
}

void ServiceTable::Add(List& list, const InterfaceId& id, void* pointer) {
    if (const ServiceEntry* found = Find(id); found && found->pointer) return;
    const uint32_t slot = list.reserved.fetch_add(1, std::memory_order_relaxed);
    if (slot >= Capacity) return;
    list.entries[slot] = ServiceEntry{pointer, id};
    // Publish in slot order, so readers never see a gap.
    while (list.published.load(std::memory_order_acquire) != slot) std::this_thread::yield();
    list.published.store(slot + 1, std::memory_order_release);
}

const ServiceEntry* ServiceTable::Find(const InterfaceId& id) const {
    for (const List* list : {&primary, &secondary}) {
        const uint32_t n = list->Size();
        for (uint32_t i = 0; i < n; ++i)
            if (list->entries[i].id == id) return &list->entries[i];
    }
    return nullptr;
}

void* ServiceTable::FindNonNull(const InterfaceId& id) const {
    for (const List* list : {&primary, &secondary}) {
        const uint32_t n = list->Size();
        for (uint32_t i = 0; i < n; ++i)
            if (list->entries[i].id == id && list->entries[i].pointer) return list->entries[i].pointer;
    }
    return nullptr;
}

}  // namespace HaldenPlugin
