// Read-only vectors (IVectorView) with the console's semantics (E_BOUNDS past the end), how a
// vector or an operation holds a value of an ABI type, and reading a view's elements into a
// std::vector.
#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/objects.h"
#include "emulator/runtime/recycled_blocks.h"
#include "emulator/runtime/strings.h"
#include "platform/collections.h"

namespace velmora::emu {

using ::ABI::Windows::Foundation::Collections::IVector;
using ::ABI::Windows::Foundation::Collections::IVectorView;

template <class T>
struct Slot {  // how a vector stores one element of ABI type T
    using Stored = T;
    static Stored Store(T v) { return v; }
    static T Give(const Stored& s) { return s; }
    static T Peek(const Stored& s) { return s; }
    static bool Same(const Stored& s, T v) { return s == v; }
};
template <class I>
struct Slot<I*> {
    using Stored = ComPtr<I>;
    static Stored Store(I* v) { return ComPtr<I>(v); }
    static I* Give(const Stored& s) {
        if (s) s->AddRef();
        return s.Get();
    }
    static I* Peek(const Stored& s) { return s.Get(); }
    static bool Same(const Stored& s, I* v) { return s.Get() == v; }
};
template <>
struct Slot<HSTRING> {
    using Stored = std::shared_ptr<HStringOwner>;
    static Stored Store(HSTRING v) {
        auto o = std::make_shared<HStringOwner>();
        WindowsDuplicateString(v, o->Put());
        return o;
    }
    static HSTRING Give(const Stored& s) {
        HSTRING out = nullptr;
        WindowsDuplicateString(s->Get(), &out);
        return out;
    }
    static HSTRING Peek(const Stored& s) { return s ? s->Get() : nullptr; }
    static bool Same(const Stored& s, HSTRING v) { return ToU16(s->Get()) == ToU16(v); }
};

template <class T>
using Elements = std::vector<typename Slot<T>::Stored, BlockAllocator<typename Slot<T>::Stored>>;

template <class T>
HRESULT ElementAt(const Elements<T>& e, uint32_t index, T* item) {
    if (!item) return E_POINTER;
    if (index >= e.size()) return E_BOUNDS;
    *item = Slot<T>::Give(e[index]);
    return S_OK;
}

template <class T>
HRESULT ElementsMany(const Elements<T>& e, uint32_t start, uint32_t capacity, T* items, uint32_t* actual) {
    if (start > e.size()) return E_BOUNDS;
    uint32_t n = 0;
    for (; n < capacity && start + n < e.size(); ++n) items[n] = Slot<T>::Give(e[start + n]);
    *actual = n;
    return S_OK;
}

template <class T>
HRESULT ElementIndex(const Elements<T>& e, T value, uint32_t* index, boolean* found) {
    for (uint32_t i = 0; i < e.size(); ++i)
        if (Slot<T>::Same(e[i], value)) {
            *index = i;
            *found = 1;
            return S_OK;
        }
    *index = 0;
    *found = 0;
    return S_OK;
}

// A read-only vector whose elements are fixed at creation. Element reads can be made to fail
// with the fault names "IVectorView.GetAt" and "IVectorView.get_Size".
template <class T>
class VectorView : public RuntimeObject<VectorView<T>, IVectorView<T>> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Foundation.Collections.IVectorView`1";
    explicit VectorView(Elements<T> elements) : elements_(std::move(elements)) {}
    HRESULT GetAt(uint32_t index, T* item) override {
        if (HRESULT hr = TakeFault("IVectorView.GetAt")) return hr;
        return ElementAt<T>(elements_, index, item);
    }
    HRESULT get_Size(uint32_t* size) override {
        if (HRESULT hr = TakeFault("IVectorView.get_Size")) return hr;
        *size = uint32_t(elements_.size());
        return S_OK;
    }
    HRESULT IndexOf(T value, uint32_t* index, boolean* found) override {
        return ElementIndex<T>(elements_, value, index, found);
    }
    HRESULT GetMany(uint32_t start, uint32_t capacity, T* items, uint32_t* actual) override {
        return ElementsMany<T>(elements_, start, capacity, items, actual);
    }
    const Elements<T>& Items() const { return elements_; }

private:
    Elements<T> elements_;
};

template <class T>
ComPtr<IVectorView<T>> MakeVectorView(const std::vector<T>& values) {
    Elements<T> e;
    e.reserve(values.size());
    for (const T& v : values) e.push_back(Slot<T>::Store(v));
    return ComPtr<IVectorView<T>>::Attach(new VectorView<T>(std::move(e)));
}
template <class I>
ComPtr<IVectorView<I*>> MakeObjectVectorView(Elements<I*> values) {
    return ComPtr<IVectorView<I*>>::Attach(new VectorView<I*>(std::move(values)));
}
template <class I>
ComPtr<IVectorView<I*>> MakeObjectVectorView(std::vector<ComPtr<I>> values) {
    return MakeObjectVectorView<I>(
        Elements<I*>(std::make_move_iterator(values.begin()), std::make_move_iterator(values.end())));
}
EMU_API ComPtr<IVectorView<HSTRING>> MakeStringVectorView(const std::vector<std::u16string>& values);

// Reads every element of a view into a std::vector (used by the services to read their arguments).
EMU_API HRESULT ReadStrings(IVectorView<HSTRING>* view, std::vector<std::u16string>* out);
EMU_API HRESULT ReadUInt32s(IVectorView<uint32_t>* view, std::vector<uint32_t>* out);

}  // namespace velmora::emu
