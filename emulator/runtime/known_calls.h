// Every platform call the emulator can make fail (InjectFault) or script (ScriptOutcome), by name:
// the one list that InjectFault, ScriptOutcome, the C interface and the scenario loader accept names
// from. Every fault check and every start of an emulated operation names its call with a CallName,
// which is checked against this list while compiling, so a call added without its name here does not
// build. Plain types only, so the Windows parts of the emulator can include it beside the system's
// own headers.
#pragma once

#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "emulator/runtime/export.h"

namespace velmora::emu {

struct KnownCall {
    std::string_view name;
    bool startsOperation = false;  // starts an asynchronous operation, so its outcome can be scripted
};
inline constexpr bool kStartsOperation = true;

// "<Interface>.<member>", the runtime's string functions, and "RoGetActivationFactory:<class>" for
// each class the emulated services make activatable.
inline constexpr KnownCall kKnownCalls[] = {
    {"RoGetActivationFactory:Windows.Xbox.ApplicationModel.Store.Product"},
    {"RoGetActivationFactory:Windows.Xbox.Management.Deployment.DownloadableContentPackageManager"},

    {"WindowsCreateString"},
    {"WindowsDuplicateString"},

    {"IActivationFactory.ActivateInstance"},

    {"IVectorView.GetAt"},
    {"IVectorView.get_Size"},

    {"IUser.get_Gamertag"},
    {"IUser.get_Id"},
    {"IUser.get_IsSignedIn"},
    {"IUser.get_XboxUserId"},

    {"IXboxLiveContext.get_CatalogService"},
    {"IXboxLiveContext.get_InventoryService"},

    {"IInventoryService.ConsumeInventoryItemAsync", kStartsOperation},
    {"IInventoryService.GetInventoryItemAsync", kStartsOperation},
    {"IInventoryService.GetInventoryItemsAsync", kStartsOperation},
    {"IInventoryService.GetInventoryItemsForAllUsersAsync", kStartsOperation},
    {"IInventoryService.GetInventoryItemsForAllUsersWithFiltersAsync", kStartsOperation},
    {"IInventoryService.GetInventoryItemsWithFiltersAsync", kStartsOperation},

    {"IInventoryItemsResult.get_Items"},
    {"IInventoryItemsResult.get_TotalItems"},

    {"IInventoryItem.get_ConsumableBalance"},
    {"IInventoryItem.get_ConsumableUrl"},
    {"IInventoryItem.get_ContainerIds"},
    {"IInventoryItem.get_EndDate"},
    {"IInventoryItem.get_InventoryItemState"},
    {"IInventoryItem.get_MediaItemType"},
    {"IInventoryItem.get_ProductId"},
    {"IInventoryItem.get_RightsObtainedDate"},
    {"IInventoryItem.get_StartDate"},
    {"IInventoryItem.get_TitleId"},
    {"IInventoryItem.get_Url"},

    {"IConsumeInventoryItemResult.get_ConsumableBalance"},
    {"IConsumeInventoryItemResult.get_ConsumableUrl"},
    {"IConsumeInventoryItemResult.get_TransactionId"},

    {"IUriRuntimeClass.get_AbsoluteUri"},
    {"IUriRuntimeClass.get_DisplayUri"},
    {"IUriRuntimeClass.get_Host"},
    {"IUriRuntimeClass.get_Path"},
    {"IUriRuntimeClass.get_SchemeName"},

    {"ICatalogService.BrowseCatalogAsync", kStartsOperation},
    {"ICatalogService.GetCatalogItemDetailsAsync", kStartsOperation},

    {"IBrowseCatalogResult.get_Items"},
    {"IBrowseCatalogResult.get_TotalCount"},

    {"ICatalogItem.get_AvailabilityContentIds"},
    {"ICatalogItem.get_Id"},
    {"ICatalogItem.get_Images"},
    {"ICatalogItem.get_MediaItemType"},
    {"ICatalogItem.get_Name"},
    {"ICatalogItem.get_ProductId"},
    {"ICatalogItem.get_ReducedName"},
    {"ICatalogItem.get_ReleaseDate"},
    {"ICatalogItem.get_SandboxId"},
    {"ICatalogItem.get_TitleId"},

    {"ICatalogItemDetails.get_Availabilities"},
    {"ICatalogItemDetails.get_Description"},
    {"ICatalogItemDetails.get_Id"},
    {"ICatalogItemDetails.get_Images"},
    {"ICatalogItemDetails.get_MediaItemType"},
    {"ICatalogItemDetails.get_Name"},
    {"ICatalogItemDetails.get_ProductId"},
    {"ICatalogItemDetails.get_ReducedName"},
    {"ICatalogItemDetails.get_ReleaseDate"},
    {"ICatalogItemDetails.get_SandboxId"},
    {"ICatalogItemDetails.get_TitleId"},

    {"ICatalogItemImage.get_Height"},
    {"ICatalogItemImage.get_Id"},
    {"ICatalogItemImage.get_Purpose"},
    {"ICatalogItemImage.get_Purposes"},
    {"ICatalogItemImage.get_ResizeUrl"},
    {"ICatalogItemImage.get_Width"},

    {"ICatalogItemAvailability.get_AcceptablePaymentInstrumentTypes"},
    {"ICatalogItemAvailability.get_AvailabilityDescription"},
    {"ICatalogItemAvailability.get_AvailabilityTitle"},
    {"ICatalogItemAvailability.get_ConsumableQuantity"},
    {"ICatalogItemAvailability.get_ContentId"},
    {"ICatalogItemAvailability.get_CurrencyCode"},
    {"ICatalogItemAvailability.get_DisplayListPrice"},
    {"ICatalogItemAvailability.get_DisplayPrice"},
    {"ICatalogItemAvailability.get_DistributionType"},
    {"ICatalogItemAvailability.get_IsPurchasable"},
    {"ICatalogItemAvailability.get_ListPrice"},
    {"ICatalogItemAvailability.get_OfferDisplayDataJson"},
    {"ICatalogItemAvailability.get_OfferId"},
    {"ICatalogItemAvailability.get_Price"},
    {"ICatalogItemAvailability.get_PromotionalText"},
    {"ICatalogItemAvailability.get_SignedOffer"},

    {"IProductStatics.CheckPrivilegeAsync", kStartsOperation},
    {"IProductStatics.CheckPrivilegesAsync", kStartsOperation},
    {"IProductStatics.ShowDetailsAsync", kStartsOperation},
    {"IProductStatics.ShowMarketplaceAsync", kStartsOperation},
    {"IProductStatics.ShowPurchaseAsync", kStartsOperation},
    {"IProductStatics.ShowRedeemCodeAsync", kStartsOperation},
    {"IProductStatics.ShowSubscriptionAsync", kStartsOperation},
    {"IProductStatics.add_ProductPurchased"},
    {"IProductStatics.remove_ProductPurchased"},

    {"IProductPurchasedEventArgs.get_Receipt"},

    {"IDownloadableContentPackageManager.FindPackages"},
    {"IDownloadableContentPackageManager.add_DownloadableContentPackageInstallCompleted"},
    {"IDownloadableContentPackageManager.add_DownloadableContentPackageInstallCompletedWithDetails"},
    {"IDownloadableContentPackageManager.remove_DownloadableContentPackageInstallCompleted"},
    {"IDownloadableContentPackageManager.remove_DownloadableContentPackageInstallCompletedWithDetails"},

    {"IDownloadableContentPackage.Mount"},
    {"IDownloadableContentPackage.Unmount"},
    {"IDownloadableContentPackage.get_ContentId"},
    {"IDownloadableContentPackage.get_ContentType"},
    {"IDownloadableContentPackage.get_Description"},
    {"IDownloadableContentPackage.get_DisplayName"},
    {"IDownloadableContentPackage.get_IsMounted"},
    {"IDownloadableContentPackage.get_MountPath"},
    {"IDownloadableContentPackage.get_PackageFullName"},
    {"IDownloadableContentPackage.get_ProductId"},
    {"IDownloadableContentPackage.get_Publisher"},
    {"IDownloadableContentPackage.get_TitleId"},
    {"IDownloadableContentPackage.get_Version"},

    {"IDownloadableContentPackageInstallCompletedEventArgs.get_ContentId"},
    {"IDownloadableContentPackageInstallCompletedEventArgs.get_OperationType"},
    {"IDownloadableContentPackageInstallCompletedEventArgs.get_PackageFullName"},
};

// A call's place in kKnownCalls. Made from a name while compiling only; Find looks one up at run time.
class CallName {
public:
    consteval CallName(const char* name) : index_(IndexOf(name)) {}
    consteval CallName(std::string_view name) : index_(IndexOf(name)) {}

    constexpr std::string_view Name() const { return kKnownCalls[index_].name; }
    constexpr bool StartsOperation() const { return kKnownCalls[index_].startsOperation; }
    constexpr size_t Index() const { return index_; }

    static constexpr std::optional<CallName> Find(std::string_view name) {
        for (size_t i = 0; i < std::size(kKnownCalls); ++i)
            if (kKnownCalls[i].name == name) return CallName(i);
        return std::nullopt;
    }

private:
    constexpr explicit CallName(size_t index) : index_(index) {}
    static consteval size_t IndexOf(std::string_view name) {
        for (size_t i = 0; i < std::size(kKnownCalls); ++i)
            if (kKnownCalls[i].name == name) return i;
        // Not a constant expression, so the build stops here.
        throw "a call the emulator does not know: add its name to kKnownCalls in emulator/runtime/known_calls.h";
    }
    size_t index_;
};

// A call that starts an asynchronous operation (whose outcome can be scripted), checked while compiling.
class OperationName : public CallName {
public:
    consteval OperationName(const char* name) : CallName(name) { Check(); }
    consteval OperationName(std::string_view name) : CallName(name) { Check(); }

private:
    consteval void Check() const {
        if (!StartsOperation()) throw "a call that starts no operation: mark it kStartsOperation in kKnownCalls";
    }
};

// What is wrong with a call's name for a fault (`forOutcome` false) or a scripted outcome (true), or
// nothing: 'unknown call "IInventoryService.GetInventoryItemAsyn"; did you mean
// "IInventoryService.GetInventoryItemAsync" or "IInventoryService.GetInventoryItemsAsync"?'
EMU_API std::optional<std::string> CallNameProblem(std::string_view call, bool forOutcome);

}  // namespace velmora::emu
