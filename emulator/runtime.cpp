// The emulated runtime base: live counts, faults and scripted outcomes, the worker pool, the
// activation registry, growable vectors and Reset.
#include "emulator/runtime.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <queue>
#include <thread>
#include <unordered_map>

#include "platform/threadpool.h"

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

// ---- activation and reset

std::mutex& ClassMutex() {
    static std::mutex m;
    return m;
}
std::map<std::u16string, FactoryFunction, std::less<>>& Classes() {
    static std::map<std::u16string, FactoryFunction, std::less<>> classes;
    return classes;
}
std::mutex resetMutex;
std::vector<std::function<void()>>& ResetHooks() {
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

// ---- growable vectors and their live views

template <class T>
class Vector;

template <class T>
class VectorLiveView : public RuntimeObject<VectorLiveView<T>, IVectorView<T>> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Platform.Collections.VectorView`1";
    explicit VectorLiveView(Vector<T>* owner) : owner_(owner) {}
    HRESULT GetAt(uint32_t index, T* item) override { return owner_->GetAt(index, item); }
    HRESULT get_Size(uint32_t* size) override { return owner_->get_Size(size); }
    HRESULT IndexOf(T value, uint32_t* index, boolean* found) override {
        return owner_->IndexOf(value, index, found);
    }
    HRESULT GetMany(uint32_t start, uint32_t capacity, T* items, uint32_t* actual) override {
        return owner_->GetMany(start, capacity, items, actual);
    }

private:
    ComPtr<Vector<T>> owner_;
};

template <class T>
class Vector : public RuntimeObject<Vector<T>, IVector<T>> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Platform.Collections.Vector`1";
    HRESULT GetAt(uint32_t index, T* item) override { return ElementAt<T>(e_, index, item); }
    HRESULT get_Size(uint32_t* size) override {
        *size = uint32_t(e_.size());
        return S_OK;
    }
    HRESULT GetView(IVectorView<T>** view) override {
        if (HRESULT hr = TakeFault("IVector.GetView")) return hr;
        *view = new VectorLiveView<T>(this);
        return S_OK;
    }
    HRESULT IndexOf(T value, uint32_t* index, boolean* found) override {
        return ElementIndex<T>(e_, value, index, found);
    }
    HRESULT SetAt(uint32_t index, T item) override {
        if (index >= e_.size()) return E_BOUNDS;
        e_[index] = Slot<T>::Store(item);
        return S_OK;
    }
    HRESULT InsertAt(uint32_t index, T item) override {
        if (index > e_.size()) return E_BOUNDS;
        e_.insert(e_.begin() + index, Slot<T>::Store(item));
        return S_OK;
    }
    HRESULT RemoveAt(uint32_t index) override {
        if (index >= e_.size()) return E_BOUNDS;
        e_.erase(e_.begin() + index);
        return S_OK;
    }
    HRESULT Append(T item) override {
        if (HRESULT hr = TakeFault("IVector.Append")) return hr;
        e_.push_back(Slot<T>::Store(item));
        return S_OK;
    }
    HRESULT RemoveAtEnd() override {
        if (e_.empty()) return E_BOUNDS;
        e_.pop_back();
        return S_OK;
    }
    HRESULT Clear() override {
        e_.clear();
        return S_OK;
    }
    HRESULT GetMany(uint32_t start, uint32_t capacity, T* items, uint32_t* actual) override {
        return ElementsMany<T>(e_, start, capacity, items, actual);
    }
    HRESULT ReplaceAll(uint32_t count, T* items) override {
        e_.clear();
        for (uint32_t i = 0; i < count; ++i) e_.push_back(Slot<T>::Store(items[i]));
        return S_OK;
    }

private:
    Elements<T> e_;
};

template <class T>
HRESULT CreateVector(IVector<T>** vector) {
    if (!vector) return E_POINTER;
    *vector = nullptr;
    if (HRESULT hr = TakeFault("PlatformCreateVector")) return hr;
    *vector = new Vector<T>();
    return S_OK;
}

// ---- "Windows.System.Threading.ThreadPool"

using ::ABI::Windows::System::Threading::IThreadPoolStatics;
using ::ABI::Windows::System::Threading::IWorkItemHandler;

class ThreadPoolStatics : public RuntimeObject<ThreadPoolStatics, IActivationFactory, IThreadPoolStatics> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.System.Threading.ThreadPool";
    HRESULT ActivateInstance(IInspectable**) override { return E_NOTIMPL; }
    HRESULT RunAsync(IWorkItemHandler* handler, IAsyncAction** operation) override {
        if (!handler || !operation) return E_POINTER;
        auto action = Make<AsyncAction>();
        Submit([action, h = ComPtr<IWorkItemHandler>(handler)] {
            const HRESULT hr = h->Invoke(action.Get());
            Failed(hr) ? action->Fail(hr) : action->Complete();
        });
        *operation = action.Detach();
        return S_OK;
    }
};

const bool threadPoolRegistered = [] {
    RegisterActivatableClass(::ABI::Windows::System::Threading::RuntimeClass_ThreadPool,
                             [](const Guid& iid, void** factory) {
                                 return Make<ThreadPoolStatics>()->QueryInterface(iid, factory);
                             });
    return true;
}();

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

void RegisterActivatableClass(std::u16string_view runtimeClass, FactoryFunction factory) {
    std::lock_guard lock(ClassMutex());
    Classes()[std::u16string(runtimeClass)] = std::move(factory);
}

void UnregisterActivatableClass(std::u16string_view runtimeClass) {
    std::lock_guard lock(ClassMutex());
    Classes().erase(std::u16string(runtimeClass));
}

void OnReset(std::function<void()> clear) {
    std::lock_guard lock(resetMutex);
    ResetHooks().push_back(std::move(clear));
}

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
            case K::Fail: return op->Fail(outcome.hr);
            case K::Cancel: return op->CancelWith(outcome.hr);
            default: break;
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

extern "C" {

ABI::HRESULT RoGetActivationFactory(ABI::HSTRING activatableClassId, const ABI::Guid& iid, void** factory) {
    using namespace velmora::emu;
    if (!factory) return E_POINTER;
    *factory = nullptr;
    const std::u16string name = ToU16(activatableClassId);
    if (HRESULT hr = TakeFault("RoGetActivationFactory:" + ToUtf8(name))) return hr;
    FactoryFunction make;
    {
        std::lock_guard lock(ClassMutex());
        auto it = Classes().find(name);
        if (it == Classes().end()) return REGDB_E_CLASSNOTREG;
        make = it->second;
    }
    return make(iid, factory);
}

ABI::HRESULT PlatformCreateStringVector(ABI::Windows::Foundation::Collections::IVector<ABI::HSTRING>** vector) {
    return velmora::emu::CreateVector(vector);
}

ABI::HRESULT PlatformCreateUInt32Vector(ABI::Windows::Foundation::Collections::IVector<uint32_t>** vector) {
    return velmora::emu::CreateVector(vector);
}
}
