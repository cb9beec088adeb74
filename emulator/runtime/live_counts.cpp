// The live counts: each count in stripes, and the count of live objects.
#include "emulator/runtime/live_counts.h"

#include <atomic>

#include "emulator/runtime/recycled_blocks.h"

namespace velmora::emu {
namespace {

// Each count is kept in stripes of a cache line each, and a thread changes the stripe of its key
// (ThreadKey), so an object made on a platform thread and released on the host's seldom moves one
// cache line between their cores at every change. Threads that share a stripe only share its cache
// line. Nothing per thread has to be folded back when the thread ends: mingw-w64 frees a thread's
// thread-local storage before it runs the thread's thread-local destructors.
constexpr size_t kStripes = 16;
struct alignas(64) Stripe {
    std::atomic<int64_t> value{0};
};
Stripe stripes[LiveCount::kCounts][kStripes];

void AddTo(size_t count, int64_t n) {
    const size_t stripe = size_t((ThreadKey() * 0x9E3779B97F4A7C15u) >> 60);  // 0 .. kStripes - 1
    stripes[count][stripe].value.fetch_add(n, std::memory_order_relaxed);
}
static_assert(kStripes == 16);

constexpr size_t kObjects = 0;

}  // namespace

void LiveCount::Add(int64_t n) { AddTo(index_, n); }

int64_t LiveCount::Total() const {
    int64_t total = 0;
    for (const Stripe& s : stripes[index_]) total += s.value.load();
    return total;
}

void* AllocateObject(size_t size) {
    void* block = AllocateBlock(size);
    if (block) AddTo(kObjects, 1);
    return block;
}

void FreeObject(void* block, size_t size) {
    FreeBlock(block, size);
    AddTo(kObjects, -1);
}

int64_t LiveObjects() { return LiveCount(kObjects).Total(); }

}  // namespace velmora::emu
