// The package objects and install-completed event args the emulated package manager hands out.
#include <string_view>

#include "emulator/runtime/faults.h"
#include "emulator/services/packages/records.h"

namespace velmora::emu::packages {
namespace {

// A package object. Its texts are created once, when it is made, and every read hands out a
// duplicate, so a borrowed buffer stays valid while the object lives. The mount state is the
// installed package's, shared with every other object found for it.
class DownloadableContentPackage : public RuntimeObject<DownloadableContentPackage, IDownloadableContentPackage> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Xbox.Management.Deployment.DownloadableContentPackage";

    explicit DownloadableContentPackage(std::shared_ptr<PackageState> state) : state_(std::move(state)) {}

    HRESULT Init() {
        const PackageData& d = state_->data;
        const std::u16string* texts[kFieldCount] = {&d.titleId,         &d.contentId,   &d.productId,
                                                    &d.packageFullName, &d.displayName, &d.description,
                                                    &d.publisher,       &d.version,     &d.folder};
        for (int i = 0; i < kFieldCount; ++i)
            if (HRESULT hr = WindowsCreateString(texts[i]->data(), uint32_t(texts[i]->size()), texts_[i].Put());
                Failed(hr))
                return hr;
        return S_OK;
    }

    HRESULT get_TitleId(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_TitleId")) return hr;
        return Give(kTitleId, value);
    }
    HRESULT get_ContentId(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_ContentId")) return hr;
        return Give(kContentId, value);
    }
    HRESULT get_ProductId(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_ProductId")) return hr;
        return Give(kProductId, value);
    }
    HRESULT get_PackageFullName(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_PackageFullName")) return hr;
        return Give(kPackageFullName, value);
    }
    HRESULT get_MountPath(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_MountPath")) return hr;
        if (!value) return E_POINTER;
        std::lock_guard lock(state_->mutex);
        if (state_->mounted) return Give(kFolder, value);
        *value = nullptr;  // not mounted: the empty string
        return S_OK;
    }
    HRESULT get_IsMounted(boolean* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_IsMounted")) return hr;
        if (!value) return E_POINTER;
        std::lock_guard lock(state_->mutex);
        *value = state_->mounted;
        return S_OK;
    }
    HRESULT get_ContentType(int32_t* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_ContentType")) return hr;
        if (!value) return E_POINTER;
        *value = state_->data.contentType;
        return S_OK;
    }
    HRESULT get_DisplayName(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_DisplayName")) return hr;
        return Give(kDisplayName, value);
    }
    HRESULT get_Description(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_Description")) return hr;
        return Give(kDescription, value);
    }
    HRESULT get_Publisher(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_Publisher")) return hr;
        return Give(kPublisher, value);
    }
    HRESULT get_Version(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.get_Version")) return hr;
        return Give(kVersion, value);
    }

    // Mounting a mounted package succeeds again with the same path, as the console does.
    HRESULT Mount(HSTRING* mountPath) override {
        CountMount();
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.Mount")) return hr;
        if (!mountPath) return E_POINTER;
        *mountPath = nullptr;
        std::lock_guard lock(state_->mutex);
        if (!state_->installed) return E_NOT_FOUND;
        if (!state_->licensed) return E_PACKAGE_NOT_LICENSED;
        if (HRESULT hr = Give(kFolder, mountPath); Failed(hr)) return hr;
        if (!state_->mounted) state_->mounted = 1;  // a raw byte the scenario stored stays as it is
        return S_OK;
    }
    // Unmounting an unmounted package succeeds and changes nothing.
    HRESULT Unmount() override {
        CountUnmount();
        if (HRESULT hr = TakeFault("IDownloadableContentPackage.Unmount")) return hr;
        std::lock_guard lock(state_->mutex);
        state_->mounted = 0;
        return S_OK;
    }

private:
    enum Field {
        kTitleId,
        kContentId,
        kProductId,
        kPackageFullName,
        kDisplayName,
        kDescription,
        kPublisher,
        kVersion,
        kFolder,
        kFieldCount
    };

    HRESULT Give(Field field, HSTRING* value) const {
        if (!value) return E_POINTER;
        return WindowsDuplicateString(texts_[field].Get(), value);
    }

    std::shared_ptr<PackageState> state_;
    HStringOwner texts_[kFieldCount];
};

class InstallCompletedEventArgs
    : public RuntimeObject<InstallCompletedEventArgs, IDownloadableContentPackageInstallCompletedEventArgs> {
public:
    static constexpr char16_t RuntimeClassName[] =
        u"Windows.Xbox.Management.Deployment.DownloadableContentPackageInstallCompletedEventArgs";

    InstallCompletedEventArgs(InstallOperationType operation, const Guid& contentId)
        : operation_(operation), contentId_(contentId) {}

    HRESULT Init(std::u16string_view packageFullName) {
        return WindowsCreateString(packageFullName.data(), uint32_t(packageFullName.size()), packageFullName_.Put());
    }

    HRESULT get_OperationType(InstallOperationType* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackageInstallCompletedEventArgs.get_OperationType")) return hr;
        if (!value) return E_POINTER;
        *value = operation_;
        return S_OK;
    }
    HRESULT get_PackageFullName(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackageInstallCompletedEventArgs.get_PackageFullName"))
            return hr;
        if (!value) return E_POINTER;
        return WindowsDuplicateString(packageFullName_.Get(), value);
    }
    HRESULT get_ContentId(Guid* value) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackageInstallCompletedEventArgs.get_ContentId")) return hr;
        if (!value) return E_POINTER;
        *value = contentId_;
        return S_OK;
    }

private:
    InstallOperationType operation_;
    Guid contentId_;
    HStringOwner packageFullName_;
};

}  // namespace

HRESULT MakePackage(std::shared_ptr<PackageState> state, IDownloadableContentPackage** package) {
    *package = nullptr;
    auto made = Make<DownloadableContentPackage>(std::move(state));
    if (HRESULT hr = made->Init(); Failed(hr)) return hr;
    *package = made.Detach();
    return S_OK;
}

HRESULT MakeInstallCompletedEventArgs(InstallOperationType operation, std::u16string_view packageFullName,
                                      const Guid& contentId,
                                      IDownloadableContentPackageInstallCompletedEventArgs** args) {
    *args = nullptr;
    auto made = Make<InstallCompletedEventArgs>(operation, contentId);
    if (HRESULT hr = made->Init(packageFullName); Failed(hr)) return hr;
    *args = made.Detach();
    return S_OK;
}

}  // namespace velmora::emu::packages
