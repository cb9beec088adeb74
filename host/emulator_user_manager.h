// The host's UserManager over the emulator's signed-in users (emulator/services/users.h).
#pragma once

#include "platform/host_interfaces.h"

namespace velmora::host {

class EmulatorUserManager final : public UserManager {
public:
    const char* GetInterfaceName() const override;
    uint32_t GetUserCount() override;
    // One reference for the caller, or null past the last user.
    PlatformUser* GetUserAt(uint32_t index) override;
    // One reference for the caller, or null past the last user.
    UserServicesContext* GetServicesContextAt(uint32_t index) override;
    // -1 when no signed-in user has the id.
    int32_t FindUserIndex(uint32_t userId) override;
};

}  // namespace velmora::host
