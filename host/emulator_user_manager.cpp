#include "host/emulator_user_manager.h"

#include "emulator/users.h"

namespace velmora::host {

const char* EmulatorUserManager::GetInterfaceName() const { return "UserManager"; }

uint32_t EmulatorUserManager::GetUserCount() { return emu::UserCount(); }

PlatformUser* EmulatorUserManager::GetUserAt(uint32_t index) {
    if (index >= emu::UserCount()) return nullptr;
    PlatformUser* user = nullptr;
    if (ABI::Failed(emu::GetUser(index, &user))) return nullptr;
    return user;
}

UserServicesContext* EmulatorUserManager::GetServicesContextAt(uint32_t index) {
    if (index >= emu::UserCount()) return nullptr;
    UserServicesContext* context = nullptr;
    if (ABI::Failed(emu::GetServicesContext(index, &context))) return nullptr;
    return context;
}

int32_t EmulatorUserManager::FindUserIndex(uint32_t userId) {
    const int32_t index = emu::FindUser(userId);
    return index < 0 ? -1 : index;
}

}  // namespace velmora::host
