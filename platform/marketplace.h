// Xbox Live marketplace services (Microsoft.Xbox.Services.Marketplace), the signed-in user and
// the user's services context. Members are listed in the platform's declared order.
#pragma once

#include "platform/async.h"
#include "platform/collections.h"
#include "platform/foundation.h"

namespace ABI::Windows::Xbox::System {

struct IUser : IInspectable {
    static constexpr Guid IID{0x5DD1F1E5, 0x9F19, 0x4A4C, {0x9E, 0x5F, 0x22, 0x1E, 0x4B, 0x3C, 0x0A, 0x17}};
    virtual HRESULT get_Id(uint32_t* value) = 0;
    virtual HRESULT get_XboxUserId(HSTRING* value) = 0;
    virtual HRESULT get_Gamertag(HSTRING* value) = 0;
    virtual HRESULT get_IsSignedIn(boolean* value) = 0;

protected:
    ~IUser() = default;
};

}  // namespace ABI::Windows::Xbox::System

namespace ABI::Microsoft::Xbox::Services::Marketplace {

namespace WF = ::ABI::Windows::Foundation;
namespace WFC = ::ABI::Windows::Foundation::Collections;

enum class MediaItemType : int32_t {
    Unknown = 0, Game = 1, GameV2 = 2, Application = 3, GameContent = 4, GameConsumable = 5, Subscription = 6,
    Movie = 7, TelevisionShow = 8, TelevisionSeries = 9, TelevisionSeason = 10, ApplicationOrGameUnknown = 11,
    GameDemo = 12, WebVideo = 13, All = 14,
};
enum class InventoryItemState : int32_t { Unknown = 0, All = 1, Enabled = 2, Suspended = 3, Expired = 4, Canceled = 5 };
enum class InventoryItemAvailability : int32_t { All = 0, Available = 1, Unavailable = 2 };
enum class CatalogSortOrder : int32_t {
    FreeAndPaidCountDaily = 0, PaidCountAllTime = 1, PaidCountDaily = 2, DigitalReleaseDate = 3, ReleaseDate = 4,
    UserRatings = 5,
};

struct IInventoryItem : IInspectable {
    static constexpr Guid IID{0x3E1B3F21, 0x56C7, 0x4D8A, {0x9B, 0x3C, 0x51, 0x06, 0x2F, 0x7C, 0x11, 0x40}};
    virtual HRESULT get_Url(WF::IUriRuntimeClass** value) = 0;
    virtual HRESULT get_InventoryItemState(InventoryItemState* value) = 0;
    virtual HRESULT get_MediaItemType(MediaItemType* value) = 0;
    virtual HRESULT get_ProductId(HSTRING* value) = 0;
    virtual HRESULT get_TitleId(uint32_t* value) = 0;
    virtual HRESULT get_ContainerIds(WFC::IVectorView<HSTRING>** value) = 0;
    virtual HRESULT get_RightsObtainedDate(WF::DateTime* value) = 0;
    virtual HRESULT get_StartDate(WF::DateTime* value) = 0;
    virtual HRESULT get_EndDate(WF::DateTime* value) = 0;
    virtual HRESULT get_ConsumableUrl(WF::IUriRuntimeClass** value) = 0;
    virtual HRESULT get_ConsumableBalance(uint32_t* value) = 0;

protected:
    ~IInventoryItem() = default;
};

struct IInventoryItemsResult : IInspectable {
    static constexpr Guid IID{0x7A52E1C4, 0x0B7D, 0x4C1F, {0xA0, 0x55, 0x3C, 0x8E, 0x21, 0x94, 0x6D, 0x02}};
    virtual HRESULT get_Items(WFC::IVectorView<IInventoryItem*>** value) = 0;
    virtual HRESULT get_TotalItems(uint32_t* value) = 0;

protected:
    ~IInventoryItemsResult() = default;
};

struct IConsumeInventoryItemResult : IInspectable {
    static constexpr Guid IID{0x0C2D6E88, 0x7F11, 0x4E3B, {0x8D, 0x2A, 0x6B, 0x90, 0x14, 0xC3, 0x5E, 0x71}};
    virtual HRESULT get_ConsumableUrl(WF::IUriRuntimeClass** value) = 0;
    virtual HRESULT get_ConsumableBalance(uint32_t* value) = 0;
    virtual HRESULT get_TransactionId(HSTRING* value) = 0;

protected:
    ~IConsumeInventoryItemResult() = default;
};

struct IInventoryService : IInspectable {
    static constexpr Guid IID{0x4B0B9C0E, 0x2F6A, 0x4B57, {0x86, 0x1D, 0x0E, 0x5A, 0x73, 0x2C, 0x9B, 0x18}};
    virtual HRESULT GetInventoryItemsAsync(MediaItemType mediaItemType,
                                           WF::IAsyncOperation<IInventoryItemsResult*>** operation) = 0;
    // (media item type, item state, availability, container id — empty means any, maximum count — 0 means all)
    virtual HRESULT GetInventoryItemsWithFiltersAsync(MediaItemType mediaItemType, InventoryItemState state,
                                                      InventoryItemAvailability availability, HSTRING containerId,
                                                      uint32_t maxItems,
                                                      WF::IAsyncOperation<IInventoryItemsResult*>** operation) = 0;
    virtual HRESULT GetInventoryItemsForAllUsersAsync(MediaItemType mediaItemType,
                                                      WF::IAsyncOperation<IInventoryItemsResult*>** operation) = 0;
    virtual HRESULT GetInventoryItemsForAllUsersWithFiltersAsync(
        MediaItemType mediaItemType, InventoryItemState state, InventoryItemAvailability availability,
        HSTRING containerId, uint32_t maxItems, WF::IAsyncOperation<IInventoryItemsResult*>** operation) = 0;
    virtual HRESULT GetInventoryItemAsync(IInventoryItem* item, WF::IAsyncOperation<IInventoryItem*>** operation) = 0;
    virtual HRESULT ConsumeInventoryItemAsync(IInventoryItem* item, uint32_t quantity, HSTRING transactionId,
                                              WF::IAsyncOperation<IConsumeInventoryItemResult*>** operation) = 0;

protected:
    ~IInventoryService() = default;
};

struct ICatalogItemImage : IInspectable {
    static constexpr Guid IID{0x61E8F0A7, 0x3B42, 0x4A1E, {0xB6, 0x09, 0x72, 0x4D, 0xA1, 0x3E, 0x58, 0xC0}};
    virtual HRESULT get_Id(HSTRING* value) = 0;
    virtual HRESULT get_ResizeUrl(WF::IUriRuntimeClass** value) = 0;
    virtual HRESULT get_Purposes(WFC::IVectorView<HSTRING>** value) = 0;
    virtual HRESULT get_Purpose(HSTRING* value) = 0;
    virtual HRESULT get_Height(uint32_t* value) = 0;
    virtual HRESULT get_Width(uint32_t* value) = 0;

protected:
    ~ICatalogItemImage() = default;
};

struct ICatalogItemAvailability : IInspectable {
    static constexpr Guid IID{0x2F9C1B55, 0xC0E4, 0x47D8, {0x93, 0x1A, 0x0D, 0x66, 0x4F, 0xB2, 0x87, 0x3E}};
    virtual HRESULT get_AcceptablePaymentInstrumentTypes(WFC::IVectorView<HSTRING>** value) = 0;
    virtual HRESULT get_AvailabilityTitle(HSTRING* value) = 0;
    virtual HRESULT get_AvailabilityDescription(HSTRING* value) = 0;
    virtual HRESULT get_CurrencyCode(HSTRING* value) = 0;
    virtual HRESULT get_DisplayPrice(HSTRING* value) = 0;
    virtual HRESULT get_DisplayListPrice(HSTRING* value) = 0;
    virtual HRESULT get_DistributionType(HSTRING* value) = 0;
    virtual HRESULT get_IsPurchasable(boolean* value) = 0;
    virtual HRESULT get_ListPrice(double* value) = 0;
    virtual HRESULT get_Price(double* value) = 0;
    virtual HRESULT get_ConsumableQuantity(uint32_t* value) = 0;
    virtual HRESULT get_PromotionalText(HSTRING* value) = 0;
    virtual HRESULT get_SignedOffer(HSTRING* value) = 0;
    virtual HRESULT get_OfferId(HSTRING* value) = 0;
    virtual HRESULT get_OfferDisplayDataJson(HSTRING* value) = 0;
    virtual HRESULT get_ContentId(HSTRING* value) = 0;

protected:
    ~ICatalogItemAvailability() = default;
};

struct ICatalogItem : IInspectable {
    static constexpr Guid IID{0x8D3E7A10, 0x5C2B, 0x4F64, {0xA9, 0x7E, 0x11, 0xC8, 0x30, 0x5D, 0xE2, 0x94}};
    virtual HRESULT get_AvailabilityContentIds(WFC::IVectorView<HSTRING>** value) = 0;
    virtual HRESULT get_Id(HSTRING* value) = 0;
    virtual HRESULT get_Images(WFC::IVectorView<ICatalogItemImage*>** value) = 0;
    virtual HRESULT get_MediaItemType(MediaItemType* value) = 0;
    virtual HRESULT get_Name(HSTRING* value) = 0;
    virtual HRESULT get_ProductId(HSTRING* value) = 0;
    virtual HRESULT get_ReducedName(HSTRING* value) = 0;
    virtual HRESULT get_ReleaseDate(WF::DateTime* value) = 0;
    virtual HRESULT get_SandboxId(HSTRING* value) = 0;
    virtual HRESULT get_TitleId(uint32_t* value) = 0;

protected:
    ~ICatalogItem() = default;
};

struct ICatalogItemDetails : IInspectable {
    static constexpr Guid IID{0x5B71C9E2, 0x1A4D, 0x4B0C, {0x8F, 0x33, 0x9E, 0x02, 0x6A, 0x7D, 0x40, 0xB5}};
    virtual HRESULT get_Availabilities(WFC::IVectorView<ICatalogItemAvailability*>** value) = 0;
    virtual HRESULT get_Description(HSTRING* value) = 0;
    virtual HRESULT get_Id(HSTRING* value) = 0;
    virtual HRESULT get_Images(WFC::IVectorView<ICatalogItemImage*>** value) = 0;
    virtual HRESULT get_MediaItemType(MediaItemType* value) = 0;
    virtual HRESULT get_Name(HSTRING* value) = 0;
    virtual HRESULT get_ProductId(HSTRING* value) = 0;
    virtual HRESULT get_ReducedName(HSTRING* value) = 0;
    virtual HRESULT get_ReleaseDate(WF::DateTime* value) = 0;
    virtual HRESULT get_SandboxId(HSTRING* value) = 0;
    virtual HRESULT get_TitleId(uint32_t* value) = 0;

protected:
    ~ICatalogItemDetails() = default;
};

struct IBrowseCatalogResult : IInspectable {
    static constexpr Guid IID{0x44A0E3D9, 0x6E18, 0x4C7A, {0xB2, 0x5F, 0x80, 0x1B, 0x9C, 0x27, 0xD4, 0x63}};
    virtual HRESULT get_Items(WFC::IVectorView<ICatalogItem*>** value) = 0;
    virtual HRESULT get_TotalCount(uint32_t* value) = 0;

protected:
    ~IBrowseCatalogResult() = default;
};

struct ICatalogService : IInspectable {
    static constexpr Guid IID{0x1F6B2A3C, 0x9D4E, 0x4E51, {0x87, 0x0A, 0x2C, 0x55, 0xE1, 0x6F, 0x3B, 0x98}};
    virtual HRESULT BrowseCatalogAsync(HSTRING parentId, MediaItemType parentMediaType, MediaItemType childMediaType,
                                       CatalogSortOrder sortOrder, uint32_t skipItems, uint32_t maxItems,
                                       WF::IAsyncOperation<IBrowseCatalogResult*>** operation) = 0;
    virtual HRESULT GetCatalogItemDetailsAsync(
        WFC::IVectorView<HSTRING>* productIds,
        WF::IAsyncOperation<WFC::IVectorView<ICatalogItemDetails*>*>** operation) = 0;

protected:
    ~ICatalogService() = default;
};

}  // namespace ABI::Microsoft::Xbox::Services::Marketplace

namespace ABI::Microsoft::Xbox::Services {

struct IXboxLiveContext : IInspectable {
    static constexpr Guid IID{0x6B3C5F07, 0x4E1A, 0x4D2B, {0x9C, 0x88, 0x35, 0xA0, 0x7E, 0x12, 0xF6, 0x4D}};
    virtual HRESULT get_User(Windows::Xbox::System::IUser** value) = 0;
    virtual HRESULT get_InventoryService(Marketplace::IInventoryService** value) = 0;
    virtual HRESULT get_CatalogService(Marketplace::ICatalogService** value) = 0;

protected:
    ~IXboxLiveContext() = default;
};

}  // namespace ABI::Microsoft::Xbox::Services

// The vector of item details answered by a details query: a generic instance, given its id here.
namespace ABI {
template <>
struct SignatureOf<Windows::Foundation::Collections::IVectorView<Microsoft::Xbox::Services::Marketplace::ICatalogItemDetails*>*> {
    static constexpr Guid value =
        Windows::Foundation::Collections::IVectorView<Microsoft::Xbox::Services::Marketplace::ICatalogItemDetails*>::IID;
};
}  // namespace ABI
