// Reference counting for the few objects the plugin itself hands to the platform: completed
// handlers and event delegates.
#pragma once

#include <atomic>

#include "platform/com_base.h"

namespace HaldenPlugin {

template <class Derived, class Interface>
class ComObject : public Interface {
public:
    ABI::HRESULT QueryInterface(const ABI::Guid& iid, void** object) override {
        if (!object) return ABI::E_POINTER;
        if (iid == Interface::IID || iid == ABI::IUnknown::IID) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return ABI::S_OK;
        }
        *object = nullptr;
        return ABI::E_NOINTERFACE;
    }
    uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t Release() override {
        const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    std::atomic<uint32_t> refs_{1};
};

}  // namespace HaldenPlugin
