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

// Every block is one allocation of the C library of its class's size, so any thread can give a
// block back to the C library at any time.
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

// The blocks a thread released, by size; more than two batches' worth go to the spares.
struct ThreadBlocks {
    FreeBlockLink* head[kClasses] = {};
    uint32_t count[kClasses] = {};
    ThreadBlocks* nextUnused = nullptr;  // in the list of caches no thread uses

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

// The calling thread's cache, null until its first block is cached. Reached through one pointer
// in the static thread-local block: a lookup of the cache itself through the dynamic linker cost
// a fifth of an emulated round trip. A thread that ends hands its blocks on and its cache to the
// next thread that needs one, so a process that starts many threads keeps as many caches as it
// has threads at once.
EMU_STATIC_TLS constinit thread_local ThreadBlocks* threadBlocks = nullptr;
// Set when the thread handed its cache on: a later thread-local or static destructor on it
// allocates from and releases to the C library.
EMU_STATIC_TLS constinit thread_local bool threadHandedOn = false;

std::mutex unusedMutex;
ThreadBlocks* unusedCaches = nullptr;  // never destroyed, as the spares

// Registered on a thread's first cached block; its destructor hands the thread's blocks and cache on.
struct HandOnAtThreadEnd {
    void Arm() {}
    ~HandOnAtThreadEnd() {
        ThreadBlocks* t = threadBlocks;
        if (!t) return;
        t->HandOnAll();
        threadBlocks = nullptr;
        threadHandedOn = true;
        std::lock_guard lock(unusedMutex);
        t->nextUnused = unusedCaches;
        unusedCaches = t;
    }
};
thread_local HandOnAtThreadEnd handOnAtThreadEnd;

// The calling thread's cache, made or taken over on its first block; null once it was handed on.
ThreadBlocks* ThisThreadsBlocks() {
    if (threadBlocks || threadHandedOn) return threadBlocks;
    handOnAtThreadEnd.Arm();
    ThreadBlocks* t = nullptr;
    {
        std::lock_guard lock(unusedMutex);
        if ((t = unusedCaches)) unusedCaches = t->nextUnused;
    }
    if (!t) t = new ThreadBlocks;
    t->nextUnused = nullptr;
    return threadBlocks = t;
}

// AllocateBlock without a cached block of the class: a batch from the spares, else the C library.
[[gnu::noinline]] void* AllocateUncached(size_t c) {
    ThreadBlocks* t = ThisThreadsBlocks();
    if (!t) return std::malloc((c + 1) * kGrain);
    {
        Spare& spare = SpareOf(c);
        std::lock_guard lock(spare.mutex);
        if (spare.batches.empty()) return std::malloc((c + 1) * kGrain);
        t->head[c] = spare.batches.back();
        spare.batches.pop_back();
        t->count[c] = kBatch;
    }
    FreeBlockLink* b = t->head[c];
    t->head[c] = b->next;
    --t->count[c];
    return b;
}

// FreeBlock when the cache holds two batches but one of the class, or there is no cache: one batch
// goes to the spares.
[[gnu::noinline]] void FreeUncached(void* block, size_t c) {
    ThreadBlocks* t = ThisThreadsBlocks();
    if (!t) return std::free(block);
    auto* b = static_cast<FreeBlockLink*>(block);
    b->next = t->head[c];
    t->head[c] = b;
    if (++t->count[c] < 2 * kBatch) return;
    // Keep one batch, hand on the other.
    FreeBlockLink* last = b;
    for (uint32_t n = 1; n < kBatch; ++n) last = last->next;
    t->head[c] = last->next;
    last->next = nullptr;
    t->count[c] -= kBatch;
    t->Give(c, b);
}

}  // namespace

void* AllocateBlock(size_t size) {
    const size_t c = (size - 1) / kGrain;
    if (!VELMORA_RECYCLE_BLOCKS || c >= kClasses) return std::malloc(size);
    if (ThreadBlocks* t = threadBlocks)
        if (FreeBlockLink* b = t->head[c]) {
            t->head[c] = b->next;
            --t->count[c];
            return b;
        }
    return AllocateUncached(c);
}

void FreeBlock(void* block, size_t size) {
    const size_t c = (size - 1) / kGrain;
    if (!VELMORA_RECYCLE_BLOCKS || c >= kClasses) return std::free(block);
    ThreadBlocks* t = threadBlocks;
    if (t && t->count[c] < 2 * kBatch - 1) {
        auto* b = static_cast<FreeBlockLink*>(block);
        b->next = t->head[c];
        t->head[c] = b;
        ++t->count[c];
        return;
    }
    FreeUncached(block, c);
}

}  // namespace velmora::emu
