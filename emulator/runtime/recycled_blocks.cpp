// The recycled blocks: each thread's own, and the batches handed between threads.
#include "emulator/runtime/recycled_blocks.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace velmora::emu {
namespace {

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_RECYCLE_BLOCKS 0  // ASan must see every block freed, to catch a use after release
#elif defined(_WIN32)
// mingw-w64 frees a thread's thread-local storage before it runs the thread's thread-local
// destructors, so a thread that ends could not hand its blocks on.
#define VELMORA_RECYCLE_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_RECYCLE_BLOCKS 0
#endif
#endif
#ifndef VELMORA_RECYCLE_BLOCKS
#define VELMORA_RECYCLE_BLOCKS 1
#endif

constexpr size_t kGrain = 16;
constexpr size_t kClasses = 32;  // blocks of 16, 32, ... 512 bytes
constexpr uint32_t kBatch = 32;  // blocks handed between threads at once

struct FreeBlockLink {
    FreeBlockLink* next;
};

// The batches of one size that some thread released and none has taken yet.
struct Spare {
    std::mutex mutex;
    std::vector<FreeBlockLink*> batches;  // each a chain of kBatch blocks
};
Spare& SpareOf(size_t c) {
    static Spare* spares = new Spare[kClasses];  // never destroyed: blocks are released until the end
    return spares[c];
}

// The blocks a thread released, by size; more than two batches' worth go to the spares, and a
// thread that ends hands on all it has. Trivially destructible, so that a block released after
// the hand-on (by a later thread-local or static destructor) still finds a valid, empty cache.
struct ThreadBlocks {
    FreeBlockLink* head[kClasses] = {};
    uint32_t count[kClasses] = {};

    void Give(size_t c, FreeBlockLink* chain) {
        Spare& spare = SpareOf(c);
        std::lock_guard lock(spare.mutex);
        spare.batches.push_back(chain);
    }
    void HandOnAll() {
        for (size_t c = 0; c < kClasses; ++c) {
            while (head[c]) {
                FreeBlockLink* chain = head[c];
                FreeBlockLink* last = chain;
                for (uint32_t n = 1; n < kBatch && last->next; ++n) last = last->next;
                head[c] = last->next;
                last->next = nullptr;
                Give(c, chain);
            }
            count[c] = 0;
        }
    }
};
thread_local ThreadBlocks threadBlocks;

// Registered on a thread's first cached block; its destructor hands the thread's blocks on.
struct HandOnAtThreadEnd {
    void Arm() {}
    ~HandOnAtThreadEnd() { threadBlocks.HandOnAll(); }
};
thread_local HandOnAtThreadEnd handOnAtThreadEnd;

}  // namespace

void* AllocateBlock(size_t size) {
    const size_t c = (size - 1) / kGrain;
    if (!VELMORA_RECYCLE_BLOCKS || c >= kClasses) return std::malloc(size);
    ThreadBlocks& t = threadBlocks;
    if (!t.head[c]) {
        Spare& spare = SpareOf(c);
        std::lock_guard lock(spare.mutex);
        if (spare.batches.empty()) return std::malloc((c + 1) * kGrain);
        handOnAtThreadEnd.Arm();
        t.head[c] = spare.batches.back();
        spare.batches.pop_back();
        t.count[c] = kBatch;
    }
    FreeBlockLink* b = t.head[c];
    t.head[c] = b->next;
    --t.count[c];
    return b;
}

void FreeBlock(void* block, size_t size) {
    const size_t c = (size - 1) / kGrain;
    if (!VELMORA_RECYCLE_BLOCKS || c >= kClasses) return std::free(block);
    ThreadBlocks& t = threadBlocks;
    if (t.count[c] == 0) handOnAtThreadEnd.Arm();
    auto* b = static_cast<FreeBlockLink*>(block);
    b->next = t.head[c];
    t.head[c] = b;
    if (++t.count[c] < 2 * kBatch) return;
    // Keep one batch, hand on the other.
    FreeBlockLink* last = b;
    for (uint32_t n = 1; n < kBatch; ++n) last = last->next;
    t.head[c] = last->next;
    last->next = nullptr;
    t.count[c] -= kBatch;
    t.Give(c, b);
}

}  // namespace velmora::emu
