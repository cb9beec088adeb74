// A managed array turned into a platform vector and the read-only view the platform call takes,
// in array order, duplicates and empty entries kept. Both references are released when the
// export returns; the platform keeps its own for as long as it needs the list.
#pragma once

#include "core/marshalling.h"
#include "platform/collection.h"

namespace HaldenPlugin {

using ABI::Windows::Foundation::Collections::IVector;

template <class T>
struct VectorArgument {
    ComPtr<IVector<T>> vector;
    ComPtr<IVectorView<T>> view;
};

inline HSTRING ToElement(const HStringOwner& s) { return s.Get(); }
inline uint32_t ToElement(uint32_t v) { return v; }
inline HStringOwner ToOwned(const char16_t* text) { return MakePlatformString(text); }
inline uint32_t ToOwned(uint32_t v) { return v; }

template <class T, class M>
VectorArgument<T> MakeVectorArgument(const M* values, int32_t count) {
    VectorArgument<T> arg;
    arg.vector = Platform::Collections::MakeVector<T>();
    for (int32_t i = 0; i < count; ++i) {
        const auto element = ToOwned(values[i]);
        Check(arg.vector->Append(ToElement(element)));
    }
    Check(arg.vector->GetView(arg.view.Put()));
    return arg;
}

}  // namespace HaldenPlugin
