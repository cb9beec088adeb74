// Every accessor of every inventory and catalog record, driven from one table: the value each
// answers for the emulator's data (texts in any script, absent texts, dates at both ends, 32-bit
// values, enumerations, prices, the boolean byte) and the platform call behind it (a fault makes it
// throw).
#include <functional>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "tests/marketplace_fixture.h"

namespace velmora::test {
namespace {

using U16s = std::vector<std::u16string>;

// The handles the table reads, each obtained through the exports.
enum H {
    ItemsResult,
    ItemsView,
    Rich,
    Bare,
    RichContainers,
    Consumed,
    Browse,
    CatFull,
    CatEmpty,
    ContentIds,
    EmptyContentIds,
    CatImages,
    DetailsList,
    DetFull,
    DetImages,
    Availabilities,
    A0,
    A1,
    A2,
    Img0,
    Purposes,
    PayTypes,
};

// One read of an accessor: the value as text, and the text's buffer when it answers a text.
struct Reading {
    std::u16string text;
    const void* buffer = nullptr;
};
template <class V>
Reading Read(V value) {
    Reading r{Show(value)};
    if constexpr (std::is_same_v<V, const char16_t*>) r.buffer = value;
    return r;
}

struct Row {
    H handle;
    const char* accessor;
    std::function<Reading(const Exports&, ObjectHandle)> read;
    std::u16string expected;
    std::string fault;  // the platform call behind the accessor
};

// A property or _Length: one handle argument.
#define ROW(h, accessor, expected, fault)                                                                   \
    Row {                                                                                                   \
        h, #accessor, [](const Exports& x, ObjectHandle o) { return Read(x.accessor(o)); }, expected, fault \
    }
// A text element of a collection.
#define ROW_AT(h, accessor, index, expected)                                                                      \
    Row {                                                                                                         \
        h, #accessor "[" #index "]", [](const Exports& x, ObjectHandle o) { return Read(x.accessor(o, index)); }, \
            expected, "IVectorView.GetAt"                                                                         \
    }
// An object property or element: read, shown, disposed again.
#define ROW_OBJ(h, name, call, dispose, expected, fault) \
    Row {                                                \
        h, name,                                         \
            [](const Exports& x, ObjectHandle o) {       \
                ObjectHandle got = x.call;               \
                Reading r{Show(got)};                    \
                x.dispose(got);                          \
                return r;                                \
            },                                           \
            expected, fault                              \
    }

const std::u16string kEmoji = u"\U0001F3AE";  // a surrogate pair in UTF-16
const std::u16string kNonLatin = u"商品-" + kEmoji + u"-ÿ";

class MarketplaceAccessorsTest : public MarketplaceTest {
protected:
    void SetUp() override {
        MarketplaceTest::SetUp();
        AddUser(kUser);

        emu::InventoryItemData rich;
        rich.productId = kNonLatin;
        rich.mediaItemType = MediaItemType::GameConsumable;
        rich.state = ItemState::Suspended;
        rich.titleId = 0xFFFFFFFF;
        rich.url = u"https://例え.jp/商品/" + kEmoji + u"?q=1";
        rich.consumableUrl = u"https://inventory.example.com/消耗/" + kEmoji;
        rich.consumableBalance = 0xFFFFFFFF;
        rich.containerIds = U16s{u"", u"容器", kEmoji + u"🎲"};
        rich.rightsObtainedDate = 0;
        rich.startDate = kManagedMaxTicks;
        rich.endDate = INT64_MAX;
        Give(kUser, rich);
        emu::InventoryItemData bare;
        bare.productId = u"bare";
        bare.mediaItemType = MediaItemType::Subscription;
        bare.state = ItemState::Expired;
        bare.available = false;
        Give(kUser, bare);

        emu::CatalogItemData full = Listed(u"目录-" + kEmoji, MediaItemType::Subscription, {u"root"});
        full.productId = u"full.product";
        full.name = u"名前 " + kEmoji + u" ÿ";
        full.reducedName = u"";
        full.description = u"説明\n" + kEmoji;
        full.titleId = 0xFFFFFFFF;
        full.releaseDate = 0;
        full.freeAndPaidCountDaily = 2;
        full.images = {
            {u"图-0", u"BoxArt", {u"BoxArt", u"", u"ポスター"}, u"https://images.example.com/图/0.png", 0xFFFFFFFF, 1},
            {u"", u"", {}, std::nullopt, 0, 0}};
        emu::CatalogAvailabilityData a0;
        a0.contentId = u"内容-0";
        a0.title = u"标题 " + kEmoji;
        a0.description = u"描述";
        a0.currencyCode = u"JPY";
        a0.displayPrice = u"¥499";
        a0.displayListPrice = u"¥999";
        a0.distributionType = u"Full";
        a0.promotionalText = kEmoji + kEmoji;
        a0.signedOffer = u"signed-0";
        a0.offerId = u"offer-0";
        a0.offerDisplayDataJson = u"{\"名\":\"" + kEmoji + u"\"}";
        a0.isPurchasable = 0;
        a0.price = 4.99;
        a0.listPrice = 0.1 + 0.2;
        a0.consumableQuantity = 0xFFFFFFFF;
        a0.acceptablePaymentInstrumentTypes = {u"CreditCard", u"", kEmoji};
        emu::CatalogAvailabilityData a1;
        a1.isPurchasable = 1;
        emu::CatalogAvailabilityData a2;
        a2.contentId = u"内容-2";
        a2.isPurchasable = 2;
        a2.price = -1.5;
        full.availabilities = {a0, a1, a2};
        List(full);
        emu::CatalogItemData empty;
        empty.id = u"empty";
        empty.productId = u"empty.product";
        empty.parentIds = {u"root"};
        List(empty);

        h[ItemsResult] = QueryItems(kUser, MediaItemType::All, ItemState::All, Availability::All);
        h[ItemsView] = X().InventoryItemsResult_Items(h[ItemsResult]);
        h[Rich] = X().InventoryItemsResult_Items_GetAt(h[ItemsView], 0);
        h[Bare] = X().InventoryItemsResult_Items_GetAt(h[ItemsView], 1);
        h[RichContainers] = X().InventoryItem_ContainerIds(h[Rich]);
        h[Consumed] = Run([&](auto cb, void* d) {
            return X().InventoryService_ConsumeInventoryItemAsync(kUser, h[Rich], 1, u"交易-🎮", cb, d);
        });
        h[Browse] = BrowseChildren(u"root", MediaItemType::All, SortOrder::FreeAndPaidCountDaily);
        h[CatFull] = X().BrowseCatalogResult_Items_GetAt(h[Browse], 0);
        h[CatEmpty] = X().BrowseCatalogResult_Items_GetAt(h[Browse], 1);
        h[ContentIds] = X().CatalogItem_AvailabilityContentIds(h[CatFull]);
        h[EmptyContentIds] = X().CatalogItem_AvailabilityContentIds(h[CatEmpty]);
        h[CatImages] = X().CatalogItem_Images(h[CatFull]);
        h[DetailsList] = Details({u"full.product", u"empty.product"});
        h[DetFull] = X().CatalogItemDetailsList_GetAt(h[DetailsList], 0);
        h[DetImages] = X().CatalogItemDetails_Images(h[DetFull]);
        h[Availabilities] = X().CatalogItemDetails_Availabilities(h[DetFull]);
        h[A0] = X().CatalogItemDetails_Availabilities_GetAt(h[Availabilities], 0);
        h[A1] = X().CatalogItemDetails_Availabilities_GetAt(h[Availabilities], 1);
        h[A2] = X().CatalogItemDetails_Availabilities_GetAt(h[Availabilities], 2);
        h[Img0] = X().CatalogItemDetails_Images_GetAt(h[DetImages], 0);
        h[Purposes] = X().CatalogItemImage_Purposes(h[Img0]);
        h[PayTypes] = X().CatalogItemAvailability_AcceptablePaymentInstrumentTypes(h[A0]);
    }

    void TearDown() override {
        for (ObjectHandle handle : h) X().InventoryItem_Dispose(handle);  // every _Dispose is one Release
        MarketplaceTest::TearDown();
    }

    static std::vector<Row> Table();

    ObjectHandle h[PayTypes + 1] = {};
};

std::vector<Row> MarketplaceAccessorsTest::Table() {
    const std::u16string kRichUrl = u"https://例え.jp/商品/" + kEmoji + u"?q=1";
    const std::u16string kCoinsUrl = u"https://inventory.example.com/消耗/" + kEmoji;
    const std::u16string kMax = Show(kManagedMaxTicks);
    return {
        // InventoryItemsResult
        ROW(ItemsResult, InventoryItemsResult_TotalItems, u"2", "IInventoryItemsResult.get_TotalItems"),
        ROW_OBJ(ItemsResult, "InventoryItemsResult_Items", InventoryItemsResult_Items(o),
                InventoryItemsResult_Items_Dispose, u"<object>", "IInventoryItemsResult.get_Items"),
        ROW(ItemsView, InventoryItemsResult_Items_Length, u"2", "IVectorView.get_Size"),
        ROW_OBJ(ItemsView, "InventoryItemsResult_Items_GetAt[1]", InventoryItemsResult_Items_GetAt(o, 1),
                InventoryItem_Dispose, u"<object>", "IVectorView.GetAt"),
        // InventoryItem
        ROW(Rich, InventoryItem_ProductId, kNonLatin, "IInventoryItem.get_ProductId"),
        ROW(Rich, InventoryItem_Url, kRichUrl, "IInventoryItem.get_Url"),
        ROW(Rich, InventoryItem_Url, kRichUrl, "IUriRuntimeClass.get_AbsoluteUri"),
        ROW(Rich, InventoryItem_ConsumableUrl, kCoinsUrl, "IInventoryItem.get_ConsumableUrl"),
        ROW(Rich, InventoryItem_InventoryItemState, u"3", "IInventoryItem.get_InventoryItemState"),
        ROW(Rich, InventoryItem_MediaItemType, u"5", "IInventoryItem.get_MediaItemType"),
        ROW(Rich, InventoryItem_TitleId, u"4294967295", "IInventoryItem.get_TitleId"),
        ROW(Rich, InventoryItem_ConsumableBalance, u"4294967295", "IInventoryItem.get_ConsumableBalance"),
        ROW(Rich, InventoryItem_RightsObtainedDate, u"504911232000000000", "IInventoryItem.get_RightsObtainedDate"),
        ROW(Rich, InventoryItem_StartDate, kMax, "IInventoryItem.get_StartDate"),
        ROW(Rich, InventoryItem_EndDate, kMax, "IInventoryItem.get_EndDate"),
        ROW_OBJ(Rich, "InventoryItem_ContainerIds", InventoryItem_ContainerIds(o), InventoryItem_ContainerIds_Dispose,
                u"<object>", "IInventoryItem.get_ContainerIds"),
        ROW_OBJ(Bare, "InventoryItem_ContainerIds", InventoryItem_ContainerIds(o), InventoryItem_ContainerIds_Dispose,
                u"<null>", "IInventoryItem.get_ContainerIds"),
        ROW(RichContainers, InventoryItem_ContainerIds_Length, u"3", "IVectorView.get_Size"),
        ROW_AT(RichContainers, InventoryItem_ContainerIds_GetAt, 0, u""),
        ROW_AT(RichContainers, InventoryItem_ContainerIds_GetAt, 1, u"容器"),
        ROW_AT(RichContainers, InventoryItem_ContainerIds_GetAt, 2, kEmoji + u"🎲"),
        // ConsumeInventoryItemResult
        ROW(Consumed, ConsumeInventoryItemResult_ConsumableUrl, kCoinsUrl,
            "IConsumeInventoryItemResult.get_ConsumableUrl"),
        ROW(Consumed, ConsumeInventoryItemResult_ConsumableBalance, u"4294967294",
            "IConsumeInventoryItemResult.get_ConsumableBalance"),
        ROW(Consumed, ConsumeInventoryItemResult_TransactionId, u"交易-🎮",
            "IConsumeInventoryItemResult.get_TransactionId"),
        // BrowseCatalogResult
        ROW(Browse, BrowseCatalogResult_TotalCount, u"2", "IBrowseCatalogResult.get_TotalCount"),
        ROW(Browse, BrowseCatalogResult_Items_Length, u"2", "IBrowseCatalogResult.get_Items"),
        ROW_OBJ(Browse, "BrowseCatalogResult_Items_GetAt[1]", BrowseCatalogResult_Items_GetAt(o, 1),
                CatalogItem_Dispose, u"<object>", "IVectorView.GetAt"),
        // CatalogItem
        ROW(CatFull, CatalogItem_Id, u"目录-" + kEmoji, "ICatalogItem.get_Id"),
        ROW(CatFull, CatalogItem_Name, u"名前 " + kEmoji + u" ÿ", "ICatalogItem.get_Name"),
        ROW(CatFull, CatalogItem_ReducedName, u"", "ICatalogItem.get_ReducedName"),
        ROW(CatFull, CatalogItem_ProductId, u"full.product", "ICatalogItem.get_ProductId"),
        ROW(CatFull, CatalogItem_SandboxId, u"XDKS.1", "ICatalogItem.get_SandboxId"),
        ROW(CatFull, CatalogItem_MediaItemType, u"6", "ICatalogItem.get_MediaItemType"),
        ROW(CatFull, CatalogItem_TitleId, u"4294967295", "ICatalogItem.get_TitleId"),
        ROW(CatFull, CatalogItem_ReleaseDate, u"504911232000000000", "ICatalogItem.get_ReleaseDate"),
        ROW_OBJ(CatFull, "CatalogItem_Images", CatalogItem_Images(o), CatalogItem_Images_Dispose, u"<object>",
                "ICatalogItem.get_Images"),
        ROW_OBJ(CatFull, "CatalogItem_AvailabilityContentIds", CatalogItem_AvailabilityContentIds(o),
                CatalogItem_AvailabilityContentIds_Dispose, u"<object>", "ICatalogItem.get_AvailabilityContentIds"),
        ROW(ContentIds, CatalogItem_AvailabilityContentIds_Length, u"3", "IVectorView.get_Size"),
        ROW_AT(ContentIds, CatalogItem_AvailabilityContentIds_GetAt, 0, u"内容-0"),
        ROW_AT(ContentIds, CatalogItem_AvailabilityContentIds_GetAt, 1, u""),
        ROW(EmptyContentIds, CatalogItem_AvailabilityContentIds_Length, u"0", "IVectorView.get_Size"),
        ROW(CatImages, CatalogItem_Images_Length, u"2", "IVectorView.get_Size"),
        ROW_OBJ(CatImages, "CatalogItem_Images_GetAt[0]", CatalogItem_Images_GetAt(o, 0), CatalogItemImage_Dispose,
                u"<object>", "IVectorView.GetAt"),
        // CatalogItemDetailsList and CatalogItemDetails
        ROW(DetailsList, CatalogItemDetailsList_Length, u"2", "IVectorView.get_Size"),
        ROW_OBJ(DetailsList, "CatalogItemDetailsList_GetAt[1]", CatalogItemDetailsList_GetAt(o, 1),
                CatalogItemDetails_Dispose, u"<object>", "IVectorView.GetAt"),
        ROW(DetFull, CatalogItemDetails_Id, u"目录-" + kEmoji, "ICatalogItemDetails.get_Id"),
        ROW(DetFull, CatalogItemDetails_Name, u"名前 " + kEmoji + u" ÿ", "ICatalogItemDetails.get_Name"),
        ROW(DetFull, CatalogItemDetails_ReducedName, u"", "ICatalogItemDetails.get_ReducedName"),
        ROW(DetFull, CatalogItemDetails_Description, u"説明\n" + kEmoji, "ICatalogItemDetails.get_Description"),
        ROW(DetFull, CatalogItemDetails_ProductId, u"full.product", "ICatalogItemDetails.get_ProductId"),
        ROW(DetFull, CatalogItemDetails_SandboxId, u"XDKS.1", "ICatalogItemDetails.get_SandboxId"),
        ROW(DetFull, CatalogItemDetails_MediaItemType, u"6", "ICatalogItemDetails.get_MediaItemType"),
        ROW(DetFull, CatalogItemDetails_TitleId, u"4294967295", "ICatalogItemDetails.get_TitleId"),
        ROW(DetFull, CatalogItemDetails_ReleaseDate, u"504911232000000000", "ICatalogItemDetails.get_ReleaseDate"),
        ROW_OBJ(DetFull, "CatalogItemDetails_Images", CatalogItemDetails_Images(o), CatalogItemDetails_Images_Dispose,
                u"<object>", "ICatalogItemDetails.get_Images"),
        ROW_OBJ(DetFull, "CatalogItemDetails_Availabilities", CatalogItemDetails_Availabilities(o),
                CatalogItemDetails_Availabilities_Dispose, u"<object>", "ICatalogItemDetails.get_Availabilities"),
        ROW(DetImages, CatalogItemDetails_Images_Length, u"2", "IVectorView.get_Size"),
        ROW_OBJ(DetImages, "CatalogItemDetails_Images_GetAt[1]", CatalogItemDetails_Images_GetAt(o, 1),
                CatalogItemImage_Dispose, u"<object>", "IVectorView.GetAt"),
        ROW(Availabilities, CatalogItemDetails_Availabilities_Length, u"3", "IVectorView.get_Size"),
        ROW_OBJ(Availabilities, "CatalogItemDetails_Availabilities_GetAt[2]",
                CatalogItemDetails_Availabilities_GetAt(o, 2), CatalogItemAvailability_Dispose, u"<object>",
                "IVectorView.GetAt"),
        // CatalogItemImage
        ROW(Img0, CatalogItemImage_Id, u"图-0", "ICatalogItemImage.get_Id"),
        ROW(Img0, CatalogItemImage_Purpose, u"BoxArt", "ICatalogItemImage.get_Purpose"),
        ROW(Img0, CatalogItemImage_ResizeUrl, u"https://images.example.com/图/0.png",
            "ICatalogItemImage.get_ResizeUrl"),
        ROW(Img0, CatalogItemImage_Width, u"4294967295", "ICatalogItemImage.get_Width"),
        ROW(Img0, CatalogItemImage_Height, u"1", "ICatalogItemImage.get_Height"),
        ROW_OBJ(Img0, "CatalogItemImage_Purposes", CatalogItemImage_Purposes(o), CatalogItemImage_Purposes_Dispose,
                u"<object>", "ICatalogItemImage.get_Purposes"),
        ROW(Purposes, CatalogItemImage_Purposes_Length, u"3", "IVectorView.get_Size"),
        ROW_AT(Purposes, CatalogItemImage_Purposes_GetAt, 1, u""),
        ROW_AT(Purposes, CatalogItemImage_Purposes_GetAt, 2, u"ポスター"),
        // CatalogItemAvailability
        ROW(A0, CatalogItemAvailability_ContentId, u"内容-0", "ICatalogItemAvailability.get_ContentId"),
        ROW(A0, CatalogItemAvailability_AvailabilityTitle, u"标题 " + kEmoji,
            "ICatalogItemAvailability.get_AvailabilityTitle"),
        ROW(A0, CatalogItemAvailability_AvailabilityDescription, u"描述",
            "ICatalogItemAvailability.get_AvailabilityDescription"),
        ROW(A0, CatalogItemAvailability_CurrencyCode, u"JPY", "ICatalogItemAvailability.get_CurrencyCode"),
        ROW(A0, CatalogItemAvailability_DisplayPrice, u"¥499", "ICatalogItemAvailability.get_DisplayPrice"),
        ROW(A0, CatalogItemAvailability_DisplayListPrice, u"¥999", "ICatalogItemAvailability.get_DisplayListPrice"),
        ROW(A0, CatalogItemAvailability_DistributionType, u"Full", "ICatalogItemAvailability.get_DistributionType"),
        ROW(A0, CatalogItemAvailability_PromotionalText, kEmoji + kEmoji,
            "ICatalogItemAvailability.get_PromotionalText"),
        ROW(A0, CatalogItemAvailability_SignedOffer, u"signed-0", "ICatalogItemAvailability.get_SignedOffer"),
        ROW(A0, CatalogItemAvailability_OfferId, u"offer-0", "ICatalogItemAvailability.get_OfferId"),
        ROW(A0, CatalogItemAvailability_OfferDisplayDataJson, u"{\"名\":\"" + kEmoji + u"\"}",
            "ICatalogItemAvailability.get_OfferDisplayDataJson"),
        ROW(A0, CatalogItemAvailability_IsPurchasable, u"0", "ICatalogItemAvailability.get_IsPurchasable"),
        ROW(A0, CatalogItemAvailability_Price, u"4.99", "ICatalogItemAvailability.get_Price"),
        ROW(A0, CatalogItemAvailability_ListPrice, u"0.30000000000000004", "ICatalogItemAvailability.get_ListPrice"),
        ROW(A0, CatalogItemAvailability_ConsumableQuantity, u"4294967295",
            "ICatalogItemAvailability.get_ConsumableQuantity"),
        ROW_OBJ(A0, "CatalogItemAvailability_AcceptablePaymentInstrumentTypes",
                CatalogItemAvailability_AcceptablePaymentInstrumentTypes(o),
                CatalogItemAvailability_AcceptablePaymentInstrumentTypes_Dispose, u"<object>",
                "ICatalogItemAvailability.get_AcceptablePaymentInstrumentTypes"),
        ROW(A1, CatalogItemAvailability_IsPurchasable, u"1", "ICatalogItemAvailability.get_IsPurchasable"),
        ROW(A2, CatalogItemAvailability_IsPurchasable, u"0", "ICatalogItemAvailability.get_IsPurchasable"),
        ROW(PayTypes, CatalogItemAvailability_AcceptablePaymentInstrumentTypes_Length, u"3", "IVectorView.get_Size"),
        ROW_AT(PayTypes, CatalogItemAvailability_AcceptablePaymentInstrumentTypes_GetAt, 0, u"CreditCard"),
        ROW_AT(PayTypes, CatalogItemAvailability_AcceptablePaymentInstrumentTypes_GetAt, 2, kEmoji),
    };
}

// Per row: the value, the same borrowed buffer on a second read, and the platform call behind it (a
// fault throws and leaves the record intact).
TEST_F(MarketplaceAccessorsTest, EveryAccessorReadsItsDataThroughItsPlatformCall) {
    for (const Row& row : Table()) {
        SCOPED_TRACE(std::string(row.accessor) + " / " + row.fault);
        const Reading first = row.read(X(), h[row.handle]);
        // The first read may make a string its record keeps from then on (an inventory item's
        // texts); a read that leaked would leak again.
        const int64_t strings = emu::LiveStrings();
        const Reading second = row.read(X(), h[row.handle]);
        EXPECT_EQ(first.text, row.expected);
        EXPECT_EQ(second.text, row.expected);
        EXPECT_EQ(first.buffer, second.buffer) << "a text is borrowed from the object, never made per read";
        EXPECT_EQ(emu::LiveStrings(), strings);

        emu::InjectFault(row.fault, ABI::E_ACCESSDENIED, 1);
        int32_t thrown = 0;
        try {
            row.read(X(), h[row.handle]);
        } catch (const Platform::AccessDeniedException& e) {
            thrown = e.HResult();
        }
        EXPECT_EQ(thrown, ABI::E_ACCESSDENIED);
        emu::ClearFaults();
        EXPECT_EQ(row.read(X(), h[row.handle]).text, row.expected) << "the failure left the record intact";
    }
}

}  // namespace
}  // namespace velmora::test
