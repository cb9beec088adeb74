#include "dlc/dlc_manager.h"

#include "core/activation.h"

namespace HaldenPlugin {

using namespace ABI::Windows::Xbox::Management::Deployment;

DLC::DLC() {
    auto factory = GetActivationFactory<ABI::IActivationFactory>(RuntimeClass_DownloadableContentPackageManager);
    ComPtr<ABI::IInspectable> instance;
    Check(factory->ActivateInstance(instance.Put()));
    if (instance) instance.As(&manager_);  // an instance without the interface leaves the field null
    RegisterHandlers();
}

IDownloadableContentPackageManager* DLC::Manager() const {
    if (!manager_) ThrowForHResult(ABI::E_NOINTERFACE);
    return manager_.Get();
}

void DLC::HandleEvent(const DownloadableContentPackageInstallCompletedEvent&) {
    const auto [callback, userData] = completed.Get();
    if (callback) callback(userData);
}

void DLC::HandleEvent(const IDownloadableContentPackageInstallCompletedEventArgsEvent& event) {
    const auto [callback, userData] = details.Get();
    if (!callback) return Dispose(event.result);  // no one takes the reference the record carries
    callback(0, event.result, userData);
}

}  // namespace HaldenPlugin
