// The fixture every plugin test starts from: a fresh copy of the plugin module loaded into the
// reference host, with an emptied emulator, and a last check that nothing leaked.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "emulator/runtime/reset.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/users.h"
#include "host/host.h"
#include "platform/exceptions.h"
#include "tests/emulator_fixture.h"

namespace velmora::test {

using namespace std::chrono_literals;

// What the managed callback of one asynchronous export received, and how often it ran.
struct Delivered {
    const host::EventQueue* queue = nullptr;
    int calls = 0;
    int32_t hr = 0;
    ObjectHandle result = nullptr;  // an object callback's
    uint32_t value = 0;             // a value callback's
    void* userData = nullptr;
    bool inDelivery = false;  // the callback ran inside the host's delivery, on the pumping thread
};
inline void DeliverObject(int32_t hr, ObjectHandle result, void* userData) {
    auto* d = static_cast<Delivered*>(userData);
    *d = {d->queue, d->calls + 1, hr, result, 0, userData, d->queue->InDelivery()};
}
inline void DeliverValue(int32_t hr, uint32_t value, void* userData) {
    auto* d = static_cast<Delivered*>(userData);
    *d = {d->queue, d->calls + 1, hr, nullptr, value, userData, d->queue->InDelivery()};
}

class PluginTest : public EmulatorTest {
protected:
    // Override to change how the host behaves before the plugin is loaded.
    virtual host::HostOptions Options() {
        host::HostOptions options;
        options.traceEvents = true;
        return options;
    }
    // Override to skip the load, for tests of the load itself.
    virtual bool LoadOnSetUp() { return true; }

    void SetUp() override {
        EmulatorTest::SetUp();
        RecreateHost();
    }

    // The platform's subscriptions hold the plugin's delegates, so the emulator lets go of them
    // while the module is still loaded; unloading the module then releases what its managers hold.
    void TearDown() override {
        emu::Reset();
        host_.reset();
        EmulatorTest::TearDown();
    }

    // Starts over with a host made from the current Options(), for tests that change them.
    void RecreateHost() {
        host_.reset();
        host_ = std::make_unique<host::Host>(Options());
        if (LoadOnSetUp()) {
            host_->Load(VELMORA_PLUGIN_PATH, /*freshCopy=*/true);
            host_->PumpAll();
        }
    }

    const host::VelmoraExports& X() const { return host_->Exports(); }
    host::Host& Host() { return *host_; }

    // Pumps the host queue on this thread until `done` holds.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
        return host_->PumpUntil(done, timeout);
    }
    // Waits for the emulator's pending work, then delivers everything queued.
    void Settle() {
        emu::WaitIdle();
        host_->PumpAll();
    }

    // Starts an asynchronous export (`start` hands its data pointer to DeliverObject or
    // DeliverValue), pumps to its one callback and answers what that received; a false start, a
    // second callback, or one outside the host's delivery fails the test.
    template <class Start>
    Delivered RunOnce(Start&& start) {
        Delivered d{&Host().Queue()};
        if (!start(static_cast<void*>(&d))) {
            ADD_FAILURE() << "the call started nothing";
            return d;
        }
        EXPECT_TRUE(PumpUntil([&] { return d.calls > 0; }));
        Settle();
        EXPECT_EQ(d.calls, 1) << "exactly one callback per started operation";
        EXPECT_EQ(d.userData, &d);
        EXPECT_TRUE(d.inDelivery);
        return d;
    }

    // Starts an asynchronous export (as RunOnce does) that must answer false: no callback follows.
    template <class Start>
    void ExpectRefused(Start&& start) {
        Delivered d{&Host().Queue()};
        EXPECT_FALSE(start(static_cast<void*>(&d))) << "the call started";
        Settle();
        EXPECT_EQ(d.calls, 0) << "a callback followed a false answer";
    }

    // How many events of this id the plugin sent (a host made with traceEvents).
    size_t Sent(const EventId& id) {
        size_t n = 0;
        for (const auto& entry : Host().Queue().Trace())
            if (entry.kind == host::TraceEntry::Kind::SendEvent && entry.id == id) ++n;
        return n;
    }

    // The user's inventory item with this product id as the plugin hands it out (own reference).
    ObjectHandle OwnedItem(uint32_t user, std::u16string_view productId) {
        ObjectHandle result = RunOnce([&](void* d) {
                                  return X().InventoryService_GetInventoryItemsAsync(user, 14, DeliverObject, d);
                              }).result;
        ObjectHandle items = X().InventoryItemsResult_Items(result);
        ObjectHandle found = nullptr;
        for (uint32_t i = 0, n = X().InventoryItemsResult_Items_Length(items); i < n && !found; ++i) {
            ObjectHandle item = X().InventoryItemsResult_Items_GetAt(items, i);
            if (X().InventoryItem_ProductId(item) == productId) {
                found = item;
            } else {
                X().InventoryItem_Dispose(item);
            }
        }
        X().InventoryItemsResult_Items_Dispose(items);
        X().InventoryItemsResult_Dispose(result);
        EXPECT_NE(found, nullptr) << "user " << user << " owns no " << emu::ToUtf8(productId);
        return found;
    }

    // A catalog product with one offer, listed under `parent` when one is given.
    static void AddProduct(std::u16string productId, std::u16string id, emu::MediaItemType type,
                           std::u16string offer = u"", uint32_t quantity = 0, std::u16string parent = u"") {
        emu::CatalogItemData item;
        item.id = std::move(id);
        item.productId = std::move(productId);
        item.name = item.id + u" name";
        item.mediaItemType = type;
        if (!parent.empty()) item.parentIds = {std::move(parent)};
        emu::CatalogAvailabilityData availability;
        availability.signedOffer = std::move(offer);
        availability.consumableQuantity = quantity;
        item.availabilities = {availability};
        ASSERT_EQ(emu::AddCatalogItem(item), ABI::S_OK);
    }

    static void AddUser(uint32_t id, std::u16string gamertag = u"Player") {
        ASSERT_EQ(emu::AddUser({id, gamertag, u"xuid-" + gamertag}), ABI::S_OK);
    }

    std::unique_ptr<host::Host> host_;
};

// A path under the system's temporary directory that no other test, and no other run, uses.
inline std::filesystem::path FreshTemporaryPath(const std::string& prefix) {
    static std::atomic<int> next{0};
    static const unsigned run = std::random_device{}();
    return std::filesystem::temp_directory_path() / (prefix + std::to_string(run) + "-" + std::to_string(next++));
}

// What one call of a managed callback received, for tests that record every call.
struct Call {
    int32_t hr = 0;
    ObjectHandle result = nullptr;  // an object callback's
    uint32_t value = 0;             // a value callback's
    void* userData = nullptr;
    bool onDeliveringThread = false;
};

// Runs `call` and answers "Platform::<Kind> (0x...)" of what it threw, or "no exception".
template <class Call>
std::string ThrownBy(Call&& call) {
    try {
        call();
    } catch (const Platform::Exception& e) {
        return e.what();
    }
    return "no exception";
}

// The text ThrownBy answers for a platform exception of this kind and HRESULT.
inline std::string Thrown(const char* kind, ABI::HRESULT hr) {
    char text[72];
    std::snprintf(text, sizeof text, "Platform::%s (0x%08X)", kind, static_cast<unsigned>(hr));
    return text;
}

}  // namespace velmora::test
