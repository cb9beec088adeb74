// Downloadable-content exports: package discovery and records, mount and unmount, and
// install-completed notifications with their event args.
#include <cstring>

#include "core/marshalling.h"
#include "dlc/dlc_manager.h"
#include "platform/exceptions.h"
#include "platform/implements.h"

using namespace HaldenPlugin;
using namespace ABI::Windows::Xbox::Management::Deployment;
using Package = IDownloadableContentPackage;
using InstallArgs = IDownloadableContentPackageInstallCompletedEventArgs;

namespace {

class CompletedForwarder final
    : public ABI::Implements<CompletedForwarder, IDownloadableContentPackageInstallCompletedEventHandler> {
public:
    ABI::HRESULT Invoke() override {
        PostEvent(DownloadableContentPackageInstallCompletedEvent{});
        return ABI::S_OK;
    }
};

class DetailsForwarder final : public ABI::Implements<DetailsForwarder, IInstallCompletedWithDetailsHandler> {
public:
    ABI::HRESULT Invoke(ABI::IInspectable*, InstallArgs* args) override {
        IDownloadableContentPackageInstallCompletedEventArgsEvent record{};
        record.result = args;
        if (args) args->AddRef();  // travels with the record to managed code
        PostEvent(record);
        return ABI::S_OK;
    }
};

PlatformSubscription completedSubscription;
PlatformSubscription detailsSubscription;

// Stores the pair, then subscribes once. A failing subscription throws to the caller; the pair
// stays and the next registration tries again.
template <class Forwarder, auto Add, class Callback>
bool Register(CallbackPair<Callback> DLC::*pair, PlatformSubscription& subscription, Callback callback,
              void* userData) {
    if (!QueueBound()) return false;
    DLC& dlc = DLC::Instance();
    (dlc.*pair).Set(callback, userData);
    subscription.Ensure([&] {
        auto forwarder = ComPtr<Forwarder>::Attach(new Forwarder);
        ABI::EventRegistrationToken token{};
        Check((dlc.Manager()->*Add)(forwarder.Get(), &token));
    });
    return true;
}

template <class Callback>
bool Unregister(CallbackPair<Callback> DLC::*pair) {
    if (QueueBound()) (DLC::Instance().*pair).Set(nullptr, nullptr);
    return true;
}

template <auto Getter>
VelmoraGuid GuidProperty(ObjectHandle handle) {
    VelmoraGuid out{};
    if (!handle) return out;
    ABI::Guid value = Read<Getter>(handle);
    static_assert(sizeof value == sizeof out);
    std::memcpy(&out, &value, sizeof out);
    return out;
}

}  // namespace

extern "C" {

// Before a load has bound the host queue there is no package manager to ask: null.
ObjectHandle DLC_FindPackages(int32_t filter) {
    if (!QueueBound()) return nullptr;
    IVectorView<Package*>* packages = nullptr;
    Check(DLC::Instance().Manager()->FindPackages(static_cast<DownloadableContentPackageFilter>(filter), &packages));
    return packages;
}

// A mount the platform refuses answers null; a failing read of the path afterwards throws.
const char16_t* IDownloadableContentPackage_Mount(ObjectHandle package) {
    if (!package) return nullptr;
    try {
        HStringOwner ignored;
        Check(static_cast<Package*>(package)->Mount(ignored.Put()));
    } catch (const Platform::Exception&) {
        return nullptr;
    }
    return StringProperty<&Package::get_MountPath>(package);
}

void IDownloadableContentPackage_Unmount(ObjectHandle package) {
    if (package) Check(static_cast<Package*>(package)->Unmount());
}

bool DLC_RegisterForDLCCompletedEvent(ManagedInstallCallback callback, void* userData) {
    return Register<CompletedForwarder,
                    &IDownloadableContentPackageManager::add_DownloadableContentPackageInstallCompleted>(
        &DLC::completed, completedSubscription, callback, userData);
}

bool DLC_UnRegisterForDLCCompletedEvent() { return Unregister(&DLC::completed); }

bool DLC_RegisterForDLCCompletedWithDetailsEvent(ManagedObjectCallback callback, void* userData) {
    return Register<DetailsForwarder,
                    &IDownloadableContentPackageManager::add_DownloadableContentPackageInstallCompletedWithDetails>(
        &DLC::details, detailsSubscription, callback, userData);
}

bool DLC_UnRegisterForDLCCompletedWithDetailsEvent() { return Unregister(&DLC::details); }

VelmoraGuid IDownloadableContentPackageInstallCompletedEventArgs_ContentId(ObjectHandle args) {
    return GuidProperty<&InstallArgs::get_ContentId>(args);
}

}  // extern "C"

// The package list
VELMORA_COLLECTION_OF(DLC_IDownloadableContentPackage_Length, DLC_IDownloadableContentPackage_GetAt, Package*)
VELMORA_DISPOSE(DLC_IDownloadableContentPackage_Dispose)

// IDownloadableContentPackage
VELMORA_RULE(IDownloadableContentPackage_TitleId, StringProperty, &Package::get_TitleId)
VELMORA_RULE(IDownloadableContentPackage_ContentId, StringProperty, &Package::get_ContentId)
VELMORA_RULE(IDownloadableContentPackage_ProductId, StringProperty, &Package::get_ProductId)
VELMORA_RULE(IDownloadableContentPackage_PackageFullName, StringProperty, &Package::get_PackageFullName)
VELMORA_RULE(IDownloadableContentPackage_MountPath, StringProperty, &Package::get_MountPath)
VELMORA_RULE(IDownloadableContentPackage_IsMounted, BoolProperty, &Package::get_IsMounted)
VELMORA_RULE(IDownloadableContentPackage_ContentType, ValueProperty, &Package::get_ContentType)
VELMORA_RULE(IDownloadableContentPackage_DisplayName, StringProperty, &Package::get_DisplayName)
VELMORA_RULE(IDownloadableContentPackage_Description, StringProperty, &Package::get_Description)
VELMORA_RULE(IDownloadableContentPackage_Publisher, StringProperty, &Package::get_Publisher)
VELMORA_RULE(IDownloadableContentPackage_Version, StringProperty, &Package::get_Version)
VELMORA_DISPOSE(IDownloadableContentPackage_Dispose)

// IDownloadableContentPackageInstallCompletedEventArgs
VELMORA_RULE(IDownloadableContentPackageInstallCompletedEventArgs_OperationType, ValueProperty,
             &InstallArgs::get_OperationType)
VELMORA_RULE(IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName, StringProperty,
             &InstallArgs::get_PackageFullName)
VELMORA_DISPOSE(IDownloadableContentPackageInstallCompletedEventArgs_Dispose)
