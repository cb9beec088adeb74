#include "bench/bench_support.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <optional>

#include "emulator/runtime/reset.h"

namespace velmora::bench {
namespace {

struct HostSession {
    PreparedOperations prepared;
    FakeUserManager fakeUsers{&prepared};
    std::optional<Platform> platform;
    std::unique_ptr<host::Host> host;
};

HostSession& Session() {
    static HostSession session;
    return session;
}

}  // namespace

Sizes& Config() {
    static Sizes sizes;
    return sizes;
}

void UseSmokeSizes() {
    Sizes& s = Config();
    s.completions = 4'000;
    s.frame = 500;
    s.throughputTrips = 4'000;
    s.pacedOperations = 400;
    s.memoryTrips = 40'000;
    s.memoryWarmup = 4'000;
    s.packages = 200;
}

host::Host& UseHost(Platform platform) {
    HostSession& s = Session();
    if (s.host && s.platform == platform) return *s.host;
    ReleaseHost();
    host::HostOptions options;
    if (platform == Platform::Fake) options.userManager = &s.fakeUsers;
    s.host = std::make_unique<host::Host>(options);
    // A fresh copy of the module, so each host starts from a plugin that was never initialised.
    s.host->Load(host::DefaultPluginPath(), /*freshCopy=*/true);
    s.host->PumpAll();
    s.platform = platform;
    loadedExports = &s.host->Exports();
    return *s.host;
}

const host::VelmoraExports* loadedExports = nullptr;

PreparedOperations& FakeOperations() { return Session().prepared; }

void ReleaseHost() {
    HostSession& s = Session();
    if (s.host) {
        emu::Reset();  // lets go of the plugin's delegates while its module is still loaded
        s.host.reset();
    }
    s.platform.reset();
    loadedExports = nullptr;
    s.prepared.operations.clear();
    emu::Reset();
}

int64_t ProcessCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

int64_t WallNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

int64_t ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return int64_t(resident) * sysconf(_SC_PAGESIZE);
}

Crew::Crew(int threads) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this, i] { Loop(i); });
}

Crew::~Crew() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    start_.notify_all();
    for (auto& t : threads_) t.join();
}

void Crew::Run(const std::function<void(int)>& job) {
    std::unique_lock lock(mutex_);
    job_ = &job;
    remaining_ = threads_.size();
    ++generation_;
    start_.notify_all();
    done_.wait(lock, [this] { return remaining_ == 0; });
}

void Crew::Loop(int index) {
    std::unique_lock lock(mutex_);
    uint64_t seen = 0;
    for (;;) {
        start_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_) return;
        seen = generation_;
        const auto* job = job_;
        lock.unlock();
        (*job)(index);
        lock.lock();
        if (--remaining_ == 0) done_.notify_one();
    }
}

}  // namespace velmora::bench
