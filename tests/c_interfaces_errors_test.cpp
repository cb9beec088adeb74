// The C interfaces' last-error messages: kept per thread, readable after other threads that failed
// have ended, and never an object a thread's end must destroy (mingw-w64 frees a thread's
// thread-local storage before it runs such destructors).
#include <string>
#include <thread>
#include <vector>

#include "bindings/checked/checked_exports.h"
#include "emulator/c_interface/c_api.h"
#include "host/host_c_api.h"
#include "tests/emulator_fixture.h"

// The C library's registration of a thread-local object's destructor. Defined here (the test
// program comes first in the symbol lookup of every library) to count the registrations of each
// thread, then handed on. Sanitizer runtimes may define it themselves, so it is left to them there.
#if defined(__GLIBC__) && !defined(VELMORA_SANITIZED)
#include <dlfcn.h>
#define VELMORA_COUNTS_THREAD_EXIT_DESTRUCTORS 1
namespace {
thread_local int threadExitDestructors = 0;
}
extern "C" int __cxa_thread_atexit(void (*destructor)(void*), void* object, void* module) noexcept {
    using Register = int (*)(void (*)(void*), void*, void*) noexcept;
    static const auto next = reinterpret_cast<Register>(dlsym(RTLD_NEXT, "__cxa_thread_atexit"));
    ++threadExitDestructors;
    return next(destructor, object, module);
}
#endif

namespace velmora::test {
namespace {

// One C interface: a failure to cause on the main thread, one to cause on other threads (tagged
// with the thread's number where the interface lets the message say it), and its last error.
struct ErrorReporting {
    const char* name;
    int (*failOnMain)();
    std::string expectedOnMain;
    int (*failOnThread)(const std::string& tag);
    std::string expectedOnThread;  // found in the message; "<tag>" stands for the tag
    const char* (*lastError)();
};

void PrintTo(const ErrorReporting& row, std::ostream* out) { *out << row.name; }

std::string Expected(std::string text, const std::string& tag) {
    if (const size_t at = text.find("<tag>"); at != std::string::npos) text.replace(at, 5, tag);
    return text;
}

const ErrorReporting kInterfaces[] = {
    {"host", [] { return velmora_host_create(7) == nullptr ? 0 : 1; },
     "velmora host: unknown delivery mode: use VELMORA_HOST_DEFERRED (0) or VELMORA_HOST_SYNCHRONOUS (1)",
     [](const std::string&) { return velmora_host_load(nullptr, nullptr, 0); }, "velmora host: null host",
     velmora_host_last_error},
    {"emulator", [] { return velmora_emulator_inject_fault(nullptr, -1, 1); },
     "velmora emulator: the call's name is null",
     [](const std::string& tag) {
         return velmora_emulator_load_scenario_file(("velmora-no-such-" + tag + ".json").c_str());
     },
     "velmora-no-such-<tag>.json: $: the file does not exist", velmora_emulator_last_error},
    {"checked", [] { return VelmoraChecked_Bind(nullptr); }, "the plugin's path is null",
     [](const std::string& tag) { return VelmoraChecked_Bind(("velmora-no-such-" + tag + ".plugin").c_str()); },
     "cannot load velmora-no-such-<tag>.plugin: ", VelmoraChecked_LastError},
};

class CInterfaceErrorsTest : public EmulatorTest, public ::testing::WithParamInterface<ErrorReporting> {};

TEST_P(CInterfaceErrorsTest, ThreadsThatFailedAndEndedLeaveEveryOtherThreadsMessageIntact) {
    const ErrorReporting& row = GetParam();
    ASSERT_EQ(row.failOnMain(), 0);
    const std::string onMain = row.lastError();
    ASSERT_EQ(onMain, row.expectedOnMain);

    struct Seen {
        std::string before, after;
        int destructorsRegistered = 0;
    };
    std::vector<Seen> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&row, &s = seen[i], tag = std::to_string(i)] {
#if VELMORA_COUNTS_THREAD_EXIT_DESTRUCTORS
            const int registered = threadExitDestructors;
#endif
            s.before = row.lastError();
            EXPECT_EQ(row.failOnThread(tag), 0);
            s.after = row.lastError();
#if VELMORA_COUNTS_THREAD_EXIT_DESTRUCTORS
            s.destructorsRegistered = threadExitDestructors - registered;
#endif
        });
    for (auto& t : threads) t.join();  // every thread has ended, its thread-local storage gone

    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].before, "") << "thread " << i << " saw a message it did not cause";
        EXPECT_NE(seen[i].after.find(Expected(row.expectedOnThread, std::to_string(i))), std::string::npos)
            << "thread " << i << ": " << seen[i].after;
        EXPECT_EQ(seen[i].destructorsRegistered, 0)
            << "thread " << i << " registered a thread-local destructor for its failure";
    }
    EXPECT_EQ(row.lastError(), onMain) << "another thread's failure changed this thread's message";
    EXPECT_EQ(row.failOnThread("main"), 0);
    EXPECT_NE(std::string(row.lastError()).find(Expected(row.expectedOnThread, "main")), std::string::npos)
        << row.lastError();
}

INSTANTIATE_TEST_SUITE_P(Interfaces, CInterfaceErrorsTest, ::testing::ValuesIn(kInterfaces),
                         [](const auto& info) { return std::string(info.param.name); });

// Whether the text is whole UTF-8: every lead byte followed by all its continuation bytes.
bool WholeUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

using CInterfaceMessageTest = EmulatorTest;

// A message longer than the buffer keeps its start, cut between characters, and says it was cut.
TEST_F(CInterfaceMessageTest, ALongMessageIsCutBetweenCharactersWithAMarker) {
    std::string name;
    while (name.size() < 3000) name += "é€";  // two and three bytes: some cut must fall inside one
    for (size_t extra = 0; extra < 3; ++extra) {
        const std::string file = std::string(extra, 'x') + name + ".json";
        ASSERT_EQ(velmora_emulator_load_scenario_file(file.c_str()), 0);
        const std::string message = velmora_emulator_last_error();
        const std::string marker = " [...]";
        EXPECT_LT(message.size(), 2048u);
        EXPECT_GT(message.size(), 2040u);
        ASSERT_TRUE(message.ends_with(marker)) << message;
        const std::string kept = message.substr(0, message.size() - marker.size());
        EXPECT_TRUE(WholeUtf8(kept)) << "cut inside a character";
        EXPECT_TRUE(file.starts_with(kept));
    }
}

}  // namespace
}  // namespace velmora::test
