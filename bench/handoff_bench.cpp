// The host hand-off: one 32-byte record sent with SendEvent and delivered by the host's pump to its
// handler, on the host's queue as a game that uses every service group has it (the plugin's
// handlers of every group, the host's own, and the bare handler the events are for). Timed, the
// hand-off's ns; under --velmora_instructions (bench/instructions.sh, callgrind), the instructions
// of kHandOffs hand-offs in one dump named "handoff <benchmark>".
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include "bench/bench_support.h"

namespace velmora::bench {
namespace {

constexpr size_t kHandOffs = 1000;

// Sends kHandOffs records and pumps them once, as a frame of the host does.
void HandOffs(host::EventQueue& queue) {
    auto& plugin = static_cast<HostEventQueue&>(queue);
    for (size_t i = 0; i < kHandOffs; ++i) {
        const BareHandler::Record record{nullptr, reinterpret_cast<void*>(i), nullptr, 0};
        plugin.SendEvent(&BareHandler::kId, &record, sizeof record);
    }
    queue.Pump();
}

void HostHandOff(benchmark::State& state) {
    host::Host& host = UseHost(Platform::Emulator);
    // The first call of any export of a group registers the group's handlers; user 0 is nobody, so
    // nothing starts.
    X().InventoryService_GetInventoryItemsAsync(0, 14, nullptr, nullptr);
    X().CatalogService_BrowseCatalogAsync(0, u"", 0, 0, 0, 0, 1, nullptr, nullptr);
    X().Store_UnRegisterForPurchaseEvents();
    X().DLC_UnRegisterForDLCCompletedEvent();
    host.PumpAll();
    host::EventQueue& queue = host.Queue();
    BareHandler bare;
    queue.AddHostHandler(&bare);
    size_t rounds = 0;
    HandOffs(queue);  // grows the queue's storage and takes its handlers' index: nothing allocates after
    ++rounds;
    if (Config().countInstructions) {
        static bool counted = false;
        if (!counted) {
            counted = true;
            const char* dump = "handoff HandOff/send_and_pump";
            CALLGRIND_ZERO_STATS;
            HandOffs(queue);
            CALLGRIND_DUMP_STATS_AT(dump);
            ++rounds;
        }
        for (auto _ : state) {
        }
    } else {
        const int64_t t0 = WallNs();
        for (auto _ : state) {
            HandOffs(queue);
            ++rounds;
        }
        state.counters["handoff_ns"] = double(WallNs() - t0) / double(state.iterations() * kHandOffs);
    }
    state.counters["handlers"] = double(queue.HandlerCount());
    queue.RemoveHandler(&bare);
    if (bare.count != rounds * kHandOffs) state.SkipWithError("a hand-off was not delivered once");
}

BENCHMARK(HostHandOff)->Name("HandOff/send_and_pump");

}  // namespace
}  // namespace velmora::bench
