// The emulated runtime's semantics that the plugin relies on: strings, reference counts,
// asynchronous operations and actions and their scripted outcomes, activation.
#include <thread>

#include "emulator/runtime/async.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/objects.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/vectors.h"
#include "emulator/runtime/worker_pool.h"
#include "platform/activation.h"
#include "platform/threadpool.h"
#include "tests/emulator_fixture.h"

namespace velmora::emu {
namespace {

using ::ABI::Windows::Foundation::AsyncStatus;

using RuntimeTest = test::EmulatorTest;

TEST_F(RuntimeTest, StringsAreSharedByDuplicatesAndTheNullStringIsEmpty) {
    uint32_t length = 99;
    EXPECT_STREQ(reinterpret_cast<const char*>(WindowsGetStringRawBuffer(nullptr, &length)), "");
    EXPECT_EQ(length, 0u);
    HSTRING empty = reinterpret_cast<HSTRING>(1);
    EXPECT_EQ(WindowsCreateString(u"", 0, &empty), S_OK);
    EXPECT_EQ(empty, nullptr) << "an empty text is the null string";
    EXPECT_EQ(LiveStrings(), 0);

    HStringOwner a = MakeString(u"caf\u00E9");
    HStringOwner b;
    ASSERT_EQ(WindowsDuplicateString(a.Get(), b.Put()), S_OK);
    EXPECT_EQ(LiveStrings(), 1) << "a duplicate shares the buffer";
    EXPECT_EQ(a.Raw(), b.Raw());
    a = HStringOwner();
    EXPECT_EQ(ToU16(b.Get()), u"caf\u00E9") << "the buffer lives while any duplicate does";
    b = HStringOwner();
    EXPECT_EQ(LiveStrings(), 0);
}

TEST_F(RuntimeTest, AnObjectDiesAtItsLastReleaseAndAnswersOnlyItsInterfaces) {
    auto view = MakeStringVectorView({u"x"});
    EXPECT_EQ(LiveObjects(), 1);
    ComPtr<IInspectable> asInspectable;
    EXPECT_EQ(view->QueryInterface(IInspectable::IID, reinterpret_cast<void**>(asInspectable.Put())), S_OK);
    ComPtr<IVectorView<uint32_t>> wrong;
    EXPECT_EQ(view->QueryInterface(IVectorView<uint32_t>::IID, reinterpret_cast<void**>(wrong.Put())), E_NOINTERFACE);
    view.Reset();
    EXPECT_EQ(LiveObjects(), 1) << "still referenced";
    asInspectable.Reset();
    EXPECT_EQ(LiveObjects(), 0);
}

// A completed handler that counts its calls and the status it saw.
template <class Handler, class Op>
class CountingHandler : public RuntimeObject<CountingHandler<Handler, Op>, Handler> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Test.CountingHandler";
    HRESULT Invoke(Op*, AsyncStatus status) override {
        ++calls;
        last = status;
        thread = std::this_thread::get_id();
        return S_OK;
    }
    std::atomic<int> calls{0};
    std::atomic<AsyncStatus> last{AsyncStatus::Started};
    std::thread::id thread;
};
using OpHandler = CountingHandler<IAsyncOperationCompletedHandler<uint32_t>, IAsyncOperation<uint32_t>>;
using ActionHandler = CountingHandler<IAsyncActionCompletedHandler, IAsyncAction>;

// Finished before its handler is set (the handler then runs at once, on the setting thread) or
// after, on another thread: either way the handler runs once, a second one is refused, and an
// operation finishes only once.
TEST_F(RuntimeTest, OperationsReportStatusErrorCodeAndResultsOnce) {
    struct Row {
        const char* what;
        std::function<void(AsyncOperation<uint32_t>&)> finish;
        AsyncStatus status;
        HRESULT error;
        HRESULT results;
    };
    const std::vector<Row> rows = {
        {"completed", [](auto& op) { op.Complete(3); }, AsyncStatus::Completed, S_OK, S_OK},
        {"failed", [](auto& op) { op.Fail(E_ACCESSDENIED); }, AsyncStatus::Error, E_ACCESSDENIED, E_ACCESSDENIED},
        {"cancelled", [](auto& op) { op.Cancel(); }, AsyncStatus::Canceled, S_OK, E_ILLEGAL_METHOD_CALL},
    };
    for (const Row& row : rows) {
        for (bool finishedFirst : {true, false}) {
            SCOPED_TRACE(std::string(row.what) + (finishedFirst ? " before the handler" : " after the handler"));
            auto op = Make<AsyncOperation<uint32_t>>();
            auto handler = Make<OpHandler>();
            if (finishedFirst) row.finish(*op.Get());
            ASSERT_EQ(op->put_Completed(handler.Get()), S_OK);
            EXPECT_EQ(handler->calls, finishedFirst ? 1 : 0);
            if (finishedFirst) {
                EXPECT_EQ(handler->thread, std::this_thread::get_id());
            } else {
                std::thread([&] { row.finish(*op.Get()); }).join();
            }
            EXPECT_EQ(handler->calls, 1);
            EXPECT_EQ(handler->last, row.status);
            AsyncStatus status;
            HRESULT error;
            op->get_Status(&status);
            op->get_ErrorCode(&error);
            EXPECT_EQ(status, row.status);
            EXPECT_EQ(error, row.error);
            uint32_t result = 0;
            EXPECT_EQ(op->GetResults(&result), row.results);
            EXPECT_EQ(result, row.results == S_OK ? 3u : 0u);
            EXPECT_EQ(op->put_Completed(handler.Get()), E_ILLEGAL_DELEGATE_ASSIGNMENT);
            op->Fail(E_FAIL);
            EXPECT_EQ(handler->calls, 1) << "an operation finishes once";
        }
    }
}

TEST_F(RuntimeTest, ScriptedOutcomesDecideHowAnActionEnds) {
    struct Row {
        Outcome outcome;
        HRESULT startResult;
        bool handedOut;
        AsyncStatus status;
        HRESULT error;
    };
    using K = Outcome::Kind;
    const std::vector<Row> rows = {
        {{K::Complete}, S_OK, true, AsyncStatus::Completed, S_OK},
        {{K::CompleteSynchronously}, S_OK, true, AsyncStatus::Completed, S_OK},
        {{K::Fail, E_ACCESSDENIED}, S_OK, true, AsyncStatus::Error, E_ACCESSDENIED},
        {{K::Cancel, static_cast<HRESULT>(0x800704C7)},
         S_OK,
         true,
         AsyncStatus::Canceled,
         static_cast<HRESULT>(0x800704C7)},
        {{K::FailStart, E_INVALIDARG}, E_INVALIDARG, false, AsyncStatus::Started, S_OK},
        {{K::NullOperation}, S_OK, false, AsyncStatus::Started, S_OK},
    };
    // Scripts are kept by the names of calls the emulator makes; a store screen's stands for any action.
    for (const Row& row : rows) {
        ScriptOutcome("IProductStatics.ShowDetailsAsync", row.outcome);
        ComPtr<IAsyncAction> action;
        EXPECT_EQ(StartAction(
                      "IProductStatics.ShowDetailsAsync", [] { return S_OK; }, action.Put()),
                  row.startResult);
        ASSERT_EQ(bool(action), row.handedOut);
        if (!action) continue;
        auto handler = Make<ActionHandler>();
        action->put_Completed(handler.Get());
        WaitIdle();
        EXPECT_EQ(handler->calls, 1);
        EXPECT_EQ(handler->last, row.status);
        ComPtr<IAsyncInfo> info;
        ASSERT_EQ(action.As(&info), S_OK);
        HRESULT error;
        info->get_ErrorCode(&error);
        EXPECT_EQ(error, row.error);
    }
}

// A thread's thread-local destructors can release objects after the thread handed its cached
// blocks on; those releases must find an empty cache, not the counts from before the hand-on. Not on
// Windows: the build recycles no blocks there, and the test's own thread-local object with a
// destructor is what mingw-w64 cannot run safely (it frees the storage first).
#if !defined(_WIN32)
TEST_F(RuntimeTest, ObjectsReleasedAfterAThreadHandedItsBlocksOnAreFreedSafely) {
    struct Held {
        std::vector<ComPtr<IVectorView<HSTRING>>> views;
    };
    // How many a thread releases before it ends, so that some run leaves its cache well filled.
    for (size_t released : {40, 50, 60})
        std::thread([released] {
            thread_local Held held;  // constructed before the thread caches a block: destroyed after
            for (int i = 0; i < 1000; ++i) held.views.push_back(MakeStringVectorView({}));
            std::vector<ComPtr<IVectorView<HSTRING>>> early(released);
            for (auto& view : early) view = MakeStringVectorView({});
        }).join();
    EXPECT_EQ(LiveObjects(), 0);
}
#endif

TEST_F(RuntimeTest, AnUnknownClassIsNotRegistered) {
    HStringOwner name = MakeString(u"No.Such.Class");
    void* factory = nullptr;
    EXPECT_EQ(RoGetActivationFactory(name.Get(), IActivationFactory::IID, &factory), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(factory, nullptr);
}

#if !defined(_WIN32)
// On Linux the runtime base is ours, thread pool included (on Windows it is the system's).
class Work : public RuntimeObject<Work, ::ABI::Windows::System::Threading::IWorkItemHandler> {
public:
    [[maybe_unused]] static constexpr char16_t RuntimeClassName[] = u"Test.Work";
    HRESULT Invoke(IAsyncAction*) override {
        onWorker = OnWorkerThread();
        return S_OK;
    }
    std::atomic<bool> onWorker{false};
};

TEST_F(RuntimeTest, TheThreadPoolRunsWorkOnAWorkerThread) {
    using namespace ::ABI::Windows::System::Threading;
    HStringOwner pool = MakeString(RuntimeClass_ThreadPool);
    ComPtr<IThreadPoolStatics> statics;
    ASSERT_EQ(RoGetActivationFactory(pool.Get(), IThreadPoolStatics::IID, reinterpret_cast<void**>(statics.Put())),
              S_OK);
    auto work = Make<Work>();
    ComPtr<IAsyncAction> action;
    ASSERT_EQ(statics->RunAsync(work.Get(), action.Put()), S_OK);
    WaitIdle();
    EXPECT_TRUE(work->onWorker);
}
#endif

}  // namespace
}  // namespace velmora::emu
