// velmora-demo: loads the plugin into the reference host exactly as an engine would, on the
// built-in scenario or a scenario file, and walks through every service group using only the
// plugin's exports, the way managed code would; a test's own steps (a refund, a clock advance) use
// the emulator's test kit. Exit status 0 only when every step behaved as the scenario says.
// --save FILE writes the world the walkthrough ended with as a scenario file. With --control the
// game stays live instead, steered from the emulator's control page, until it is interrupted.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "emulator/control_page/control_page.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/scenarios/scenario.h"
#include "emulator/services/clock.h"
#include "emulator/services/ledger.h"
#include "emulator/services/packages/packages.h"
#include "host/host.h"
#include "tools/demo_transcript.h"

namespace velmora::demo {
namespace {

using namespace std::chrono_literals;

// What a managed callback received, filled on the host thread.
struct Pending {
    int calls = 0;
    int32_t hr = 0;
    ObjectHandle result = nullptr;
    uint32_t value = 0;
    bool onHostThread = false;
};

std::thread::id hostThread;
host::EventQueue* queue = nullptr;

bool OnHostThread() { return std::this_thread::get_id() == hostThread && queue->InDelivery(); }

void OnObject(int32_t hr, ObjectHandle result, void* userData) {
    auto* p = static_cast<Pending*>(userData);
    *p = Pending{p->calls + 1, hr, result, 0, OnHostThread()};
}
void OnValue(int32_t hr, uint32_t value, void* userData) {
    auto* p = static_cast<Pending*>(userData);
    *p = Pending{p->calls + 1, hr, nullptr, value, OnHostThread()};
}
// What the live game heard, filled on the host thread and reported by its loop.
struct Heard {
    std::vector<ObjectHandle> purchases;  // purchase event args
    std::vector<ObjectHandle> installs;   // install-completed details
};
void OnHeardPurchase(int32_t hr, ObjectHandle args, void* userData) {
    if (hr == 0 && args) static_cast<Heard*>(userData)->purchases.push_back(args);
}
void OnHeardInstall(int32_t hr, ObjectHandle args, void* userData) {
    if (hr == 0 && args) static_cast<Heard*>(userData)->installs.push_back(args);
}

void OnInstall(void* userData) {
    auto* p = static_cast<Pending*>(userData);
    *p = Pending{p->calls + 1, 0, nullptr, 0, OnHostThread()};
}

// ---- showing export calls with --verbose

std::string Show(const char16_t* text) { return text ? "\"" + Utf8(text) + "\"" : "null"; }
std::string Show(void* handle) {
    if (!handle) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%p", handle);
    return text;
}
std::string Show(bool value) { return value ? "true" : "false"; }
std::string Show(double value) { return std::to_string(value); }
template <class T>
requires std::is_integral_v<T> std::string Show(T value) { return std::to_string(value); }
std::string Show(VelmoraGuid) { return "{guid}"; }
template <class T>
requires std::is_function_v<std::remove_pointer_t<T>> std::string Show(T callback) {
    return callback ? "callback" : "null";
}
std::string Show(const char16_t* const*) { return "[ids]"; }

class Calls {
public:
    Calls(const host::VelmoraExports& x, Transcript& t, bool verbose) : x(x), t_(t), verbose_(verbose) {}

    template <class R, class... P, class... A>
    R operator()(const char* name, R (*fn)(P...), A... args) {
        std::string call;
        if (verbose_) {
            call = name;
            call += "(";
            const char* sep = "";
            ((call += sep + Show(static_cast<P>(args)), sep = ", "), ...);
            (void)sep;  // unread when the export takes no argument
            call += ")";
        }
        if constexpr (std::is_void_v<R>) {
            fn(args...);
            if (verbose_) t_.Verbose(call);
        } else {
            R r = fn(args...);
            if (verbose_) t_.Verbose(call + " = " + Show(r));
            return r;
        }
    }
    const host::VelmoraExports& x;

private:
    Transcript& t_;
    bool verbose_;
};
#define CALL(name, ...) calls(#name, calls.x.name __VA_OPT__(, ) __VA_ARGS__)

constexpr int32_t kAllMediaTypes = 14;

std::string MediaTypeName(int32_t type) {
    static const char* names[] = {"Unknown",
                                  "Game",
                                  "GameV2",
                                  "Application",
                                  "GameContent",
                                  "GameConsumable",
                                  "Subscription",
                                  "Movie",
                                  "TelevisionShow",
                                  "TelevisionSeries",
                                  "TelevisionSeason",
                                  "ApplicationOrGameUnknown",
                                  "GameDemo",
                                  "WebVideo",
                                  "All"};
    return type >= 0 && type < 15 ? names[type] : std::to_string(type);
}

std::string ItemStateName(int32_t state) {
    static const char* names[] = {"Unknown", "All", "Enabled", "Suspended", "Expired", "Canceled"};
    return state >= 0 && state < 6 ? names[state] : std::to_string(state);
}

std::string Text(const char16_t* text) { return Utf8(text ? text : u""); }

std::string Mark(bool onHostThread) {
    return onHostThread ? "  [callback on host thread]" : "  [callback NOT on host thread]";
}

// ---- the walkthrough

class Demo {
public:
    Demo(host::Host& host, const emu::Walkthrough& walkthrough, Transcript& t, bool verbose)
        : host_(host), w_(walkthrough), t_(t), calls(host.Exports(), t, verbose) {}

    // The steps the scenario names, in this order.
    void Run() {
        StartUp();
        if (w_.browse) Browse(*w_.browse);
        if (w_.details) Details(*w_.details);
        if (w_.inventory) Inventory(*w_.inventory);
        if (w_.purchase) Purchase(*w_.purchase);
        if (w_.consume) Consume(*w_.consume);
        if (w_.refund) Refund(*w_.refund);
        if (w_.privilege) Privilege(*w_.privilege);
        if (w_.clock) Clock(*w_.clock);
        if (w_.dlc) Packages(*w_.dlc);
    }

    // --control: the game keeps its loop while a person steers the emulator from the control page.
    // It reports each purchase and installation it hears of, and on each line of standard input
    // queries its user's inventory and packages through the plugin, until `stop` is set.
    void Live(const std::atomic<bool>& stop, std::atomic<int>& queries) {
        t_.Step("live");
        Heard heard;
        CALL(Store_RegisterForPurchaseEvents, OnHeardPurchase, &heard);
        CALL(DLC_RegisterForDLCCompletedWithDetailsEvent, OnHeardInstall, &heard);
        const auto report = [&] {
            for (ObjectHandle args : std::exchange(heard.purchases, {})) {
                t_.Line("the game heard of a purchase:");
                t_.Detail(Text(CALL(ProductPurchasedEventArgs_Receipt, args)));
                CALL(ProductPurchasedEventArgs_Dispose, args);
            }
            for (ObjectHandle args : std::exchange(heard.installs, {})) {
                t_.Line("the game heard of an installation: " +
                        Text(CALL(IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName, args)));
                CALL(IDownloadableContentPackageInstallCompletedEventArgs_Dispose, args);
            }
        };
        while (!stop) {
            host_.PumpUntil([&] { return stop || queries > 0 || !heard.purchases.empty() || !heard.installs.empty(); },
                            100ms);
            report();
            if (queries > 0) {
                --queries;
                Inventory(emu::InventoryStep{});
                ListPackages(int32_t(emu::DownloadableContentPackageFilter::AllDownloadableContentOnly));
            }
            std::fflush(stdout);
        }
        CALL(Store_UnRegisterForPurchaseEvents);
        CALL(DLC_UnRegisterForDLCCompletedWithDetailsEvent);
        emu::WaitIdle();
        host_.PumpAll();
        report();
    }

private:
    bool Await(Pending& p) {
        return host_.PumpUntil([&] { return p.calls > 0; }, 10s);
    }

    // Starts, waits, and checks an asynchronous step against its expectation. True when there is
    // a successful callback to read.
    bool Finish(const emu::StepExpectation& expect, bool started, Pending& p, const std::string& what) {
        if (!started) {
            t_.Line(what + ": not started (the export answered false)");
            t_.Check(!expect.started, "the operation was expected to start");
            return false;
        }
        t_.Check(expect.started, "the export was expected to answer false");
        if (!Await(p)) {
            t_.Check(false, "no callback within 10 s");
            return false;
        }
        t_.Check(p.calls == 1, "exactly one callback");
        t_.Check(p.onHostThread, "the callback ran on the host thread");
        t_.Check(p.hr == expect.hresult, "callback HRESULT " + HResultText(expect.hresult));
        if (expect.nullResult)
            t_.Check((p.result == nullptr) == *expect.nullResult,
                     *expect.nullResult ? "no result in the callback" : "a result in the callback");
        return true;
    }

    // Prints the outcome of a callback that brought no result; true when there is one to read.
    bool Usable(const Pending& p, const std::string& what) {
        if (p.hr != 0) {
            t_.Line(what + ": failed " + HResultText(p.hr) + Mark(p.onHostThread));
            return false;
        }
        if (!p.result) {
            t_.Line(what + ": no result (cancelled)" + Mark(p.onHostThread));
            return false;
        }
        return true;
    }

    void StartUp() {
        t_.Step("start-up");
        for (const auto& line : host_.Log().Lines()) t_.Line("[" + Utf8(line.tag) + "] " + Utf8(line.text));
        size_t handlers = 0, events = 0;
        for (const auto& e : host_.Queue().Trace())
            (e.kind == host::TraceEntry::Kind::AddHandler ? handlers : events)++;
        t_.Detail(std::to_string(handlers) + " handlers added, " + std::to_string(events) +
                  " start-up requests sent; initialized: " + (CALL(AmFullyInitialized) ? "yes" : "no"));
        t_.Check(host_.Log().LineCount() == 1, "one initialization line");
    }

    void Browse(const emu::BrowseStep& b) {
        t_.Step("catalog");
        Pending p;
        const bool started = CALL(CatalogService_BrowseCatalogAsync, w_.userId, b.parentId.c_str(), b.parentMediaType,
                                  b.childMediaType, b.sortOrder, b.skip, b.max, OnObject, &p);
        const std::string what = "browse \"" + Utf8(b.parentId) + "\"";
        if (!Finish(b.expect, started, p, what) || !Usable(p, what)) return;
        const uint32_t n = CALL(BrowseCatalogResult_Items_Length, p.result);
        t_.Line("browse \"" + Utf8(b.parentId) + "\": " + std::to_string(n) + " of " +
                std::to_string(CALL(BrowseCatalogResult_TotalCount, p.result)) + " items" + Mark(p.onHostThread));
        for (uint32_t i = 0; i < n; ++i) {
            ObjectHandle item = CALL(BrowseCatalogResult_Items_GetAt, p.result, i);
            const std::string name = Text(CALL(CatalogItem_Name, item));
            const std::string type = MediaTypeName(CALL(CatalogItem_MediaItemType, item));
            t_.Detail(Pad(name, 36) + Pad(type, 16) + Text(CALL(CatalogItem_ProductId, item)));
            CALL(CatalogItem_Dispose, item);
        }
        CALL(BrowseCatalogResult_Dispose, p.result);
    }

    // Reads the details of the given products; calls `each` for every details handle.
    template <class Each>
    bool WithDetails(const std::vector<std::u16string>& ids, const emu::StepExpectation& expect, Each each,
                     const std::string& what, bool print = true) {
        std::vector<const char16_t*> raw;
        for (const auto& id : ids) raw.push_back(id.c_str());
        Pending p;
        const bool started =
            CALL(CatalogService_GetCatalogItemDetailsAsync, w_.userId, raw.data(), int32_t(raw.size()), OnObject, &p);
        if (!Finish(expect, started, p, what) || !Usable(p, what)) return false;
        const uint32_t n = CALL(CatalogItemDetailsList_Length, p.result);
        if (print) t_.Line(what + ": " + std::to_string(n) + " products" + Mark(p.onHostThread));
        for (uint32_t i = 0; i < n; ++i) {
            ObjectHandle details = CALL(CatalogItemDetailsList_GetAt, p.result, i);
            each(details);
            CALL(CatalogItemDetails_Dispose, details);
        }
        CALL(CatalogItemDetailsList_Dispose, p.result);
        return true;
    }

    void Details(const emu::DetailsStep& s) {
        t_.Step("details");
        WithDetails(
            s.productIds, s.expect,
            [&](ObjectHandle d) {
                std::string line = Pad(Text(CALL(CatalogItemDetails_Name, d)), 36);
                ObjectHandle availabilities = CALL(CatalogItemDetails_Availabilities, d);
                if (CALL(CatalogItemDetails_Availabilities_Length, availabilities) > 0) {
                    ObjectHandle a = CALL(CatalogItemDetails_Availabilities_GetAt, availabilities, 0u);
                    char price[32];
                    std::snprintf(price, sizeof price, "%.2f ", CALL(CatalogItemAvailability_Price, a));
                    line += Pad(Text(CALL(CatalogItemAvailability_DisplayPrice, a)), 10) + price +
                            Text(CALL(CatalogItemAvailability_CurrencyCode, a));
                    CALL(CatalogItemAvailability_Dispose, a);
                }
                CALL(CatalogItemDetails_Availabilities_Dispose, availabilities);
                t_.Detail(line);
                ObjectHandle images = CALL(CatalogItemDetails_Images, d);
                if (CALL(CatalogItemDetails_Images_Length, images) > 0) {
                    ObjectHandle image = CALL(CatalogItemDetails_Images_GetAt, images, 0u);
                    t_.Detail("  image: " + Text(CALL(CatalogItemImage_Purpose, image)) + " " +
                              std::to_string(CALL(CatalogItemImage_Width, image)) + "x" +
                              std::to_string(CALL(CatalogItemImage_Height, image)) + " " +
                              Text(CALL(CatalogItemImage_ResizeUrl, image)));
                    CALL(CatalogItemImage_Dispose, image);
                }
                CALL(CatalogItemDetails_Images_Dispose, images);
            },
            "details of " + std::to_string(s.productIds.size()) + " ids");
    }

    // Queries the inventory; calls `each` for every item handle. False when there is no list.
    template <class Each>
    bool WithInventory(int32_t mediaItemType, const emu::StepExpectation& expect, Each each, const std::string& what,
                       bool print = true) {
        Pending p;
        const bool started = CALL(InventoryService_GetInventoryItemsAsync, w_.userId, mediaItemType, OnObject, &p);
        if (!Finish(expect, started, p, what) || !Usable(p, what)) return false;
        ObjectHandle items = CALL(InventoryItemsResult_Items, p.result);
        const uint32_t n = CALL(InventoryItemsResult_Items_Length, items);
        if (print) t_.Line(what + ": " + std::to_string(n) + " items" + Mark(p.onHostThread));
        for (uint32_t i = 0; i < n; ++i) {
            ObjectHandle item = CALL(InventoryItemsResult_Items_GetAt, items, i);
            each(item);
            CALL(InventoryItem_Dispose, item);
        }
        CALL(InventoryItemsResult_Items_Dispose, items);
        CALL(InventoryItemsResult_Dispose, p.result);
        return true;
    }

    std::string ItemLine(ObjectHandle item) {
        std::string line = Pad(Text(CALL(InventoryItem_ProductId, item)), 16);
        line += Pad(MediaTypeName(CALL(InventoryItem_MediaItemType, item)), 16);
        line += ItemStateName(CALL(InventoryItem_InventoryItemState, item));
        if (std::u16string_view(CALL(InventoryItem_ConsumableUrl, item)).size())
            line += ", balance " + std::to_string(CALL(InventoryItem_ConsumableBalance, item));
        return line;
    }

    void Inventory(const emu::InventoryStep& s) {
        t_.Step("inventory");
        WithInventory(
            s.mediaItemType, s.expect, [&](ObjectHandle item) { t_.Detail(ItemLine(item)); },
            "user " + std::to_string(w_.userId) + " owns");
    }

    void Purchase(const emu::PurchaseStep& s) {
        t_.Step("purchase");
        std::u16string offer;
        WithDetails(
            {s.productId}, {},
            [&](ObjectHandle d) {
                ObjectHandle availabilities = CALL(CatalogItemDetails_Availabilities, d);
                if (CALL(CatalogItemDetails_Availabilities_Length, availabilities) > 0) {
                    ObjectHandle a = CALL(CatalogItemDetails_Availabilities_GetAt, availabilities, 0u);
                    offer = CALL(CatalogItemAvailability_SignedOffer, a);
                    CALL(CatalogItemAvailability_Dispose, a);
                }
                CALL(CatalogItemDetails_Availabilities_Dispose, availabilities);
            },
            "offer of \"" + Utf8(s.productId) + "\"", false);
        t_.Line("buying \"" + Utf8(s.productId) + "\" with its signed offer");

        Pending purchase;
        CALL(Store_RegisterForPurchaseEvents, OnObject, &purchase);
        Pending screen;
        const bool started = CALL(Store_ShowPurchaseAsync, w_.userId, offer.c_str(), OnValue, &screen);
        if (Finish(s.expect, started, screen, "purchase screen")) {
            t_.Line("purchase screen: status " + std::to_string(screen.value) + ", error " + HResultText(screen.hr) +
                    Mark(screen.onHostThread));
            if (s.expect.status)
                t_.Check(screen.value == *s.expect.status, "screen status " + std::to_string(*s.expect.status));
            if (screen.value == 1) {
                t_.Check(Await(purchase), "a purchase notification");
                if (purchase.result) {
                    t_.Line("purchase notification, receipt:" + Mark(purchase.onHostThread));
                    t_.Detail(Text(CALL(ProductPurchasedEventArgs_Receipt, purchase.result)));
                    CALL(ProductPurchasedEventArgs_Dispose, purchase.result);
                }
                bool owned = false;
                WithInventory(
                    kAllMediaTypes, {},
                    [&](ObjectHandle item) {
                        owned |= std::u16string_view(CALL(InventoryItem_ProductId, item)) == s.productId;
                    },
                    "inventory", false);
                t_.Line(owned ? "the inventory now holds \"" + Utf8(s.productId) + "\""
                              : "the product is not in the inventory");
                t_.Check(owned, "the purchased product in the inventory");
            }
        }
        CALL(Store_UnRegisterForPurchaseEvents);
        host_.PumpAll();
        if (purchase.result && purchase.calls > 1) CALL(ProductPurchasedEventArgs_Dispose, purchase.result);
    }

    void Consume(const emu::ConsumeStep& s) {
        t_.Step("consume");
        Pending inventory;
        const bool started =
            CALL(InventoryService_GetInventoryItemsAsync, w_.userId, kAllMediaTypes, OnObject, &inventory);
        if (!started || !Await(inventory) || !inventory.result) {
            t_.Check(false, "the inventory to find the consumable in");
            return;
        }
        ObjectHandle items = CALL(InventoryItemsResult_Items, inventory.result);
        ObjectHandle found = nullptr;
        for (uint32_t i = 0, n = CALL(InventoryItemsResult_Items_Length, items); i < n && !found; ++i) {
            ObjectHandle item = CALL(InventoryItemsResult_Items_GetAt, items, i);
            if (std::u16string_view(CALL(InventoryItem_ProductId, item)) == s.productId) {
                found = item;
                t_.Line("before: " + ItemLine(item));
            } else {
                CALL(InventoryItem_Dispose, item);
            }
        }
        CALL(InventoryItemsResult_Items_Dispose, items);
        CALL(InventoryItemsResult_Dispose, inventory.result);
        t_.Check(found != nullptr, "the consumable in the inventory");
        if (!found) return;

        Pending p;
        const bool consumed = CALL(InventoryService_ConsumeInventoryItemAsync, w_.userId, found, s.quantity,
                                   s.transactionId.c_str(), OnObject, &p);
        CALL(InventoryItem_Dispose, found);
        const std::string what = "consume " + std::to_string(s.quantity);
        if (!Finish(s.expect, consumed, p, what) || !Usable(p, what)) return;
        t_.Line(what + ": balance now " + std::to_string(CALL(ConsumeInventoryItemResult_ConsumableBalance, p.result)) +
                ", transaction \"" + Text(CALL(ConsumeInventoryItemResult_TransactionId, p.result)) + "\"" +
                Mark(p.onHostThread));
        CALL(ConsumeInventoryItemResult_Dispose, p.result);
    }

    static std::string Date(int64_t ticks) {
        const auto text = emu::FormatDate(ticks);
        return text ? *text : std::to_string(ticks) + " ticks";
    }

    static std::string EntryLine(const emu::Transaction& e) {
        std::string line = Pad("#" + std::to_string(e.id), 4) + Date(e.time) + "  ";
        line += Pad(std::string(emu::kTransactionSourceNames[size_t(e.source)]), 20);
        line += Pad(Utf8(e.productId), 14) + Pad("x" + std::to_string(e.quantity), 5);
        line += std::string(emu::kTransactionOutcomeNames[size_t(e.outcome)]);
        if (e.hresult != 0) line += " " + HResultText(e.hresult);
        if (e.refundOf != 0) line += " (of #" + std::to_string(e.refundOf) + ")";
        return line;
    }

    // The user's item of the product as the plugin answers it; calls `found` with it, if there is one.
    template <class Found>
    void WithOwnedItem(const std::u16string& productId, bool anyState, Found found) {
        Pending p;
        // State All and availability All when any state will do; else what the game uses, Enabled and available.
        const bool started =
            anyState ? CALL(InventoryService_GetInventoryItemsAsyncEx, w_.userId, kAllMediaTypes, 1, 0, u"", 0u,
                            OnObject, &p)
                     : CALL(InventoryService_GetInventoryItemsAsync, w_.userId, kAllMediaTypes, OnObject, &p);
        if (!Finish({}, started, p, "inventory") || !Usable(p, "inventory")) return;
        ObjectHandle items = CALL(InventoryItemsResult_Items, p.result);
        for (uint32_t i = 0, n = CALL(InventoryItemsResult_Items_Length, items); i < n; ++i) {
            ObjectHandle item = CALL(InventoryItemsResult_Items_GetAt, items, i);
            if (std::u16string_view(CALL(InventoryItem_ProductId, item)) == productId) found(item);
            CALL(InventoryItem_Dispose, item);
        }
        CALL(InventoryItemsResult_Items_Dispose, items);
        CALL(InventoryItemsResult_Dispose, p.result);
    }

    void Refund(const emu::RefundStep& s) {
        t_.Step("refund");
        const auto ledger = emu::Transactions();
        t_.Line("ledger: " + std::to_string(ledger.size()) + " transactions");
        for (const auto& e : ledger) t_.Detail(EntryLine(e));
        // The newest grant of the product to the user that no refund took back.
        auto granted = std::find_if(ledger.rbegin(), ledger.rend(), [&](const emu::Transaction& e) {
            return e.userId == w_.userId && e.productId == s.productId &&
                   e.outcome == emu::TransactionOutcome::Granted &&
                   std::none_of(ledger.begin(), ledger.end(), [&](const auto& r) { return r.refundOf == e.id; });
        });
        t_.Check(granted != ledger.rend(), "a granted transaction of \"" + Utf8(s.productId) + "\" to refund");
        if (granted == ledger.rend()) return;
        uint64_t refund = 0;
        try {
            refund = emu::Refund(granted->id);
        } catch (const std::invalid_argument& e) {
            t_.Line(std::string("refund refused: ") + e.what());
            t_.Check(false, "the refund");
            return;
        }
        t_.Line("refunded #" + std::to_string(granted->id) + ", recorded as #" + std::to_string(refund));
        bool owned = false;
        uint32_t balance = 0;
        WithOwnedItem(s.productId, false, [&](ObjectHandle item) {
            owned = true;
            balance = CALL(InventoryItem_ConsumableBalance, item);
        });
        const bool consumable = granted->quantity > 1 || balance > 0;
        if (!owned || !consumable) {
            t_.Line(owned ? "the inventory still holds \"" + Utf8(s.productId) + "\""
                          : "the inventory no longer holds \"" + Utf8(s.productId) + "\"");
            t_.Check(!owned, "the refunded product gone from the inventory");
        } else {
            t_.Line("\"" + Utf8(s.productId) + "\" balance now " + std::to_string(balance));
        }
    }

    void Clock(const emu::ClockStep& s) {
        t_.Step("clock");
        const int64_t before = emu::NowTicks();
        try {
            emu::AdvanceClock(s.advance);
        } catch (const std::invalid_argument& e) {
            t_.Line(std::string("the clock refused: ") + e.what());
            t_.Check(false, "the clock advance");
            return;
        }
        t_.Line("the clock moved from " + Date(before) + " to " + Date(emu::NowTicks()));
        if (s.productId.empty()) return;
        bool found = false;
        WithOwnedItem(s.productId, true, [&](ObjectHandle item) {
            found = true;
            const int32_t state = CALL(InventoryItem_InventoryItemState, item);
            // The export answers managed ticks (since 0001-01-01); the platform's count from 1601.
            const int64_t end = CALL(InventoryItem_EndDate, item) - 504911232000000000;
            t_.Line(Pad(Utf8(s.productId), 16) + Pad(MediaTypeName(CALL(InventoryItem_MediaItemType, item)), 16) +
                    ItemStateName(state) + ", ends " + Date(end));
            if (s.expectedState)
                t_.Check(state == int32_t(*s.expectedState), "state " + ItemStateName(int32_t(*s.expectedState)));
        });
        t_.Check(found, "\"" + Utf8(s.productId) + "\" in the inventory, in any state");
    }

    void Privilege(const emu::PrivilegeStep& s) {
        t_.Step("privilege");
        Pending p;
        const bool started =
            CALL(Store_CheckPrivilegeAsync, w_.userId, s.privilegeId, uint32_t(s.attemptResolution), u"", OnValue, &p);
        const std::string what = "privilege " + std::to_string(s.privilegeId);
        if (!Finish(s.expect, started, p, what)) return;
        if (p.hr != 0) return t_.Line(what + ": failed " + HResultText(p.hr) + Mark(p.onHostThread));
        static const char* flags[] = {"PurchaseRequired", "Aborted", "Banned", "Restricted"};
        std::string names;
        for (int i = 0; i < 4; ++i)
            if (p.value & (1u << i)) names += std::string(names.empty() ? "" : "|") + flags[i];
        t_.Line(what + ": result " + std::to_string(p.value) + " (" + (names.empty() ? "NoIssue" : names) + ")" +
                Mark(p.onHostThread));
        t_.Check(p.value == s.expectedResult, "privilege result " + std::to_string(s.expectedResult));
    }

    void Packages(const emu::DlcStep& s) {
        t_.Step("dlc");
        Pending plain, details;
        CALL(DLC_RegisterForDLCCompletedEvent, OnInstall, &plain);
        CALL(DLC_RegisterForDLCCompletedWithDetailsEvent, OnObject, &details);
        ListPackages(s.filter);
        if (s.install) {
            emu::StartInstallation(emu::MaterializePackage(*s.install), emu::InstallOperationType::Install);
            const bool both = host_.PumpUntil([&] { return plain.calls > 0 && details.calls > 0; }, 10s);
            t_.Check(both, "both install-completed notifications");
            if (plain.calls) t_.Line("installation completed: plain notification" + Mark(plain.onHostThread));
            if (details.result) {
                const VelmoraGuid g =
                    CALL(IDownloadableContentPackageInstallCompletedEventArgs_ContentId, details.result);
                char guid[48];
                std::snprintf(guid, sizeof guid, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                              g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                              g.Data4[6], g.Data4[7]);
                t_.Line(
                    "details notification: operation " +
                    std::to_string(
                        CALL(IDownloadableContentPackageInstallCompletedEventArgs_OperationType, details.result)) +
                    ", " +
                    Text(CALL(IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName, details.result)) +
                    Mark(details.onHostThread));
                t_.Detail(std::string("content id ") + guid);
                CALL(IDownloadableContentPackageInstallCompletedEventArgs_Dispose, details.result);
            }
            MountAndRead(s.filter, s.install->data.packageFullName, s.readFile);
        }
        CALL(DLC_UnRegisterForDLCCompletedEvent);
        CALL(DLC_UnRegisterForDLCCompletedWithDetailsEvent);
    }

    void ListPackages(int32_t filter) {
        ObjectHandle list = CALL(DLC_FindPackages, filter);
        const uint32_t n = CALL(DLC_IDownloadableContentPackage_Length, list);
        t_.Line(std::to_string(n) + " packages installed (filter " + std::to_string(filter) + ")");
        for (uint32_t i = 0; i < n; ++i) {
            ObjectHandle package = CALL(DLC_IDownloadableContentPackage_GetAt, list, i);
            t_.Detail(Pad(Text(CALL(IDownloadableContentPackage_DisplayName, package)), 36) +
                      Text(CALL(IDownloadableContentPackage_PackageFullName, package)) + " v" +
                      Text(CALL(IDownloadableContentPackage_Version, package)));
            CALL(IDownloadableContentPackage_Dispose, package);
        }
        CALL(DLC_IDownloadableContentPackage_Dispose, list);
    }

    void MountAndRead(int32_t filter, const std::u16string& fullName, const std::u16string& file) {
        ObjectHandle list = CALL(DLC_FindPackages, filter);
        ObjectHandle package = nullptr;
        for (uint32_t i = 0, n = CALL(DLC_IDownloadableContentPackage_Length, list); i < n && !package; ++i) {
            ObjectHandle p = CALL(DLC_IDownloadableContentPackage_GetAt, list, i);
            if (std::u16string_view(CALL(IDownloadableContentPackage_PackageFullName, p)) == fullName) {
                package = p;
            } else {
                CALL(IDownloadableContentPackage_Dispose, p);
            }
        }
        CALL(DLC_IDownloadableContentPackage_Dispose, list);
        t_.Check(package != nullptr, "the installed package in the list");
        if (!package) return;
        const char16_t* path = CALL(IDownloadableContentPackage_Mount, package);
        if (!path) {
            t_.Line("mount refused");
            t_.Check(false, "the package mounted");
        } else {
            t_.Line("mounted at " + Text(path));
            if (!file.empty()) {
                std::ifstream in(std::filesystem::path(Text(path)) / Utf8(file));
                std::string first;
                std::getline(in, first);
                t_.Detail(Utf8(file) + ": \"" + first + "\"");
                t_.Check(bool(in), "the package's file readable");
            }
            CALL(IDownloadableContentPackage_Unmount, package);
            t_.Line(std::string("unmounted; mounted now: ") +
                    (CALL(IDownloadableContentPackage_IsMounted, package) ? "yes" : "no"));
        }
        CALL(IDownloadableContentPackage_Dispose, package);
    }

    // Pads or cuts the text to `width` terminal columns, counting wide East Asian characters and
    // emoji as two columns and combining marks as none.
    static std::string Pad(const std::string& text, size_t width) {
        const std::u16string wide = emu::FromUtf8(text);
        std::u16string out;
        size_t columns = 0;
        for (size_t i = 0; i < wide.size(); ++i) {
            uint32_t c = wide[i];
            const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size();
            if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            const size_t w = (c >= 0x0300 && c < 0x0370) || c == 0x200D || (c >= 0xFE00 && c < 0xFE10) ? 0
                             : (c >= 0x1100 && c < 0x1160) || (c >= 0x2E80 && c < 0xA4D0) ||
                                     (c >= 0xAC00 && c < 0xD7A4) || (c >= 0xF900 && c < 0xFB00) ||
                                     (c >= 0xFF00 && c < 0xFF61) || (c >= 0x1F300 && c < 0x1FB00)
                                 ? 2
                                 : 1;
            if (columns + w > width - 1 && i + 1 + pair < wide.size()) {
                out += u'\u2026';
                ++columns;
                break;
            }
            columns += w;
            out += wide[i];
            if (pair) out += wide[++i];
        }
        return Utf8(out) + std::string(width > columns ? width - columns : 0, ' ') + " ";
    }

    host::Host& host_;
    const emu::Walkthrough& w_;
    Transcript& t_;
    Calls calls;
};

std::atomic<bool> stopRequested{false};
extern "C" void OnStopSignal(int) { stopRequested = true; }

// --control: the control page on `port`, the game live until Ctrl-C (or SIGTERM).
void RunLive(Demo& demo, int port) {
    // The page may load a scenario, which resets the emulator: the live game keeps its subscriptions.
    emu::SetResetKeepsSubscriptions(true);
    const std::string address = emu::StartControlPage(port);
    std::printf(
        "The control page is at %s\n"
        "Buy, refund and finish installations there while the game runs. Press Enter to have the\n"
        "game query its inventory and packages; Ctrl-C to stop.\n",
        address.c_str());
    std::fflush(stdout);
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    static std::atomic<int> queries{0};
    // Blocked reading until a line comes; the process's end takes it along.
    std::thread([] {
        for (std::string line; std::getline(std::cin, line);) ++queries;
    }).detach();
    demo.Live(stopRequested, queries);
    emu::StopControlPage();
    emu::SetResetKeepsSubscriptions(false);
}

int Main(int argc, char** argv) {
    bool verbose = false, check = false;
    std::optional<int> control;
    std::string scenarioFile, saveFile;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--verbose")) {
            verbose = true;
        } else if (!std::strcmp(argv[i], "--check")) {
            check = true;
        } else if (!std::strcmp(argv[i], "--scenario") && i + 1 < argc) {
            scenarioFile = argv[++i];
        } else if (!std::strcmp(argv[i], "--save") && i + 1 < argc) {
            saveFile = argv[++i];
        } else if (!std::strcmp(argv[i], "--control")) {
            control = 0;
            if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9') control = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: velmora-demo [--scenario FILE] [--save FILE] [--check] [--verbose] [--control [PORT]]\n");
            return 2;
        }
    }
    // Saves the world as it stands; false (with the message) when the file cannot be written.
    const auto save = [&] {
        if (saveFile.empty()) return true;
        try {
            emu::WaitIdle();
            emu::SaveWorld(saveFile);
            return true;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora-demo: %s\n", e.what());
            return false;
        }
    };
    emu::Scenario scenario;
    try {
        scenario = scenarioFile.empty() ? emu::DefaultScenario() : emu::LoadScenarioFile(scenarioFile);
        emu::ApplyScenario(scenario);
    } catch (const emu::ScenarioError& e) {
        std::fprintf(stderr, "velmora-demo: %s\n", e.what());
        return 2;
    }
    if (check) {                    // a scenario checked, for editors and build scripts; nothing runs
        const bool saved = save();  // the world as the scenario sets it up
        emu::Reset();
        if (!saved) return 2;
        std::printf("%s: the scenario loads\n", scenario.file.c_str());
        return 0;
    }

    bool saved = true;
    Transcript t(stdout);
    t.Title("Velmora demo: scenario " +
            (scenarioFile.empty() ? std::string("built-in (scenarios/default.json)") : scenarioFile));
    {
        host::HostOptions options;
        options.traceEvents = true;
        host::Host host(options);
        hostThread = std::this_thread::get_id();
        queue = &host.Queue();
        try {
            host.Load();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora-demo: %s\n", e.what());
            return 2;
        }
        host.PumpAll();
        if (control) {
            emu::Walkthrough live;
            live.userId = scenario.walkthrough ? scenario.walkthrough->userId
                                               : (scenario.users.empty() ? 1 : scenario.users.front().id);
            Demo demo(host, live, t, verbose);
            try {
                RunLive(demo, *control);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "velmora-demo: %s\n", e.what());
                return 2;
            }
        } else if (scenario.walkthrough) {
            Demo(host, *scenario.walkthrough, t, verbose).Run();
        } else {
            t.Line("the scenario has no walkthrough");
        }
        emu::WaitIdle();
        host.PumpAll();
        saved = save();
        emu::Reset();  // lets go of the plugin's subscriptions before the module unloads
    }
    if (!saved) return 2;
    emu::WaitIdle();
    const bool clean = emu::LiveObjects() == 0 && emu::LiveStrings() == 0;
    std::printf("\n%s\n",
                t.AllAsExpected()
                    ? "Every step behaved as the scenario says."
                    : (std::to_string(t.Mismatches()) + " step(s) did not behave as the scenario says.").c_str());
    if (!clean)
        std::printf("Leak: %lld emulator objects and %lld strings still alive.\n", (long long)emu::LiveObjects(),
                    (long long)emu::LiveStrings());
    return t.AllAsExpected() && clean ? 0 : 1;
}

}  // namespace
}  // namespace velmora::demo

int main(int argc, char** argv) { return velmora::demo::Main(argc, argv); }
