// The emulated console services as a runtime component: the classes they make activatable, and
// the two entry points through which the system's activation reaches them. On Windows the system
// (combase) finds this module through the class's registration and calls DllGetActivationFactory;
// on Linux the emulator's runtime base calls it the same way.
#include "emulator/component.h"

#include <map>
#include <mutex>

namespace velmora::emu {
namespace {

std::mutex& ClassMutex() {
    static std::mutex m;
    return m;
}
std::map<std::u16string, FactoryFunction, std::less<>>& Classes() {
    static std::map<std::u16string, FactoryFunction, std::less<>> classes;
    return classes;
}

}  // namespace

void RegisterActivatableClass(std::u16string_view runtimeClass, FactoryFunction factory) {
    std::lock_guard lock(ClassMutex());
    Classes()[std::u16string(runtimeClass)] = factory;
}

std::vector<std::u16string> ActivatableClasses() {
    std::lock_guard lock(ClassMutex());
    std::vector<std::u16string> names;
    for (const auto& [name, factory] : Classes()) names.push_back(name);
    return names;
}

}  // namespace velmora::emu

using namespace velmora::emu;

HRESULT DllGetActivationFactory(HSTRING activatableClassId, IActivationFactory** factory) {
    if (!factory) return E_POINTER;
    *factory = nullptr;
    const std::u16string name = ToU16(activatableClassId);
    if (HRESULT hr = TakeFault("RoGetActivationFactory:" + ToUtf8(name))) return hr;
    FactoryFunction make = nullptr;
    {
        std::lock_guard lock(ClassMutex());
        if (auto it = Classes().find(name); it != Classes().end()) make = it->second;
    }
    return make ? make(factory) : REGDB_E_CLASSNOTREG;
}

// The services' state and worker threads live as long as the process.
HRESULT DllCanUnloadNow() { return S_FALSE; }
