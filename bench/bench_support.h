// What every benchmark shares: the one reference host and its plugin, clocks, resident memory, the
// crew of completing threads, and the run's sizes (smaller in the smoke run).
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/fake_platform.h"
#include "host/host.h"

namespace velmora::bench {

// Sizes of the batch benchmarks. The smoke run (--velmora_smoke) shrinks them so the whole binary
// finishes in seconds; its figures only prove that every benchmark runs.
struct Sizes {
    size_t completions = 100'000;      // per measurement of the completion road's CPU share
    size_t frame = 1'000;              // completions per host frame (one pump)
    size_t throughputTrips = 200'000;  // whole round trips per throughput measurement
    size_t pacedOperations = 10'000;   // paced completions per latency measurement
    size_t memoryTrips = 1'000'000;    // round trips of the resident-memory check
    size_t memoryWarmup = 10'000;      // round trips before the first resident-memory reading
    size_t packages = 1'000;           // packages of the package-list benchmark
    // --velmora_instructions: each accessor benchmark counts the instructions of its export and of
    // its floor, and the hand-off benchmark those of its hand-offs, under callgrind
    // (bench/instructions.sh) instead of timing them.
    bool countInstructions = false;
};
Sizes& Config();
void UseSmokeSizes();

// ---- the host --------------------------------------------------------------------------------

enum class Platform {
    Emulator,  // the emulator's user manager and services
    Fake,      // FakeUserManager: operations the benchmark finishes itself
};

// The one host, loaded with the plugin and settled, for a platform; switching platform resets the
// emulator and makes a new host. Exports() are the plugin's exports resolved by name.
host::Host& UseHost(Platform platform);
// Set by UseHost: read in every timed loop, so it is a plain pointer rather than a call.
extern const host::VelmoraExports* loadedExports;
inline const host::VelmoraExports& X() { return *loadedExports; }
PreparedOperations& FakeOperations();
// Unloads the plugin and resets the emulator (before the process exits).
void ReleaseHost();

// The host-owned handler of the bare hand-off: reads the record, as the plugin's handler does.
class BareHandler final : public HaldenEventQueue::EventHandler {
public:
    static constexpr EventId kId = HaldenGuidFromString("0BE4C5A1-6F0D-4C55-9A3E-7A1D2B9E4F60");
    struct Record {
        void* callback;
        void* userData;
        void* result;
        int32_t hr;
    };
    static_assert(sizeof(Record) == 32);

    void HandleEvent(const EventId*, const void* payload) override {
        sum += reinterpret_cast<uintptr_t>(static_cast<const Record*>(payload)->userData);
        ++count;
    }
    EventId GetEventId() const override { return kId; }
    int32_t ReservedQuery() const override { return 0; }

    uintptr_t sum = 0;
    size_t count = 0;
};

// ---- clocks and memory -----------------------------------------------------------------------

int64_t ProcessCpuNs();
int64_t WallNs();
int64_t ResidentBytes();

// ---- threads ---------------------------------------------------------------------------------

// Threads that run one job per frame on request, so a benchmark can have platform threads work
// while the host thread waits for them and then pumps. Waiting blocks without spinning, so the
// hand-off costs the same small CPU time whatever a frame's job does.
class Crew {
public:
    explicit Crew(int threads);
    ~Crew();
    Crew(const Crew&) = delete;
    Crew& operator=(const Crew&) = delete;

    // Runs job(worker index) once on every thread and returns when all have finished.
    void Run(const std::function<void(int)>& job);
    int Size() const { return int(threads_.size()); }

private:
    void Loop(int index);

    std::mutex mutex_;  // guards every field below
    std::condition_variable start_, done_;
    const std::function<void(int)>* job_ = nullptr;
    uint64_t generation_ = 0;
    size_t remaining_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

// The index range of worker `worker` of `workers` over `count` items.
inline std::pair<size_t, size_t> Share(size_t count, int worker, int workers) {
    return {count * size_t(worker) / size_t(workers), count * size_t(worker + 1) / size_t(workers)};
}

// ---- statistics ------------------------------------------------------------------------------

inline double Percentile(std::vector<int64_t> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return double(values[at]);
}

}  // namespace velmora::bench
