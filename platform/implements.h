// Reference counting and interface queries for the objects a module implements itself (completed
// handlers, event delegates, collections), as the console SDK's header-level template library
// provides them. An object starts with one reference, which its creator owns, and dies at its
// last Release.
#pragma once

#include <atomic>
#include <string_view>
#include <type_traits>

#include "platform/hstring.h"

namespace ABI {

// Derived implements First and Rest; IUnknown, and IInspectable when First derives from it,
// answer for First. An inspectable Derived names its runtime class with a static
// `RuntimeClassName`. No member says `override`: which of them override depends on the interfaces.
template <class Derived, class First, class... Rest>
class Implements : public First, public Rest... {
    static constexpr bool kInspectable = std::is_base_of_v<IInspectable, First>;

public:
    HRESULT QueryInterface(const Guid& iid, void** object) {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IUnknown::IID || (kInspectable && iid == IInspectable::IID) || iid == First::IID) {
            *object = static_cast<First*>(this);
        } else {
            (void)((iid == Rest::IID ? (*object = static_cast<Rest*>(this), true) : false) || ...);
        }
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    uint32_t AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t Release() {
        const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }
    HRESULT GetIids(uint32_t* count, Guid** iids) {
        *count = 0;
        *iids = nullptr;
        return S_OK;
    }
    HRESULT GetRuntimeClassName(HSTRING* name) {
        const std::u16string_view n = Derived::RuntimeClassName;
        return WindowsCreateString(n.data(), uint32_t(n.size()), name);
    }
    HRESULT GetTrustLevel(TrustLevel* level) {
        *level = TrustLevel::BaseTrust;
        return S_OK;
    }
    uint32_t RefCount() const { return refs_.load(); }

protected:
    Implements() = default;
    virtual ~Implements() = default;

private:
    std::atomic<uint32_t> refs_{1};
};

}  // namespace ABI
