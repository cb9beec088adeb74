// The manager singletons' machinery: a group's manager is constructed on the group's first use,
// once per process even when threads race (a function-local static), and its construction
// registers the group's handlers with the host queue, in order.
#pragma once

#include <tuple>

#include "core/event_handlers.h"
#include "core/event_types.h"
#include "core/module_state.h"

namespace HaldenPlugin {

// Calls the managed callback of an object record. A record without a callback hands its
// reference to no one, so it is released here.
void DeliverObject(const CompletionRecord& record);
void DeliverValue(const ValueCompletionRecord& record);

// The manager class of each event type.
template <class EventT>
struct ManagerOf;

template <class Derived, class... Events>
class EventManager {
public:
    // The one instance; the first call constructs it and registers the handlers. Callers make
    // sure the host queue is bound first.
    static Derived& Instance() {
        static Derived instance;
        return instance;
    }

    void HandleEvent(const CompletionRecord& record) { DeliverObject(record); }
    void HandleEvent(const ValueCompletionRecord& record) { DeliverValue(record); }

    using Handlers = std::tuple<HaldenEventQueue::ClassBasedEventHandler<Events, Derived>...>;
    static constinit inline Handlers handlers{};

protected:
    // Called last by the derived constructor, so a construction that fails registers nothing.
    void RegisterHandlers() {
        HostEventQueue* queue = Module().queue.load(std::memory_order_acquire);
        std::apply(
            [&](auto&... handler) {
                ((handler.SetTarget(static_cast<Derived*>(this)), queue->AddHandler(&handler)), ...);
            },
            handlers);
    }
};

}  // namespace HaldenPlugin
