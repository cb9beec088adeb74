#include "host/event_queue.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace velmora::host {
namespace {

// The queue whose delivery the current thread is inside (nested deliveries restore the outer one).
thread_local const EventQueue* tlsDeliveringQueue = nullptr;

class DeliveryScope {
public:
    explicit DeliveryScope(const EventQueue* queue) : previous_(tlsDeliveringQueue) { tlsDeliveringQueue = queue; }
    ~DeliveryScope() { tlsDeliveringQueue = previous_; }
    DeliveryScope(const DeliveryScope&) = delete;
    DeliveryScope& operator=(const DeliveryScope&) = delete;

private:
    const EventQueue* previous_;
};

}  // namespace

EventQueue::Record::Record(const EventId& eventId, const void* payload, uint32_t payloadSize)
    : id(eventId), size(payload ? payloadSize : 0) {
    if (size > kInlinePayloadBytes) {
        heap.reset(new unsigned char[size]);
        std::memcpy(heap.get(), payload, size);
    } else if (size > 0) {
        std::memcpy(inlineBytes, payload, size);
    }
}

EventQueue::EventQueue(DeliveryMode mode) : mode_(mode) {}

EventQueue::~EventQueue() { DropPending(); }

const char* EventQueue::GetInterfaceName() const { return "HostEventQueue"; }

void EventQueue::AddHandler(Handler* handler) { Register(handler, false, false); }

void EventQueue::AddHostHandler(Handler* handler, bool atSend) { Register(handler, true, atSend); }

void EventQueue::Register(Handler* handler, bool hostOwned, bool atSend) {
    if (!handler) return;
    // Read outside the lock: it is the caller's code, and its id never changes afterwards.
    const EventId id = handler->GetEventId();
    {
        std::lock_guard lock(handlersMutex_);
        handlers_.push_back({handler, id, hostOwned, atSend});
        if (atSend) atSendHandlers_.fetch_add(1, std::memory_order_relaxed);
        Changed(false);
    }
    if (!hostOwned) RecordTrace(TraceEntry::Kind::AddHandler, id, 0);
}

void EventQueue::Changed(bool removal) {
    auto index = std::make_shared<Index>();
    for (const HandlerEntry& e : handlers_) index->byId[e.id].push_back(e);
    index_ = std::move(index);
    if (removal) removals_.fetch_add(1, std::memory_order_release);
    changes_.fetch_add(1, std::memory_order_release);
}

void EventQueue::RemoveHandler(Handler* handler) {
    std::lock_guard lock(handlersMutex_);
    const auto removed = std::remove_if(handlers_.begin(), handlers_.end(), [&](const HandlerEntry& e) {
        if (e.handler != handler) return false;
        if (e.atSend) atSendHandlers_.fetch_sub(1, std::memory_order_relaxed);
        return true;
    });
    if (removed == handlers_.end()) return;
    handlers_.erase(removed, handlers_.end());
    Changed(true);
}

size_t EventQueue::RemoveGuestHandlers() {
    std::lock_guard lock(handlersMutex_);
    const auto removed = std::remove_if(handlers_.begin(), handlers_.end(), [](const HandlerEntry& e) {
        return !e.hostOwned;  // guest handlers are never atSend
    });
    const size_t count = size_t(std::distance(removed, handlers_.end()));
    handlers_.erase(removed, handlers_.end());
    if (count) Changed(true);
    return count;
}

void EventQueue::SendEvent(const EventId* id, const void* payload, uint32_t size) {
    if (!id) return;
    RecordTrace(TraceEntry::Kind::SendEvent, *id, size);
    Post(*id, payload, size);
}

void EventQueue::Post(const EventId& id, const void* payload, uint32_t size) {
    if (stopped_.load(std::memory_order_acquire)) {
        droppedUndelivered_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    sent_.fetch_add(1, std::memory_order_relaxed);
    // The sender's payload is still valid here, so at-send handlers read it in place.
    if (atSendHandlers_.load(std::memory_order_relaxed) != 0) Dispatch(id, payload, true);

    if (Mode() == DeliveryMode::Synchronous) {
        DeliverNow(id, payload, size);
        {
            std::lock_guard lock(mutex_);
            ++syncDeliveries_;
        }
        wake_.notify_all();
        return;
    }

    bool wasEmpty;
    {
        std::lock_guard lock(mutex_);
        wasEmpty = pending_.empty();
        pending_.emplace_back(id, payload, size);
    }
    // A waiter only sleeps on an empty queue, so only the first event needs to wake it.
    if (wasEmpty) wake_.notify_all();
}

void EventQueue::DeliverNow(const EventId& id, const void* payload, uint32_t size) {
    // Handlers get the queue's copy, never the sender's buffer, in every mode.
    const Record record(id, payload, size);
    if (!Dispatch(record.id, record.Data(), false)) droppedNoHandler_.fetch_add(1, std::memory_order_relaxed);
}

bool EventQueue::Dispatch(const EventId& id, const void* payload, bool atSend) {
    std::shared_ptr<const Index> index;
    uint64_t removalsSeen;
    {
        std::lock_guard lock(handlersMutex_);
        index = index_;
        removalsSeen = removals_.load(std::memory_order_acquire);
    }
    uint64_t calls = 0;
    const bool any = CallHandlers(*index, removalsSeen, id, payload, atSend, !atSend, calls);
    handlerCalls_.fetch_add(calls, std::memory_order_relaxed);
    return any;
}

bool EventQueue::DispatchFromSnapshot(const EventId& id, const void* payload, uint64_t& calls) {
    if (changes_.load(std::memory_order_acquire) != snapshotChanges_) {
        std::lock_guard lock(handlersMutex_);
        snapshot_ = index_;
        snapshotChanges_ = changes_.load(std::memory_order_relaxed);
        snapshotRemovals_ = removals_.load(std::memory_order_relaxed);
    }
    // Handlers added during this delivery join from the next event on: the index in hand is not
    // replaced before then.
    return CallHandlers(*snapshot_, snapshotRemovals_, id, payload, false, false, calls);
}

bool EventQueue::CallHandlers(const Index& index, uint64_t removalsSeen, const EventId& id, const void* payload,
                              bool atSend, bool markDelivery, uint64_t& calls) {
    const auto found = index.byId.find(id);
    if (found == index.byId.end()) return false;
    bool any = false;
    DeliveryScope scope(this);
    for (const HandlerEntry& e : found->second) {
        if (e.atSend != atSend) continue;
        if (!any && markDelivery) {
            deliveringThread_.store(std::this_thread::get_id(), std::memory_order_release);
            delivered_.fetch_add(1, std::memory_order_relaxed);
        }
        any = true;
        // A handler removed by an earlier handler of this delivery must not run.
        if (removals_.load(std::memory_order_acquire) != removalsSeen && !StillRegistered(e.handler)) continue;
        ++calls;
        e.handler->HandleEvent(&id, payload);
    }
    return any;
}

bool EventQueue::StillRegistered(Handler* handler) const {
    std::lock_guard lock(handlersMutex_);
    return std::any_of(handlers_.begin(), handlers_.end(), [&](const HandlerEntry& e) { return e.handler == handler; });
}

size_t EventQueue::Pump() {
    if (stopped_.load(std::memory_order_acquire)) return 0;
    std::vector<Record> batch;
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty()) return 0;
        // pending_ takes over the spare storage, so senders keep appending without allocating.
        batch.swap(spare_);
        batch.swap(pending_);
    }
    deliveringThread_.store(std::this_thread::get_id(), std::memory_order_release);
    // A pump from inside a handler takes the locked path: the outer pump is iterating the copy.
    const bool outermost = !InDelivery();

    size_t next = 0;
    uint64_t delivered = 0, calls = 0;
    struct Counts {  // added once per batch, also when a handler throws
        EventQueue* queue;
        uint64_t& delivered;
        uint64_t& calls;
        ~Counts() {
            queue->delivered_.fetch_add(delivered, std::memory_order_relaxed);
            queue->handlerCalls_.fetch_add(calls, std::memory_order_relaxed);
        }
    } counts{this, delivered, calls};
    try {
        for (; next < batch.size(); ++next) {
            if (stopped_.load(std::memory_order_acquire)) {
                droppedUndelivered_.fetch_add(batch.size() - next, std::memory_order_relaxed);
                break;
            }
            const Record& r = batch[next];
            const bool handled =
                outermost ? DispatchFromSnapshot(r.id, r.Data(), calls) : Dispatch(r.id, r.Data(), false);
            if (!handled) {
                droppedNoHandler_.fetch_add(1, std::memory_order_relaxed);
            } else if (outermost) {
                ++delivered;
            }
        }
    } catch (...) {
        // The events after the throwing handler's stay queued, ahead of anything sent since.
        std::lock_guard lock(mutex_);
        pending_.insert(pending_.begin(), std::make_move_iterator(batch.begin() + ptrdiff_t(next) + 1),
                        std::make_move_iterator(batch.end()));
        throw;
    }

    const size_t taken = batch.size();
    batch.clear();
    std::lock_guard lock(mutex_);
    if (batch.capacity() > spare_.capacity()) spare_ = std::move(batch);
    return taken;
}

size_t EventQueue::PumpAll(size_t maxRounds) {
    size_t total = 0;
    for (size_t round = 0; round < maxRounds; ++round) {
        const size_t n = Pump();
        if (n == 0) break;
        total += n;
    }
    return total;
}

bool EventQueue::WaitAndPump(std::chrono::milliseconds timeout) {
    uint64_t syncSeen;
    {
        std::unique_lock lock(mutex_);
        syncSeen = syncDeliveries_;
        const bool woke = wake_.wait_for(lock, timeout, [&] {
            return stopped_.load(std::memory_order_acquire) || !pending_.empty() || syncDeliveries_ != syncSeen;
        });
        if (!woke || stopped_.load(std::memory_order_acquire)) return false;
        if (pending_.empty()) return true;  // a synchronous sender delivered meanwhile
    }
    return Pump() > 0;
}

bool EventQueue::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        uint64_t syncSeen;
        {
            std::lock_guard lock(mutex_);
            syncSeen = syncDeliveries_;
        }
        PumpAll();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        const bool woke = wake_.wait_until(lock, deadline, [&] {
            return stopped_.load(std::memory_order_acquire) || !pending_.empty() || syncDeliveries_ != syncSeen;
        });
        if (!woke || stopped_.load(std::memory_order_acquire)) {
            lock.unlock();
            return done();
        }
    }
}

void EventQueue::StopDelivering() {
    {
        std::lock_guard lock(mutex_);
        stopped_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
}

void EventQueue::ResumeDelivering() { stopped_.store(false, std::memory_order_release); }

size_t EventQueue::DropPending() {
    std::lock_guard lock(mutex_);
    const size_t count = pending_.size();
    pending_.clear();
    droppedUndelivered_.fetch_add(count, std::memory_order_relaxed);
    return count;
}

size_t EventQueue::PendingCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

bool EventQueue::OnDeliveringThread() const { return DeliveringThread() == std::this_thread::get_id(); }

bool EventQueue::InDelivery() const { return tlsDeliveringQueue == this; }

std::vector<EventQueue::Handler*> EventQueue::GuestHandlers() const {
    std::lock_guard lock(handlersMutex_);
    std::vector<Handler*> guests;
    for (const HandlerEntry& e : handlers_)
        if (!e.hostOwned) guests.push_back(e.handler);
    return guests;
}

size_t EventQueue::HandlerCount() const {
    std::lock_guard lock(handlersMutex_);
    return handlers_.size();
}

size_t EventQueue::HandlerCount(const EventId& id) const {
    std::lock_guard lock(handlersMutex_);
    return size_t(std::count_if(handlers_.begin(), handlers_.end(), [&](const HandlerEntry& e) { return e.id == id; }));
}

QueueCounters EventQueue::Counters() const {
    QueueCounters c;
    c.sent = sent_.load(std::memory_order_relaxed);
    c.delivered = delivered_.load(std::memory_order_relaxed);
    c.handlerCalls = handlerCalls_.load(std::memory_order_relaxed);
    c.droppedNoHandler = droppedNoHandler_.load(std::memory_order_relaxed);
    c.droppedUndelivered = droppedUndelivered_.load(std::memory_order_relaxed);
    return c;
}

void EventQueue::RecordTrace(TraceEntry::Kind kind, const EventId& id, uint32_t size) {
    if (!tracing_.load(std::memory_order_relaxed)) return;
    std::lock_guard lock(traceMutex_);
    trace_.push_back({kind, id, size});
}

std::vector<TraceEntry> EventQueue::Trace() const {
    std::lock_guard lock(traceMutex_);
    return trace_;
}

void EventQueue::ClearTrace() {
    std::lock_guard lock(traceMutex_);
    trace_.clear();
}

}  // namespace velmora::host
