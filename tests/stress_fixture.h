// What the stress tests share: the load scale, a small marketplace world built through the
// emulator's own APIs, and the check that a callback runs inside the host's delivery on the
// thread that pumps.
//
// VELMORA_STRESS_SCALE (a positive number, 1 when unset) multiplies every count, so the same tests
// run a few seconds in a plain build and a smaller load under a sanitizer (scripts/sanitize.sh
// sets 0.5; docs/reliability.md).
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/store/store.h"
#include "host/event_queue.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {

inline double StressScale() {
    const char* text = std::getenv("VELMORA_STRESS_SCALE");
    const double scale = text ? std::strtod(text, nullptr) : 1.0;
    return scale > 0 ? scale : 1.0;
}

// `count` times the scale, never below `minimum`.
inline int Scaled(int count, int minimum) { return std::max(minimum, int(count * StressScale())); }

// A managed callback's view of where it runs: inside the host's delivery, on the pumping thread.
struct DeliveryThread {
    const host::EventQueue* queue = nullptr;
    std::thread::id pumping = std::this_thread::get_id();
    bool Here() const { return queue->InDelivery() && std::this_thread::get_id() == pumping; }
};

class StressTest : public PluginTest {
public:
    static constexpr uint32_t kUser = 1;
    static constexpr uint32_t kOtherUser = 2;
    static constexpr uint32_t kUnknownUser = 99;
    static constexpr uint32_t kPrivilege = 254;
    static constexpr char16_t kParent[] = u"stress-parent";
    static constexpr char16_t kGame[] = u"9STRESSGAME1";
    static constexpr char16_t kCoins[] = u"9STRESSCOINS";
    static constexpr char16_t kCoinsOffer[] = u"stress-offer-coins";
    static constexpr char16_t kTransaction[] = u"stress-transaction";

protected:
    // The trace would hold one entry per event; these tests read the handler list instead.
    host::HostOptions Options() override {
        host::HostOptions options = PluginTest::Options();
        options.traceEvents = false;
        return options;
    }

    // Two users, a game and a consumable under one parent, and a consumable balance that no
    // stress run can use up.
    static void BuildWorld() {
        AddUser(kUser, u"Stress");
        AddUser(kOtherUser, u"Other");
        AddProduct(kGame, u"stress-game", emu::MediaItemType::Game, u"stress-offer-game", 0, kParent);
        AddProduct(kCoins, u"stress-coins", emu::MediaItemType::GameConsumable, kCoinsOffer, 5, kParent);
        emu::InventoryItemData coins;
        coins.productId = kCoins;
        coins.mediaItemType = emu::MediaItemType::GameConsumable;
        coins.url = u"https://inventory.example/stress/coins";
        coins.consumableUrl = u"https://inventory.example/stress/coins/consume";
        coins.consumableBalance = 1u << 30;
        ASSERT_EQ(emu::AddInventoryItem(kUser, coins), ABI::S_OK);
        emu::InventoryItemData game;
        game.productId = kGame;
        game.mediaItemType = emu::MediaItemType::Game;
        game.containerIds = std::vector<std::u16string>{u"stress-container"};
        ASSERT_EQ(emu::AddInventoryItem(kUser, game), ABI::S_OK);
    }
};

}  // namespace velmora::test
