// Read-only vector views and growable vectors.
#pragma once

#include "platform/com_base.h"

namespace ABI::Windows::Foundation::Collections {

// Element getters hand out a new reference (interface elements) or a new string (HSTRING
// elements); an index at or past the end answers E_BOUNDS.
template <class T>
struct IVectorView : IInspectable {
    static constexpr Guid IID = MixGuid({0xBBE1FA4C, 0xB0E3, 0x4583, {0xBA, 0xEF, 0x1F, 0x1B, 0x2E, 0x48, 0x3E, 0x56}},
                                        SignatureOf<T>::value);
    using ElementType = T;
    virtual HRESULT GetAt(uint32_t index, T* item) = 0;
    virtual HRESULT get_Size(uint32_t* size) = 0;
    virtual HRESULT IndexOf(T value, uint32_t* index, boolean* found) = 0;
    virtual HRESULT GetMany(uint32_t startIndex, uint32_t capacity, T* items, uint32_t* actual) = 0;

protected:
    ~IVectorView() = default;
};

template <class T>
struct IVector : IInspectable {
    static constexpr Guid IID = MixGuid({0x913337E9, 0x11A1, 0x4345, {0xA3, 0xA2, 0x4E, 0x7F, 0x95, 0x6E, 0x22, 0x2D}},
                                        SignatureOf<T>::value);
    using ElementType = T;
    virtual HRESULT GetAt(uint32_t index, T* item) = 0;
    virtual HRESULT get_Size(uint32_t* size) = 0;
    virtual HRESULT GetView(IVectorView<T>** view) = 0;
    virtual HRESULT IndexOf(T value, uint32_t* index, boolean* found) = 0;
    virtual HRESULT SetAt(uint32_t index, T item) = 0;
    virtual HRESULT InsertAt(uint32_t index, T item) = 0;
    virtual HRESULT RemoveAt(uint32_t index) = 0;
    virtual HRESULT Append(T item) = 0;
    virtual HRESULT RemoveAtEnd() = 0;
    virtual HRESULT Clear() = 0;
    virtual HRESULT GetMany(uint32_t startIndex, uint32_t capacity, T* items, uint32_t* actual) = 0;
    virtual HRESULT ReplaceAll(uint32_t count, T* items) = 0;

protected:
    ~IVector() = default;
};

}  // namespace ABI::Windows::Foundation::Collections
