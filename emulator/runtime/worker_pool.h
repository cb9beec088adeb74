// The worker pool: the emulator's two worker threads (the "platform threads"), on which emulated
// operations complete.
#pragma once

#include <chrono>
#include <functional>

#include "emulator/runtime/export.h"

namespace velmora::emu {

// Work for a platform thread: run(arg), once. What the runtime's own operations hand the pool
// (the operation is its own task), so a start makes no closure.
struct Task {
    void (*run)(void*);
    void* arg;
};

// Runs work on an emulator worker thread (a "platform thread") after the delay.
EMU_API void Submit(Task task, std::chrono::microseconds delay = std::chrono::microseconds{0});
EMU_API void Submit(std::function<void()> work, std::chrono::microseconds delay = std::chrono::microseconds{0});
// Blocks until no submitted work is queued or running.
EMU_API void WaitIdle();
// True on an emulator worker thread.
EMU_API bool OnWorkerThread();

}  // namespace velmora::emu
