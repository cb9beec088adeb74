// The handler classes the host queue calls. Handler objects have static storage and constant
// initialization; they are added to the queue once and never removed.
#pragma once

#include "platform/host_interfaces.h"

namespace HaldenEventQueue {

template <class EventT>
class StaticFunctionEventHandler final : public EventHandler {
public:
    using Function = void (*)(const void* payload);
    constexpr explicit StaticFunctionEventHandler(Function function) : function_(function) {}
    void HandleEvent(const EventId*, const void* payload) override { function_(payload); }
    EventId GetEventId() const override { return EventT::Id; }
    int32_t ReservedQuery() const override { return 0; }

private:
    Function function_;
};

template <class EventT, class ClassT>
class ClassBasedEventHandler final : public EventHandler {
public:
    constexpr ClassBasedEventHandler() = default;
    void SetTarget(ClassT* target) { target_ = target; }
    void HandleEvent(const EventId*, const void* payload) override {
        target_->HandleEvent(*static_cast<const EventT*>(payload));
    }
    EventId GetEventId() const override { return EventT::Id; }
    int32_t ReservedQuery() const override { return 0; }

private:
    ClassT* target_ = nullptr;
};

}  // namespace HaldenEventQueue
