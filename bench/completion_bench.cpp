// The completion road: platform operations finishing on platform threads, their events delivered
// when the host pumps on its own thread, each calling a managed callback that disposes the result.
//
// Completion/share — the plugin's CPU share per completed operation, from the platform's completed
//   handler to the managed callback (continuation, result references, record, SendEvent, delivery).
//   The platform is the double of fake_platform.h: operations the benchmark finishes itself from
//   1 or 2 threads. Work runs in host frames: in each frame the completing threads finish their
//   share of the frame's operations, then the host thread pumps once. Only the frames are timed,
//   by process CPU time (every thread of the process). Four variants run in the same
//   measurement, each over the same number of operations:
//     harness  the frames with nothing to do (thread hand-offs, clock reads)
//     alone    completing operations that have no completed handler (the platform's own cost)
//     bare     each thread sends the same 32-byte record through the same host queue with
//              SendEvent, and the host pumps it to a trivial handler
//     road     completing operations whose continuation the plugin attached (the export was called
//              before the frame), delivered to a callback that disposes the result
//   share = road - alone; bare hand-off = bare - harness; both per operation.
// Completion/throughput — whole round trips from the export call to the callback, with the
//   emulator's inventory service (default delay 0) and its worker pool, 1 or 2 caller threads.
// Completion/latency — completions paced one every 50 us on a platform thread, the host waiting
//   in EventQueue::WaitAndPump; the time from completion to the callback, p50 and p99.
// Completion/memory — resident memory after the first round trips and after all of them.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/prctl.h>
#include <time.h>

#include <atomic>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "emulator/runtime/objects.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/users.h"

namespace velmora::bench {
namespace {

constexpr int32_t kAllMediaTypes = 14;

// What the callbacks of one measurement count; written on the host thread only.
struct Tally {
    std::atomic<size_t> delivered{0};
    std::atomic<size_t> failed{0};
};

void DisposeAndCount(int32_t hr, ObjectHandle result, void* userData) {
    X().InventoryItemsResult_Dispose(result);
    auto* tally = static_cast<Tally*>(userData);
    if (hr < 0) tally->failed.fetch_add(1, std::memory_order_relaxed);
    tally->delivered.fetch_add(1, std::memory_order_release);
}

// One frame's operations and the results they complete with.
struct Frame {
    std::vector<ComPtr<ItemsOperation>> operations;
    std::vector<ComPtr<FakeItemsResult>> results;

    void Make(size_t count) {
        results.clear();
        for (size_t i = 0; i < count; ++i) results.push_back(emu::Make<FakeItemsResult>());
    }
    void Complete(int worker, int workers) {
        const auto [begin, end] = Share(operations.size(), worker, workers);
        for (size_t i = begin; i < end; ++i) operations[i]->Complete(results[i].Get());
    }
    void Clear() {
        operations.clear();
        results.clear();
    }
};

enum class Variant { Harness, Alone, Bare, Road };
constexpr int kVariants = 4;

// Runs frames of one variant; the timed part of a frame is the completing threads' job and the
// host's pump.
class FrameRunner {
public:
    FrameRunner(Crew& crew, host::EventQueue& queue) : crew_(crew), queue_(queue) {}

    // Process CPU ns of one frame of `n` operations.
    int64_t Run(Variant variant, size_t n) {
        PreparedOperations& prepared = FakeOperations();
        if (variant == Variant::Alone || variant == Variant::Road) {
            frame_.Make(n);
            prepared.Prepare(n);
            frame_.operations = prepared.operations;
        }
        if (variant == Variant::Road) {
            for (size_t i = 0; i < n; ++i)
                ok_ &= X().InventoryService_GetInventoryItemsAsync(FakeUserManager::kFakeUserId, kAllMediaTypes,
                                                                   DisposeAndCount, &tally_);
            started_ += n;
        }
        prepared.operations.clear();
        std::function<void(int)> job;
        switch (variant) {
            case Variant::Harness:
                job = [](int) {};
                break;
            case Variant::Alone:
            case Variant::Road:
                job = [&](int w) { frame_.Complete(w, crew_.Size()); };
                break;
            case Variant::Bare:
                job = [&](int w) {
                    auto& target = static_cast<HostEventQueue&>(queue_);
                    const auto [begin, end] = Share(n, w, crew_.Size());
                    for (size_t i = begin; i < end; ++i) {
                        const BareHandler::Record record{nullptr, reinterpret_cast<void*>(i), nullptr, 0};
                        target.SendEvent(&BareHandler::kId, &record, sizeof record);
                    }
                };
                break;
        }
        const int64_t before = ProcessCpuNs();
        crew_.Run(job);
        queue_.Pump();
        const int64_t cpu = ProcessCpuNs() - before;
        frame_.Clear();
        return cpu;
    }

    // True when every started operation was delivered exactly once, successfully.
    bool AllDelivered() const { return ok_ && tally_.delivered.load() == started_ && tally_.failed.load() == 0; }

private:
    Crew& crew_;
    host::EventQueue& queue_;
    Frame frame_;
    Tally tally_;
    size_t started_ = 0;
    bool ok_ = true;
};

// The four variants interleave frame by frame (in a rotating order), so a change in the machine's
// load falls on all of them alike. Besides the batch totals, the median frame of each variant is
// kept: a figure that one preempted or cache-thrashed frame cannot move.
void CompletionShare(benchmark::State& state) {
    const int threads = int(state.range(0));
    host::Host& host = UseHost(Platform::Fake);
    host::EventQueue& queue = host.Queue();
    BareHandler bare;
    queue.AddHostHandler(&bare);
    Crew crew(threads);
    FrameRunner runner(crew, queue);
    const size_t frameSize = Config().frame;
    const size_t frames = std::max<size_t>(1, Config().completions / frameSize);
    int64_t cpu[kVariants] = {};
    std::vector<int64_t> perFrame[kVariants];
    for (auto _ : state) {
        for (size_t f = 0; f < frames; ++f) {
            for (int k = 0; k < kVariants; ++k) {
                const int v = int((f + size_t(k)) % kVariants);
                const int64_t ns = runner.Run(Variant(v), frameSize);
                cpu[v] += ns;
                perFrame[v].push_back(ns);
            }
        }
    }
    queue.RemoveHandler(&bare);
    const double ops = double(frames * frameSize) * double(state.iterations());
    if (!runner.AllDelivered() || double(bare.count) != ops) state.SkipWithError("an operation was not delivered once");
    auto mean = [&](Variant v) { return double(cpu[int(v)]) / ops; };
    auto median = [&](Variant v) { return Percentile(perFrame[int(v)], 0.5) / double(frameSize); };
    const double share = mean(Variant::Road) - mean(Variant::Alone);
    const double bareHandOff = mean(Variant::Bare) - mean(Variant::Harness);
    state.counters["share_ns"] = share;
    state.counters["bare_handoff_ns"] = bareHandOff;
    state.counters["share_over_bare"] = share / bareHandOff;
    state.counters["road_ns"] = mean(Variant::Road);
    state.counters["alone_ns"] = mean(Variant::Alone);
    state.counters["harness_ns"] = mean(Variant::Harness);
    state.counters["median_frame_share_ns"] = median(Variant::Road) - median(Variant::Alone);
    state.counters["median_frame_bare_ns"] = median(Variant::Bare) - median(Variant::Harness);
}

// ---- whole round trips through the emulator ----------------------------------------------------

constexpr uint32_t kUser = 1;

void EnsureInventoryUser() {
    if (emu::FindUser(kUser) >= 0) return;
    emu::AddUser({kUser, u"Bench", u"xuid-bench"});
    emu::InventoryItemData item;
    item.productId = u"9BENCHDLC001";
    item.mediaItemType = emu::MediaItemType::GameContent;
    item.titleId = 0x1234ABCD;
    item.url = u"https://inventory.example.test/items/9BENCHDLC001";
    emu::AddInventoryItem(kUser, item);
}

// Caller threads keep at most this many of their own operations in flight.
constexpr size_t kWindow = 256;

struct alignas(64) Caller {
    Tally tally;                    // first: the callback's user data points at the caller
    std::atomic<size_t> wakeAt{0};  // the delivered count the caller waits for
    size_t issued = 0;
    size_t refused = 0;
};

// Wakes the caller only at the count it waits for: a wake-up per callback would be a system call
// per round trip while it sleeps.
void DisposeCountAndWake(int32_t hr, ObjectHandle result, void* userData) {
    DisposeAndCount(hr, result, userData);
    auto* caller = static_cast<Caller*>(userData);
    if (caller->tally.delivered.load(std::memory_order_relaxed) == caller->wakeAt.load(std::memory_order_relaxed))
        caller->tally.delivered.notify_one();
}

// Starts `count` operations, keeping at most kWindow of its own in flight; when the window is
// full it sleeps until half of it was delivered.
void CallerLoop(Caller& caller, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (caller.issued - caller.tally.delivered.load(std::memory_order_acquire) >= kWindow) {
            const size_t target = caller.issued - kWindow / 2;
            caller.wakeAt.store(target, std::memory_order_relaxed);
            for (size_t seen; (seen = caller.tally.delivered.load(std::memory_order_acquire)) < target;)
                caller.tally.delivered.wait(seen);
        }
        if (X().InventoryService_GetInventoryItemsAsync(kUser, kAllMediaTypes, DisposeCountAndWake, &caller)) {
            ++caller.issued;
        } else {
            ++caller.refused;
        }
    }
}

// Saturated round trips: the callers start `count` operations in all while the host thread waits
// and pumps until every callback ran. Answers wall ns; adds the process CPU ns to *cpu.
int64_t RunRoundTrips(host::EventQueue& queue, int callers, size_t count, int64_t* cpu, bool& ok) {
    std::vector<Caller> slots(static_cast<size_t>(callers));
    std::vector<std::thread> threads;
    std::atomic<int> finished{0};
    const int64_t wall0 = WallNs(), cpu0 = ProcessCpuNs();
    for (int c = 0; c < callers; ++c) {
        const auto [begin, end] = Share(count, c, callers);
        threads.emplace_back([&, c, n = end - begin] {
            CallerLoop(slots[size_t(c)], n);
            finished.fetch_add(1, std::memory_order_release);
        });
    }
    auto delivered = [&] {
        size_t total = 0;
        for (auto& s : slots) total += s.tally.delivered.load(std::memory_order_acquire);
        return total;
    };
    for (;;) {
        queue.WaitAndPump(std::chrono::milliseconds(1));
        if (finished.load(std::memory_order_acquire) < callers) continue;
        size_t issued = 0;
        for (auto& s : slots) issued += s.issued;
        if (delivered() >= issued) break;
    }
    const int64_t wall = WallNs() - wall0;
    *cpu += ProcessCpuNs() - cpu0;
    for (auto& t : threads) t.join();
    for (auto& s : slots) ok &= s.refused == 0 && s.tally.failed.load() == 0;
    return wall;
}

void Throughput(benchmark::State& state) {
    const int callers = int(state.range(0));
    host::Host& host = UseHost(Platform::Emulator);
    EnsureInventoryUser();
    emu::SetDefaultDelay(std::chrono::microseconds(0));
    const size_t count = Config().throughputTrips;
    bool ok = true;
    int64_t wall = 0, cpu = 0;
    for (auto _ : state) wall += RunRoundTrips(host.Queue(), callers, count, &cpu, ok);
    if (!ok) state.SkipWithError("a call was refused or failed");
    const double trips = double(count) * double(state.iterations());
    state.counters["trips_per_s"] = trips / (double(wall) * 1e-9);
    state.counters["wall_ns_per_trip"] = double(wall) / trips;
    state.counters["cpu_ns_per_trip"] = double(cpu) / trips;
}

// ---- latency of paced completions ----------------------------------------------------------------

struct Paced {
    int64_t completedAt = 0;
    int64_t latency = 0;
    bool delivered = false;
};

void RecordLatency(int32_t, ObjectHandle result, void* userData) {
    const int64_t now = WallNs();
    X().InventoryItemsResult_Dispose(result);
    auto* paced = static_cast<Paced*>(userData);
    paced->latency = now - paced->completedAt;
    paced->delivered = true;
}

void Latency(benchmark::State& state) {
    constexpr int64_t kPeriodNs = 50'000;
    host::Host& host = UseHost(Platform::Fake);
    const size_t count = Config().pacedOperations;
    std::vector<int64_t> latencies;
    int64_t paceSum = 0;
    bool ok = true;
    for (auto _ : state) {
        std::vector<Paced> slots(count);
        Frame frame;
        frame.Make(count);
        FakeOperations().Prepare(count);
        frame.operations = FakeOperations().operations;
        for (size_t i = 0; i < count; ++i)
            ok &= X().InventoryService_GetInventoryItemsAsync(FakeUserManager::kFakeUserId, kAllMediaTypes,
                                                              RecordLatency, &slots[i]);
        FakeOperations().operations.clear();
        int64_t first = 0, last = 0;
        std::thread platform([&] {
            prctl(PR_SET_TIMERSLACK, 1UL);  // the default 50 us slack would double the pace
            const int64_t start = WallNs();
            for (size_t i = 0; i < count; ++i) {
                const int64_t due = start + int64_t(i) * kPeriodNs;
                timespec t{time_t(due / 1'000'000'000), long(due % 1'000'000'000)};
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
                slots[i].completedAt = WallNs();
                if (i == 0) first = slots[i].completedAt;
                last = slots[i].completedAt;
                frame.operations[i]->Complete(frame.results[i].Get());
            }
        });
        size_t next = 0;
        while (next < count) {
            host.Queue().WaitAndPump(std::chrono::milliseconds(100));
            while (next < count && slots[next].delivered) ++next;
        }
        platform.join();
        for (const Paced& p : slots) latencies.push_back(p.latency);
        paceSum += count > 1 ? (last - first) / int64_t(count - 1) : 0;
    }
    if (!ok) state.SkipWithError("an export refused to start");
    state.counters["p50_us"] = Percentile(latencies, 0.50) / 1e3;
    state.counters["p99_us"] = Percentile(latencies, 0.99) / 1e3;
    state.counters["pace_us"] = double(paceSum) / double(state.iterations()) / 1e3;
}

// ---- resident memory over many round trips -------------------------------------------------------

// `count` round trips through the fake platform: export, completion on a platform thread, pump,
// callback. Frames keep a bounded number in flight.
void FakeRoundTrips(Crew& crew, host::EventQueue& queue, size_t count, bool& ok) {
    const size_t frameSize = Config().frame;
    Frame frame;
    Tally tally;
    for (size_t done = 0; done < count; done += frameSize) {
        const size_t n = std::min(frameSize, count - done);
        frame.Make(n);
        FakeOperations().Prepare(n);
        frame.operations = FakeOperations().operations;
        for (size_t i = 0; i < n; ++i)
            ok &= X().InventoryService_GetInventoryItemsAsync(FakeUserManager::kFakeUserId, kAllMediaTypes,
                                                              DisposeAndCount, &tally);
        FakeOperations().operations.clear();
        crew.Run([&](int w) { frame.Complete(w, crew.Size()); });
        queue.Pump();
        frame.Clear();
    }
    ok &= tally.delivered.load() == count;
}

// The fake platform's road keeps the plugin and the host alone in the picture: their storage must
// not grow with the number of round trips. The same run gives the road's speed without the
// emulator (one platform thread completing, the host thread calling the exports and pumping).
void Memory(benchmark::State& state) {
    host::Host& host = UseHost(Platform::Fake);
    Crew crew(1);
    const size_t warmup = Config().memoryWarmup, total = Config().memoryTrips;
    bool ok = true;
    for (auto _ : state) {
        FakeRoundTrips(crew, host.Queue(), warmup, ok);
        const int64_t afterWarmup = ResidentBytes();
        const size_t heapAfterWarmup = mallinfo2().uordblks;
        const int64_t wall0 = WallNs(), cpu0 = ProcessCpuNs();
        FakeRoundTrips(crew, host.Queue(), total - warmup, ok);
        const double trips = double(total - warmup);
        state.counters["wall_ns_per_trip"] = double(WallNs() - wall0) / trips;
        state.counters["cpu_ns_per_trip"] = double(ProcessCpuNs() - cpu0) / trips;
        const int64_t afterAll = ResidentBytes();
        state.counters["rss_after_warmup_kib"] = double(afterWarmup) / 1024;
        state.counters["rss_after_all_kib"] = double(afterAll) / 1024;
        state.counters["growth_kib"] = double(afterAll - afterWarmup) / 1024;
        // The host thread's heap in use (the main arena, where the exports' and the pump's
        // allocations live): unlike resident memory, a leak cannot hide in memory freed earlier.
        state.counters["heap_growth_bytes"] = double(int64_t(mallinfo2().uordblks) - int64_t(heapAfterWarmup));
    }
    if (!ok) state.SkipWithError("a round trip was lost");
}

// The same check on the whole road through the emulator, reported per round trip: its logs of
// service calls keep the last 1,024 calls, so they stop growing once full. The host thread makes
// the calls itself, so the log lives in its heap (the main arena), whose bytes in use count any
// growth exactly even where resident memory reuses pages freed earlier.
void HostThreadTrips(host::EventQueue& queue, size_t count, bool& ok) {
    Tally tally;
    size_t issued = 0;
    for (size_t i = 0; i < count; ++i) {
        while (issued - tally.delivered.load() >= kWindow) queue.WaitAndPump(std::chrono::milliseconds(1));
        if (X().InventoryService_GetInventoryItemsAsync(kUser, kAllMediaTypes, DisposeAndCount, &tally)) {
            ++issued;
        } else {
            ok = false;
        }
    }
    while (tally.delivered.load() < issued) queue.WaitAndPump(std::chrono::milliseconds(1));
    ok &= tally.failed.load() == 0;
}

int64_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return int64_t(m.uordblks + m.hblkhd);
}

void EmulatorMemory(benchmark::State& state) {
    host::Host& host = UseHost(Platform::Emulator);
    EnsureInventoryUser();
    emu::SetDefaultDelay(std::chrono::microseconds(0));
    const size_t warmup = Config().memoryWarmup, trips = Config().throughputTrips;
    bool ok = true;
    for (auto _ : state) {
        HostThreadTrips(host.Queue(), warmup, ok);
        const int64_t heap0 = HeapInUse(), rss0 = ResidentBytes();
        HostThreadTrips(host.Queue(), trips, ok);
        state.counters["heap_growth_bytes_per_trip"] = double(HeapInUse() - heap0) / double(trips);
        state.counters["rss_growth_bytes_per_trip"] = double(ResidentBytes() - rss0) / double(trips);
    }
    if (!ok) state.SkipWithError("a call was refused or failed");
}

// Registered in this order on purpose: the fake platform's memory check first, before anything
// has freed memory that a growing road could reuse; the CPU-share measurement before the emulator
// has filled and freed its call log (hundreds of MB in small blocks), which leaves a fragmented
// heap that makes the same frames about 30% slower; the emulator's memory check last.
BENCHMARK(Memory)->Name("Completion/memory_fake_platform")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CompletionShare)
    ->Name("Completion/share_cpu")
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Throughput)
    ->Name("Completion/throughput")
    ->ArgName("callers")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Latency)->Name("Completion/latency_paced_50us")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(EmulatorMemory)->Name("Completion/memory_emulator")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::bench
