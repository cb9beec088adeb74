// Scale: reading large results through the exports. Every item is taken with its _GetAt export,
// read through five accessors and disposed.
//
// Scale/browse_read — browse results of 1,000, 10,000 and 100,000 catalog items, made by the
//   emulator's record maker (CreateBrowseCatalogResult: the records a browse hands out). Each
//   iteration reads 100,000 items of each size (the small results several times), interleaved, so
//   the three ns-per-item figures come from the same moments; spread_pct is (max / min - 1).
// Scale/details_10 — a details query over 10 product ids through the plugin and the emulated
//   catalog service, then the 10 details read.
// Scale/packages — a package list of 1,000 installed packages (all backed by one temporary
//   folder, which the package rules allow) found through the plugin and read.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/packages/packages.h"
#include "emulator/services/users.h"

namespace velmora::bench {
namespace {

template <class T>
void Keep(T value) {
    benchmark::DoNotOptimize(value);
}

std::u16string Numbered(std::u16string_view prefix, size_t i) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06zu", i);
    std::u16string out(prefix);
    for (const char* d = digits; *d; ++d) out += char16_t(*d);
    return out;
}

emu::CatalogItemData CatalogItem(size_t i) {
    emu::CatalogItemData data;
    data.id = Numbered(u"item-", i);
    data.name = Numbered(u"Benchmark item ", i);
    data.reducedName = data.name;
    data.description = u"An item of the scale benchmark.";
    data.productId = Numbered(u"9BENCH", i);
    data.sandboxId = u"RETAIL";
    data.mediaItemType = emu::MediaItemType::GameContent;
    data.titleId = 0x1234ABCD;
    data.releaseDate = 132000000000000000 + int64_t(i);
    data.parentIds = {u"bench-parent"};
    emu::CatalogImageData image;
    image.id = Numbered(u"image-", i);
    image.purpose = u"BoxArt";
    image.purposes = {u"BoxArt"};
    image.resizeUrl = u"https://images.example.test/" + data.productId + u".png";
    data.images = {image};
    emu::CatalogAvailabilityData availability;
    availability.contentId = Numbered(u"content-", i);
    availability.signedOffer = Numbered(u"offer-", i);
    availability.price = 4.99;
    data.availabilities = {availability};
    return data;
}

ObjectHandle MakeBrowseResult(size_t count) {
    std::vector<emu::CatalogItemData> items;
    items.reserve(count);
    for (size_t i = 0; i < count; ++i) items.push_back(CatalogItem(i));
    emu::IBrowseCatalogResult* result = nullptr;
    if (emu::CreateBrowseCatalogResult(items, uint32_t(count), &result) < 0) return nullptr;
    return result;
}

// Reads every item of a browse result; answers the number read.
size_t ReadBrowseResult(ObjectHandle result) {
    const host::VelmoraExports& x = X();
    const uint32_t n = x.BrowseCatalogResult_Items_Length(result);
    for (uint32_t i = 0; i < n; ++i) {
        ObjectHandle item = x.BrowseCatalogResult_Items_GetAt(result, i);
        Keep(x.CatalogItem_Name(item));
        Keep(x.CatalogItem_ProductId(item));
        Keep(x.CatalogItem_TitleId(item));
        Keep(x.CatalogItem_MediaItemType(item));
        Keep(x.CatalogItem_ReleaseDate(item));
        x.CatalogItem_Dispose(item);
    }
    return n;
}

// The three results live for the whole process once made (building 111,000 records takes a while).
struct BrowseResults {
    static constexpr size_t kSizes[3] = {1'000, 10'000, 100'000};
    ObjectHandle results[3] = {};
    BrowseResults() {
        for (int s = 0; s < 3; ++s) results[s] = MakeBrowseResult(kSizes[s]);
    }
};

void BrowseRead(benchmark::State& state) {
    UseHost(Platform::Emulator);
    static BrowseResults browse;
    int64_t ns[3] = {};
    size_t items[3] = {};
    for (auto _ : state) {
        for (int s = 0; s < 3; ++s) {
            const size_t passes = BrowseResults::kSizes[2] / BrowseResults::kSizes[s];
            const int64_t t0 = WallNs();
            for (size_t p = 0; p < passes; ++p) items[s] += ReadBrowseResult(browse.results[s]);
            ns[s] += WallNs() - t0;
        }
    }
    double perItem[3];
    for (int s = 0; s < 3; ++s) perItem[s] = double(ns[s]) / double(items[s]);
    if (items[0] == 0 || items[0] != items[2]) state.SkipWithError("a browse result was not read whole");
    state.counters["ns_per_item_1k"] = perItem[0];
    state.counters["ns_per_item_10k"] = perItem[1];
    state.counters["ns_per_item_100k"] = perItem[2];
    const double lo = std::min({perItem[0], perItem[1], perItem[2]});
    const double hi = std::max({perItem[0], perItem[1], perItem[2]});
    state.counters["spread_pct"] = (hi / lo - 1) * 100;
}
BENCHMARK(BrowseRead)->Name("Scale/browse_read")->Unit(benchmark::kMillisecond);

// ---- details query ---------------------------------------------------------------------------

constexpr uint32_t kUser = 1;
constexpr size_t kDetailsIds = 10;

void EnsureCatalog() {
    if (emu::FindUser(kUser) < 0) emu::AddUser({kUser, u"Bench", u"xuid-bench"});
    if (emu::FindCatalogItem(CatalogItem(0).productId)) return;
    for (size_t i = 0; i < kDetailsIds; ++i) emu::AddCatalogItem(CatalogItem(i));
}

struct Delivery {
    ObjectHandle result = nullptr;
    int32_t hr = 0;
    bool done = false;
};

void Receive(int32_t hr, ObjectHandle result, void* userData) {
    auto* d = static_cast<Delivery*>(userData);
    d->hr = hr;
    d->result = result;
    d->done = true;
}

void Details(benchmark::State& state) {
    host::Host& host = UseHost(Platform::Emulator);
    EnsureCatalog();
    emu::SetDefaultDelay(std::chrono::microseconds(0));
    std::vector<std::u16string> ids;
    std::vector<const char16_t*> idTexts;
    for (size_t i = 0; i < kDetailsIds; ++i) ids.push_back(CatalogItem(i).productId);
    for (const auto& id : ids) idTexts.push_back(id.c_str());
    const host::VelmoraExports& x = X();
    int64_t wholeNs = 0, readNs = 0;
    size_t read = 0;
    bool ok = true;
    for (auto _ : state) {
        Delivery delivery;
        const int64_t t0 = WallNs();
        ok &= x.CatalogService_GetCatalogItemDetailsAsync(kUser, idTexts.data(), int32_t(idTexts.size()), Receive,
                                                          &delivery);
        while (ok && !delivery.done) host.Queue().WaitAndPump(std::chrono::milliseconds(100));
        const int64_t t1 = WallNs();
        const uint32_t n = x.CatalogItemDetailsList_Length(delivery.result);
        for (uint32_t i = 0; i < n; ++i) {
            ObjectHandle details = x.CatalogItemDetailsList_GetAt(delivery.result, i);
            Keep(x.CatalogItemDetails_Name(details));
            Keep(x.CatalogItemDetails_ProductId(details));
            Keep(x.CatalogItemDetails_TitleId(details));
            Keep(x.CatalogItemDetails_MediaItemType(details));
            Keep(x.CatalogItemDetails_ReleaseDate(details));
            x.CatalogItemDetails_Dispose(details);
        }
        x.CatalogItemDetailsList_Dispose(delivery.result);
        const int64_t t2 = WallNs();
        ok &= delivery.hr >= 0 && n == kDetailsIds;
        wholeNs += t2 - t0;
        readNs += t2 - t1;
        read += n;
    }
    if (!ok) state.SkipWithError("the details query failed");
    state.counters["us_per_query"] = double(wholeNs) / double(state.iterations()) / 1e3;
    state.counters["read_ns_per_item"] = double(readNs) / double(read);
}
BENCHMARK(Details)->Name("Scale/details_10")->Unit(benchmark::kMicrosecond);

// ---- package list ----------------------------------------------------------------------------

// One temporary folder backs every package (a package needs an existing folder, and nothing
// forbids packages sharing one); removed at exit.
struct PackageFolder {
    std::string path;
    PackageFolder() {
        char pattern[] = "/tmp/velmora-bench-XXXXXX";
        if (mkdtemp(pattern)) path = pattern;
    }
    ~PackageFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

bool EnsurePackages(size_t count) {
    static PackageFolder folder;
    if (folder.path.empty()) return false;
    if (emu::InstalledPackages().size() == count) return true;
    for (const auto& p : emu::InstalledPackages()) emu::RemovePackage(p.packageFullName);
    for (size_t i = 0; i < count; ++i) {
        emu::PackageData p;
        p.titleId = u"BENCHTITLE";
        p.contentId = Numbered(u"content-", i);
        p.productId = Numbered(u"9BENCHPKG", i);
        p.packageFullName = Numbered(u"Velmora.Bench.Package_1.0.0.0_x64__", i);
        p.displayName = Numbered(u"Benchmark package ", i);
        p.folder = std::u16string(folder.path.begin(), folder.path.end());
        if (emu::AddPackage(p) < 0) return false;
    }
    return emu::InstalledPackages().size() == count;
}

void Packages(benchmark::State& state) {
    UseHost(Platform::Emulator);
    const size_t count = Config().packages;
    if (!EnsurePackages(count)) {
        state.SkipWithError("the packages could not be installed");
        return;
    }
    const host::VelmoraExports& x = X();
    constexpr int32_t kAllDownloadableContent = 0;
    int64_t wholeNs = 0, readNs = 0;
    size_t read = 0;
    for (auto _ : state) {
        const int64_t t0 = WallNs();
        ObjectHandle list = x.DLC_FindPackages(kAllDownloadableContent);
        const int64_t t1 = WallNs();
        const uint32_t n = x.DLC_IDownloadableContentPackage_Length(list);
        for (uint32_t i = 0; i < n; ++i) {
            ObjectHandle package = x.DLC_IDownloadableContentPackage_GetAt(list, i);
            Keep(x.IDownloadableContentPackage_TitleId(package));
            Keep(x.IDownloadableContentPackage_ContentId(package));
            Keep(x.IDownloadableContentPackage_ProductId(package));
            Keep(x.IDownloadableContentPackage_PackageFullName(package));
            Keep(x.IDownloadableContentPackage_DisplayName(package));
            x.IDownloadableContentPackage_Dispose(package);
        }
        x.DLC_IDownloadableContentPackage_Dispose(list);
        const int64_t t2 = WallNs();
        wholeNs += t2 - t0;
        readNs += t2 - t1;
        read += n;
    }
    if (read != count * size_t(state.iterations())) state.SkipWithError("the package list was not read whole");
    state.counters["ns_per_package"] = double(wholeNs) / double(read);
    state.counters["read_ns_per_package"] = double(readNs) / double(read);
    state.counters["find_us"] = double(wholeNs - readNs) / double(state.iterations()) / 1e3;
}
BENCHMARK(Packages)->Name("Scale/packages")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velmora::bench
