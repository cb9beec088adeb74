// The recycled blocks: the caches that threads take by their key, and the batches handed between
// caches.
#include "emulator/runtime/recycled_blocks.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace velmora::emu {
namespace {

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_RECYCLE_BLOCKS 0  // ASan must see every block freed, to catch a use after release
#elif defined(_WIN32)
// There a thread's key is the address of a thread-local variable, and mingw-w64 frees a thread's
// thread-local storage before it runs the thread's thread-local destructors, which still release
// objects: the blocks come from the C library as before.
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
constexpr uint32_t kBatch = 32;  // blocks handed between caches at once

// Every block is one allocation of the C library of its class's size, so a block can go back to
// the C library at any time, and a cache that is busy is no reason to wait.
struct FreeBlockLink {
    FreeBlockLink* next;
};

// The batches of one size that a cache handed on and none has taken yet.
struct Spare {
    std::mutex mutex;
    std::vector<FreeBlockLink*> batches;  // each a chain of kBatch blocks
};
Spare& SpareOf(size_t c) {
    static Spare* spares = new Spare[kClasses];  // never destroyed: blocks are released until the end
    return spares[c];
}

// The released blocks, by size, in kCaches caches. A thread uses the cache of its key (ThreadKey),
// found without thread-local storage: a lookup of a thread-local variable in a shared library goes
// through the dynamic linker, and at every allocation and release it cost a fifth of an emulated
// round trip. A cache is taken with one atomic exchange; a thread that finds its cache taken (by
// another thread whose key shares it, at that moment) uses the C library instead of waiting. No
// thread owns a cache, so nothing is left behind when a thread ends. More than two batches of a
// size go to the spares; a cache without a block of a size takes a batch from them.
constexpr size_t kCaches = 64;
struct Blocks {
    FreeBlockLink* head = nullptr;
    uint32_t count = 0;
};
struct alignas(1024) Cache {
    std::atomic<bool> taken{false};
    Blocks of[kClasses];  // by class
};
Cache caches[kCaches];

// The calling thread's cache, taken; null when another thread has it.
Cache* Take() {
    Cache& cache = caches[(ThreadKey() * 0x9E3779B97F4A7C15u) >> 58];  // 0 .. kCaches - 1
    return cache.taken.exchange(true, std::memory_order_acquire) ? nullptr : &cache;
}
static_assert(kCaches == 64);

void Give(size_t c, FreeBlockLink* chain) {
    Spare& spare = SpareOf(c);
    std::lock_guard lock(spare.mutex);
    spare.batches.push_back(chain);
}

// AllocateBlock when the cache has no block of the class: a batch from the spares, else the C
// library. Releases the cache.
[[gnu::noinline]] void* AllocateUncached(Cache& cache, size_t c) {
    FreeBlockLink* batch = nullptr;
    {
        Spare& spare = SpareOf(c);
        std::lock_guard lock(spare.mutex);
        if (!spare.batches.empty()) {
            batch = spare.batches.back();
            spare.batches.pop_back();
        }
    }
    if (batch) cache.of[c] = {batch->next, kBatch - 1};
    cache.taken.store(false, std::memory_order_release);
    return batch ? batch : std::malloc((c + 1) * kGrain);
}

// FreeBlock when the cache holds two batches of the class with the block: one batch goes to the
// spares. Releases the cache.
[[gnu::noinline]] void FreeToSpares(Cache& cache, size_t c) {
    Blocks& blocks = cache.of[c];
    FreeBlockLink* chain = blocks.head;
    FreeBlockLink* last = chain;
    for (uint32_t n = 1; n < kBatch; ++n) last = last->next;
    blocks.head = last->next;
    blocks.count -= kBatch;
    cache.taken.store(false, std::memory_order_release);
    last->next = nullptr;
    Give(c, chain);
}

}  // namespace

void* AllocateBlock(size_t size) {
    const size_t c = (size - 1) / kGrain;
    if (!VELMORA_RECYCLE_BLOCKS || c >= kClasses) return std::malloc(size);
    Cache* cache = Take();
    if (!cache) return std::malloc((c + 1) * kGrain);
    Blocks& blocks = cache->of[c];
    FreeBlockLink* b = blocks.head;
    if (!b) return AllocateUncached(*cache, c);
    blocks.head = b->next;
    --blocks.count;
    cache->taken.store(false, std::memory_order_release);
    return b;
}

void FreeBlock(void* block, size_t size) {
    const size_t c = (size - 1) / kGrain;
    if (!VELMORA_RECYCLE_BLOCKS || c >= kClasses) return std::free(block);
    Cache* cache = Take();
    if (!cache) return std::free(block);
    Blocks& blocks = cache->of[c];
    auto* b = static_cast<FreeBlockLink*>(block);
    b->next = blocks.head;
    blocks.head = b;
    if (++blocks.count == 2 * kBatch) return FreeToSpares(*cache, c);
    cache->taken.store(false, std::memory_order_release);
}

}  // namespace velmora::emu
