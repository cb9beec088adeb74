// The emulator's live counts: the objects and platform strings alive now, which every test reads at
// its end to prove that nothing leaked. Plain types only, so the Windows parts of the emulator can
// include it beside the system's own headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "emulator/runtime/export.h"

namespace velmora::emu {

// Emulator objects alive now (an object dies at its last Release).
EMU_API int64_t LiveObjects();
// Platform strings alive now that our own code created or duplicated (duplicates that share one
// string count once).
EMU_API int64_t LiveStrings();

// A count that many threads change at once (live objects, live strings), kept in stripes so that
// two threads changing it at once seldom share a cache line. The total is exact whenever no change
// is under way, which is when tests read it. `index` tells the process's counts apart (0: live
// objects, 1: live strings).
class EMU_API LiveCount {
public:
    static constexpr size_t kCounts = 2;
    constexpr explicit LiveCount(size_t index) : index_(index) {}
    void Add(int64_t n);
    int64_t Total() const;

private:
    size_t index_;
};

// The memory of an emulator object (a recycled block, or null when memory is out), counted among
// the live objects from its allocation to its release: one call for both, since every emulated
// call makes and releases several objects.
EMU_API void* AllocateObject(size_t size);
EMU_API void FreeObject(void* block, size_t size);

}  // namespace velmora::emu
