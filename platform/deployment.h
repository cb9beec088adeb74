// Downloadable-content packages (Windows.Xbox.Management.Deployment).
#pragma once

#include "platform/collections.h"
#include "platform/foundation.h"

namespace ABI::Windows::Xbox::Management::Deployment {

namespace WF = ::ABI::Windows::Foundation;
namespace WFC = ::ABI::Windows::Foundation::Collections;

// The filter of a package query.
enum class DownloadableContentPackageFilter : int32_t {
    AllDownloadableContentOnly = 0,
    AllRelatedPackages = 1,
    CurrentTitleOnly = 2,
    RelatedTitlesOnly = 3,
};

enum class InstallOperationType : int32_t { Install = 0, Update = 1, Repair = 2 };

struct IDownloadableContentPackage : IInspectable {
    static constexpr Guid IID{0x3A0F61C2, 0x7B85, 0x4E2D, {0x8E, 0x4C, 0x5D, 0x91, 0xA2, 0x6B, 0x0F, 0x37}};
    virtual HRESULT get_TitleId(HSTRING* value) = 0;
    virtual HRESULT get_ContentId(HSTRING* value) = 0;
    virtual HRESULT get_ProductId(HSTRING* value) = 0;
    virtual HRESULT get_PackageFullName(HSTRING* value) = 0;
    virtual HRESULT get_MountPath(HSTRING* value) = 0;
    virtual HRESULT get_IsMounted(boolean* value) = 0;
    virtual HRESULT get_ContentType(int32_t* value) = 0;
    virtual HRESULT get_DisplayName(HSTRING* value) = 0;
    virtual HRESULT get_Description(HSTRING* value) = 0;
    virtual HRESULT get_Publisher(HSTRING* value) = 0;
    virtual HRESULT get_Version(HSTRING* value) = 0;
    // Mounts the package; yields the mount path.
    virtual HRESULT Mount(HSTRING* mountPath) = 0;
    virtual HRESULT Unmount() = 0;

protected:
    ~IDownloadableContentPackage() = default;
};

struct IDownloadableContentPackageInstallCompletedEventArgs : IInspectable {
    static constexpr Guid IID{0x6C2E9D14, 0x3F0B, 0x4A7C, {0xB1, 0x58, 0x24, 0xE6, 0x9A, 0x0D, 0x7F, 0xC3}};
    virtual HRESULT get_OperationType(InstallOperationType* value) = 0;
    virtual HRESULT get_PackageFullName(HSTRING* value) = 0;
    virtual HRESULT get_ContentId(Guid* value) = 0;

protected:
    ~IDownloadableContentPackageInstallCompletedEventArgs() = default;
};

struct IDownloadableContentPackageInstallCompletedEventHandler : IUnknown {
    static constexpr Guid IID{0x0E7B3C5A, 0x9D21, 0x4F88, {0xA3, 0x6E, 0x71, 0x0C, 0x5B, 0xD4, 0x92, 0x2F}};
    virtual HRESULT Invoke() = 0;

protected:
    ~IDownloadableContentPackageInstallCompletedEventHandler() = default;
};

using IInstallCompletedWithDetailsHandler = WF::IEventHandler<IDownloadableContentPackageInstallCompletedEventArgs*>;

struct IDownloadableContentPackageManager : IInspectable {
    static constexpr Guid IID{0x971FEAAF, 0x98F8, 0x4038, {0xB8, 0xC1, 0x3A, 0x5F, 0x1A, 0x04, 0x3B, 0x97}};
    virtual HRESULT FindPackages(DownloadableContentPackageFilter filter,
                                 WFC::IVectorView<IDownloadableContentPackage*>** packages) = 0;
    virtual HRESULT add_DownloadableContentPackageInstallCompleted(
        IDownloadableContentPackageInstallCompletedEventHandler* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_DownloadableContentPackageInstallCompleted(EventRegistrationToken token) = 0;
    virtual HRESULT add_DownloadableContentPackageInstallCompletedWithDetails(
        IInstallCompletedWithDetailsHandler* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT remove_DownloadableContentPackageInstallCompletedWithDetails(EventRegistrationToken token) = 0;

protected:
    ~IDownloadableContentPackageManager() = default;
};

constexpr char16_t RuntimeClass_DownloadableContentPackageManager[] =
    u"Windows.Xbox.Management.Deployment.DownloadableContentPackageManager";

}  // namespace ABI::Windows::Xbox::Management::Deployment
