#include "host/emulator_user_manager.h"

#include "emulator/services/users.h"

namespace velmora::host {

const char* EmulatorUserManager::GetInterfaceName() const { return "UserManager"; }

uint32_t EmulatorUserManager::GetUserCount() { return emu::UserCount(); }

// An index past the end answers E_BOUNDS, and null here.
PlatformUser* EmulatorUserManager::GetUserAt(uint32_t index) {
    PlatformUser* user = nullptr;
    if (ABI::Failed(emu::GetUser(index, &user))) return nullptr;
    return user;
}

UserServicesContext* EmulatorUserManager::GetServicesContextAt(uint32_t index) {
    UserServicesContext* context = nullptr;
    if (ABI::Failed(emu::GetServicesContext(index, &context))) return nullptr;
    return context;
}

int32_t EmulatorUserManager::FindUserIndex(uint32_t userId) {
    const int32_t index = emu::FindUser(userId);
    return index < 0 ? -1 : index;
}

}  // namespace velmora::host
