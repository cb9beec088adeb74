// Memory for the emulator's objects and strings. A round trip's records are made on a platform
// thread and released on the host's; with the C library's allocator each such allocation misses
// the making thread's cache and takes an arena lock that the releasing thread contends for. Blocks
// up to 512 bytes are recycled instead: a thread keeps the blocks it released in the cache of its
// key, which hands them on to the others in batches, one lock per batch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "emulator/runtime/export.h"

namespace velmora::emu {

// A number that tells the calling thread from every other thread alive now, for what the runtime
// keeps per thread (caches of blocks, stripes of counts): the thread pointer, read with one
// instruction, where the compiler gives it; elsewhere the address of a thread-local variable.
inline uintptr_t ThreadKey() {
#if defined(__ELF__)
    return reinterpret_cast<uintptr_t>(__builtin_thread_pointer());
#else
    thread_local const char marker = 0;
    return reinterpret_cast<uintptr_t>(&marker);
#endif
}

// A block of at least `size` bytes, or null when memory is out.
EMU_API void* AllocateBlock(size_t size);
EMU_API void FreeBlock(void* block, size_t size);

// Storage from the recycled blocks, for what a platform thread makes and the host's releases.
template <class T>
struct BlockAllocator {
    using value_type = T;
    BlockAllocator() = default;
    template <class U>
    BlockAllocator(const BlockAllocator<U>&) {}
    T* allocate(size_t n) {
        if (void* block = AllocateBlock(n * sizeof(T))) return static_cast<T*>(block);
        throw std::bad_alloc();
    }
    void deallocate(T* p, size_t n) { FreeBlock(p, n * sizeof(T)); }
    friend bool operator==(const BlockAllocator&, const BlockAllocator&) { return true; }
};

}  // namespace velmora::emu
