// Live object counts, faults and scripted outcomes, the worker pool and Reset.
#include "emulator/runtime.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <queue>
#include <stdexcept>
#include <thread>

#include "emulator/closest_names.h"

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

// ---- faults and scripts

constexpr size_t kCalls = std::size(kKnownCalls);

struct Armed {
    HRESULT hr = S_OK;
    int remaining = 0;  // < 0: every call; 0: not armed
};
std::mutex faultMutex;
Armed faults[kCalls];            // by CallName::Index()
std::atomic<int> faultCount{0};  // calls armed now, read without the lock

std::mutex scriptMutex;
std::vector<Outcome> scripts[kCalls];   // by CallName::Index(), the next first; few are ever queued
std::atomic<int64_t> scriptedCount{0};  // outcomes queued in `scripts`, read without the lock
std::atomic<int64_t> defaultDelayUs{0};

// ---- worker pool: two platform threads. Work without a delay runs in submission order; delayed
// work waits in order of its due time and runs first once due.

class Pool {
public:
    void Submit(std::function<void()> work, std::chrono::microseconds delay) {
        std::unique_lock lock(mutex_);
        if (threads_ == 0) Start();
        ++pending_;
        if (delay.count() > 0) {
            timed_.push(Task{std::chrono::steady_clock::now() + delay, sequence_++, std::move(work)});
        } else {
            ready_.push_back(std::move(work));
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
        idle_.wait(lock, [this] { return pending_ == 0; });
    }

private:
    struct Task {
        std::chrono::steady_clock::time_point due;
        uint64_t sequence;
        std::function<void()> work;
        bool operator>(const Task& o) const { return due != o.due ? due > o.due : sequence > o.sequence; }
    };
    void Start() {
        for (; threads_ < 2; ++threads_) std::thread([this] { Run(); }).detach();
    }
    // The next task to run now, if any; otherwise the time to wait until (max: no delayed task).
    bool Take(std::function<void()>& work, std::chrono::steady_clock::time_point& until) {
        until = std::chrono::steady_clock::time_point::max();
        if (!timed_.empty()) {
            const auto due = timed_.top().due;
            if (due <= std::chrono::steady_clock::now()) {
                work = std::move(const_cast<Task&>(timed_.top()).work);
                timed_.pop();
                return true;
            }
            until = due;
        }
        if (ready_.empty()) return false;
        work = std::move(ready_.front());
        ready_.pop_front();
        return true;
    }
    void Run() {
        onWorker = true;
        std::function<void()> work;
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
            work();
            work = nullptr;
            lock.lock();
            if (--pending_ == 0) idle_.notify_all();
        }
    }

public:
    static thread_local bool onWorker;

private:
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<std::function<void()>> ready_;
    std::priority_queue<Task, std::vector<Task>, std::greater<>> timed_;
    uint64_t sequence_ = 0;
    size_t pending_ = 0;
    int threads_ = 0;
    int sleeping_ = 0;     // workers waiting on wake_
    bool waking_ = false;  // a worker was notified and has not woken yet
};
thread_local bool Pool::onWorker = false;

Pool& ThePool() {
    static Pool* pool = new Pool;  // never destroyed: its detached threads outlive static destruction
    return *pool;
}

// ---- blocks

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

// ---- reset

std::mutex resetMutex;
std::vector<std::function<void()>>& ResetHooks() {
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

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

std::optional<std::string> CallNameProblem(std::string_view call, bool forOutcome) {
    const auto found = CallName::Find(call);
    if (found && (!forOutcome || found->StartsOperation())) return std::nullopt;
    std::vector<std::string_view> candidates;
    for (const KnownCall& k : kKnownCalls)
        if (!forOutcome || k.startsOperation) candidates.push_back(k.name);
    const std::string named = "\"" + std::string(call) + "\"";
    const std::string suggestion = "did you mean " + QuotedChoice(ClosestNames(call, candidates)) + "?";
    if (found) return named + " starts no asynchronous operation, so no outcome can be scripted for it; " + suggestion;
    return "unknown call " + named + "; " + suggestion;
}

std::optional<std::string> OutcomeKindProblem(Outcome::Kind kind) {
    if (size_t(kind) < std::size(kOutcomeKindNames)) return std::nullopt;
    std::string kinds;
    for (size_t i = 0; i < std::size(kOutcomeKindNames); ++i)
        kinds += (i ? ", " : "") + std::string(kOutcomeKindNames[i]) + " (" + std::to_string(i) + ")";
    return "unknown outcome kind " + std::to_string(int(kind)) + "; the kinds are " + kinds;
}

void InjectFault(std::string_view call, HRESULT hr, int times) {
    if (auto problem = CallNameProblem(call, false)) throw std::invalid_argument(*problem);
    std::lock_guard lock(faultMutex);
    Armed& armed = faults[CallName::Find(call)->Index()];
    if (armed.remaining == 0) ++faultCount;
    armed = Armed{hr, times};
    if (armed.remaining == 0) --faultCount;
}

HRESULT TakeFault(CallName call) {
    if (faultCount.load(std::memory_order_relaxed) == 0) return S_OK;
    std::lock_guard lock(faultMutex);
    Armed& armed = faults[call.Index()];
    if (armed.remaining == 0) return S_OK;
    if (armed.remaining > 0 && --armed.remaining == 0) --faultCount;
    return armed.hr;
}

void ClearFaults() {
    std::lock_guard lock(faultMutex);
    for (Armed& armed : faults) armed = Armed{};
    faultCount = 0;
}

void ScriptOutcome(std::string_view call, Outcome outcome, int times) {
    if (auto problem = CallNameProblem(call, true)) throw std::invalid_argument(*problem);
    if (auto problem = OutcomeKindProblem(outcome.kind)) throw std::invalid_argument(*problem);
    std::lock_guard lock(scriptMutex);
    auto& queue = scripts[CallName::Find(call)->Index()];
    for (int i = 0; i < times; ++i) queue.push_back(outcome);
    scriptedCount += std::max(times, 0);
}

Outcome NextOutcome(OperationName call) {
    if (scriptedCount.load(std::memory_order_relaxed) == 0) return Outcome{};
    std::lock_guard lock(scriptMutex);
    auto& queue = scripts[call.Index()];
    if (queue.empty()) return Outcome{};
    Outcome o = queue.front();
    queue.erase(queue.begin());
    --scriptedCount;
    return o;
}

void SetDefaultDelay(std::chrono::microseconds delay) { defaultDelayUs = delay.count(); }
std::chrono::microseconds DefaultDelay() { return std::chrono::microseconds(defaultDelayUs.load()); }

void ClearScripts() {
    std::lock_guard lock(scriptMutex);
    for (auto& queue : scripts) queue.clear();
    scriptedCount = 0;
}

void Submit(std::function<void()> work, std::chrono::microseconds delay) { ThePool().Submit(std::move(work), delay); }
void WaitIdle() { ThePool().WaitIdle(); }
bool OnWorkerThread() { return Pool::onWorker; }

void OnReset(std::function<void()> clear) {
    std::lock_guard lock(resetMutex);
    ResetHooks().push_back(std::move(clear));
}

namespace {
std::atomic<bool> resetKeepsSubscriptions{false};
}

void SetResetKeepsSubscriptions(bool keep) { resetKeepsSubscriptions = keep; }
bool ResetKeepsSubscriptions() { return resetKeepsSubscriptions; }

void Reset() {
    WaitIdle();
    std::vector<std::function<void()>> hooks;
    {
        std::lock_guard lock(resetMutex);
        hooks = ResetHooks();
    }
    for (auto& clear : hooks) clear();
    WaitIdle();
    ClearFaults();
    ClearScripts();
    SetDefaultDelay(std::chrono::microseconds{0});
}

ComPtr<IVectorView<HSTRING>> MakeStringVectorView(const std::vector<std::u16string>& values) {
    Elements<HSTRING> e;
    e.reserve(values.size());
    for (const auto& v : values) {
        auto s = std::make_shared<HStringOwner>(MakeString(v));
        e.push_back(std::move(s));
    }
    return ComPtr<IVectorView<HSTRING>>::Attach(new VectorView<HSTRING>(std::move(e)));
}

HRESULT ReadStrings(IVectorView<HSTRING>* view, std::vector<std::u16string>* out) {
    out->clear();
    if (!view) return S_OK;
    uint32_t size = 0;
    if (HRESULT hr = view->get_Size(&size); Failed(hr)) return hr;
    for (uint32_t i = 0; i < size; ++i) {
        HStringOwner s;
        if (HRESULT hr = view->GetAt(i, s.Put()); Failed(hr)) return hr;
        out->push_back(ToU16(s.Get()));
    }
    return S_OK;
}

HRESULT ReadUInt32s(IVectorView<uint32_t>* view, std::vector<uint32_t>* out) {
    out->clear();
    if (!view) return S_OK;
    uint32_t size = 0;
    if (HRESULT hr = view->get_Size(&size); Failed(hr)) return hr;
    out->resize(size);
    for (uint32_t i = 0; i < size; ++i)
        if (HRESULT hr = view->GetAt(i, &(*out)[i]); Failed(hr)) return hr;
    return S_OK;
}

HRESULT StartAction(OperationName call, std::function<HRESULT()> work, IAsyncAction** action) {
    if (!action) return E_POINTER;
    *action = nullptr;
    const Outcome outcome = NextOutcome(call);
    using K = Outcome::Kind;
    if (outcome.kind == K::FailStart) return outcome.hr;
    if (outcome.kind == K::NullOperation) return S_OK;
    auto op = Make<AsyncAction>();
    auto finish = [op, outcome, work = std::move(work)] {
        switch (outcome.kind) {
            case K::Fail:
                return op->Fail(outcome.hr);
            case K::Cancel:
                return op->CancelWith(outcome.hr);
            default:
                break;
        }
        const HRESULT hr = work();
        Failed(hr) ? op->Fail(hr) : op->Complete();
    };
    if (outcome.kind == K::CompleteSynchronously) {
        finish();
    } else {
        Submit(InBlock(std::move(finish)), outcome.delay.count() < 0 ? DefaultDelay() : outcome.delay);
    }
    *action = op.Detach();
    return S_OK;
}

}  // namespace velmora::emu
