// Foundation value types and classes used by the console services: dates, URIs, event delegates.
#pragma once

#include "platform/com_base.h"

namespace ABI::Windows::Foundation {

// 100-nanosecond ticks since 1601-01-01 00:00:00.
struct DateTime {
    int64_t UniversalTime;
};

struct IUriRuntimeClass : IInspectable {
    static constexpr Guid IID{0x9E365E57, 0x48B2, 0x4160, {0x95, 0x6F, 0xC7, 0x38, 0x51, 0x20, 0xBB, 0xFC}};
    virtual HRESULT get_AbsoluteUri(HSTRING* value) = 0;
    virtual HRESULT get_DisplayUri(HSTRING* value) = 0;
    virtual HRESULT get_Host(HSTRING* value) = 0;
    virtual HRESULT get_Path(HSTRING* value) = 0;
    virtual HRESULT get_SchemeName(HSTRING* value) = 0;

protected:
    ~IUriRuntimeClass() = default;
};

template <class TArgs>
struct IEventHandler : IUnknown {
    static constexpr Guid IID = MixGuid({0x9DE1C535, 0x6AE1, 0x11E0, {0x84, 0xE1, 0x18, 0xA9, 0x05, 0xBC, 0xC5, 0x3F}},
                                        SignatureOf<TArgs>::value);
    virtual HRESULT Invoke(IInspectable* sender, TArgs args) = 0;

protected:
    ~IEventHandler() = default;
};

}  // namespace ABI::Windows::Foundation
