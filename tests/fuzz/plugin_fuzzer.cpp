// libFuzzer harness: reads its input as a sequence of export calls and runs them against the
// plugin, loaded once into the reference host over the emulator's default scenario.
//
// Input format: one byte picks the next call from the table below (byte modulo its size); each
// argument then takes what it needs from the following bytes (a byte that runs past the end
// reads as 0). Arguments are drawn from live handles of the kind the export takes (results of
// real operations, kept with an extra reference so a handle the input disposed stays valid
// memory: a stale handle), null, indices in and past range, known ids, and UTF-16 text (null,
// empty, unpaired surrogates, 64K characters, bytes of the input). VELMORA_FUZZ_LIST_CALLS prints
// the table; VELMORA_FUZZ_TRACE prints each call as it runs. tests/fuzz/seeds.py writes the seeds.
//
// Findings (the harness aborts): a non-platform exception from any export, any exception from
// an asynchronous export, a registration of the store or a read given a null handle; a null
// text where the export promises text; and live emulator objects or strings left over once an
// input's handles are disposed and its events delivered. AddressSanitizer, UBSan and
// LeakSanitizer catch the rest.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/scenarios/scenario.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/packages/packages.h"
#include "emulator/services/store/store.h"
#include "emulator/services/users.h"
#include "host/host.h"
#include "platform/exceptions.h"
#include "tests/async_exports.h"

namespace {

using namespace velmora;
using Exports = host::VelmoraExports;
using ::ABI::HRESULT;
using test::kAsyncExports;

[[noreturn]] void Finding(const std::string& what) {
    std::fprintf(stderr, "velmora fuzz finding: %s\n", what.c_str());
    std::abort();
}

// ---- The input --------------------------------------------------------------------------------

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return v;
    }
    // Up to `max` UTF-16 units taken from the input, two bytes each.
    std::u16string Units(size_t max) {
        std::u16string s;
        const size_t n = std::min<size_t>(Byte() % (max + 1), (size_ - std::min(at_, size_)) / 2);
        for (size_t i = 0; i < n; ++i) s.push_back(char16_t(Byte() | (Byte() << 8)));
        return s;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// ---- The world ----------------------------------------------------------------------------------

// The default scenario (scenarios/default.json): its first user owns content and a consumable,
// its second is restricted; privilege 247 needs a purchase that a subscription resolves.
constexpr uint32_t kUser = 1;
constexpr uint32_t kOtherUser = 2;
constexpr uint32_t kPrivilege = 247;
constexpr char16_t kExtraPackage[] = u"Fuzz.Extra_1.0.0.0_x64__fuzz";

// Ids of the world: what a game passes when it passes something right. Filled at start-up.
std::vector<std::u16string>& KnownTexts() {
    static std::vector<std::u16string> texts;
    return texts;
}

// What an installation installs: the scenario's first package, or a copy of it under a new name.
std::vector<emu::PackageData>& Installable() {
    static std::vector<emu::PackageData> packages;
    return packages;
}

std::u16string FirstOffer(std::u16string_view productId) {
    const auto item = emu::FindCatalogItem(productId);
    return item && !item->availabilities.empty() ? item->availabilities[0].signedOffer : u"";
}

void BuildWorld() {
    emu::ApplyScenario(emu::DefaultScenario());
    emu::SetDefaultDelay(std::chrono::microseconds{0});  // the scenario's delay would only slow fuzzing
    KnownTexts() = {
        u"9NAURSKIES01",  // the game, and the parent of everything else in the catalog
        u"9NSTRMGLIDR2",  // content the first user owns, installed as a package
        u"9NSKYGEMS105",  // the consumable the first user holds
        u"9NCLDBRKOST9",  // content with a package of a related title
        FirstOffer(u"9NCLDTREASR3"),
        FirstOffer(u"9NSKYGEMS105"),
        u"AURL-SKY5-GEMS-0550",  // a redeem code
        u"fuzz-transaction",
        u"9NAURELPASS8",  // the subscription
        u"5A3C19E4",      // the running title
    };
    const auto installed = emu::InstalledPackages();
    if (installed.empty()) Finding("the default scenario installs no package");
    emu::PackageData extra = installed[0];
    extra.packageFullName = kExtraPackage;
    Installable() = {installed[0], extra};
}

// ---- Handles ------------------------------------------------------------------------------------

// What managed code holds: one reference per entry, plus the harness's own, so an entry the
// input disposed stays valid memory and can be passed again as a stale handle.
struct Held {
    ObjectHandle handle;
    int kind;
    bool disposed;
};

struct State;
State* state = nullptr;

struct State {
    const Exports* x = nullptr;
    host::Host* host = nullptr;
    std::vector<std::string> kindNames;
    std::map<std::string, int> kinds;
    std::vector<void (*)(ObjectHandle)> disposeOf;  // each kind's _Dispose export
    std::vector<Held> held;
    static constexpr size_t kMaxHeld = 512;

    int Kind(const std::string& name) {
        auto [it, added] = kinds.emplace(name, int(kindNames.size()));
        if (added) {
            kindNames.push_back(name);
            disposeOf.push_back(nullptr);
        }
        return it->second;
    }

    // Takes over one reference handed to managed code.
    void Take(ObjectHandle handle, int kind) {
        if (!handle) return;
        if (held.size() >= kMaxHeld) return disposeOf[size_t(kind)](handle);
        static_cast<::ABI::IUnknown*>(handle)->AddRef();
        held.push_back({handle, kind, false});
    }

    // A handle of the kind: null, or a held one (live or stale). `entry` is set for a held one.
    ObjectHandle Pick(int kind, Reader& in, Held** entry) {
        *entry = nullptr;
        const uint8_t b = in.Byte();
        if (b % 8 == 0) return nullptr;
        std::vector<Held*> matching;
        for (auto& h : held)
            if (h.kind == kind) matching.push_back(&h);
        if (matching.empty()) return nullptr;
        *entry = matching[b % matching.size()];
        return (*entry)->handle;
    }

    void DisposeAll() {
        for (auto& h : held) {
            if (!h.disposed) disposeOf[size_t(h.kind)](h.handle);
            static_cast<::ABI::IUnknown*>(h.handle)->Release();
        }
        held.clear();
    }
};

// ---- Arguments ------------------------------------------------------------------------------------

uint32_t UserId(Reader& in) {
    switch (in.Byte() % 6) {
        case 0:
            return kOtherUser;
        case 1:
            return 0;
        case 2:
            return in.U32();
        default:
            return kUser;
    }
}

uint32_t Index(Reader& in) {
    // Also the 32-bit arguments that are not indices: the last entry is the privilege of the world.
    static constexpr uint32_t kIndices[] = {0, 0, 1, 1, 2, 3, 5, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, kPrivilege};
    const uint8_t b = in.Byte();
    return b < 200 ? kIndices[b % std::size(kIndices)] : in.U32();
}

int32_t Small(Reader& in) {
    const uint8_t b = in.Byte();
    return b < 240 ? int32_t(b % 16) : int32_t(in.U32());
}

// Text argument storage: the pointer stays valid until the next input.
struct Texts {
    std::deque<std::u16string> storage;  // a deque never moves its elements, so pointers stay valid
    const char16_t* Take(Reader& in) {
        static const std::u16string kOdd[] = {
            u"",
            u"\xD800",                                  // an unpaired high surrogate
            std::u16string(u"\xDC00") + u"tail",        // an unpaired low surrogate
            u"\xDFFF\xD800",                            // a reversed pair
            std::u16string(1 << 16, u'A') + u"\xD83D",  // 64K units, cut pair at the end
        };
        const uint8_t b = in.Byte() % 10;
        if (b == 0) return nullptr;
        std::u16string s = b <= 5 ? kOdd[b - 1] : b == 6 ? in.Units(32) : KnownTexts()[in.Byte() % KnownTexts().size()];
        storage.push_back(std::move(s));
        return storage.back().c_str();
    }
};

// ---- Callbacks -----------------------------------------------------------------------------------

struct ResultKind {
    int kind;
};

void TakeObject(int32_t, ObjectHandle result, void* userData) {
    if (!state->host->Queue().InDelivery()) Finding("a callback ran outside the host's delivery");
    state->Take(result, static_cast<ResultKind*>(userData)->kind);
}
void TakeValue(int32_t, uint32_t, void*) {
    if (!state->host->Queue().InDelivery()) Finding("a callback ran outside the host's delivery");
}
void TakeInstall(void*) {
    if (!state->host->Queue().InDelivery()) Finding("a callback ran outside the host's delivery");
}

// ---- The call table -------------------------------------------------------------------------------

struct Call {
    std::string name;
    std::function<void(Reader&, Texts&)> run;
};

template <class Fn>
void NeverThrows(const char* name, Fn&& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        Finding(std::string(name) + " threw " + e.what());
    }
}

// A platform exception is an allowed answer; anything else escapes and is a finding.
template <class Fn>
void MayThrowPlatform(Fn&& fn) {
    try {
        fn();
    } catch (const Platform::Exception&) {
    }
}

size_t Length(const char16_t* text) {
    size_t n = 0;
    while (text[n]) ++n;  // reads the whole borrowed text: a dead buffer is caught here
    return n;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The kind of handle an export that takes one reads, from its name.
std::string ParameterKind(const std::string& name) {
    for (const char* suffix : {"_Length", "_GetAt", "_Dispose"})
        if (EndsWith(name, suffix)) {
            std::string kind = name.substr(0, name.size() - std::strlen(suffix));
            return kind == "BrowseCatalogResult_Items" ? "BrowseCatalogResult" : kind;
        }
    return name.substr(0, name.rfind('_'));
}

// The kind of the elements an object collection hands out.
std::string ElementKind(const std::string& collection) {
    static const std::map<std::string, std::string> elements = {
        {"InventoryItemsResult_Items", "InventoryItem"},
        {"BrowseCatalogResult", "CatalogItem"},
        {"CatalogItemDetailsList", "CatalogItemDetails"},
        {"CatalogItem_Images", "CatalogItemImage"},
        {"CatalogItemDetails_Images", "CatalogItemImage"},
        {"CatalogItemDetails_Availabilities", "CatalogItemAvailability"},
        {"DLC_IDownloadableContentPackage", "IDownloadableContentPackage"},
    };
    auto it = elements.find(collection);
    if (it == elements.end()) Finding("no element kind for " + collection);
    return it->second;
}

template <class R>
void Check(const std::string& name, ObjectHandle handle, R value) {
    if constexpr (std::is_same_v<R, const char16_t*>) {
        const bool mayBeNull = name == "IDownloadableContentPackage_Mount" || (EndsWith(name, "_GetAt") && !handle);
        if (!value && !mayBeNull) Finding(name + " answered null text");
        if (value) Length(value);
        if (!handle && value && *value) Finding(name + " answered text for a null handle");
    } else if constexpr (std::is_same_v<R, ObjectHandle>) {
        if (!handle && value) Finding(name + " answered a handle for a null handle");
    } else if constexpr (std::is_same_v<R, VelmoraGuid>) {
        const VelmoraGuid zero{};
        if (!handle && std::memcmp(&value, &zero, sizeof zero) != 0) Finding(name + " answered a GUID for null");
    } else {
        if (!handle && value != R{}) Finding(name + " answered a value for a null handle");
    }
}

// A handle an export answered becomes managed code's; other answers are only read.
void Keep(ObjectHandle value, int kind) { state->Take(value, kind); }
template <class T>
void Keep(const T&, int) {}

// A _Dispose export, or the unmount.
void AddHandleCall(std::vector<Call>& calls, const std::string& name, void (*fn)(ObjectHandle)) {
    const int kind = state->Kind(ParameterKind(name));
    if (!EndsWith(name, "_Dispose")) {
        calls.push_back({name, [fn, kind, name](Reader& in, Texts&) {
                             Held* entry = nullptr;
                             ObjectHandle h = state->Pick(kind, in, &entry);
                             if (!h) return NeverThrows(name.c_str(), [&] { fn(h); });
                             MayThrowPlatform([&] { fn(h); });
                         }});
        return;
    }
    state->disposeOf[size_t(kind)] = fn;
    calls.push_back({name, [fn, kind](Reader& in, Texts&) {
                         Held* entry = nullptr;
                         ObjectHandle h = state->Pick(kind, in, &entry);
                         if (entry && entry->disposed) return;  // disposing twice is the caller's bug
                         NeverThrows("a dispose", [&] { fn(h); });
                         if (entry) entry->disposed = true;
                     }});
}

// A read of one value of the object behind a handle, or of one element of a collection.
template <class R, class... I>
void AddHandleCall(std::vector<Call>& calls, const std::string& name, R (*fn)(ObjectHandle, I...)) {
    static_assert((std::is_same_v<I, uint32_t> && ...), "an index is the only other argument");
    const int kind = state->Kind(ParameterKind(name));
    int resultKind = -1;
    if constexpr (std::is_same_v<R, ObjectHandle>)
        resultKind = state->Kind(sizeof...(I) ? ElementKind(ParameterKind(name)) : name);
    calls.push_back({name, [fn, kind, resultKind, name](Reader& in, Texts&) {
                         Held* entry = nullptr;
                         ObjectHandle h = state->Pick(kind, in, &entry);
                         const std::tuple<ObjectHandle, I...> args{h, static_cast<I>(Index(in))...};
                         auto call = [&] {
                             R value = std::apply(fn, args);
                             Check(name, h, value);
                             Keep(value, resultKind);
                         };
                         if (!h) return NeverThrows(name.c_str(), call);
                         MayThrowPlatform(call);
                     }});
}

template <class F>
void AddHandleCall(std::vector<Call>&, const std::string&, F) {}  // takes no handle

ResultKind* Results(const char* kind) {
    static std::map<std::string, ResultKind> results;
    auto [it, added] = results.emplace(kind, ResultKind{0});
    if (added) it->second.kind = state->Kind(kind);
    return &it->second;
}

const Exports& X() { return *state->x; }

ManagedObjectCallback ObjectCallback(Reader& in) { return in.Byte() % 8 == 0 ? nullptr : TakeObject; }
ManagedValueCallback ValueCallback(Reader& in) { return in.Byte() % 8 == 0 ? nullptr : TakeValue; }

// Product ids for the details query: a null array, or `count` texts (the array holds what the
// count says, as the managed caller's array does).
struct IdArray {
    std::vector<const char16_t*> texts;
    std::vector<uint32_t> numbers;
    int32_t count = 0;
    bool null = false;
};
IdArray Ids(Reader& in, Texts& texts, bool numbers) {
    IdArray a;
    const uint8_t b = in.Byte();
    a.count = b % 16 == 15 ? -int32_t(in.Byte()) : int32_t(b % 13);
    a.null = b >= 224;
    for (int32_t i = 0; i < a.count; ++i) {
        if (numbers) {
            a.numbers.push_back(in.Byte() % 3 == 0 ? in.U32() : kPrivilege);
        } else {
            a.texts.push_back(texts.Take(in));
        }
    }
    return a;
}

const std::vector<std::string>& FaultNames() {
    static const std::vector<std::string> names = {
        "IInventoryItem.get_ProductId",
        "IInventoryItem.get_ContainerIds",
        "IInventoryItem.get_ConsumableUrl",
        "IInventoryItemsResult.get_Items",
        "ICatalogItem.get_Images",
        "ICatalogItem.get_Name",
        "ICatalogItemDetails.get_Availabilities",
        "ICatalogItemImage.get_ResizeUrl",
        "ICatalogItemAvailability.get_Price",
        "IUriRuntimeClass.get_AbsoluteUri",
        "IVectorView.GetAt",
        "IVectorView.get_Size",
        "WindowsCreateString",
        "WindowsDuplicateString",
        "IUser.get_Id",
        "IXboxLiveContext.get_InventoryService",
        "IXboxLiveContext.get_CatalogService",
        "RoGetActivationFactory:Windows.Xbox.ApplicationModel.Store.Product",
        "IProductStatics.ShowPurchaseAsync",
        "IProductStatics.CheckPrivilegesAsync",
        "IProductStatics.add_ProductPurchased",
        "IProductPurchasedEventArgs.get_Receipt",
        "IDownloadableContentPackageManager.FindPackages",
        "IDownloadableContentPackageManager.add_DownloadableContentPackageInstallCompleted",
        "IDownloadableContentPackage.Mount",
        "IDownloadableContentPackage.Unmount",
        "IDownloadableContentPackage.get_MountPath",
        "IDownloadableContentPackageInstallCompletedEventArgs.get_ContentId",
        "IDownloadableContentPackageInstallCompletedEventArgs.get_PackageFullName",
    };
    return names;
}

HRESULT FailingHr(Reader& in) {
    static constexpr uint32_t kCodes[] = {0x80004005, 0x80070005, 0x8007000E, 0x80070057, 0x8000000B,
                                          0x80004002, 0x80040154, 0x80190194, 0x80004003, 0x8000000C};
    const uint8_t b = in.Byte();
    return HRESULT(b < 220 ? kCodes[b % std::size(kCodes)] : (in.U32() | 0x80000000u));
}

// Draws an asynchronous export's arguments from their types, left to right: the user first; an id
// array sets the count the int32_t after it takes; the last void* is the callback's data (the kind
// of result it keeps), an earlier one an inventory item.
struct AsyncArgs {
    Reader& in;
    Texts& texts;
    void* userData;
    size_t left;  // arguments still to draw
    IdArray ids;
    bool counted = false;

    template <class A>
    A Next() {
        --left;
        if constexpr (std::is_same_v<A, uint32_t>) {
            return Index(in);
        } else if constexpr (std::is_same_v<A, int32_t>) {
            return std::exchange(counted, false) ? ids.count : Small(in);
        } else if constexpr (std::is_same_v<A, const char16_t*>) {
            return texts.Take(in);
        } else if constexpr (std::is_same_v<A, const char16_t* const*>) {
            ids = Ids(in, texts, false);
            counted = true;
            return ids.null ? nullptr : ids.texts.data();
        } else if constexpr (std::is_same_v<A, const uint32_t*>) {
            ids = Ids(in, texts, true);
            counted = true;
            return ids.null ? nullptr : ids.numbers.data();
        } else if constexpr (std::is_same_v<A, ManagedObjectCallback>) {
            return ObjectCallback(in);
        } else if constexpr (std::is_same_v<A, ManagedValueCallback>) {
            return ValueCallback(in);
        } else {
            static_assert(std::is_same_v<A, void*>);
            Held* entry = nullptr;
            return left == 0 ? userData : state->Pick(state->Kind("InventoryItem"), in, &entry);
        }
    }
};

// An asynchronous operation: never throws; a true answer is followed by one callback.
template <class... A>
void AddHandleCall(std::vector<Call>& calls, const std::string& name, bool (*fn)(uint32_t, A...)) {
    const auto row = std::find_if(kAsyncExports.begin(), kAsyncExports.end(),
                                  [&](const test::AsyncExport& r) { return name == r.name; });
    if (row == kAsyncExports.end()) return Finding("no row of the asynchronous exports for " + name);
    const char* result = row->result;
    calls.push_back({name, [name, fn, result](Reader& in, Texts& t) {
                         AsyncArgs args{in, t, result ? Results(result) : nullptr, sizeof...(A), {}};
                         // A braced list draws its elements in order.
                         std::tuple<uint32_t, A...> drawn{UserId(in), args.template Next<A>()...};
                         NeverThrows(name.c_str(), [&] { std::apply(fn, drawn); });
                     }});
}

std::vector<Call> MakeCalls(const Exports& exports) {
    std::vector<Call> calls;
    // Registrations. The store's never throw; the DLC ones may throw a platform exception.
    calls.push_back({"Store_RegisterForPurchaseEvents", [](Reader& in, Texts&) {
                         NeverThrows("Store_RegisterForPurchaseEvents", [&] {
                             X().Store_RegisterForPurchaseEvents(ObjectCallback(in),
                                                                 Results("ProductPurchasedEventArgs"));
                         });
                     }});
    calls.push_back({"Store_UnRegisterForPurchaseEvents", [](Reader&, Texts&) {
                         NeverThrows("Store_UnRegisterForPurchaseEvents",
                                     [&] { X().Store_UnRegisterForPurchaseEvents(); });
                     }});
    calls.push_back({"DLC_RegisterForDLCCompletedEvent", [](Reader& in, Texts&) {
                         ManagedInstallCallback cb = in.Byte() % 8 == 0 ? nullptr : TakeInstall;
                         MayThrowPlatform([&] { X().DLC_RegisterForDLCCompletedEvent(cb, nullptr); });
                     }});
    calls.push_back({"DLC_UnRegisterForDLCCompletedEvent",
                     [](Reader&, Texts&) { MayThrowPlatform([&] { X().DLC_UnRegisterForDLCCompletedEvent(); }); }});
    calls.push_back({"DLC_RegisterForDLCCompletedWithDetailsEvent", [](Reader& in, Texts&) {
                         MayThrowPlatform([&] {
                             X().DLC_RegisterForDLCCompletedWithDetailsEvent(
                                 ObjectCallback(in), Results("IDownloadableContentPackageInstallCompletedEventArgs"));
                         });
                     }});
    calls.push_back({"DLC_UnRegisterForDLCCompletedWithDetailsEvent", [](Reader&, Texts&) {
                         MayThrowPlatform([&] { X().DLC_UnRegisterForDLCCompletedWithDetailsEvent(); });
                     }});
    calls.push_back({"DLC_FindPackages", [](Reader& in, Texts&) {
                         const int32_t filter = Small(in);
                         MayThrowPlatform([&] {
                             state->Take(X().DLC_FindPackages(filter), state->Kind("DLC_IDownloadableContentPackage"));
                         });
                     }});
    calls.push_back({"AmFullyInitialized", [](Reader&, Texts&) {
                         if (!X().AmFullyInitialized()) Finding("the loaded plugin is not initialized");
                     }});
    // The platform and the host's loop.
    calls.push_back({"emu::RaisePurchase", [](Reader& in, Texts& t) {
                         const char16_t* product = t.Take(in);
                         emu::RaisePurchase(UserId(in), product ? product : u"", in.Byte() % 4);
                     }});
    calls.push_back({"emu::StartInstallation", [](Reader& in, Texts&) {
                         emu::StartInstallation(Installable()[in.Byte() % 2], emu::InstallOperationType(in.Byte() % 4));
                     }});
    calls.push_back({"pump", [](Reader&, Texts&) { state->host->PumpAll(); }});
    calls.push_back({"wait and pump", [](Reader&, Texts&) {
                         emu::WaitIdle();
                         state->host->PumpAll();
                     }});
    calls.push_back({"emu::InjectFault", [](Reader& in, Texts&) {
                         const std::string& name = FaultNames()[in.Byte() % FaultNames().size()];
                         const HRESULT hr = FailingHr(in);
                         emu::InjectFault(name, hr, 1 + in.Byte() % 3);
                     }});
    calls.push_back({"emu::ScriptOutcome", [](Reader& in, Texts&) {
                         const char* name = kAsyncExports[in.Byte() % kAsyncExports.size()].call;
                         emu::Outcome o;
                         o.kind = emu::Outcome::Kind(in.Byte() % 7);
                         o.hr = FailingHr(in);
                         o.delay = std::chrono::microseconds(in.Byte() % 4 == 0 ? -1 : in.Byte() % 64);
                         emu::ScriptOutcome(name, o, 1);
                     }});
    // Every export that takes a handle, in the order of the export list.
#define VELMORA_EXPORT(result, name, params, args) AddHandleCall(calls, #name, exports.name);
#include "velmora/exports.inc"
#undef VELMORA_EXPORT
    for (const char* kind : {"ConsumeInventoryItemResult", "InventoryItem", "InventoryItemsResult",
                             "BrowseCatalogResult", "CatalogItemDetailsList", "ProductPurchasedEventArgs",
                             "IDownloadableContentPackageInstallCompletedEventArgs"})
        Results(kind);
    for (size_t k = 0; k < state->disposeOf.size(); ++k)
        if (!state->disposeOf[k]) Finding("no _Dispose export for the kind " + state->kindNames[k]);
    return calls;
}

// Delivers everything in flight: the platform's work, then the host's queue, until both are quiet.
void Quiesce() {
    do emu::WaitIdle();
    while (state->host->PumpAll() > 0);
}

bool trace = false;  // VELMORA_FUZZ_TRACE: print each call and the handles held after it
int64_t baselineObjects = 0;
int64_t baselineStrings = 0;
std::vector<Call>* calls = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Never destroyed: the plugin stays loaded until the process ends, so the platform may still
    // release the plugin's delegates at exit.
    state = new State;
    BuildWorld();
    host::HostOptions options;
    state->host = new host::Host(options);
    state->host->Load(VELMORA_PLUGIN_PATH);
    state->host->PumpAll();
    state->x = &state->host->Exports();
    calls = new std::vector<Call>(MakeCalls(*state->x));
    trace = std::getenv("VELMORA_FUZZ_TRACE") != nullptr;
    if (std::getenv("VELMORA_FUZZ_LIST_CALLS"))
        for (size_t i = 0; i < calls->size(); ++i) std::printf("%3zu %s\n", i, (*calls)[i].name.c_str());
    // Every group's first use, so what the plugin keeps for its life is in the baseline.
    const Exports& x = *state->x;
    x.Store_UnRegisterForPurchaseEvents();
    x.DLC_UnRegisterForDLCCompletedEvent();
    x.InventoryService_GetInventoryItemsAsync(kUser, 14, nullptr, nullptr);
    x.CatalogService_BrowseCatalogAsync(kUser, u"9NAURSKIES01", 1, 14, 0, 0, 0, nullptr, nullptr);
    Quiesce();
    baselineObjects = emu::LiveObjects();
    baselineStrings = emu::LiveStrings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    Texts texts;
    for (int n = 0; n < 64 && !in.Done(); ++n) {
        const Call& call = (*calls)[in.Byte() % calls->size()];
        call.run(in, texts);
        if (trace) std::fprintf(stderr, "%-70s held %zu\n", call.name.c_str(), state->held.size());
    }
    // The end of the input: what is in flight arrives, registrations are dropped, every held
    // reference is given back, and the emulator is as it was.
    emu::ClearFaults();
    emu::ClearScripts();
    Quiesce();
    const Exports& x = *state->x;
    x.Store_UnRegisterForPurchaseEvents();
    x.DLC_UnRegisterForDLCCompletedEvent();
    x.DLC_UnRegisterForDLCCompletedWithDetailsEvent();
    Quiesce();
    state->DisposeAll();
    emu::RemovePackage(kExtraPackage);
    if (emu::LiveObjects() != baselineObjects)
        Finding("live objects " + std::to_string(emu::LiveObjects()) + ", baseline " + std::to_string(baselineObjects));
    if (emu::LiveStrings() != baselineStrings)
        Finding("live strings " + std::to_string(emu::LiveStrings()) + ", baseline " + std::to_string(baselineStrings));
    return 0;
}
