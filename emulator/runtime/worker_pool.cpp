// The worker pool: two platform threads. Work without a delay runs in submission order; delayed
// work waits in order of its due time and runs first once due.
#include "emulator/runtime/worker_pool.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <queue>
#include <thread>
#include <vector>

#include "emulator/runtime/objects.h"
#include "emulator/runtime/recycled_blocks.h"

namespace velmora::emu {
namespace {

class Pool {
public:
    void Submit(Task work, std::chrono::microseconds delay) {
        std::unique_lock lock(mutex_);
        if (threads_ == 0) Start();
        ++pending_;
        if (delay.count() > 0) {
            timed_.push(Timed{std::chrono::steady_clock::now() + delay, sequence_++, work});
        } else {
            ready_.push_back(work);
            // A worker that is awake takes the task when it looks again: a wake-up is a system call,
            // made only when no worker is awake or work is piling up, and never twice at once.
            if (sleeping_ == 0 || waking_ || (sleeping_ < threads_ && ready_.size() < 2)) return;
            waking_ = true;
        }
        lock.unlock();
        wake_.notify_one();
    }
    void WaitIdle() {
        std::unique_lock lock(mutex_);
        ++idleWaiters_;
        idle_.wait(lock, [this] { return pending_ == 0; });
        --idleWaiters_;
    }

private:
    struct Timed {
        std::chrono::steady_clock::time_point due;
        uint64_t sequence;
        Task work;
        bool operator>(const Timed& o) const { return due != o.due ? due > o.due : sequence > o.sequence; }
    };
    void Start() {
        for (; threads_ < 2; ++threads_) std::thread([this] { Run(); }).detach();
    }
    // The next task to run now, if any; otherwise the time to wait until (max: no delayed task).
    bool Take(Task& work, std::chrono::steady_clock::time_point& until) {
        until = std::chrono::steady_clock::time_point::max();
        if (!timed_.empty()) {
            const auto due = timed_.top().due;
            if (due <= std::chrono::steady_clock::now()) {
                work = timed_.top().work;
                timed_.pop();
                return true;
            }
            until = due;
        }
        if (ready_.empty()) return false;
        work = ready_.front();
        ready_.pop_front();
        return true;
    }
    void Run() {
        onWorker = true;
        Task work;
        std::unique_lock lock(mutex_);
        for (;;) {
            std::chrono::steady_clock::time_point until;
            if (!Take(work, until)) {
                ++sleeping_;
                if (until == std::chrono::steady_clock::time_point::max()) {
                    wake_.wait(lock);
                } else {
                    wake_.wait_until(lock, until);
                }
                --sleeping_;
                waking_ = false;
                continue;
            }
            // More work than this worker: the other one helps.
            const bool wakeOther = !ready_.empty() && sleeping_ > 0 && !waking_;
            if (wakeOther) waking_ = true;
            lock.unlock();
            if (wakeOther) wake_.notify_one();
            work.run(work.arg);
            lock.lock();
            if (--pending_ == 0 && idleWaiters_ > 0) idle_.notify_all();
        }
    }

public:
    static thread_local bool onWorker;

private:
    // Taken twice per task: a StateLock costs a few instructions where a std::mutex costs fifty.
    // Notifying a condition_variable_any takes its own mutex, so it is notified only when a thread
    // waits.
    StateLock mutex_;
    std::condition_variable_any wake_, idle_;
    std::deque<Task> ready_;
    std::priority_queue<Timed, std::vector<Timed>, std::greater<>> timed_;
    uint64_t sequence_ = 0;
    size_t pending_ = 0;
    int threads_ = 0;
    int sleeping_ = 0;     // workers waiting on wake_
    int idleWaiters_ = 0;  // threads waiting on idle_
    bool waking_ = false;  // a worker was notified and has not woken yet
};
thread_local bool Pool::onWorker = false;

Pool& ThePool() {
    static Pool* pool = new Pool;  // never destroyed: its detached threads outlive static destruction
    return *pool;
}

}  // namespace

void Submit(Task task, std::chrono::microseconds delay) { ThePool().Submit(task, delay); }

// A function waits in a recycled block until it ran, freed by the platform thread into its own
// cache of blocks.
void Submit(std::function<void()> work, std::chrono::microseconds delay) {
    using Work = std::function<void()>;
    void* block = AllocateBlock(sizeof(Work));
    if (!block) throw std::bad_alloc();
    Submit(Task{[](void* held) {
                    auto* w = static_cast<Work*>(held);
                    (*w)();
                    w->~Work();
                    FreeBlock(w, sizeof(Work));
                },
                new (block) Work(std::move(work))},
           delay);
}
void WaitIdle() { ThePool().WaitIdle(); }
bool OnWorkerThread() { return Pool::onWorker; }

}  // namespace velmora::emu
