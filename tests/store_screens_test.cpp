// The store's five screens, through the exports: the arguments reach the platform in their
// positions, and an offer the store cannot sell fails the screen. Handler registration lives in
// plugin_handlers_test.cpp, every ending of a screen in async_outcomes_test.cpp.
#include <vector>

#include "core/event_types.h"
#include "emulator/runtime/strings.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/store/store.h"
#include "platform/activation.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

using namespace HaldenPlugin;
using emu::MediaItemType;

constexpr uint32_t kUser = 3;
constexpr char16_t kProduct[] = u"9P0GAME00001";
constexpr char16_t kOffer[] = u"signed-offer-game-1";
constexpr char16_t kUnsellableOffer[] = u"signed-offer-not-purchasable";

constexpr uint32_t kError = 3;  // the action's final status

class StoreScreensTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        AddUser(kUser);
        emu::CatalogItemData game;
        game.id = u"catalog-game-1";
        game.productId = kProduct;
        game.name = u"Game";
        game.mediaItemType = MediaItemType::GameContent;
        emu::CatalogAvailabilityData sellable;
        sellable.signedOffer = kOffer;
        emu::CatalogAvailabilityData unsellable;
        unsellable.signedOffer = kUnsellableOffer;
        unsellable.isPurchasable = 0;
        game.availabilities = {sellable, unsellable};
        ASSERT_EQ(emu::AddCatalogItem(game), ABI::S_OK);
        Host().Queue().ClearTrace();
    }
};

// ---- the five screens ---------------------------------------------------------------------------

struct Screen {
    const char* name;
    const char* call;
    bool (*start)(const host::VelmoraExports& x, uint32_t user, void* userData);
    // What the platform must have received.
    void (*check)(const emu::ScreenRequest& request);
};

const Screen kScreens[] = {
    {"ShowPurchaseAsync", "IProductStatics.ShowPurchaseAsync",
     [](const host::VelmoraExports& x, uint32_t user, void* d) {
         return x.Store_ShowPurchaseAsync(user, kOffer, DeliverValue, d);
     },
     [](const emu::ScreenRequest& r) { EXPECT_EQ(r.offer, kOffer); }},
    {"ShowDetailsAsync", "IProductStatics.ShowDetailsAsync",
     [](const host::VelmoraExports& x, uint32_t user, void* d) {
         return x.Store_ShowDetailsAsync(user, u"9P0DETAILS01", DeliverValue, d);
     },
     [](const emu::ScreenRequest& r) { EXPECT_EQ(r.productId, u"9P0DETAILS01"); }},
    // Two distinct 32-bit values with high bits set: a swap or a narrowing shows.
    {"ShowMarketplaceAsync", "IProductStatics.ShowMarketplaceAsync",
     [](const host::VelmoraExports& x, uint32_t user, void* d) {
         return x.Store_ShowMarketplaceAsync(user, 0x80000014u, u"9P0INPUT0001", 0x4000000Bu, DeliverValue, d);
     },
     [](const emu::ScreenRequest& r) {
         EXPECT_EQ(r.inputTypes, 0x80000014u);
         EXPECT_EQ(r.productId, u"9P0INPUT0001");
         EXPECT_EQ(r.resultTypes, 0x4000000Bu);
     }},
    {"ShowRedeemCodeAsync", "IProductStatics.ShowRedeemCodeAsync",
     [](const host::VelmoraExports& x, uint32_t user, void* d) {
         return x.Store_ShowRedeemCodeAsync(user, u"XXXX-UNKNOWN", DeliverValue, d);
     },
     [](const emu::ScreenRequest& r) { EXPECT_EQ(r.offer, u"XXXX-UNKNOWN"); }},
    {"ShowRedeemCodeAsyncWithoutOffer", "IProductStatics.ShowRedeemCodeAsync",
     [](const host::VelmoraExports& x, uint32_t user, void* d) {
         return x.Store_ShowRedeemCodeAsync(user, nullptr, DeliverValue, d);
     },
     [](const emu::ScreenRequest& r) { EXPECT_EQ(r.offer, u""); }},
    {"ShowSubscriptionAsync", "IProductStatics.ShowSubscriptionAsync",
     [](const host::VelmoraExports& x, uint32_t user, void* d) {
         return x.Store_ShowSubscriptionAsync(user, u"9P0SUBSCRIBE", 0xFEDC0254u, DeliverValue, d);
     },
     [](const emu::ScreenRequest& r) {
         EXPECT_EQ(r.productId, u"9P0SUBSCRIBE");
         EXPECT_EQ(r.privilegeId, 0xFEDC0254u);
     }},
};

// Each screen takes its arguments to the platform in their positions, and completes once.
TEST_F(StoreScreensTest, EachScreenHandsItsArgumentsToThePlatform) {
    for (const Screen& screen : kScreens) {
        SCOPED_TRACE(screen.name);
        const size_t before = emu::ScreenRequests().size();
        RunOnce([&](void* d) { return screen.start(X(), kUser, d); });
        const auto requests = emu::ScreenRequests();
        ASSERT_EQ(requests.size(), before + 1);
        EXPECT_EQ(requests.back().call, screen.call);
        EXPECT_EQ(requests.back().userId, kUser);
        screen.check(requests.back());
    }
}

// An offer the store cannot sell is the game's mistake: the screen fails with the store's code and
// nothing is granted.
TEST_F(StoreScreensTest, APurchaseOfAnOfferTheStoreCannotSellFailsAndGrantsNothing) {
    const char16_t* offers[] = {kUnsellableOffer, u"signed-offer-nobody-made", nullptr};
    for (const char16_t* offer : offers) {
        SCOPED_TRACE(offer ? emu::ToUtf8(offer) : "null");
        const Delivered d =
            RunOnce([&](void* u) { return X().Store_ShowPurchaseAsync(kUser, offer, DeliverValue, u); });
        EXPECT_EQ(d.hr, emu::kOfferNotAvailable);
        EXPECT_EQ(d.value, kError);
    }
    EXPECT_TRUE(emu::InventoryOf(kUser).empty());
}

TEST_F(StoreScreensTest, TheFactoryAnswersOnlyTheStoreStatics) {
    ABI::HStringOwner name = emu::MakeString(ABI::Windows::Xbox::ApplicationModel::Store::RuntimeClass_Product);
    ABI::ComPtr<ABI::IInspectable> other;
    EXPECT_EQ(RoGetActivationFactory(name.Get(), ABI::Windows::Foundation::IAsyncInfo::IID,
                                     reinterpret_cast<void**>(other.Put())),
              ABI::E_NOINTERFACE);
    EXPECT_EQ(other.Get(), nullptr);

    ABI::ComPtr<ABI::IActivationFactory> factory;
    ASSERT_EQ(RoGetActivationFactory(name.Get(), ABI::IActivationFactory::IID, reinterpret_cast<void**>(factory.Put())),
              ABI::S_OK);
    ABI::ComPtr<ABI::IInspectable> instance;
    EXPECT_EQ(factory->ActivateInstance(instance.Put()), ABI::E_NOTIMPL) << "the class has statics only";
    ABI::ComPtr<ABI::Windows::Xbox::ApplicationModel::Store::IProductStatics> statics;
    EXPECT_EQ(factory.As(&statics), ABI::S_OK);
    ABI::ComPtr<ABI::Windows::Foundation::IAsyncAction> action;
    EXPECT_EQ(statics->ShowDetailsAsync(nullptr, nullptr, action.Put()), ABI::E_POINTER) << "a null user";
    EXPECT_TRUE(emu::ScreenRequests().empty());
}

}  // namespace
}  // namespace velmora::test
