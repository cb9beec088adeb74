// Activation of runtime classes by name.
#pragma once

#include "platform/com_base.h"

namespace ABI {

struct IActivationFactory : IInspectable {
    static constexpr Guid IID{0x00000035, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    virtual HRESULT ActivateInstance(IInspectable** instance) = 0;

protected:
    ~IActivationFactory() = default;
};

}  // namespace ABI

extern "C" {
// Answers the activation factory of the named runtime class for the given interface;
// an unknown class answers REGDB_E_CLASSNOTREG.
PLATFORM_RUNTIME_API ABI::HRESULT RoGetActivationFactory(ABI::HSTRING activatableClassId, const ABI::Guid& iid,
                                                         void** factory);
}
