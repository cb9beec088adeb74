// The console store (Windows.Xbox.ApplicationModel.Store): the Product statics and purchase events.
#pragma once

#include "platform/async.h"
#include "platform/collections.h"
#include "platform/marketplace.h"

namespace ABI::Windows::Xbox::ApplicationModel::Store {

namespace WF = ::ABI::Windows::Foundation;
namespace WFC = ::ABI::Windows::Foundation::Collections;
using System::IUser;

// Flags: NoIssue 0, PurchaseRequired 1, Aborted 2, Banned 4, Restricted 8.
enum class PrivilegeCheckResult : uint32_t { NoIssue = 0, PurchaseRequired = 1, Aborted = 2, Banned = 4, Restricted = 8 };

// Flags of the product kinds a marketplace screen shows or answers.
enum class ProductItemTypes : uint32_t {
    None = 0, Game = 1, App = 2, GameContent = 4, GameConsumable = 8, Subscription = 16, All = 0xFFFFFFFF,
};

struct IProductPurchasedEventArgs : IInspectable {
    static constexpr Guid IID{0xD2C1B3A4, 0x6F7E, 0x4A8B, {0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x4B, 0x5C, 0x6D}};
    virtual HRESULT get_Receipt(HSTRING* value) = 0;

protected:
    ~IProductPurchasedEventArgs() = default;
};

struct IProductPurchasedEventHandler : IUnknown {
    static constexpr Guid IID{0x8E1F2A3B, 0x4C5D, 0x4E6F, {0xA7, 0xB8, 0xC9, 0xD0, 0xE1, 0xF2, 0x03, 0x14}};
    virtual HRESULT Invoke(IProductPurchasedEventArgs* args) = 0;

protected:
    ~IProductPurchasedEventHandler() = default;
};

struct IProductStatics : IInspectable {
    static constexpr Guid IID{0x76EFB705, 0xBDD4, 0x4F6A, {0x8D, 0x89, 0xA9, 0x51, 0x1D, 0x40, 0xAF, 0xE7}};
    virtual HRESULT ShowPurchaseAsync(IUser* user, HSTRING offer, WF::IAsyncAction** action) = 0;
    virtual HRESULT ShowDetailsAsync(IUser* user, HSTRING productId, WF::IAsyncAction** action) = 0;
    virtual HRESULT ShowMarketplaceAsync(IUser* user, ProductItemTypes inputTypes, HSTRING inputProductId,
                                         ProductItemTypes resultTypes, WF::IAsyncAction** action) = 0;
    virtual HRESULT ShowRedeemCodeAsync(IUser* user, HSTRING offer, WF::IAsyncAction** action) = 0;
    virtual HRESULT ShowSubscriptionAsync(IUser* user, HSTRING productId, uint32_t privilegeId,
                                          WF::IAsyncAction** action) = 0;
    virtual HRESULT CheckPrivilegeAsync(IUser* user, uint32_t privilegeId, boolean attemptResolution,
                                        HSTRING friendlyDisplay,
                                        WF::IAsyncOperation<PrivilegeCheckResult>** operation) = 0;
    virtual HRESULT CheckPrivilegesAsync(IUser* user, WFC::IVectorView<uint32_t>* privilegeIds,
                                         boolean attemptResolution, HSTRING friendlyDisplay,
                                         WF::IAsyncOperation<PrivilegeCheckResult>** operation) = 0;
    virtual HRESULT add_ProductPurchased(IProductPurchasedEventHandler* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_ProductPurchased(EventRegistrationToken token) = 0;

protected:
    ~IProductStatics() = default;
};

constexpr char16_t RuntimeClass_Product[] = u"Windows.Xbox.ApplicationModel.Store.Product";

}  // namespace ABI::Windows::Xbox::ApplicationModel::Store

namespace ABI {
template <>
struct SignatureOf<Windows::Xbox::ApplicationModel::Store::PrivilegeCheckResult> {
    static constexpr Guid value{0x50434852, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 4}};
};
}  // namespace ABI
