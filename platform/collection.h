// The growable vector a title builds to hand a list to a platform call, compiled into the title
// from the console SDK's collection library: elements in order, duplicates kept, and a live
// read-only view that keeps its vector alive. Reads past the end answer E_BOUNDS. Not synchronized:
// one thread fills the vector before the platform reads it.
#pragma once

#include <new>
#include <vector>

#include "platform/collections.h"
#include "platform/com_ptr.h"
#include "platform/exceptions.h"
#include "platform/implements.h"

namespace Platform::Collections {

using ABI::HRESULT;
using ABI::Windows::Foundation::Collections::IVector;
using ABI::Windows::Foundation::Collections::IVectorView;

namespace detail {

// How the vector keeps an element of ABI type T: a value as it is, a string as its own reference.
template <class T>
struct Slot {
    using Stored = T;
    static HRESULT Store(T value, Stored* slot) {
        *slot = value;
        return ABI::S_OK;
    }
    static HRESULT Give(const Stored& slot, T* out) {
        *out = slot;
        return ABI::S_OK;
    }
    static bool Same(const Stored& slot, T value) { return slot == value; }
};
template <>
struct Slot<ABI::HSTRING> {
    using Stored = ABI::HStringOwner;
    static HRESULT Store(ABI::HSTRING value, Stored* slot) { return WindowsDuplicateString(value, slot->Put()); }
    static HRESULT Give(const Stored& slot, ABI::HSTRING* out) { return WindowsDuplicateString(slot.Get(), out); }
    static bool Same(const Stored& slot, ABI::HSTRING value) {
        uint32_t a = 0, b = 0;
        const char16_t* x = slot.Raw(&a);
        const char16_t* y = WindowsGetStringRawBuffer(value, &b);
        return std::u16string_view(x, a) == std::u16string_view(y, b);
    }
};

}  // namespace detail

template <class T>
class Vector final : public ABI::Implements<Vector<T>, IVector<T>> {
    using Slot = detail::Slot<T>;

public:
    static constexpr char16_t RuntimeClassName[] = u"Platform.Collections.Vector`1";

    HRESULT GetAt(uint32_t index, T* item) {
        if (index >= items_.size()) return ABI::E_BOUNDS;
        return Slot::Give(items_[index], item);
    }
    HRESULT get_Size(uint32_t* size) {
        *size = uint32_t(items_.size());
        return ABI::S_OK;
    }
    HRESULT GetView(IVectorView<T>** view);
    HRESULT IndexOf(T value, uint32_t* index, ABI::boolean* found) {
        *index = 0;
        *found = 0;
        for (uint32_t i = 0; i < items_.size(); ++i)
            if (Slot::Same(items_[i], value)) {
                *index = i;
                *found = 1;
                break;
            }
        return ABI::S_OK;
    }
    HRESULT SetAt(uint32_t index, T item) {
        if (index >= items_.size()) return ABI::E_BOUNDS;
        return Slot::Store(item, &items_[index]);
    }
    HRESULT InsertAt(uint32_t index, T item) {
        if (index > items_.size()) return ABI::E_BOUNDS;
        return Guarded([&] {
            typename Slot::Stored slot{};
            if (HRESULT hr = Slot::Store(item, &slot); ABI::Failed(hr)) return hr;
            items_.insert(items_.begin() + index, std::move(slot));
            return ABI::S_OK;
        });
    }
    HRESULT RemoveAt(uint32_t index) {
        if (index >= items_.size()) return ABI::E_BOUNDS;
        items_.erase(items_.begin() + index);
        return ABI::S_OK;
    }
    HRESULT Append(T item) { return InsertAt(uint32_t(items_.size()), item); }
    HRESULT RemoveAtEnd() { return items_.empty() ? ABI::E_BOUNDS : RemoveAt(uint32_t(items_.size() - 1)); }
    HRESULT Clear() {
        items_.clear();
        return ABI::S_OK;
    }
    HRESULT GetMany(uint32_t start, uint32_t capacity, T* items, uint32_t* actual) {
        *actual = 0;
        if (start > items_.size()) return ABI::E_BOUNDS;
        for (uint32_t i = start; i < items_.size() && *actual < capacity; ++i, ++*actual)
            if (HRESULT hr = Slot::Give(items_[i], &items[*actual]); ABI::Failed(hr)) return hr;
        return ABI::S_OK;
    }
    HRESULT ReplaceAll(uint32_t count, T* items) {
        Clear();
        for (uint32_t i = 0; i < count; ++i)
            if (HRESULT hr = Append(items[i]); ABI::Failed(hr)) return hr;
        return ABI::S_OK;
    }

private:
    // No exception leaves a platform call: a full heap is E_OUTOFMEMORY.
    template <class F>
    static HRESULT Guarded(F f) {
        try {
            return f();
        } catch (const std::bad_alloc&) {
            return ABI::E_OUTOFMEMORY;
        }
    }

    std::vector<typename Slot::Stored> items_;
};

template <class T>
class VectorView final : public ABI::Implements<VectorView<T>, IVectorView<T>> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Platform.Collections.VectorView`1";
    explicit VectorView(Vector<T>* owner) : owner_(owner) {}
    HRESULT GetAt(uint32_t index, T* item) { return owner_->GetAt(index, item); }
    HRESULT get_Size(uint32_t* size) { return owner_->get_Size(size); }
    HRESULT IndexOf(T value, uint32_t* index, ABI::boolean* found) { return owner_->IndexOf(value, index, found); }
    HRESULT GetMany(uint32_t start, uint32_t capacity, T* items, uint32_t* actual) {
        return owner_->GetMany(start, capacity, items, actual);
    }

private:
    ABI::ComPtr<Vector<T>> owner_;
};

template <class T>
HRESULT Vector<T>::GetView(IVectorView<T>** view) {
    *view = new (std::nothrow) VectorView<T>(this);
    return *view ? ABI::S_OK : ABI::E_OUTOFMEMORY;
}

// A new, empty vector with one reference for the caller; throws OutOfMemoryException, as the
// SDK's `ref new` does, when there is no memory for it.
template <class T>
ABI::ComPtr<IVector<T>> MakeVector() {
    auto* vector = new (std::nothrow) Vector<T>();
    if (!vector) throw OutOfMemoryException(ABI::E_OUTOFMEMORY);
    return ABI::ComPtr<IVector<T>>::Attach(vector);
}

}  // namespace Platform::Collections
