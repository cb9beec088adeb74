// Vectors of platform strings, and reading a view's elements.
#include "emulator/runtime/vectors.h"

namespace velmora::emu {

ComPtr<IVectorView<HSTRING>> MakeStringVectorView(const std::vector<std::u16string>& values) {
    Elements<HSTRING> e;
    e.reserve(values.size());
    for (const auto& v : values) {
        auto s = std::make_shared<HStringOwner>(MakeString(v));
        e.push_back(std::move(s));
    }
    return ComPtr<IVectorView<HSTRING>>::Attach(new VectorView<HSTRING>(std::move(e)));
}

HRESULT ReadStrings(IVectorView<HSTRING>* view, std::vector<std::u16string>* out) {
    out->clear();
    if (!view) return S_OK;
    uint32_t size = 0;
    if (HRESULT hr = view->get_Size(&size); Failed(hr)) return hr;
    for (uint32_t i = 0; i < size; ++i) {
        HStringOwner s;
        if (HRESULT hr = view->GetAt(i, s.Put()); Failed(hr)) return hr;
        out->push_back(ToU16(s.Get()));
    }
    return S_OK;
}

HRESULT ReadUInt32s(IVectorView<uint32_t>* view, std::vector<uint32_t>* out) {
    out->clear();
    if (!view) return S_OK;
    uint32_t size = 0;
    if (HRESULT hr = view->get_Size(&size); Failed(hr)) return hr;
    out->resize(size);
    for (uint32_t i = 0; i < size; ++i)
        if (HRESULT hr = view->GetAt(i, &(*out)[i]); Failed(hr)) return hr;
    return S_OK;
}

}  // namespace velmora::emu
