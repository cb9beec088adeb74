// Eight threads make the first call of every service group at the same moment, on a fresh module
// each round: each group's handlers reach the host queue exactly once, in the group's order,
// whichever thread wins and however the groups interleave.
#include <algorithm>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "core/event_types.h"
#include "emulator/runtime/reset.h"
#include "tests/stress_fixture.h"

namespace velmora::test {
namespace {

using namespace HaldenPlugin;
using Exports = host::VelmoraExports;

// A group's handlers in registration order, and two first calls that start nothing (the user does
// not resolve, or the call only clears a registration), so threads take different exports.
struct Group {
    std::vector<EventId> handlers;
    void (*first[2])(const Exports&);
};

const Group kGroups[] = {
    {{ConsumeInventoryItemResultEvent::Id, InventoryItemEvent::Id, InventoryItemsResultEvent::Id},
     {[](const Exports& x) { x.InventoryService_GetInventoryItemsAsync(99, 14, nullptr, nullptr); },
      [](const Exports& x) { x.InventoryService_GetInventoryItemsForAllUsersAsync(99, 14, nullptr, nullptr); }}},
    {{BrowseCatalogResultEvent::Id, CatalogItemDetailsResultEvent::Id},
     {[](const Exports& x) { x.CatalogService_BrowseCatalogAsync(99, u"p", 1, 14, 0, 0, 0, nullptr, nullptr); },
      [](const Exports& x) {
          const char16_t* ids[] = {u"9NOPRODUCT"};
          x.CatalogService_GetCatalogItemDetailsAsync(99, ids, 1, nullptr, nullptr);
      }}},
    {{PrivilegeCheckResultEvent::Id, ShowDetailsAsyncEvent::Id, ShowMarketplaceAsyncEvent::Id,
      ShowPurchaseAsyncEvent::Id, ShowRedeemCodeAsyncEvent::Id, ShowSubscriptionAsyncEvent::Id,
      ProductPurchasedEventArgsEvent::Id},
     {[](const Exports& x) { x.Store_UnRegisterForPurchaseEvents(); },
      [](const Exports& x) { x.Store_ShowDetailsAsync(99, u"p", nullptr, nullptr); }}},
    {{DownloadableContentPackageInstallCompletedEvent::Id,
      IDownloadableContentPackageInstallCompletedEventArgsEvent::Id},
     {[](const Exports& x) { x.DLC_UnRegisterForDLCCompletedEvent(); },
      [](const Exports& x) { x.DLC_IDownloadableContentPackage_Dispose(x.DLC_FindPackages(0)); }}},
};

class StressFirstUse : public StressTest {};

TEST_F(StressFirstUse, EightThreadsRegisterEachGroupOnceInOrder) {
    constexpr int kThreads = 8;
    const size_t startup = Host().Queue().GuestHandlers().size();
    for (int round = 0, rounds = Scaled(200, 10); round < rounds && !HasFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        if (round > 0) {
            // A fresh module copy, so the groups are first used again.
            emu::Reset();
            RecreateHost();
        }
        std::latch start(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                // Each thread visits the groups from a different one, so every pair of groups races.
                for (size_t i = 0; i < std::size(kGroups); ++i)
                    kGroups[(i + size_t(t)) % std::size(kGroups)].first[t % 2](X());
            });
        for (auto& t : threads) t.join();

        const auto handlers = Host().Queue().GuestHandlers();
        EXPECT_EQ(std::set(handlers.begin(), handlers.end()).size(), handlers.size()) << "a handler added twice";
        size_t expected = startup;
        for (const Group& g : kGroups) {
            expected += g.handlers.size();
            std::vector<EventId> seen;  // the group's own handlers, in the order they reached the queue
            for (auto* h : handlers)
                if (std::find(g.handlers.begin(), g.handlers.end(), h->GetEventId()) != g.handlers.end())
                    seen.push_back(h->GetEventId());
            EXPECT_EQ(seen, g.handlers);
        }
        EXPECT_EQ(handlers.size(), expected);
    }
    Settle();
}

}  // namespace
}  // namespace velmora::test
