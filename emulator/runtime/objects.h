// The emulator's objects: IUnknown and IInspectable over the interfaces an object implements, with
// real reference counts (an object dies at its last Release), each object counted among the live
// objects and kept in a recycled block (AllocateObject).
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>
#include <utility>

#include "emulator/runtime/live_counts.h"
#include "platform/com_ptr.h"
#include "platform/implements.h"

namespace velmora::emu {

using namespace ::ABI;

// Implements IUnknown and IInspectable over the listed interfaces, counted among the live objects
// from its allocation to its release. Derived names its runtime class with
// `static constexpr char16_t RuntimeClassName[]`.
template <class Derived, class First, class... Rest>
class RuntimeObject : public Implements<Derived, First, Rest...> {
public:
    static void* operator new(size_t size) {
        if (void* block = AllocateObject(size)) return block;
        throw std::bad_alloc();
    }
    static void operator delete(void* block, size_t size) { FreeObject(block, size); }
};

// The lock of the emulator's state (an operation's status, a record's child made on first read,
// the users, the marketplace's data and call log, the worker pool's queue), mostly held briefly:
// taken and released with one atomic instruction each when no other thread wants it (a std::mutex
// costs about ten times as many, several times in every emulated call). A thread that finds it held
// sleeps until it is released (C++20 atomic wait), so a holder that is preempted or holds it long
// costs no spinning.
#ifdef _WIN32
// mingw-w64's C++ library (GCC 12) waits on an atomic through a shared pool of condition variables,
// which can miss a wake-up and leave a waiter asleep for ever; Windows builds take a std::mutex.
class StateLock {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};
#else
class StateLock {
public:
    void lock() {
        int state = kFree;
        if (state_.compare_exchange_strong(state, kHeld, std::memory_order_acquire)) return;
        if (state != kWaitedFor) state = state_.exchange(kWaitedFor, std::memory_order_acquire);
        while (state != kFree) {
            state_.wait(kWaitedFor, std::memory_order_relaxed);
            state = state_.exchange(kWaitedFor, std::memory_order_acquire);
        }
    }
    void unlock() {
        if (state_.exchange(kFree, std::memory_order_release) == kWaitedFor) state_.notify_one();
    }

private:
    static constexpr int kFree = 0, kHeld = 1, kWaitedFor = 2;  // kWaitedFor: held, and a thread may sleep on it
    std::atomic<int> state_{kFree};
};
#endif

// Creates an object holding its first reference.
template <class T, class... Args>
ComPtr<T> Make(Args&&... args) {
    return ComPtr<T>::Attach(new T(std::forward<Args>(args)...));
}

}  // namespace velmora::emu
