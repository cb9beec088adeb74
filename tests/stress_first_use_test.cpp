// Eight threads make the first call of every service group at the same moment, on a fresh module
// each round: each group's handlers reach the host queue exactly once, in the group's order,
// whichever thread wins and however the groups interleave.
#include <algorithm>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "core/event_types.h"
#include "tests/stress_fixture.h"

namespace velmora::test {
namespace {

using namespace HaldenPlugin;

struct Group {
    const char* name;
    std::vector<EventId> handlers;  // in registration order
};

const std::vector<Group>& Groups() {
    static const std::vector<Group> groups = {
        {"inventory", {ConsumeInventoryItemResultEvent::Id, InventoryItemEvent::Id, InventoryItemsResultEvent::Id}},
        {"catalog", {BrowseCatalogResultEvent::Id, CatalogItemDetailsResultEvent::Id}},
        {"store",
         {PrivilegeCheckResultEvent::Id, ShowDetailsAsyncEvent::Id, ShowMarketplaceAsyncEvent::Id,
          ShowPurchaseAsyncEvent::Id, ShowRedeemCodeAsyncEvent::Id, ShowSubscriptionAsyncEvent::Id,
          ProductPurchasedEventArgsEvent::Id}},
        {"dlc",
         {DownloadableContentPackageInstallCompletedEvent::Id,
          IDownloadableContentPackageInstallCompletedEventArgsEvent::Id}},
    };
    return groups;
}

const std::vector<EventId> kStartupHandlers = {OnUserManagerRequested::Id, OnIHaldenPluginLogRequested::Id,
                                               OnIHaldenPluginLogRequested::Id};

class StressFirstUse : public StressTest {
protected:
    // A first call of the group that starts nothing (the user does not resolve, or the call only
    // clears a registration); threads take different exports of the same group.
    void FirstCall(size_t group, int thread) {
        const auto& x = X();
        const char16_t* ids[] = {u"9NOPRODUCT"};
        const bool alternate = thread % 2 == 1;
        switch (group) {
            case 0:
                EXPECT_FALSE(
                    alternate ? x.InventoryService_GetInventoryItemsForAllUsersAsync(kUnknownUser, 14, nullptr, nullptr)
                              : x.InventoryService_GetInventoryItemsAsync(kUnknownUser, 14, nullptr, nullptr));
                break;
            case 1:
                EXPECT_FALSE(
                    alternate
                        ? x.CatalogService_GetCatalogItemDetailsAsync(kUnknownUser, ids, 1, nullptr, nullptr)
                        : x.CatalogService_BrowseCatalogAsync(kUnknownUser, kParent, 1, 14, 0, 0, 0, nullptr, nullptr));
                break;
            case 2:
                if (alternate) {
                    EXPECT_FALSE(x.Store_ShowDetailsAsync(kUnknownUser, kGame, nullptr, nullptr));
                } else {
                    EXPECT_TRUE(x.Store_UnRegisterForPurchaseEvents());
                }
                break;
            case 3:
                if (thread % 3 == 2) {
                    x.DLC_IDownloadableContentPackage_Dispose(x.DLC_FindPackages(0));
                } else {
                    EXPECT_TRUE(alternate ? x.DLC_UnRegisterForDLCCompletedWithDetailsEvent()
                                          : x.DLC_UnRegisterForDLCCompletedEvent());
                }
                break;
        }
    }

    void CheckRegistrations(int round) {
        const auto handlers = Host().Queue().GuestHandlers();
        size_t expected = kStartupHandlers.size();
        for (const auto& g : Groups()) expected += g.handlers.size();
        ASSERT_EQ(handlers.size(), expected) << "round " << round;
        EXPECT_EQ(std::set(handlers.begin(), handlers.end()).size(), handlers.size())
            << "round " << round << ": a handler object was added twice";
        for (size_t i = 0; i < kStartupHandlers.size(); ++i)
            EXPECT_EQ(handlers[i]->GetEventId(), kStartupHandlers[i]) << "round " << round;
        for (const auto& g : Groups()) {
            // The group's own handlers, in the order they reached the queue.
            std::vector<EventId> seen;
            for (auto* h : handlers)
                if (std::find(g.handlers.begin(), g.handlers.end(), h->GetEventId()) != g.handlers.end())
                    seen.push_back(h->GetEventId());
            EXPECT_EQ(seen, g.handlers) << "round " << round << ", group " << g.name;
        }
    }
};

TEST_F(StressFirstUse, EightThreadsRegisterEachGroupOnceInOrder) {
    constexpr int kThreads = 8;
    const int rounds = Scaled(200, 10);
    for (int round = 0; round < rounds; ++round) {
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
                for (size_t i = 0; i < Groups().size(); ++i) FirstCall((i + size_t(t)) % Groups().size(), t);
            });
        for (auto& t : threads) t.join();
        CheckRegistrations(round);
        if (HasFailure()) return;
    }
    Settle();
}

}  // namespace
}  // namespace velmora::test
