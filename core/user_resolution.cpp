#include "core/user_resolution.h"

#include "core/module_state.h"

namespace HaldenPlugin {

UserManager* GetUserManager() {
    ModuleState& m = Module();
    if (HostInterfaces* registry = m.registry.load(std::memory_order_acquire))
        if (auto* manager = static_cast<UserManager*>(registry->GetInterface(UserManager::Id))) return manager;
    if (const ServiceTable* table = m.table.load(std::memory_order_acquire))
        return static_cast<UserManager*>(table->FindNonNull(UserManager::Id));
    return nullptr;
}

namespace {

template <class T, T* (UserManager::*Getter)(uint32_t)>
ABI::ComPtr<T> Resolve(uint32_t userId) {
    UserManager* manager = GetUserManager();
    if (!manager) return nullptr;
    const int32_t index = manager->FindUserIndex(userId);
    if (index < 0) return nullptr;
    return ABI::ComPtr<T>::Attach((manager->*Getter)(static_cast<uint32_t>(index)));
}

}  // namespace

ABI::ComPtr<UserServicesContext> ResolveServicesContext(uint32_t userId) {
    return Resolve<UserServicesContext, &UserManager::GetServicesContextAt>(userId);
}

ABI::ComPtr<PlatformUser> ResolvePlatformUser(uint32_t userId) {
    return Resolve<PlatformUser, &UserManager::GetUserAt>(userId);
}

}  // namespace HaldenPlugin
