// Live object counts, faults and scripted outcomes, the worker pool and Reset.
#include "emulator/runtime.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <queue>
#include <thread>
#include <unordered_map>

namespace velmora::emu {
namespace {

std::atomic<int64_t> liveObjects{0};

// ---- faults and scripts

struct Armed {
    HRESULT hr;
    int remaining;  // < 0: every call
};
std::mutex faultMutex;
std::unordered_map<std::string, Armed> faults;
std::atomic<int> faultCount{0};

std::mutex scriptMutex;
std::unordered_map<std::string, std::deque<Outcome>> scripts;
std::atomic<int64_t> defaultDelayUs{0};

// ---- worker pool: two platform threads, tasks ordered by due time

class Pool {
public:
    void Submit(std::function<void()> work, std::chrono::microseconds delay) {
        std::lock_guard lock(mutex_);
        if (threads_ == 0) Start();
        tasks_.push(Task{std::chrono::steady_clock::now() + delay, sequence_++, std::move(work)});
        ++pending_;
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
    void Run() {
        onWorker = true;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (tasks_.empty()) {
                wake_.wait(lock);
                continue;
            }
            const auto due = tasks_.top().due;
            if (due > std::chrono::steady_clock::now()) {
                wake_.wait_until(lock, due);
                continue;
            }
            auto work = std::move(const_cast<Task&>(tasks_.top()).work);
            tasks_.pop();
            lock.unlock();
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
    std::priority_queue<Task, std::vector<Task>, std::greater<>> tasks_;
    uint64_t sequence_ = 0;
    size_t pending_ = 0;
    int threads_ = 0;
};
thread_local bool Pool::onWorker = false;

Pool& ThePool() {
    static Pool* pool = new Pool;  // never destroyed: its detached threads outlive static destruction
    return *pool;
}

// ---- reset

std::mutex resetMutex;
std::vector<std::function<void()>>& ResetHooks() {
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

}  // namespace

ObjectCounter::ObjectCounter() { liveObjects.fetch_add(1, std::memory_order_relaxed); }
ObjectCounter::~ObjectCounter() { liveObjects.fetch_sub(1, std::memory_order_relaxed); }
int64_t LiveObjects() { return liveObjects.load(); }

void InjectFault(std::string_view call, HRESULT hr, int times) {
    std::lock_guard lock(faultMutex);
    faults[std::string(call)] = Armed{hr, times};
    faultCount = int(faults.size());
}

HRESULT TakeFault(std::string_view call) {
    if (faultCount.load(std::memory_order_relaxed) == 0) return S_OK;
    std::lock_guard lock(faultMutex);
    auto it = faults.find(std::string(call));
    if (it == faults.end()) return S_OK;
    const HRESULT hr = it->second.hr;
    if (it->second.remaining > 0 && --it->second.remaining == 0) faults.erase(it);
    faultCount = int(faults.size());
    return hr;
}

void ClearFaults() {
    std::lock_guard lock(faultMutex);
    faults.clear();
    faultCount = 0;
}

void ScriptOutcome(std::string_view call, Outcome outcome, int times) {
    std::lock_guard lock(scriptMutex);
    auto& queue = scripts[std::string(call)];
    for (int i = 0; i < times; ++i) queue.push_back(outcome);
}

Outcome NextOutcome(std::string_view call) {
    std::lock_guard lock(scriptMutex);
    auto it = scripts.find(std::string(call));
    if (it == scripts.end() || it->second.empty()) return Outcome{};
    Outcome o = it->second.front();
    it->second.pop_front();
    return o;
}

void SetDefaultDelay(std::chrono::microseconds delay) { defaultDelayUs = delay.count(); }
std::chrono::microseconds DefaultDelay() { return std::chrono::microseconds(defaultDelayUs.load()); }

void ClearScripts() {
    std::lock_guard lock(scriptMutex);
    scripts.clear();
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

HRESULT StartAction(std::string_view call, std::function<HRESULT()> work, IAsyncAction** action) {
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
        Submit(std::move(finish), outcome.delay.count() < 0 ? DefaultDelay() : outcome.delay);
    }
    *action = op.Detach();
    return S_OK;
}

}  // namespace velmora::emu
