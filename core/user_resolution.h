// Resolution of a managed user id to the platform user or to the user's services context,
// through the host's UserManager.
#pragma once

#include "platform/com_ptr.h"
#include "platform/host_interfaces.h"
#include "platform/marketplace.h"

namespace HaldenPlugin {

// The kept registry first, then the service table; nothing is cached. A delivered entry that
// holds null is skipped, so a real user manager delivered after a null one is found.
UserManager* GetUserManager();

// One reference for the caller, or null when the user does not resolve.
ABI::ComPtr<UserServicesContext> ResolveServicesContext(uint32_t userId);
ABI::ComPtr<PlatformUser> ResolvePlatformUser(uint32_t userId);

}  // namespace HaldenPlugin
