// The downloadable-content group's manager: the one platform package manager of the process, the
// two install-notification callback pairs, and the target of the two install handlers.
#pragma once

#include "core/event_managers.h"
#include "core/notifications.h"
#include "platform/com_ptr.h"
#include "platform/deployment.h"

namespace HaldenPlugin {

using ABI::Windows::Xbox::Management::Deployment::IDownloadableContentPackageManager;

class DLC : public EventManager<DLC, DownloadableContentPackageInstallCompletedEvent,
                                IDownloadableContentPackageInstallCompletedEventArgsEvent> {
public:
    CallbackPair<ManagedInstallCallback> completed;
    CallbackPair<ManagedObjectCallback> details;

    // The package manager; throws Platform::InvalidCastException when the activated instance did
    // not provide the manager interface.
    IDownloadableContentPackageManager* Manager() const;

    // Both callbacks are chosen now, at delivery, not when the platform raised the event.
    void HandleEvent(const DownloadableContentPackageInstallCompletedEvent& event);
    void HandleEvent(const IDownloadableContentPackageInstallCompletedEventArgsEvent& event);

private:
    friend EventManager;
    // Activates the package manager, then registers the handlers. A failing activation throws
    // out of the first use, and the next use tries again.
    DLC();

    ABI::ComPtr<IDownloadableContentPackageManager> manager_;
};

}  // namespace HaldenPlugin
