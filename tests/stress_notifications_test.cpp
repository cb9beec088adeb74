// Purchase and install notifications raised from platform threads while managed threads register
// and unregister their callbacks: no crash, one platform subscription per notification however
// the first registrations race, every callback inside the host's delivery, and no reference lost:
// a record that reaches its handler with no callback releases what it carries, and a callback
// disposes what it receives, so the live counts end where they began.
#include <atomic>
#include <deque>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/services/packages/packages.h"
#include "tests/dlc_fixture.h"
#include "tests/stress_fixture.h"

namespace velmora::test {
namespace {

using Exports = host::VelmoraExports;

// A managed listener: counts what reaches it, reads each record, then disposes it.
struct Listener {
    const Exports* x = nullptr;
    DeliveryThread where;
    std::atomic<int> purchases{0};
    std::atomic<int> installs{0};
    std::atomic<int> details{0};
    std::atomic<int> misplaced{0};   // deliveries outside the host's delivery thread
    std::atomic<int> unreadable{0};  // records without the text they carry

    void Check() {
        if (!where.Here()) misplaced.fetch_add(1);
    }
};

void OnPurchase(int32_t, ObjectHandle args, void* userData) {
    auto* l = static_cast<Listener*>(userData);
    l->Check();
    if (std::u16string_view(l->x->ProductPurchasedEventArgs_Receipt(args)).empty()) l->unreadable.fetch_add(1);
    l->x->ProductPurchasedEventArgs_Dispose(args);
    l->purchases.fetch_add(1);
}

void OnInstall(void* userData) {
    auto* l = static_cast<Listener*>(userData);
    l->Check();
    l->installs.fetch_add(1);
}

void OnDetails(int32_t, ObjectHandle args, void* userData) {
    auto* l = static_cast<Listener*>(userData);
    l->Check();
    if (std::u16string_view(l->x->IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName(args)).empty())
        l->unreadable.fetch_add(1);
    l->x->IDownloadableContentPackageInstallCompletedEventArgs_Dispose(args);
    l->details.fetch_add(1);
}

// What a managed thread does to its registrations; each answers true.
bool (*const kToggles[])(const Exports&, Listener*) = {
    [](const Exports& x, Listener* l) { return x.Store_RegisterForPurchaseEvents(OnPurchase, l); },
    [](const Exports& x, Listener*) { return x.Store_UnRegisterForPurchaseEvents(); },
    [](const Exports& x, Listener* l) { return x.DLC_RegisterForDLCCompletedEvent(OnInstall, l); },
    [](const Exports& x, Listener*) { return x.DLC_UnRegisterForDLCCompletedEvent(); },
    [](const Exports& x, Listener* l) { return x.DLC_RegisterForDLCCompletedWithDetailsEvent(OnDetails, l); },
    [](const Exports& x, Listener*) { return x.DLC_UnRegisterForDLCCompletedWithDetailsEvent(); },
};

class StressNotifications : public StressTest {
protected:
    void SetUp() override {
        StressTest::SetUp();
        BuildWorld();
    }

    emu::PackageData Package(int n) const {
        emu::PackageData p = DlcTest::Package(u"StressPack" + emu::FromUtf8(std::to_string(n)), u"stress", folder_);
        p.contentGuid.Data4[7] = uint8_t(n);
        return p;
    }

    Listener& NewListener() {
        Listener& l = listeners_.emplace_back();
        l.x = &X();
        l.where.queue = &Host().Queue();
        return l;
    }

    PackageFolder folder_;
    std::deque<Listener> listeners_;
};

TEST_F(StressNotifications, RaisedWhileRegistrationsChangeLosesNoReference) {
    const int raises = Scaled(20000, 500);
    const int toggles = Scaled(2000, 200);  // at least; they go on while notifications are raised
    Listener& a = NewListener();
    Listener& b = NewListener();
    // The managers exist before the count is taken (the DLC one holds the package manager).
    EXPECT_TRUE(X().Store_UnRegisterForPurchaseEvents());
    EXPECT_TRUE(X().DLC_UnRegisterForDLCCompletedEvent());
    Settle();
    const int64_t objectsBefore = emu::LiveObjects();
    const int64_t stringsBefore = emu::LiveStrings();

    std::atomic<int> raisersDone{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    // Platform side: purchases made outside the game, and installations finishing. The raisers
    // wait for the platform threads now and then, so notifications keep arriving while the
    // managed threads are still changing their registrations.
    threads.emplace_back([&] {
        for (int i = 0; i < raises; ++i) {
            EXPECT_EQ(emu::RaisePurchase(kUser, kCoins, 1), ABI::S_OK);
            if (i % 32 == 31) emu::WaitIdle();
        }
        raisersDone.fetch_add(1);
        done.fetch_add(1);
    });
    threads.emplace_back([&] {
        for (int i = 0; i < raises; ++i) {
            EXPECT_EQ(emu::StartInstallation(Package(i % 4), emu::InstallOperationType(i % 3)), ABI::S_OK);
            if (i % 32 == 31) emu::WaitIdle();
        }
        raisersDone.fetch_add(1);
        done.fetch_add(1);
    });
    // Managed side: two threads whose first registrations race, then switch listeners and
    // unregister at random for as long as notifications are raised.
    for (int m = 0; m < 2; ++m)
        threads.emplace_back([&, m] {
            std::mt19937 random(uint32_t(104729 * (m + 1)));
            const Exports& x = X();
            for (int i = 0; i < toggles || raisersDone.load() < 2; ++i) {
                Listener* l = random() % 2 ? &a : &b;
                EXPECT_TRUE(kToggles[random() % std::size(kToggles)](x, l));
            }
            done.fetch_add(1);
        });
    while (done.load() < int(threads.size())) Host().Queue().WaitAndPump(std::chrono::milliseconds(1));
    for (auto& t : threads) t.join();
    Settle();

    for (const Listener* l : {&a, &b}) {
        EXPECT_EQ(l->misplaced.load(), 0) << "callbacks outside the host's delivery thread";
        EXPECT_EQ(l->unreadable.load(), 0);
    }
    EXPECT_LE(a.purchases + b.purchases, raises);
    EXPECT_LE(a.installs + b.installs, raises);
    EXPECT_LE(a.details + b.details, raises);
    EXPECT_EQ(emu::LiveObjects(), objectsBefore) << "a notification's reference was lost";
    EXPECT_EQ(emu::LiveStrings(), stringsBefore);

    // However the first registrations raced, each notification was subscribed once: a listener
    // registered now receives each later notification exactly once.
    EXPECT_EQ(emu::SubscriberCount(), 1u);
    EXPECT_EQ(emu::SubscriberCount(emu::PackageEvent::InstallCompleted), 1u);
    EXPECT_EQ(emu::SubscriberCount(emu::PackageEvent::InstallCompletedWithDetails), 1u);
    Listener& last = NewListener();
    ASSERT_TRUE(X().Store_RegisterForPurchaseEvents(OnPurchase, &last));
    ASSERT_TRUE(X().DLC_RegisterForDLCCompletedEvent(OnInstall, &last));
    ASSERT_TRUE(X().DLC_RegisterForDLCCompletedWithDetailsEvent(OnDetails, &last));
    constexpr int kLast = 25;
    for (int i = 0; i < kLast; ++i) {
        ASSERT_EQ(emu::RaisePurchase(kUser, kCoins, 1), ABI::S_OK);
        ASSERT_EQ(emu::StartInstallation(Package(i % 4), emu::InstallOperationType::Update), ABI::S_OK);
    }
    Settle();
    EXPECT_EQ(last.purchases.load(), kLast);
    EXPECT_EQ(last.installs.load(), kLast);
    EXPECT_EQ(last.details.load(), kLast);
    EXPECT_EQ(last.misplaced.load(), 0);
    EXPECT_EQ(emu::LiveObjects(), objectsBefore);
}

}  // namespace
}  // namespace velmora::test
