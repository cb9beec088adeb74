// What the emulated console services are built from: reference-counted objects with live counts,
// read-only vectors, async operations and actions with the console's semantics, the classes they
// make activatable, the worker pool ("platform threads") and Reset. Used by the emulated services,
// the host and the tests.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "emulator/control.h"
#include "platform/activation.h"
#include "platform/async.h"
#include "platform/collections.h"
#include "platform/com_ptr.h"
#include "platform/implements.h"

namespace velmora::emu {

using namespace ::ABI;
using ::ABI::Windows::Foundation::AsyncStatus;
using ::ABI::Windows::Foundation::IAsyncAction;
using ::ABI::Windows::Foundation::IAsyncActionCompletedHandler;
using ::ABI::Windows::Foundation::IAsyncInfo;
using ::ABI::Windows::Foundation::IAsyncOperation;
using ::ABI::Windows::Foundation::IAsyncOperationCompletedHandler;
using ::ABI::Windows::Foundation::Collections::IVector;
using ::ABI::Windows::Foundation::Collections::IVectorView;

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

class EMU_API ObjectCounter {
protected:
    ObjectCounter();
    ~ObjectCounter();
};

// Memory for the emulator's objects and strings. A round trip's records are made on a platform
// thread and released on the host's; with the C library's allocator each such allocation misses
// the making thread's cache and takes an arena lock that the releasing thread contends for. Blocks
// up to 512 bytes are recycled instead: each thread keeps the blocks it released and hands them on
// to the others in batches, one lock per batch. Null when memory is out.
EMU_API void* AllocateBlock(size_t size);
EMU_API void FreeBlock(void* block, size_t size);

// Implements IUnknown and IInspectable over the listed interfaces, counted among the live objects.
// Derived names its runtime class with `static constexpr char16_t RuntimeClassName[]`.
template <class Derived, class First, class... Rest>
class RuntimeObject : public Implements<Derived, First, Rest...>, private ObjectCounter {
public:
    static void* operator new(size_t size) {
        if (void* block = AllocateBlock(size)) return block;
        throw std::bad_alloc();
    }
    static void operator delete(void* block, size_t size) { FreeBlock(block, size); }
};

// Creates an object holding its first reference.
template <class T, class... Args>
ComPtr<T> Make(Args&&... args) {
    return ComPtr<T>::Attach(new T(std::forward<Args>(args)...));
}

// ---- Strings ------------------------------------------------------------------------------------

EMU_API HStringOwner MakeString(std::u16string_view text);
EMU_API std::u16string ToU16(HSTRING s);
EMU_API std::string ToUtf8(std::u16string_view text);
EMU_API std::u16string FromUtf8(std::string_view text);

// ---- Worker pool --------------------------------------------------------------------------------

// Runs work on an emulator worker thread (a "platform thread") after the delay.
EMU_API void Submit(std::function<void()> work, std::chrono::microseconds delay = std::chrono::microseconds{0});
// Blocks until no submitted work is queued or running.
EMU_API void WaitIdle();
// True on an emulator worker thread.
EMU_API bool OnWorkerThread();

// ---- Activation ---------------------------------------------------------------------------------

// The runtime classes the emulated console services make activatable, each with the function that
// makes its activation factory. The services register theirs when the emulator loads; the system's
// activation finds them through DllGetActivationFactory (component.cpp).
using FactoryFunction = HRESULT (*)(IActivationFactory** factory);
EMU_API void RegisterActivatableClass(std::u16string_view runtimeClass, FactoryFunction factory);
template <class Factory>
HRESULT NewFactory(IActivationFactory** factory) {
    *factory = Make<Factory>().Detach();
    return S_OK;
}

// ---- Reset --------------------------------------------------------------------------------------

// Registers state that Reset() clears (each emulated service registers its own, once).
EMU_API void OnReset(std::function<void()> clear);
// Waits for pending work, clears every service's state, faults and scripts, and restores defaults.
EMU_API void Reset();
// Whether Reset keeps the delegates subscribed to the platform's events (purchases, installs).
// A process that loads the plugin once for its whole life (a managed game or test suite) is
// subscribed once, so its resets must keep them; one that loads a fresh plugin per test must not,
// since the delegates belong to a module that unloads. Starts false.
EMU_API void SetResetKeepsSubscriptions(bool keep);
EMU_API bool ResetKeepsSubscriptions();

// ---- Call logs ----------------------------------------------------------------------------------

// The most recent calls a service received, as tests and tools inspect them. Older calls are
// forgotten, so a long run does not grow without bound; the slots are reused, so a call filled in
// place (Next) allocates nothing once its texts have fitted before. Callers hold their own lock.
template <class T>
class RecentCalls {
public:
    static constexpr size_t kKept = 1024;
    void Record(T call) { Next() = std::move(call); }
    // The slot of a new call, holding an old call's values (or none) to be overwritten.
    T& Next() {
        if (calls_.size() < kKept) return calls_.emplace_back();
        T& slot = calls_[oldest_];
        oldest_ = (oldest_ + 1) % kKept;
        return slot;
    }
    std::vector<T> Snapshot() const {
        std::vector<T> out(calls_.begin() + ptrdiff_t(oldest_), calls_.end());
        out.insert(out.end(), calls_.begin(), calls_.begin() + ptrdiff_t(oldest_));
        return out;
    }
    void Clear() {
        calls_.clear();
        oldest_ = 0;
    }

private:
    std::vector<T> calls_;
    size_t oldest_ = 0;  // once full, the slot Next overwrites
};

// ---- Vectors ------------------------------------------------------------------------------------

template <class T>
struct Slot {  // how a vector stores one element of ABI type T
    using Stored = T;
    static Stored Store(T v) { return v; }
    static T Give(const Stored& s) { return s; }
    static T Peek(const Stored& s) { return s; }
    static bool Same(const Stored& s, T v) { return s == v; }
};
template <class I>
struct Slot<I*> {
    using Stored = ComPtr<I>;
    static Stored Store(I* v) { return ComPtr<I>(v); }
    static I* Give(const Stored& s) {
        if (s) s->AddRef();
        return s.Get();
    }
    static I* Peek(const Stored& s) { return s.Get(); }
    static bool Same(const Stored& s, I* v) { return s.Get() == v; }
};
template <>
struct Slot<HSTRING> {
    using Stored = std::shared_ptr<HStringOwner>;
    static Stored Store(HSTRING v) {
        auto o = std::make_shared<HStringOwner>();
        WindowsDuplicateString(v, o->Put());
        return o;
    }
    static HSTRING Give(const Stored& s) {
        HSTRING out = nullptr;
        WindowsDuplicateString(s->Get(), &out);
        return out;
    }
    static HSTRING Peek(const Stored& s) { return s ? s->Get() : nullptr; }
    static bool Same(const Stored& s, HSTRING v) { return ToU16(s->Get()) == ToU16(v); }
};

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

template <class T>
using Elements = std::vector<typename Slot<T>::Stored, BlockAllocator<typename Slot<T>::Stored>>;

template <class T>
HRESULT ElementAt(const Elements<T>& e, uint32_t index, T* item) {
    if (!item) return E_POINTER;
    if (index >= e.size()) return E_BOUNDS;
    *item = Slot<T>::Give(e[index]);
    return S_OK;
}

template <class T>
HRESULT ElementsMany(const Elements<T>& e, uint32_t start, uint32_t capacity, T* items, uint32_t* actual) {
    if (start > e.size()) return E_BOUNDS;
    uint32_t n = 0;
    for (; n < capacity && start + n < e.size(); ++n) items[n] = Slot<T>::Give(e[start + n]);
    *actual = n;
    return S_OK;
}

template <class T>
HRESULT ElementIndex(const Elements<T>& e, T value, uint32_t* index, boolean* found) {
    for (uint32_t i = 0; i < e.size(); ++i)
        if (Slot<T>::Same(e[i], value)) {
            *index = i;
            *found = 1;
            return S_OK;
        }
    *index = 0;
    *found = 0;
    return S_OK;
}

// A read-only vector whose elements are fixed at creation. Element reads can be made to fail
// with the fault names "IVectorView.GetAt" and "IVectorView.get_Size".
template <class T>
class VectorView : public RuntimeObject<VectorView<T>, IVectorView<T>> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Foundation.Collections.IVectorView`1";
    explicit VectorView(Elements<T> elements) : elements_(std::move(elements)) {}
    HRESULT GetAt(uint32_t index, T* item) override {
        if (HRESULT hr = TakeFault("IVectorView.GetAt")) return hr;
        return ElementAt<T>(elements_, index, item);
    }
    HRESULT get_Size(uint32_t* size) override {
        if (HRESULT hr = TakeFault("IVectorView.get_Size")) return hr;
        *size = uint32_t(elements_.size());
        return S_OK;
    }
    HRESULT IndexOf(T value, uint32_t* index, boolean* found) override {
        return ElementIndex<T>(elements_, value, index, found);
    }
    HRESULT GetMany(uint32_t start, uint32_t capacity, T* items, uint32_t* actual) override {
        return ElementsMany<T>(elements_, start, capacity, items, actual);
    }
    const Elements<T>& Items() const { return elements_; }

private:
    Elements<T> elements_;
};

template <class T>
ComPtr<IVectorView<T>> MakeVectorView(const std::vector<T>& values) {
    Elements<T> e;
    e.reserve(values.size());
    for (const T& v : values) e.push_back(Slot<T>::Store(v));
    return ComPtr<IVectorView<T>>::Attach(new VectorView<T>(std::move(e)));
}
template <class I>
ComPtr<IVectorView<I*>> MakeObjectVectorView(Elements<I*> values) {
    return ComPtr<IVectorView<I*>>::Attach(new VectorView<I*>(std::move(values)));
}
template <class I>
ComPtr<IVectorView<I*>> MakeObjectVectorView(std::vector<ComPtr<I>> values) {
    return MakeObjectVectorView<I>(
        Elements<I*>(std::make_move_iterator(values.begin()), std::make_move_iterator(values.end())));
}
EMU_API ComPtr<IVectorView<HSTRING>> MakeStringVectorView(const std::vector<std::u16string>& values);

// Reads every element of a view into a std::vector (used by the services to read their arguments).
EMU_API HRESULT ReadStrings(IVectorView<HSTRING>* view, std::vector<std::u16string>* out);
EMU_API HRESULT ReadUInt32s(IVectorView<uint32_t>* view, std::vector<uint32_t>* out);

// ---- Async operations and actions ----------------------------------------------------------------

// Completion state shared by operations and actions: status, error code, and the one completed
// handler, which runs once, outside any lock, on the completing thread (or at once when set after
// completion).
template <class Derived, class Handler>
class AsyncState {
public:
    HRESULT SetHandler(Handler* handler) {
        std::unique_lock lock(mutex_);
        if (handlerAssigned_) return E_ILLEGAL_DELEGATE_ASSIGNMENT;
        handlerAssigned_ = true;
        if (status_ == AsyncStatus::Started) {
            handler_ = ComPtr<Handler>(handler);
            return S_OK;
        }
        const AsyncStatus status = status_;
        lock.unlock();
        if (handler) handler->Invoke(static_cast<Derived*>(this), status);
        return S_OK;
    }
    HRESULT GetHandler(Handler** handler) {
        std::lock_guard lock(mutex_);
        *handler = ComPtr<Handler>(handler_).Detach();
        return S_OK;
    }
    AsyncStatus Status() {
        std::lock_guard lock(mutex_);
        return status_;
    }
    HRESULT ErrorCode() {
        std::lock_guard lock(mutex_);
        return error_;
    }

protected:
    // Moves to a final state once; later transitions are ignored. `settle` runs under the lock
    // just before the state changes (an operation stores its result there).
    template <class Settle>
    bool Finish(AsyncStatus status, HRESULT error, Settle settle) {
        ComPtr<Handler> handler;
        {
            std::lock_guard lock(mutex_);
            if (status_ != AsyncStatus::Started) return false;
            settle();
            status_ = status;
            error_ = error;
            handler = std::move(handler_);
        }
        if (handler) handler->Invoke(static_cast<Derived*>(this), status);
        return true;
    }
    bool Finish(AsyncStatus status, HRESULT error) {
        return Finish(status, error, [] {});
    }
    // The status and error code as they are now; the caller holds mutex_.
    AsyncStatus StatusLocked() const { return status_; }
    HRESULT ErrorLocked() const { return error_; }
    std::mutex mutex_;

private:
    AsyncStatus status_ = AsyncStatus::Started;
    HRESULT error_ = S_OK;
    bool handlerAssigned_ = false;
    ComPtr<Handler> handler_;
};

inline std::atomic<uint32_t> nextAsyncId{1};

template <class T>
class AsyncOperation : public RuntimeObject<AsyncOperation<T>, IAsyncOperation<T>, IAsyncInfo>,
                       public AsyncState<AsyncOperation<T>, IAsyncOperationCompletedHandler<T>> {
    using State = AsyncState<AsyncOperation<T>, IAsyncOperationCompletedHandler<T>>;

public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Foundation.IAsyncOperation`1";
    // Completion with a result (a new reference is taken on an interface result). GetResults then
    // answers `readCode`, a success code (a platform may answer S_FALSE with a result).
    void Complete(T result, HRESULT readCode = S_OK) {
        this->Finish(AsyncStatus::Completed, S_OK, [&] {
            result_ = Slot<T>::Store(result);
            readCode_ = readCode;
        });
    }
    void Fail(HRESULT hr) { this->Finish(AsyncStatus::Error, hr); }

    HRESULT put_Completed(IAsyncOperationCompletedHandler<T>* handler) override { return this->SetHandler(handler); }
    HRESULT get_Completed(IAsyncOperationCompletedHandler<T>** handler) override { return this->GetHandler(handler); }
    HRESULT GetResults(T* results) override {
        if (!results) return E_POINTER;
        std::lock_guard lock(this->mutex_);
        switch (this->StatusLocked()) {
            case AsyncStatus::Completed:
                *results = Slot<T>::Give(result_);
                return readCode_;
            case AsyncStatus::Error:
                return this->ErrorLocked();
            default:
                return E_ILLEGAL_METHOD_CALL;
        }
    }
    HRESULT get_Id(uint32_t* id) override {
        *id = id_;
        return S_OK;
    }
    HRESULT get_Status(AsyncStatus* status) override {
        *status = this->Status();
        return S_OK;
    }
    HRESULT get_ErrorCode(HRESULT* error) override {
        *error = this->ErrorCode();
        return S_OK;
    }
    HRESULT Cancel() override {
        this->Finish(AsyncStatus::Canceled, S_OK);
        return S_OK;
    }
    HRESULT Close() override { return S_OK; }

private:
    typename Slot<T>::Stored result_{};
    HRESULT readCode_ = S_OK;
    uint32_t id_ = nextAsyncId++;
};

class AsyncAction : public RuntimeObject<AsyncAction, IAsyncAction, IAsyncInfo>,
                    public AsyncState<AsyncAction, IAsyncActionCompletedHandler> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Foundation.IAsyncAction";
    void Complete() { Finish(AsyncStatus::Completed, S_OK); }
    void Fail(HRESULT hr) { Finish(AsyncStatus::Error, hr); }
    void CancelWith(HRESULT errorCode) { Finish(AsyncStatus::Canceled, errorCode); }

    HRESULT put_Completed(IAsyncActionCompletedHandler* handler) override { return SetHandler(handler); }
    HRESULT get_Completed(IAsyncActionCompletedHandler** handler) override { return GetHandler(handler); }
    HRESULT GetResults() override {
        switch (Status()) {
            case AsyncStatus::Completed:
                return S_OK;
            case AsyncStatus::Error:
                return ErrorCode();
            default:
                return E_ILLEGAL_METHOD_CALL;
        }
    }
    HRESULT get_Id(uint32_t* id) override {
        *id = id_;
        return S_OK;
    }
    HRESULT get_Status(AsyncStatus* status) override {
        *status = Status();
        return S_OK;
    }
    HRESULT get_ErrorCode(HRESULT* error) override {
        *error = ErrorCode();
        return S_OK;
    }
    HRESULT Cancel() override {
        CancelWith(S_OK);
        return S_OK;
    }
    HRESULT Close() override { return S_OK; }

private:
    uint32_t id_ = nextAsyncId++;
};

// What a service's work answers when the operation runs: a failing hr fails the operation.
template <class T>
struct WorkResult {
    HRESULT hr = S_OK;
    typename Slot<T>::Stored value{};
};

// Work for the pool whose closure lives in a recycled block: std::function would put a closure of
// this size on the heap, made by the calling thread and freed by the platform thread. It runs
// once; the pool moves its work and never copies it.
template <class F>
std::function<void()> InBlock(F work) {
    struct Run {
        F* work;
        void operator()() const {
            (*work)();
            work->~F();
            FreeBlock(work, sizeof(F));
        }
    };
    void* block = AllocateBlock(sizeof(F));
    if (!block) throw std::bad_alloc();
    return Run{new (block) F(std::move(work))};
}

// Starts an emulated asynchronous call named `call` following its scripted outcome. `work` runs
// when the operation completes (on a worker thread, or at once for synchronous completion) and
// produces the result or a failure.
template <class T, class Work>
HRESULT StartOperation(OperationName call, Work work, IAsyncOperation<T>** operation) {
    if (!operation) return E_POINTER;
    *operation = nullptr;
    const Outcome outcome = NextOutcome(call);
    using K = Outcome::Kind;
    if (outcome.kind == K::FailStart) return outcome.hr;
    if (outcome.kind == K::NullOperation) return S_OK;
    auto op = Make<AsyncOperation<T>>();
    auto finish = [op, outcome, work = std::move(work)] {
        const HRESULT readCode = Failed(outcome.hr) ? S_OK : outcome.hr;  // a completion's success code
        switch (outcome.kind) {
            case K::Fail:
                op->Fail(outcome.hr);
                return;
            case K::Cancel:
                op->Cancel();
                return;
            case K::NullResult:
                op->Complete(T{}, readCode);
                return;
            default:
                break;
        }
        WorkResult<T> r = work();
        if (Failed(r.hr)) return op->Fail(r.hr);
        op->Complete(Slot<T>::Peek(r.value), readCode);
    };
    if (outcome.kind == K::CompleteSynchronously) {
        finish();
    } else {
        Submit(InBlock(std::move(finish)), outcome.delay.count() < 0 ? DefaultDelay() : outcome.delay);
    }
    *operation = op.Detach();
    return S_OK;
}

// The same for an action; `work` answers the action's failure code, or S_OK.
EMU_API HRESULT StartAction(OperationName call, std::function<HRESULT()> work, IAsyncAction** action);

}  // namespace velmora::emu
