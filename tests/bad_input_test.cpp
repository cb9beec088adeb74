// What a caller gets for every kind of bad input, one table per kind (docs/bad-input.md names the
// test behind each row): null handles, indices past the end, null text, bad counts and id arrays,
// users that do not resolve, missing factories, failing platform calls, and calls before a load.
// An answer is written as text ("0", "null", "empty text", "false", "nothing", or the thrown
// "Platform::<Kind> (0x...)"), so a failing row shows what came instead.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/packages/packages.h"
#include "emulator/services/store/store.h"
#include "platform/exceptions.h"
#include "tests/async_exports.h"
#include "tests/dlc_fixture.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

using Exports = host::VelmoraExports;
using namespace ::ABI;

// ---- Answers as text ----------------------------------------------------------------------------

std::string Text(bool v) { return v ? "true" : "false"; }
std::string Text(const char16_t* v) { return !v ? "null" : *v ? "text" : "empty text"; }
std::string Text(ObjectHandle v) { return v ? "a handle" : "null"; }
std::string Text(double v) { return v == 0 ? "0" : std::to_string(v); }
std::string Text(const VelmoraGuid& g) {
    const VelmoraGuid zero{};
    return std::memcmp(&g, &zero, sizeof g) == 0 ? "0" : "a GUID";
}
template <class T>
requires std::is_integral_v<T> std::string Text(T v) { return std::to_string(v); }

// The answer of `call`, or what it threw.
template <class Call>
std::string AnswerOf(Call&& call) {
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            return "nothing";
        } else {
            return Text(call());
        }
    } catch (const Platform::Exception& e) {
        return e.what();
    }
}

// ---- Every export that takes a handle, classified --------------------------------------------------

enum class HandleKind { Dispose, Length, GetAt, StringAccessor, ScalarAccessor, ObjectAccessor, Mount };

struct HandleExport {
    std::string name;
    HandleKind kind;
    std::function<std::string(ObjectHandle, uint32_t)> call;  // the index is a GetAt's
};

template <class R>
void Add(std::vector<HandleExport>& out, const char* name, R (*fn)(ObjectHandle)) {
    const std::string n = name;
    HandleKind kind = HandleKind::ScalarAccessor;
    if (n == "IDownloadableContentPackage_Mount" || n == "IDownloadableContentPackage_Unmount") {
        kind = HandleKind::Mount;
    } else if (n.ends_with("_Dispose")) {
        kind = HandleKind::Dispose;
    } else if (n.ends_with("_Length")) {
        kind = HandleKind::Length;
    } else if constexpr (std::is_same_v<R, const char16_t*>) {
        kind = HandleKind::StringAccessor;
    } else if constexpr (std::is_same_v<R, ObjectHandle>) {
        kind = HandleKind::ObjectAccessor;
    }
    out.push_back({n, kind, [fn](ObjectHandle h, uint32_t) { return AnswerOf([&] { return fn(h); }); }});
}
template <class R>
void Add(std::vector<HandleExport>& out, const char* name, R (*fn)(ObjectHandle, uint32_t)) {
    out.push_back(
        {name, HandleKind::GetAt, [fn](ObjectHandle h, uint32_t i) { return AnswerOf([&] { return fn(h, i); }); }});
}
template <class F>
void Add(std::vector<HandleExport>&, const char*, F) {}  // takes no handle

std::vector<HandleExport> HandleExports(const Exports& x) {
    std::vector<HandleExport> out;
#define VELMORA_EXPORT(result, name, params, args) Add(out, #name, x.name);
#include "velmora/exports.inc"
#undef VELMORA_EXPORT
    return out;
}

// ---- The asynchronous exports -------------------------------------------------------------------

constexpr char16_t kParent[] = u"bad-input-parent";
constexpr char16_t kGame[] = u"9BADINPUTGAME";
constexpr char16_t kGameOffer[] = u"bad-input-offer";

const AsyncIds kIds{nullptr, u"tx", kParent, kGame, kGameOffer};

bool Start(const AsyncExport& row, const Exports& x, uint32_t user, ObjectHandle item, Delivered* calls) {
    AsyncIds ids = kIds;
    ids.item = item;
    return row.start(x, user, ids, DeliverObject, DeliverValue, calls);
}

// ---- The fixture: a small world and one live record of every kind ---------------------------------

class BadInput : public PluginTest {
protected:
    static constexpr uint32_t kUser = 3;
    static constexpr uint32_t kUnknownUser = 77;

    void SetUp() override {
        PluginTest::SetUp();
        BuildWorld();
    }

    void TearDown() override {
        CloseRecords();
        PluginTest::TearDown();
    }

    void BuildWorld() {
        AddUser(kUser, u"Bad");
        emu::CatalogItemData game;
        game.id = u"bad-input-game";
        game.productId = kGame;
        game.name = u"Game";
        game.mediaItemType = emu::MediaItemType::Game;
        game.parentIds = {kParent};
        emu::CatalogImageData image;
        image.id = u"image";
        image.purpose = u"Logo";
        image.purposes = {u"Logo"};
        image.resizeUrl = u"https://images.example/logo";
        game.images = {image};
        emu::CatalogAvailabilityData availability;
        availability.contentId = u"content";
        availability.signedOffer = kGameOffer;
        availability.acceptablePaymentInstrumentTypes = {u"CreditCard"};
        game.availabilities = {availability};
        ASSERT_EQ(emu::AddCatalogItem(game), S_OK);
        emu::InventoryItemData coins;
        coins.productId = u"9BADINPUTCOINS";
        coins.mediaItemType = emu::MediaItemType::GameConsumable;
        coins.containerIds = std::vector<std::u16string>{u"container"};
        coins.consumableUrl = u"https://inventory.example/coins/consume";
        coins.consumableBalance = 10;
        ASSERT_EQ(emu::AddInventoryItem(kUser, coins), S_OK);
        ASSERT_EQ(emu::AddPackage(DlcTest::Package(u"BadInputPack", u"title", folder_)), S_OK);
    }

    // One live handle of every record and collection kind, each with its own reference.
    void OpenRecords() {
        const Exports& x = X();
        r_.itemsResult = RunOnce([&](void* d) {
                             return x.InventoryService_GetInventoryItemsAsync(kUser, 14, DeliverObject, d);
                         }).result;
        r_.items = x.InventoryItemsResult_Items(r_.itemsResult);
        r_.item = x.InventoryItemsResult_Items_GetAt(r_.items, 0);
        r_.containerIds = x.InventoryItem_ContainerIds(r_.item);
        r_.browse = RunOnce([&](void* d) {
                        return x.CatalogService_BrowseCatalogAsync(kUser, kParent, 1, 14, 0, 0, 0, DeliverObject, d);
                    }).result;
        r_.catalogItem = x.BrowseCatalogResult_Items_GetAt(r_.browse, 0);
        r_.images = x.CatalogItem_Images(r_.catalogItem);
        r_.image = x.CatalogItem_Images_GetAt(r_.images, 0);
        r_.purposes = x.CatalogItemImage_Purposes(r_.image);
        r_.contentIds = x.CatalogItem_AvailabilityContentIds(r_.catalogItem);
        r_.detailsList = RunOnce([&](void* d) {
                             const char16_t* ids[] = {kGame};
                             return x.CatalogService_GetCatalogItemDetailsAsync(kUser, ids, 1, DeliverObject, d);
                         }).result;
        r_.details = x.CatalogItemDetailsList_GetAt(r_.detailsList, 0);
        r_.detailsImages = x.CatalogItemDetails_Images(r_.details);
        r_.availabilities = x.CatalogItemDetails_Availabilities(r_.details);
        r_.availability = x.CatalogItemDetails_Availabilities_GetAt(r_.availabilities, 0);
        r_.paymentTypes = x.CatalogItemAvailability_AcceptablePaymentInstrumentTypes(r_.availability);
        r_.packages = x.DLC_FindPackages(0);
        r_.package = x.DLC_IDownloadableContentPackage_GetAt(r_.packages, 0);
        for (ObjectHandle h : r_.All()) ASSERT_NE(h, nullptr);
        // A platform thread may still hold a finished operation a moment after its callback ran.
        Settle();
    }

    void CloseRecords() {
        if (!host_ || !host_->Loaded()) return;
        for (ObjectHandle h : r_.All()) X().InventoryItem_Dispose(h);  // every _Dispose is one Release
        r_ = {};
    }

    struct Records {
        ObjectHandle itemsResult, items, item, containerIds, browse, catalogItem, images, image, purposes, contentIds,
            detailsList, details, detailsImages, availabilities, availability, paymentTypes, packages, package;
        std::vector<ObjectHandle> All() const {
            std::vector<ObjectHandle> all = {itemsResult,  items,    item,          containerIds,   browse,
                                             catalogItem,  images,   image,         purposes,       contentIds,
                                             detailsList,  details,  detailsImages, availabilities, availability,
                                             paymentTypes, packages, package};
            std::erase(all, nullptr);
            return all;
        }
    } r_{};
    PackageFolder folder_;
};

// ---- Null handles ---------------------------------------------------------------------------------

// Every export of the kind, given a null handle, answers `expected` and touches nothing.
void ExpectNullHandleAnswers(const Exports& x, HandleKind kind, const std::string& expected, size_t count) {
    const int64_t objects = emu::LiveObjects();
    size_t rows = 0;
    for (const auto& e : HandleExports(x)) {
        if (e.kind != kind) continue;
        ++rows;
        EXPECT_EQ(e.call(nullptr, 0), expected) << e.name;
    }
    EXPECT_EQ(rows, count) << "exports of this kind in the export list";
    EXPECT_EQ(emu::LiveObjects(), objects);
}

// One row per rule: the exports of the rule in the export list, and what each answers for null.
TEST_F(BadInput, NullHandleAnswersTheRulesEmptyValue) {
    const std::tuple<HandleKind, const char*, size_t> rows[] = {
        {HandleKind::Dispose, "nothing", 21},  {HandleKind::Length, "0", 11},
        {HandleKind::GetAt, "null", 11},       {HandleKind::StringAccessor, "empty text", 41},
        {HandleKind::ScalarAccessor, "0", 26}, {HandleKind::ObjectAccessor, "null", 8},
    };
    for (const auto& [kind, expected, count] : rows) ExpectNullHandleAnswers(X(), kind, expected, count);
}

TEST_F(BadInput, NullHandleToMountAnswersNullAndUnmountDoesNothing) {
    EXPECT_EQ(AnswerOf([&] { return X().IDownloadableContentPackage_Mount(nullptr); }), "null");
    EXPECT_EQ(AnswerOf([&] { X().IDownloadableContentPackage_Unmount(nullptr); }), "nothing");
    EXPECT_EQ(emu::PackageCalls().mounts + emu::PackageCalls().unmounts, 0u) << "nothing reached the platform";
}

// Every export that takes a handle is in one of the tables above: of the 150 exports, the 30
// that take none are the lifecycle and version queries, the asynchronous operations, the
// registrations and DLC_FindPackages.
TEST_F(BadInput, EveryHandleExportIsClassified) { EXPECT_EQ(HandleExports(X()).size(), 120u); }

// ---- Indices past the end -----------------------------------------------------------------------

TEST_F(BadInput, IndexPastTheEndThrowsOutOfBounds) {
    OpenRecords();
    const std::map<std::string, ObjectHandle> collections = {
        {"InventoryItemsResult_Items", r_.items},
        {"InventoryItem_ContainerIds", r_.containerIds},
        {"BrowseCatalogResult_Items", r_.browse},
        {"CatalogItemDetailsList", r_.detailsList},
        {"CatalogItem_Images", r_.images},
        {"CatalogItem_AvailabilityContentIds", r_.contentIds},
        {"CatalogItemDetails_Images", r_.detailsImages},
        {"CatalogItemDetails_Availabilities", r_.availabilities},
        {"CatalogItemImage_Purposes", r_.purposes},
        {"CatalogItemAvailability_AcceptablePaymentInstrumentTypes", r_.paymentTypes},
        {"DLC_IDownloadableContentPackage", r_.packages},
    };
    const std::string outOfBounds = Thrown("OutOfBoundsException", E_BOUNDS);
    const int64_t objects = emu::LiveObjects();
    const auto exports = HandleExports(X());
    size_t rows = 0;
    for (const HandleExport& getAt : exports) {
        if (getAt.kind != HandleKind::GetAt) continue;
        ++rows;
        const std::string collection = getAt.name.substr(0, getAt.name.size() - std::strlen("_GetAt"));
        const auto length = std::find_if(exports.begin(), exports.end(),
                                         [&](const HandleExport& e) { return e.name == collection + "_Length"; });
        ASSERT_NE(length, exports.end()) << getAt.name;
        const ObjectHandle c = collections.at(collection);
        EXPECT_EQ(length->call(c, 0), "1") << collection;
        EXPECT_EQ(getAt.call(c, 1), outOfBounds) << getAt.name << " at its length";
        EXPECT_EQ(getAt.call(c, 0xFFFFFFFFu), outOfBounds) << getAt.name << " at the largest index";
    }
    EXPECT_EQ(rows, collections.size());
    EXPECT_EQ(emu::LiveObjects(), objects) << "a refused read handed out a reference";
}

// ---- Null text, bad counts, null id arrays -------------------------------------------------------

// A null text argument is the empty text: the call goes on, and the platform decides.
TEST_F(BadInput, NullTextIsTheEmptyText) {
    OpenRecords();
    const AsyncIds nulls{r_.item, nullptr, nullptr, nullptr, nullptr, nullptr, 254, nullptr, nullptr};
    for (const auto& row : kAsyncExports) {
        // The platform refuses an empty parent id and an empty transaction id.
        const std::string name = row.name;
        const bool refused =
            name == "CatalogService_BrowseCatalogAsync" || name == "InventoryService_ConsumeInventoryItemAsync";
        Delivered calls{&Host().Queue()};
        EXPECT_EQ(row.start(X(), kUser, nulls, DeliverObject, DeliverValue, &calls), !refused) << name;
        Settle();
        EXPECT_EQ(calls.calls, refused ? 0 : 1) << name;
        X().InventoryItem_Dispose(calls.result);  // any _Dispose releases any handle's one reference
    }
    // The platform received empty texts where null was passed.
    const auto screens = emu::ScreenRequests();
    ASSERT_EQ(screens.size(), 5u);
    for (const auto& screen : screens) EXPECT_EQ(screen.productId + screen.offer, u"") << screen.call;
    const auto received = emu::MarketplaceCalls();
    const auto it = std::find_if(received.rbegin(), received.rend(), [](const emu::MarketplaceCall& c) {
        return c.method == "ICatalogService.GetCatalogItemDetailsAsync";
    });
    ASSERT_NE(it, received.rend());
    EXPECT_EQ(it->texts, (std::vector<std::u16string>{u"", u"9NOPRODUCT"}));
}

TEST_F(BadInput, ZeroOrNegativeCountAnswersFalse) {
    const Exports& x = X();
    Delivered calls{&Host().Queue()};
    const char16_t* productIds[] = {kGame};
    const uint32_t privilegeIds[] = {254};
    const int64_t objects = emu::LiveObjects();
    for (int32_t count : {0, -1, INT32_MIN}) {
        EXPECT_FALSE(x.CatalogService_GetCatalogItemDetailsAsync(kUser, productIds, count, DeliverObject, &calls))
            << count;
        EXPECT_FALSE(x.Store_CheckPrivilegesAsync(kUser, privilegeIds, count, 0, nullptr, DeliverValue, &calls))
            << count;
    }
    Settle();
    EXPECT_EQ(calls.calls, 0);
    EXPECT_TRUE(emu::MarketplaceCalls().empty()) << "nothing reached the platform";
    EXPECT_TRUE(emu::PrivilegeRequests().empty());
    EXPECT_EQ(emu::LiveObjects(), objects) << "no platform list was made";
    EXPECT_EQ(Host().Queue().GuestHandlers().size(), 3u)
        << "a refused call creates no manager: only start-up's handlers";
}

TEST_F(BadInput, NullIdArrayAnswersFalse) {
    const Exports& x = X();
    Delivered calls{&Host().Queue()};
    EXPECT_FALSE(x.CatalogService_GetCatalogItemDetailsAsync(kUser, nullptr, 2, DeliverObject, &calls));
    EXPECT_FALSE(x.Store_CheckPrivilegesAsync(kUser, nullptr, 2, 0, nullptr, DeliverValue, &calls));
    Settle();
    EXPECT_EQ(calls.calls, 0);
    EXPECT_TRUE(emu::MarketplaceCalls().empty());
    EXPECT_TRUE(emu::PrivilegeRequests().empty());
}

// ---- Users, factories, failing platform calls ----------------------------------------------------

TEST_F(BadInput, UnresolvableUserAnswersFalse) {
    OpenRecords();
    const size_t marketplaceCalls = emu::MarketplaceCalls().size();
    Delivered calls{&Host().Queue()};
    for (const auto& row : kAsyncExports) EXPECT_FALSE(Start(row, X(), kUnknownUser, r_.item, &calls)) << row.name;
    Settle();
    EXPECT_EQ(calls.calls, 0);
    EXPECT_TRUE(emu::ScreenRequests().empty()) << "nothing reached the platform";
    EXPECT_TRUE(emu::PrivilegeRequests().empty());
    EXPECT_EQ(emu::MarketplaceCalls().size(), marketplaceCalls);
}

TEST_F(BadInput, MissingStoreFactoryAnswersFalse) {
    emu::InjectFault("RoGetActivationFactory:Windows.Xbox.ApplicationModel.Store.Product", REGDB_E_CLASSNOTREG);
    Delivered calls{&Host().Queue()};
    for (const auto& row : kAsyncExports)
        if (row.shape != Shape::Object) {
            EXPECT_FALSE(Start(row, X(), kUser, nullptr, &calls)) << row.name;
        }
    EXPECT_FALSE(X().Store_RegisterForPurchaseEvents(DeliverObject, &calls));
    EXPECT_TRUE(X().Store_UnRegisterForPurchaseEvents());
    Settle();
    EXPECT_EQ(calls.calls, 0);
    EXPECT_EQ(emu::SubscriberCount(), 0u);
}

// The package manager is activated by the group's first use; while it cannot be, every DLC export
// that needs the group throws the activation's error, and a later use tries again.
TEST_F(BadInput, MissingPackageManagerFactoryThrows) {
    const char kFactory[] =
        "RoGetActivationFactory:Windows.Xbox.Management.Deployment.DownloadableContentPackageManager";
    emu::InjectFault(kFactory, REGDB_E_CLASSNOTREG);
    const Exports& x = X();
    const std::string notRegistered = Thrown("ClassNotRegisteredException", REGDB_E_CLASSNOTREG);
    EXPECT_EQ(AnswerOf([&] { return x.DLC_FindPackages(0); }), notRegistered);
    EXPECT_EQ(AnswerOf([&] { return x.DLC_RegisterForDLCCompletedEvent(nullptr, nullptr); }), notRegistered);
    EXPECT_EQ(AnswerOf([&] { return x.DLC_UnRegisterForDLCCompletedEvent(); }), notRegistered);
    EXPECT_EQ(AnswerOf([&] { return x.DLC_RegisterForDLCCompletedWithDetailsEvent(nullptr, nullptr); }), notRegistered);
    EXPECT_EQ(AnswerOf([&] { return x.DLC_UnRegisterForDLCCompletedWithDetailsEvent(); }), notRegistered);
    emu::ClearFaults();
    ObjectHandle packages = x.DLC_FindPackages(0);
    EXPECT_EQ(x.DLC_IDownloadableContentPackage_Length(packages), 1u);
    x.DLC_IDownloadableContentPackage_Dispose(packages);
}

TEST_F(BadInput, FailingPlatformCallThrowsForAccessorsAndAnswersFalseForStarts) {
    OpenRecords();
    const Exports& x = X();
    Delivered calls{&Host().Queue()};
    struct Row {
        const char* name;
        std::function<void()> arrange;  // injects the failure
        std::function<std::string()> call;
        std::string expected;
        int callbacks = 0;
    };
    const HRESULT kHttpNotFound = static_cast<HRESULT>(0x80190194);
    const Row rows[] = {
        {"string property read fails", [] { emu::InjectFault("IInventoryItem.get_ProductId", E_ACCESSDENIED); },
         [&] { return AnswerOf([&] { return x.InventoryItem_ProductId(r_.item); }); },
         Thrown("AccessDeniedException", E_ACCESSDENIED)},
        {"scalar property read fails with an HRESULT of no named kind",
         [&] { emu::InjectFault("IInventoryItem.get_ConsumableBalance", kHttpNotFound); },
         [&] { return AnswerOf([&] { return x.InventoryItem_ConsumableBalance(r_.item); }); },
         Thrown("COMException", kHttpNotFound)},
        {"URI property read fails", [] { emu::InjectFault("IUriRuntimeClass.get_AbsoluteUri", E_OUTOFMEMORY); },
         [&] { return AnswerOf([&] { return x.InventoryItem_ConsumableUrl(r_.item); }); },
         Thrown("OutOfMemoryException", E_OUTOFMEMORY)},
        {"object property read fails", [] { emu::InjectFault("ICatalogItem.get_Images", E_FAIL); },
         [&] { return AnswerOf([&] { return x.CatalogItem_Images(r_.catalogItem); }); },
         Thrown("FailureException", E_FAIL)},
        {"collection size read fails", [] { emu::InjectFault("IVectorView.get_Size", E_FAIL); },
         [&] { return AnswerOf([&] { return x.InventoryItemsResult_Items_Length(r_.items); }); },
         Thrown("FailureException", E_FAIL)},
        {"collection element read fails", [] { emu::InjectFault("IVectorView.GetAt", E_ACCESSDENIED); },
         [&] { return AnswerOf([&] { return x.CatalogItemImage_Purposes_GetAt(r_.purposes, 0); }); },
         Thrown("AccessDeniedException", E_ACCESSDENIED)},
        {"operation start fails", [] { emu::InjectFault("IInventoryService.GetInventoryItemsAsync", E_FAIL); },
         [&] { return Text(x.InventoryService_GetInventoryItemsAsync(kUser, 14, DeliverObject, &calls)); }, "false"},
        {"operation fails after it started",
         [] {
             emu::ScriptOutcome("ICatalogService.BrowseCatalogAsync", {emu::Outcome::Kind::Fail, kHttpNotFound});
         },
         [&] {
             return Text(x.CatalogService_BrowseCatalogAsync(kUser, kParent, 1, 14, 0, 0, 0, DeliverObject, &calls));
         },
         "true", 1},
        {"service read from the user's context fails",
         [] { emu::InjectFault("IXboxLiveContext.get_CatalogService", E_ACCESSDENIED); },
         [&] {
             return Text(x.CatalogService_BrowseCatalogAsync(kUser, kParent, 1, 14, 0, 0, 0, DeliverObject, &calls));
         },
         "false"},
        {"text argument cannot be made", [] { emu::InjectFault("WindowsCreateString", E_OUTOFMEMORY); },
         [&] { return Text(x.Store_ShowDetailsAsync(kUser, kGame, DeliverValue, &calls)); }, "false"},
        {"id list entry cannot be made", [] { emu::InjectFault("WindowsCreateString", E_OUTOFMEMORY); },
         [&] {
             const char16_t* ids[] = {kGame};
             return Text(x.CatalogService_GetCatalogItemDetailsAsync(kUser, ids, 1, DeliverObject, &calls));
         },
         "false"},
    };
    for (const Row& row : rows) {
        calls.calls = 0;
        row.arrange();
        EXPECT_EQ(row.call(), row.expected) << row.name;
        emu::ClearFaults();
        emu::ClearScripts();
        Settle();
        EXPECT_EQ(calls.calls, row.callbacks) << row.name;
    }
}

// ---- Before a load ---------------------------------------------------------------------------------

class BadInputBeforeLoad : public PluginTest {
protected:
    bool LoadOnSetUp() override { return false; }
};

// The module is loaded and its exports bound, but HaldenPluginLoad never ran (or ran without a
// queue): nothing can be delivered, so nothing starts.
void ExpectNothingStarts(const Exports& x, const host::EventQueue& queue) {
    Delivered calls{&queue};
    for (const auto& row : kAsyncExports) EXPECT_FALSE(Start(row, x, 1, nullptr, &calls)) << row.name;
    EXPECT_FALSE(x.Store_RegisterForPurchaseEvents(DeliverObject, &calls));
    EXPECT_FALSE(x.DLC_RegisterForDLCCompletedEvent(nullptr, nullptr));
    EXPECT_FALSE(x.DLC_RegisterForDLCCompletedWithDetailsEvent(DeliverObject, &calls));
    EXPECT_TRUE(x.Store_UnRegisterForPurchaseEvents());
    EXPECT_TRUE(x.DLC_UnRegisterForDLCCompletedEvent());
    EXPECT_TRUE(x.DLC_UnRegisterForDLCCompletedWithDetailsEvent());
    EXPECT_EQ(x.DLC_FindPackages(0), nullptr);
    EXPECT_FALSE(x.AmFullyInitialized());
    emu::WaitIdle();
    EXPECT_EQ(calls.calls, 0);
    EXPECT_EQ(emu::PackageCalls().activations, 0u) << "no manager was created";
}

TEST_F(BadInputBeforeLoad, CallsBeforeLoadStartNothing) {
    AddUser(1);
    host::LoadedPlugin plugin(VELMORA_PLUGIN_PATH, /*freshCopy=*/true);
    ExpectNothingStarts(plugin.Exports(), Host().Queue());
}

TEST_F(BadInputBeforeLoad, LoadWithNullRegistryStartsNothing) {
    AddUser(1);
    host::LoadedPlugin plugin(VELMORA_PLUGIN_PATH, /*freshCopy=*/true);
    plugin.Exports().HaldenPluginLoad(nullptr);
    ExpectNothingStarts(plugin.Exports(), Host().Queue());
}

class BadInputNoQueue : public PluginTest {
protected:
    host::HostOptions Options() override {
        host::HostOptions options = PluginTest::Options();
        options.registryOffersQueue = false;
        return options;
    }
};

TEST_F(BadInputNoQueue, LoadWithoutAHostQueueStartsNothing) {
    AddUser(1);
    ExpectNothingStarts(X(), Host().Queue());
}

}  // namespace
}  // namespace velmora::test
