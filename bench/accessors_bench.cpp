// Accessor overhead: one export of each conversion rule, called through the pointer the host
// resolved by name, against the floor — the same platform calls written out inline here, with the
// same failure check. Export and floor run in alternating blocks within one benchmark, so noise
// from other processes falls on both alike; the counters are ns per call and their ratio. With
// --velmora_instructions, run under callgrind, the same two bodies are counted in instructions.
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "bench/bench_support.h"
#include "emulator/services/marketplace/marketplace.h"

namespace velmora::bench {
namespace {

using ::ABI::Microsoft::Xbox::Services::Marketplace::ICatalogItemAvailability;
using ::ABI::Microsoft::Xbox::Services::Marketplace::ICatalogItemImage;
using ::ABI::Windows::Foundation::DateTime;
using ::ABI::Windows::Foundation::IUriRuntimeClass;

[[noreturn, gnu::noinline]] void Fail(HRESULT hr) {
    throw std::runtime_error("platform call failed: " + std::to_string(hr));
}
inline void Check(HRESULT hr) {
    if (hr < 0) [[unlikely]]
        Fail(hr);
}

// Real emulator records, made once by the emulator's record makers.
struct Records {
    ComPtr<emu::ICatalogItem> item;
    ComPtr<IVectorView<ICatalogItemImage*>> images;
    ComPtr<ICatalogItemImage> image;
    ComPtr<IVectorView<HSTRING>> purposes;
    ComPtr<emu::ICatalogItemDetails> details;
    ComPtr<ICatalogItemAvailability> availability;

    Records() {
        emu::CatalogItemData data;
        data.id = u"bench-item";
        data.name = u"Velmora Benchmark Edition";
        data.productId = u"9BENCH000001";
        data.mediaItemType = emu::MediaItemType::GameContent;
        data.titleId = 0x1234ABCD;
        data.releaseDate = 132000000000000000;
        emu::CatalogImageData imageData;
        imageData.id = u"image-1";
        imageData.purpose = u"BoxArt";
        imageData.purposes = {u"BoxArt", u"Hero"};
        imageData.resizeUrl = u"https://images.example.test/bench/boxart.png";
        imageData.width = 1920;
        imageData.height = 1080;
        data.images = {imageData};
        emu::CatalogAvailabilityData availabilityData;
        availabilityData.contentId = u"content-1";
        availabilityData.price = 9.99;
        availabilityData.isPurchasable = 1;
        data.availabilities = {availabilityData};

        Check(emu::CreateCatalogItem(data, item.Put()));
        Check(item->get_Images(images.Put()));
        Check(images->GetAt(0, image.Put()));
        Check(image->get_Purposes(purposes.Put()));
        Check(emu::CreateCatalogItemDetails(data, details.Put()));
        ComPtr<IVectorView<ICatalogItemAvailability*>> availabilities;
        Check(details->get_Availabilities(availabilities.Put()));
        Check(availabilities->GetAt(0, availability.Put()));
    }
};

Records& R() {
    static Records records;
    return records;
}

// The floor of a borrowed string: what the string rule does after reading the HSTRING.
inline const char16_t* BorrowInline(HSTRING read) {
    if (!read) return u"";
    HSTRING duplicate = nullptr;
    if (HRESULT hr = WindowsDuplicateString(read, &duplicate); hr < 0) [[unlikely]] {
        WindowsDeleteString(read);
        Fail(hr);
    }
    const char16_t* raw = WindowsGetStringRawBuffer(duplicate, nullptr);
    WindowsDeleteString(duplicate);
    WindowsDeleteString(read);
    return raw;
}

constexpr int kBlock = 256;

// The benchmark running now, as registered ("Accessor/<rule>/<export>").
std::string currentRule;

// Instructions are counted over this many calls, so the per-call figure has no rounding to speak of.
constexpr int kCounted = 1000;

template <class F>
[[gnu::noinline]] void Repeat(F& f) {
    for (int i = 0; i < kCounted; ++i) f();
}

// Under callgrind, one dump for the export's calls and one for the floor's, each named after the
// benchmark; outside it the requests do nothing. Counted once per benchmark, after a warm-up call
// of each (which binds the lazily resolved symbols).
template <class ViaExport, class Floor>
void CountInstructions(const std::string& name, ViaExport& viaExport, Floor& floor) {
    static std::set<std::string> counted;
    if (!counted.insert(name).second) return;
    viaExport();
    floor();
    const std::string exportDump = "export " + name, floorDump = "floor " + name;
    CALLGRIND_ZERO_STATS;
    Repeat(viaExport);
    CALLGRIND_DUMP_STATS_AT(exportDump.c_str());
    Repeat(floor);
    CALLGRIND_DUMP_STATS_AT(floorDump.c_str());
}

template <class ViaExport, class Floor>
void Compare(benchmark::State& state, ViaExport viaExport, Floor floor) {
    UseHost(Platform::Emulator);
    R();
    if (Config().countInstructions) {
        CountInstructions(currentRule, viaExport, floor);
        for (auto _ : state) {
        }
        return;
    }
    int64_t exportNs = 0;
    int64_t floorNs = 0;
    bool exportFirst = true;
    auto runExport = [&] {
        const int64_t t0 = WallNs();
        for (int i = 0; i < kBlock; ++i) viaExport();
        exportNs += WallNs() - t0;
    };
    auto runFloor = [&] {
        const int64_t t0 = WallNs();
        for (int i = 0; i < kBlock; ++i) floor();
        floorNs += WallNs() - t0;
    };
    for (auto _ : state) {
        if (exportFirst) {
            runExport();
            runFloor();
        } else {
            runFloor();
            runExport();
        }
        exportFirst = !exportFirst;
    }
    const double calls = double(state.iterations()) * kBlock;
    state.counters["export_ns"] = double(exportNs) / calls;
    state.counters["floor_ns"] = double(floorNs) / calls;
    state.counters["ratio"] = double(exportNs) / double(floorNs);
    state.counters["overhead_ns"] = double(exportNs - floorNs) / calls;
}

// Keeps a value where it already is: the register an export returned it in (an SSE register for
// a double) or the slot a floor's platform call wrote. benchmark::DoNotOptimize moves a double to a
// general register and sometimes stores a pointer, costs the floor never pays.
template <class T>
void Keep(T value) {
    if constexpr (std::is_floating_point_v<T>)
        asm volatile("" : : "xm"(value) : "memory");
    else
        asm volatile("" : : "g"(value) : "memory");
}

void StringRule(benchmark::State& state) {
    auto* item = R().item.Get();
    Compare(
        state, [&] { Keep(X().CatalogItem_Name(item)); },
        [&] {
            HSTRING s = nullptr;
            Check(item->get_Name(&s));
            Keep(BorrowInline(s));
        });
}

void UriStringRule(benchmark::State& state) {
    auto* image = R().image.Get();
    Compare(
        state, [&] { Keep(X().CatalogItemImage_ResizeUrl(image)); },
        [&] {
            IUriRuntimeClass* uri = nullptr;
            Check(image->get_ResizeUrl(&uri));
            if (!uri) return Keep(u"");
            HSTRING s = nullptr;
            const HRESULT hr = uri->get_AbsoluteUri(&s);
            if (hr < 0) [[unlikely]] {
                uri->Release();
                Fail(hr);
            }
            Keep(BorrowInline(s));
            uri->Release();
        });
}

void U32Rule(benchmark::State& state) {
    auto* item = R().item.Get();
    Compare(
        state, [&] { Keep(X().CatalogItem_TitleId(item)); },
        [&] {
            uint32_t v = 0;
            Check(item->get_TitleId(&v));
            Keep(v);
        });
}

void EnumRule(benchmark::State& state) {
    auto* item = R().item.Get();
    Compare(
        state, [&] { Keep(X().CatalogItem_MediaItemType(item)); },
        [&] {
            emu::MediaItemType v{};
            Check(item->get_MediaItemType(&v));
            Keep(int32_t(v));
        });
}

void DateRule(benchmark::State& state) {
    auto* item = R().item.Get();
    Compare(
        state, [&] { Keep(X().CatalogItem_ReleaseDate(item)); },
        [&] {
            DateTime v{};
            Check(item->get_ReleaseDate(&v));
            constexpr int64_t kMax = 3155378975999999999, kOffset = 504911232000000000;
            Keep(v.UniversalTime < kMax ? v.UniversalTime + kOffset : kMax);
        });
}

void F64Rule(benchmark::State& state) {
    auto* availability = R().availability.Get();
    Compare(
        state, [&] { Keep(X().CatalogItemAvailability_Price(availability)); },
        [&] {
            double v = 0;
            Check(availability->get_Price(&v));
            Keep(v);
        });
}

void BoolRule(benchmark::State& state) {
    auto* availability = R().availability.Get();
    Compare(
        state, [&] { Keep(X().CatalogItemAvailability_IsPurchasable(availability)); },
        [&] {
            boolean v = 0;
            Check(availability->get_IsPurchasable(&v));
            Keep(int32_t(v == 1 ? 1 : 0));
        });
}

void ObjectPropertyRule(benchmark::State& state) {
    auto* item = R().item.Get();
    Compare(
        state,
        [&] {
            auto* images = static_cast<IVectorView<ICatalogItemImage*>*>(X().CatalogItem_Images(item));
            Keep(images);
            if (images) images->Release();
        },
        [&] {
            IVectorView<ICatalogItemImage*>* images = nullptr;
            Check(item->get_Images(&images));
            Keep(images);
            if (images) images->Release();
        });
}

void LengthRule(benchmark::State& state) {
    auto* images = R().images.Get();
    Compare(
        state, [&] { Keep(X().CatalogItem_Images_Length(images)); },
        [&] {
            uint32_t n = 0;
            Check(images->get_Size(&n));
            Keep(n);
        });
}

void GetAtObjectRule(benchmark::State& state) {
    auto* images = R().images.Get();
    Compare(
        state,
        [&] {
            auto* image = static_cast<ICatalogItemImage*>(X().CatalogItem_Images_GetAt(images, 0));
            Keep(image);
            if (image) image->Release();
        },
        [&] {
            ICatalogItemImage* image = nullptr;
            Check(images->GetAt(0, &image));
            Keep(image);
            if (image) image->Release();
        });
}

void GetAtStringRule(benchmark::State& state) {
    auto* purposes = R().purposes.Get();
    Compare(
        state, [&] { Keep(X().CatalogItemImage_Purposes_GetAt(purposes, 1)); },
        [&] {
            HSTRING s = nullptr;
            Check(purposes->GetAt(1, &s));
            Keep(BorrowInline(s));
        });
}

void DisposeRule(benchmark::State& state) {
    auto* item = R().item.Get();
    Compare(
        state,
        [&] {
            item->AddRef();
            X().CatalogItem_Dispose(item);
        },
        [&] {
            item->AddRef();
            item->Release();
        });
}

// One row per conversion rule: the export measured, and the rule it stands for.
const bool registered = [] {
    const struct {
        const char* name;
        void (*run)(benchmark::State&);
    } rules[] = {
        {"string/CatalogItem_Name", StringRule},
        {"uri_string/CatalogItemImage_ResizeUrl", UriStringRule},
        {"u32/CatalogItem_TitleId", U32Rule},
        {"enum/CatalogItem_MediaItemType", EnumRule},
        {"date/CatalogItem_ReleaseDate", DateRule},
        {"f64/CatalogItemAvailability_Price", F64Rule},
        {"bool/CatalogItemAvailability_IsPurchasable", BoolRule},
        {"object/CatalogItem_Images", ObjectPropertyRule},
        {"length/CatalogItem_Images_Length", LengthRule},
        {"get_at_object/CatalogItem_Images_GetAt", GetAtObjectRule},
        {"get_at_string/CatalogItemImage_Purposes_GetAt", GetAtStringRule},
        {"dispose/AddRef+CatalogItem_Dispose", DisposeRule},
    };
    for (const auto& rule : rules) {
        const std::string name = std::string("Accessor/") + rule.name;
        benchmark::RegisterBenchmark(name.c_str(), [name, run = rule.run](benchmark::State& state) {
            currentRule = name;
            run(state);
        });
    }
    return true;
}();

}  // namespace
}  // namespace velmora::bench
