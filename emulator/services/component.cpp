// The emulated console services as a runtime component: the classes they make activatable, and
// the two entry points through which the system's activation reaches them. On Windows the system
// (combase) finds this module through the class's registration and calls DllGetActivationFactory;
// on Linux the emulator's runtime base calls it the same way.
#include "emulator/services/component.h"

#include <map>
#include <mutex>
#include <optional>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/strings.h"

namespace velmora::emu {
namespace {

std::mutex& ClassMutex() {
    static std::mutex m;
    return m;
}
struct Registered {
    FactoryFunction factory;
    // "RoGetActivationFactory:<class>", found once at registration; kKnownCalls names every class a
    // test finds in ActivatableClasses().
    std::optional<CallName> missingFactory;
};
std::map<std::u16string, Registered, std::less<>>& Classes() {
    static std::map<std::u16string, Registered, std::less<>> classes;
    return classes;
}

}  // namespace

void RegisterActivatableClass(std::u16string_view runtimeClass, FactoryFunction factory) {
    const auto missingFactory = CallName::Find("RoGetActivationFactory:" + ToUtf8(runtimeClass));
    std::lock_guard lock(ClassMutex());
    Classes()[std::u16string(runtimeClass)] = Registered{factory, missingFactory};
}

std::vector<std::u16string> ActivatableClasses() {
    std::lock_guard lock(ClassMutex());
    std::vector<std::u16string> names;
    for (const auto& [name, registered] : Classes()) names.push_back(name);
    return names;
}

}  // namespace velmora::emu

using namespace velmora::emu;

HRESULT DllGetActivationFactory(HSTRING activatableClassId, IActivationFactory** factory) {
    if (!factory) return E_POINTER;
    *factory = nullptr;
    const std::u16string name = ToU16(activatableClassId);
    std::optional<Registered> found;
    {
        std::lock_guard lock(ClassMutex());
        if (auto it = Classes().find(name); it != Classes().end()) found = it->second;
    }
    if (!found) return REGDB_E_CLASSNOTREG;
    if (found->missingFactory)
        if (HRESULT hr = TakeFault(*found->missingFactory)) return hr;
    return found->factory(factory);
}

// The services' state and worker threads live as long as the process.
HRESULT DllCanUnloadNow() { return S_FALSE; }
