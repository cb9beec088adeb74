// The host's event queue: thread-safe sends, copied payloads, fan-out in registration order,
// re-entrant handlers, synchronous mode and dropping.
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/event_queue.h"
#include "tests/emulator_fixture.h"
#include "tests/host_printers.h"

namespace velmora::host {
namespace {

using namespace std::chrono_literals;
using Handler = HaldenEventQueue::EventHandler;

constexpr EventId kIdA = HaldenGuidFromString("00000001-0000-0000-0000-00000000000A");
constexpr EventId kIdB = HaldenGuidFromString("00000002-0000-0000-0000-00000000000B");
constexpr EventId kUnknownId = HaldenGuidFromString("DEADBEEF-0000-0000-0000-000000000000");

// A handler that runs a callback; the test reads what it saw.
class FunctionHandler final : public Handler {
public:
    using Function = std::function<void(const EventId*, const void*)>;
    FunctionHandler(EventId id, Function f) : id_(id), f_(std::move(f)) {}
    void HandleEvent(const EventId* id, const void* payload) override { f_(id, payload); }
    EventId GetEventId() const override { return id_; }
    int32_t ReservedQuery() const override { return 0; }

private:
    EventId id_;
    Function f_;
};

using EventQueueTest = test::EmulatorTest;

TEST_F(EventQueueTest, DeliversToEveryHandlerOfTheIdInRegistrationOrder) {
    EventQueue queue;
    std::vector<std::string> calls;
    FunctionHandler a1(kIdA, [&](const EventId*, const void*) { calls.push_back("a1"); });
    FunctionHandler b1(kIdB, [&](const EventId*, const void*) { calls.push_back("b1"); });
    FunctionHandler a2(kIdA, [&](const EventId*, const void*) { calls.push_back("a2"); });
    FunctionHandler a3(kIdA, [&](const EventId* id, const void*) {
        EXPECT_EQ(*id, kIdA);
        calls.push_back("a3");
    });
    for (Handler* h : std::initializer_list<Handler*>{&a1, &b1, &a2, &a3}) queue.AddHandler(h);

    const uint8_t byte = 7;
    queue.SendEvent(&kIdA, &byte, 1);
    queue.SendEvent(&kUnknownId, &byte, 1);
    queue.SendEvent(&kIdB, &byte, 1);
    EXPECT_TRUE(calls.empty()) << "deferred mode delivers nothing before the pump";

    EXPECT_EQ(queue.Pump(), 3u);
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "a2", "a3", "b1"}));
    const QueueCounters c = queue.Counters();
    EXPECT_EQ(c.sent, 3u);
    EXPECT_EQ(c.delivered, 2u);
    EXPECT_EQ(c.handlerCalls, 4u);
    EXPECT_EQ(c.droppedNoHandler, 1u);
}

struct PayloadCase {
    const char* name;
    uint32_t size;
};

void PrintTo(const PayloadCase& c, std::ostream* out) { *out << c.name; }

class PayloadTest : public EventQueueTest, public ::testing::WithParamInterface<PayloadCase> {};

// The sender's buffer is overwritten right after SendEvent: the handler must still see the
// original bytes, in both delivery modes.
TEST_P(PayloadTest, HandlersSeeACopyOfThePayload) {
    for (DeliveryMode mode : {DeliveryMode::Deferred, DeliveryMode::Synchronous}) {
        EventQueue queue(mode);
        const uint32_t size = GetParam().size;
        std::vector<uint8_t> original(size);
        for (uint32_t i = 0; i < size; ++i) original[i] = uint8_t(i * 31 + 5);
        std::vector<uint8_t> seen;
        const void* seenAddress = nullptr;
        int calls = 0;
        FunctionHandler h(kIdA, [&](const EventId*, const void* payload) {
            ++calls;
            seenAddress = payload;
            ASSERT_NE(payload, nullptr);
            seen.assign(static_cast<const uint8_t*>(payload), static_cast<const uint8_t*>(payload) + size);
        });
        queue.AddHandler(&h);

        std::vector<uint8_t> buffer = original;
        queue.SendEvent(&kIdA, buffer.data(), size);
        std::fill(buffer.begin(), buffer.end(), 0xEE);
        queue.Pump();

        EXPECT_EQ(calls, 1);
        EXPECT_EQ(seen, original);
        if (size > 0) {
            EXPECT_NE(seenAddress, buffer.data()) << "the handler must not get the sender's buffer";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PayloadTest,
                         ::testing::Values(PayloadCase{"Empty", 0}, PayloadCase{"OneByte", 1},
                                           PayloadCase{"Pointer", 8}, PayloadCase{"Record24", 24},
                                           PayloadCase{"Record32", 32}, PayloadCase{"InlineLimit", 64},
                                           PayloadCase{"JustOnHeap", 65}, PayloadCase{"Large", 4096}),
                         [](const auto& info) { return std::string(info.param.name); });

// What one sender puts in an event: who, which, and a pattern derived from both.
struct Message {
    uint32_t sender;
    uint32_t sequence;
    uint64_t pattern[2];
};
static_assert(sizeof(Message) == 24);

uint64_t PatternOf(uint32_t sender, uint32_t sequence, int word) {
    return (uint64_t(sender) << 40) ^ (uint64_t(sequence) * 0x9E3779B97F4A7C15ull) ^ uint64_t(word);
}

TEST_F(EventQueueTest, ManySendersEveryEventOnceOnThePumpingThreadInSenderOrder) {
    constexpr uint32_t kSenders = 6;
    constexpr uint32_t kPerSender = 3000;
    EventQueue queue;
    std::vector<uint32_t> nextExpected(kSenders, 0);
    std::atomic<uint32_t> received{0};
    std::atomic<bool> wrongThread{false};
    uint32_t corrupt = 0;
    uint32_t outOfOrder = 0;
    FunctionHandler h(kIdA, [&](const EventId*, const void* payload) {
        if (!queue.OnDeliveringThread() || !queue.InDelivery()) wrongThread = true;
        Message m;
        std::memcpy(&m, payload, sizeof m);
        if (m.sender >= kSenders || m.pattern[0] != PatternOf(m.sender, m.sequence, 0) ||
            m.pattern[1] != PatternOf(m.sender, m.sequence, 1)) {
            ++corrupt;
        } else if (m.sequence != nextExpected[m.sender]++) {
            ++outOfOrder;
        }
        received.fetch_add(1, std::memory_order_relaxed);
    });
    queue.AddHandler(&h);

    std::vector<std::thread> senders;
    for (uint32_t s = 0; s < kSenders; ++s) {
        senders.emplace_back([&queue, s] {
            for (uint32_t i = 0; i < kPerSender; ++i) {
                Message m{s, i, {PatternOf(s, i, 0), PatternOf(s, i, 1)}};
                queue.SendEvent(&kIdA, &m, sizeof m);
            }
        });
    }
    const bool all = queue.PumpUntil([&] { return received.load() == kSenders * kPerSender; }, 60s);
    for (auto& t : senders) t.join();
    queue.PumpAll();

    EXPECT_TRUE(all);
    EXPECT_EQ(received.load(), kSenders * kPerSender);
    EXPECT_EQ(corrupt, 0u);
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_FALSE(wrongThread.load()) << "a handler ran off the pumping thread";
    for (uint32_t s = 0; s < kSenders; ++s) EXPECT_EQ(nextExpected[s], kPerSender) << "sender " << s;
    EXPECT_EQ(queue.DeliveringThread(), std::this_thread::get_id());
}

TEST_F(EventQueueTest, SynchronousModeDeliversInsideSendEventOnTheSendersThread) {
    EventQueue queue(DeliveryMode::Synchronous);
    thread_local bool insideSend = false;
    std::atomic<int> inside{0};
    std::atomic<int> outside{0};
    FunctionHandler h(kIdA, [&](const EventId*, const void*) { (insideSend ? inside : outside).fetch_add(1); });
    queue.AddHandler(&h);

    auto send = [&] {
        const uint8_t byte = 1;
        insideSend = true;
        queue.SendEvent(&kIdA, &byte, 1);
        insideSend = false;
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int j = 0; j < 100; ++j) send();
        });
    for (auto& t : threads) t.join();

    EXPECT_EQ(inside.load(), 400);
    EXPECT_EQ(outside.load(), 0);
    EXPECT_EQ(queue.PendingCount(), 0u);
    EXPECT_EQ(queue.Pump(), 0u);
}

class ReentrancyTest : public EventQueueTest, public ::testing::WithParamInterface<DeliveryMode> {};

// A managed callback can call an export whose first use registers handlers: AddHandler from
// inside a handler must not deadlock, and the new handler gets the next event, not this one.
TEST_P(ReentrancyTest, AddHandlerFromInsideAHandler) {
    EventQueue queue(GetParam());
    int lateCalls = 0;
    FunctionHandler late(kIdA, [&](const EventId*, const void*) { ++lateCalls; });
    int firstCalls = 0;
    FunctionHandler first(kIdA, [&](const EventId*, const void*) {
        if (firstCalls++ == 0) queue.AddHandler(&late);
    });
    queue.AddHandler(&first);

    queue.SendEvent(&kIdA, nullptr, 0);
    queue.PumpAll();
    EXPECT_EQ(lateCalls, 0);
    queue.SendEvent(&kIdA, nullptr, 0);
    queue.PumpAll();
    EXPECT_EQ(firstCalls, 2);
    EXPECT_EQ(lateCalls, 1);
}

TEST_P(ReentrancyTest, SendFromInsideAHandlerIsDeliveredAfterIt) {
    EventQueue queue(GetParam());
    std::vector<std::string> calls;
    FunctionHandler b(kIdB, [&](const EventId*, const void*) { calls.push_back("b"); });
    FunctionHandler a(kIdA, [&](const EventId*, const void*) {
        calls.push_back("a:begin");
        queue.SendEvent(&kIdB, nullptr, 0);
        calls.push_back("a:end");
    });
    queue.AddHandler(&a);
    queue.AddHandler(&b);

    queue.SendEvent(&kIdA, nullptr, 0);
    if (GetParam() == DeliveryMode::Deferred) {
        EXPECT_EQ(queue.Pump(), 1u) << "a pump delivers only what was queued when it started";
        EXPECT_EQ(calls, (std::vector<std::string>{"a:begin", "a:end"}));
        EXPECT_EQ(queue.PumpAll(), 1u);
        EXPECT_EQ(calls, (std::vector<std::string>{"a:begin", "a:end", "b"}));
    } else {
        EXPECT_EQ(calls, (std::vector<std::string>{"a:begin", "b", "a:end"}));
    }
}

// Removal takes every registration of a handler and ignores one never added; a handler removed by
// an earlier handler of the same event is not called for it.
TEST_P(ReentrancyTest, RemovedHandlersAreNotCalled) {
    EventQueue queue(GetParam());
    int calls = 0, victimCalls = 0;
    FunctionHandler h(kIdA, [&](const EventId*, const void*) { ++calls; });
    FunctionHandler victim(kIdA, [&](const EventId*, const void*) { ++victimCalls; });
    FunctionHandler remover(kIdA, [&](const EventId*, const void*) { queue.RemoveHandler(&victim); });
    FunctionHandler stranger(kIdA, [](const EventId*, const void*) {});
    for (Handler* handler : std::initializer_list<Handler*>{&h, &h, &remover, &victim}) queue.AddHandler(handler);

    queue.SendEvent(&kIdA, nullptr, 0);
    queue.PumpAll();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(victimCalls, 0);

    queue.RemoveHandler(&stranger);
    queue.RemoveHandler(&h);
    queue.SendEvent(&kIdA, nullptr, 0);
    queue.PumpAll();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(queue.HandlerCount(kIdA), 1u) << "the remover is left";
}

INSTANTIATE_TEST_SUITE_P(Modes, ReentrancyTest, ::testing::Values(DeliveryMode::Deferred, DeliveryMode::Synchronous),
                         [](const auto& info) { return std::string(ModeName(info.param)); });

class IdLookupTest : public EventQueueTest, public ::testing::WithParamInterface<DeliveryMode> {};

// The handlers of an id are found by the id among many, each id's in registration order; ids whose
// halves are swapped (the same hash of the halves) are still told apart.
TEST_P(IdLookupTest, EachIdReachesOnlyItsOwnHandlersInRegistrationOrder) {
    EventQueue queue(GetParam());
    constexpr uint64_t kIds = 64;
    std::vector<EventId> ids;
    for (uint64_t i = 0; i < kIds; ++i) ids.push_back(EventId{i + 1, ~i});
    for (uint64_t i = 0; i < kIds; ++i) ids.push_back(EventId{~i, i + 1});  // halves swapped
    std::vector<std::pair<size_t, int>> calls;                              // (id index, handler number)
    std::vector<std::unique_ptr<FunctionHandler>> handlers;
    for (int round = 0; round < 2; ++round)  // interleaved: every id's first handler, then every id's second
        for (size_t i = 0; i < ids.size(); ++i)
            handlers.push_back(std::make_unique<FunctionHandler>(
                ids[i], [&calls, i, round](const EventId*, const void*) { calls.emplace_back(i, round); }));
    for (auto& h : handlers) queue.AddHandler(h.get());

    for (size_t i = ids.size(); i-- > 0;) queue.SendEvent(&ids[i], nullptr, 0);
    queue.PumpAll();
    std::vector<std::pair<size_t, int>> expected;
    for (size_t i = ids.size(); i-- > 0;) expected.insert(expected.end(), {{i, 0}, {i, 1}});
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(queue.Counters().handlerCalls, 2 * ids.size());
}

INSTANTIATE_TEST_SUITE_P(Modes, IdLookupTest, ::testing::Values(DeliveryMode::Deferred, DeliveryMode::Synchronous),
                         [](const auto& info) { return std::string(ModeName(info.param)); });

TEST_F(EventQueueTest, DroppedEventsAreNeverDelivered) {
    EventQueue queue;
    int calls = 0;
    FunctionHandler h(kIdA, [&](const EventId*, const void*) { ++calls; });
    queue.AddHandler(&h);

    for (int i = 0; i < 5; ++i) queue.SendEvent(&kIdA, &i, sizeof i);
    EXPECT_EQ(queue.DropPending(), 5u);
    EXPECT_EQ(queue.PumpAll(), 0u);

    queue.StopDelivering();
    queue.SendEvent(&kIdA, nullptr, 0);
    EXPECT_FALSE(queue.WaitAndPump(10s)) << "a stopped queue must not wait nor deliver";
    EXPECT_EQ(queue.PumpAll(), 0u);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(queue.Counters().droppedUndelivered, 6u);

    queue.ResumeDelivering();
    queue.SendEvent(&kIdA, nullptr, 0);
    queue.Pump();
    EXPECT_EQ(calls, 1);

    // Stopping from inside a handler drops the rest of its batch.
    FunctionHandler stopper(kIdA, [&](const EventId*, const void*) { queue.StopDelivering(); });
    queue.AddHandler(&stopper);
    for (int i = 0; i < 3; ++i) queue.SendEvent(&kIdA, nullptr, 0);
    queue.PumpAll();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(queue.Counters().droppedUndelivered, 8u);
}

TEST_F(EventQueueTest, AThrowingHandlerLeavesTheRestOfTheBatchQueued) {
    EventQueue queue;
    std::vector<int> seen;
    FunctionHandler h(kIdA, [&](const EventId*, const void* payload) {
        int v;
        std::memcpy(&v, payload, sizeof v);
        seen.push_back(v);
        if (v == 1) throw std::runtime_error("managed callback failed");
    });
    queue.AddHandler(&h);
    for (int i = 0; i < 4; ++i) queue.SendEvent(&kIdA, &i, sizeof i);
    EXPECT_THROW(queue.Pump(), std::runtime_error);
    const int late = 9;
    queue.SendEvent(&kIdA, &late, sizeof late);
    queue.PumpAll();
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 9}));
}

}  // namespace
}  // namespace velmora::host
