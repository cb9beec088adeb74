// The host's event queue: the HostEventQueue the plugin sends its events through, and the pump
// the host's main thread calls to deliver them.
//
// Delivery rules, as a real engine applies them:
// - SendEvent is thread-safe and copies the payload before it returns (up to 64 bytes inline in
//   the queued record, larger payloads on the heap), so the sender's buffer may die at once.
// - Deferred mode (the default) queues the event; it is delivered when the host thread calls
//   Pump, PumpAll, WaitAndPump or PumpUntil. Synchronous mode delivers inside SendEvent, on the
//   sender's thread (for tests that want no pump).
// - Delivery calls HandleEvent(&id, payloadCopy) on every handler registered for the id, in
//   registration order. An event whose id has no handler is dropped and counted. The handlers of
//   an id are found in constant time (a hash of the 16-byte id), however many ids have handlers.
// - No lock is held while a handler runs: a handler may add handlers, send events or pump again.
//   A handler added during a delivery receives the next event of its id, not the current one.
//   A handler removed during a delivery is not called afterwards.
// - One thread delivers at a time: the host's main thread. Pumping from two threads at once
//   breaks the order guarantee.
// - Sending and delivering allocate nothing per event once the queue's storage has grown to the
//   traffic (except payloads above 64 bytes).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/host_interfaces.h"

namespace velmora::host {

enum class DeliveryMode {
    Deferred,     // queued; delivered when the host thread pumps
    Synchronous,  // delivered inside SendEvent on the sender's thread
};

// One call recorded by the optional trace (calls made through the HostEventQueue interface only;
// the host's own handlers and answers are not recorded).
struct TraceEntry {
    enum class Kind { AddHandler, SendEvent };
    Kind kind;
    EventId id;     // the handler's event id, or the sent event's id
    uint32_t size;  // the payload size of a SendEvent; 0 for AddHandler
    friend bool operator==(const TraceEntry&, const TraceEntry&) = default;
};

struct QueueCounters {
    uint64_t sent = 0;                // events accepted by SendEvent / Post
    uint64_t delivered = 0;           // events handed to at least one handler
    uint64_t handlerCalls = 0;        // HandleEvent calls
    uint64_t droppedNoHandler = 0;    // events whose id had no handler at delivery
    uint64_t droppedUndelivered = 0;  // events discarded without delivery (DropPending, stopped queue)
};

class EventQueue final : public HostEventQueue {
public:
    using Handler = HaldenEventQueue::EventHandler;
    static constexpr uint32_t kInlinePayloadBytes = 64;

    explicit EventQueue(DeliveryMode mode = DeliveryMode::Deferred);
    ~EventQueue();
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    // ---- HostEventQueue (what the plugin calls) ----
    const char* GetInterfaceName() const override;
    // Ignores null. Registering the same handler twice delivers to it twice.
    void AddHandler(Handler* handler) override;
    // Removes every registration of the handler; unknown handlers are ignored.
    void RemoveHandler(Handler* handler) override;
    // Ignores a null id. A null payload is sent as an empty one.
    void SendEvent(const EventId* id, const void* payload, uint32_t size) override;

    // ---- Host side ----
    // Registers a handler of the host itself: not traced and kept by RemoveGuestHandlers. An
    // `atSend` handler runs inside every SendEvent of its id, on the sender's thread, before the
    // event is queued, whatever the delivery mode.
    void AddHostHandler(Handler* handler, bool atSend = false);
    // Sends an event like SendEvent, without tracing it.
    void Post(const EventId& id, const void* payload, uint32_t size);
    // Delivers an event at once on the calling thread, whatever the delivery mode.
    void DeliverNow(const EventId& id, const void* payload, uint32_t size);
    // Removes every handler added through AddHandler (before the module that owns them unloads).
    size_t RemoveGuestHandlers();

    // Delivers every event queued at the time of the call; answers how many were taken.
    size_t Pump();
    // Pumps until the queue stays empty (events sent during delivery are delivered too), at most
    // `maxRounds` times; answers how many events were taken.
    size_t PumpAll(size_t maxRounds = 1000);
    // Waits without spinning until an event is queued (or, in synchronous mode, delivered by a
    // sender), then pumps. False on timeout or when delivery is stopped.
    bool WaitAndPump(std::chrono::milliseconds timeout);
    // Pumps and waits until done() answers true (checked after every pump). False on timeout.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // After StopDelivering, sent events are discarded and pumps deliver nothing; waiters wake.
    void StopDelivering();
    void ResumeDelivering();
    bool Delivering() const { return !stopped_.load(std::memory_order_acquire); }
    // Discards the queued events without delivering them; answers how many.
    size_t DropPending();
    size_t PendingCount() const;

    DeliveryMode Mode() const { return mode_.load(std::memory_order_relaxed); }
    // Switching to synchronous leaves already queued events for the next pump.
    void SetMode(DeliveryMode mode) { mode_.store(mode, std::memory_order_relaxed); }

    // True on the thread that delivered last (or is delivering now).
    bool OnDeliveringThread() const;
    std::thread::id DeliveringThread() const { return deliveringThread_.load(std::memory_order_acquire); }
    // True while the calling thread is inside a delivery of this queue.
    bool InDelivery() const;

    size_t HandlerCount() const;
    // The handlers added through AddHandler, in registration order.
    std::vector<Handler*> GuestHandlers() const;
    size_t HandlerCount(const EventId& id) const;
    QueueCounters Counters() const;

    void EnableTrace(bool on) { tracing_.store(on, std::memory_order_relaxed); }
    std::vector<TraceEntry> Trace() const;
    void ClearTrace();

private:
    struct Record {
        Record(const EventId& id, const void* payload, uint32_t size);
        const void* Data() const { return heap ? heap.get() : inlineBytes; }
        EventId id;
        uint32_t size;
        std::unique_ptr<unsigned char[]> heap;
        alignas(std::max_align_t) unsigned char inlineBytes[kInlinePayloadBytes];
    };
    struct HandlerEntry {
        Handler* handler;
        EventId id;
        bool hostOwned;
        bool atSend;
    };
    // GUID-shaped ids are spread over all their bits already.
    struct IdHash {
        size_t operator()(const EventId& id) const noexcept { return size_t(id.first ^ id.second); }
    };
    // The handlers by id, each id's in registration order. Made anew at every change of the
    // handlers and never changed after, so a delivery can go through one without a lock.
    struct Index {
        std::unordered_map<EventId, std::vector<HandlerEntry>, IdHash> byId;
    };

    void Register(Handler* handler, bool hostOwned, bool atSend);
    // Remakes index_ from handlers_ and counts the change; the caller holds handlersMutex_.
    void Changed(bool removal);
    // Calls every matching handler outside the lock; false when none matched.
    bool Dispatch(const EventId& id, const void* payload, bool atSend);
    // The outermost pump's delivery: the index is the one taken when the handlers last changed,
    // so a delivery takes no lock; `calls` counts the handlers called.
    bool DispatchFromSnapshot(const EventId& id, const void* payload, uint64_t& calls);
    // Calls the handlers of `id` in `index` registered at send (atSend) or for delivery; false when
    // there is none. `removalsSeen` is removals_ as of the index; counts the handlers called. With
    // markDelivery, a delivery found is recorded (thread and count) before its first handler runs.
    bool CallHandlers(const Index& index, uint64_t removalsSeen, const EventId& id, const void* payload, bool atSend,
                      bool markDelivery, uint64_t& calls);
    bool StillRegistered(Handler* handler) const;
    void RecordTrace(TraceEntry::Kind kind, const EventId& id, uint32_t size);

    std::atomic<DeliveryMode> mode_;
    std::atomic<bool> stopped_{false};

    mutable std::mutex mutex_;  // guards pending_, spare_, syncDeliveries_
    std::condition_variable wake_;
    std::vector<Record> pending_;
    std::vector<Record> spare_;  // the last delivered batch's storage, reused by the next swap
    uint64_t syncDeliveries_ = 0;

    mutable std::mutex handlersMutex_;
    std::vector<HandlerEntry> handlers_;  // every registration, in order
    std::shared_ptr<const Index> index_ = std::make_shared<Index>();
    std::atomic<uint64_t> removals_{0};
    std::atomic<uint64_t> changes_{0};  // additions and removals of handlers
    // Used by the outermost pump only (one thread delivers at a time).
    std::shared_ptr<const Index> snapshot_;
    uint64_t snapshotChanges_ = ~uint64_t(0);
    uint64_t snapshotRemovals_ = 0;
    std::atomic<size_t> atSendHandlers_{0};

    std::atomic<std::thread::id> deliveringThread_{};

    std::atomic<uint64_t> sent_{0};
    std::atomic<uint64_t> delivered_{0};
    std::atomic<uint64_t> handlerCalls_{0};
    std::atomic<uint64_t> droppedNoHandler_{0};
    std::atomic<uint64_t> droppedUndelivered_{0};

    std::atomic<bool> tracing_{false};
    mutable std::mutex traceMutex_;
    std::vector<TraceEntry> trace_;
};

}  // namespace velmora::host
