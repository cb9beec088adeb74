// The live counts: each count in stripes, and the count of live objects.
#include "emulator/runtime/live_counts.h"

#include <atomic>

namespace velmora::emu {
namespace {

LiveCount liveObjects{0};

// Each count is kept in stripes of a cache line each, and a thread changes the stripe it drew
// first, so an object made on a platform thread and released on the host's does not move one
// cache line between their cores at every change. Nothing per thread has to be folded back when
// the thread ends: mingw-w64 frees a thread's thread-local storage before it runs the thread's
// thread-local destructors.
constexpr size_t kStripes = 16;
struct alignas(64) Stripe {
    std::atomic<int64_t> value{0};
};
Stripe stripes[LiveCount::kCounts][kStripes];
std::atomic<size_t> stripesDrawn{0};
constexpr size_t kNoStripe = ~size_t{0};
thread_local size_t threadStripe = kNoStripe;

}  // namespace

void LiveCount::Add(int64_t n) {
    if (threadStripe == kNoStripe) threadStripe = stripesDrawn.fetch_add(1, std::memory_order_relaxed) % kStripes;
    stripes[index_][threadStripe].value.fetch_add(n, std::memory_order_relaxed);
}

int64_t LiveCount::Total() const {
    int64_t total = 0;
    for (const Stripe& s : stripes[index_]) total += s.value.load();
    return total;
}

ObjectCounter::ObjectCounter() { liveObjects.Add(1); }
ObjectCounter::~ObjectCounter() { liveObjects.Add(-1); }
int64_t LiveObjects() { return liveObjects.Total(); }

}  // namespace velmora::emu
