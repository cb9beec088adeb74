// How values cross between managed code and platform objects: one generic routine per rule.
// An export is one line naming its rule and the interface member it reads; the value type is
// deduced from the member, so a line cannot disagree with the interface.
//
// Every routine accepts a null handle and answers the rule's empty value (0, null, or the empty
// text) without reading through it.
#pragma once

#include <cstddef>
#include <type_traits>

#include "core/errors.h"
#include "platform/collections.h"
#include "platform/com_ptr.h"
#include "platform/foundation.h"
#include "velmora/velmora.h"

namespace HaldenPlugin {

using ABI::ComPtr;
using ABI::HRESULT;
using ABI::HSTRING;
using ABI::HStringOwner;
using ABI::Windows::Foundation::Collections::IVectorView;

template <class M>
struct MemberTraits;
template <class I, class T>
struct MemberTraits<HRESULT (I::*)(T*)> {
    using Interface = I;
    using Value = T;
};
template <auto Member>
using InterfaceOf = typename MemberTraits<decltype(Member)>::Interface;
template <auto Member>
using ValueOf = typename MemberTraits<decltype(Member)>::Value;

template <class T>
struct VectorTraits;
template <class E>
struct VectorTraits<IVectorView<E>*> {
    using Element = E;
};
// The element type of the collection a member answers.
template <auto Member>
using ElementOf = typename VectorTraits<ValueOf<Member>>::Element;

// Reads one property of the object behind a handle; a failing HRESULT throws. An object or
// string value comes with the reference the platform handed over. The value is returned from the
// branch that passed the sign test, so GCC loads it once, straight into the return register.
template <auto Getter>
ValueOf<Getter> Read(ObjectHandle handle) {
    ValueOf<Getter> value{};
    if (const HRESULT hr = (static_cast<InterfaceOf<Getter>*>(handle)->*Getter)(&value); hr >= 0) [[likely]]
        return value;
    else
        ThrowForHResult(hr);
}

// Releases the one reference a handle owns.
inline void Dispose(ObjectHandle handle) {
    if (handle) static_cast<ABI::IUnknown*>(handle)->Release();
}

// One string read. Each value lives in this frame, whose address the platform has seen, so the
// compiler reloads a value after a platform call instead of saving a register for it across the
// call: a string read costs the platform's calls and little more. `source` is the object the
// string was read from when it is released with the string (a URI), else nothing.
template <class Source = std::nullptr_t>
struct StringRead {
    [[no_unique_address]] Source source{};
    HSTRING read = nullptr;
    HSTRING duplicate = nullptr;
    const char16_t* raw;

    [[noreturn, gnu::noinline, gnu::cold]] void Fail(HRESULT hr) {
        WindowsDeleteString(read);
        if constexpr (!std::is_null_pointer_v<Source>) {
            if (source) source->Release();
        }
        ThrowForHResult(hr);
    }
};

// The text of `s.read`, borrowed: the object that handed out the string keeps its value, so the
// buffer outlives the two releases here. Never null. Releases `s.read`; the answer is `s.raw`.
template <class Source>
inline void BorrowString(StringRead<Source>& s) {
    if (!s.read) {
        s.raw = u"";
        return;
    }
    if (const HRESULT hr = WindowsDuplicateString(s.read, &s.duplicate); hr < 0) [[unlikely]]
        s.Fail(hr);
    s.raw = WindowsGetStringRawBuffer(s.duplicate, nullptr);
    WindowsDeleteString(s.duplicate);
    WindowsDeleteString(s.read);
}

// Text argument to platform string for the duration of one call. Null is the empty string and
// allocates nothing.
HStringOwner MakePlatformString(const char16_t* text);

// 100-ns ticks since 1601 to 100-ns ticks since 0001, clamped at the managed maximum. The test is
// made on the raw value, signed; there is no lower clamp.
constexpr int64_t ToManagedTicks(int64_t raw) {
    constexpr int64_t kManagedMax = 3155378975999999999;  // 9999-12-31 23:59:59.9999999
    constexpr int64_t kOffset = 504911232000000000;       // 0001-01-01 to 1601-01-01
    return raw < kManagedMax ? raw + kOffset : kManagedMax;
}

// ---- property rules

template <auto Getter>
const char16_t* StringProperty(ObjectHandle handle) {
    if (!handle) return u"";
    StringRead s;
    if (const HRESULT hr = (static_cast<InterfaceOf<Getter>*>(handle)->*Getter)(&s.read); hr < 0) [[unlikely]]
        ThrowForHResult(hr);
    BorrowString(s);
    return s.raw;
}

// A URL property: the absolute text of the URI object. An absent URI reads as the empty text.
template <auto Getter>
const char16_t* UriStringProperty(ObjectHandle handle) {
    if (!handle) return u"";
    StringRead<ValueOf<Getter>> s;
    if (const HRESULT hr = (static_cast<InterfaceOf<Getter>*>(handle)->*Getter)(&s.source); hr < 0) [[unlikely]]
        ThrowForHResult(hr);
    if (!s.source) return u"";
    if (const HRESULT hr = s.source->get_AbsoluteUri(&s.read); hr < 0) [[unlikely]]
        s.Fail(hr);
    BorrowString(s);
    s.source->Release();
    return s.raw;
}

// u32, f64 and enumerations (as their 32-bit value), unchanged.
template <auto Getter>
auto ValueProperty(ObjectHandle handle) {
    using T = ValueOf<Getter>;
    using Out = typename std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>, std::type_identity<T>>::type;
    if (!handle) return Out{};
    return static_cast<Out>(Read<Getter>(handle));
}

template <auto Getter>
int64_t DateProperty(ObjectHandle handle) {
    if (!handle) return 0;
    return ToManagedTicks(Read<Getter>(handle).UniversalTime);
}

// 1 only when the platform's boolean byte is exactly 1.
template <auto Getter>
int32_t BoolProperty(ObjectHandle handle) {
    if (!handle) return 0;
    return Read<Getter>(handle) == 1 ? 1 : 0;
}

// An object or collection: the caller receives the reference the platform handed over.
template <auto Getter>
ObjectHandle ObjectProperty(ObjectHandle handle) {
    if (!handle) return nullptr;
    return Read<Getter>(handle);
}

// ---- collection rules: no bounds test of our own; the platform's E_BOUNDS throws

template <class E>
uint32_t Length(ObjectHandle collection) {
    if (!collection) return 0;
    return Read<&IVectorView<E>::get_Size>(collection);
}

template <class E>
auto GetAt(ObjectHandle collection, uint32_t index) {
    using Out = std::conditional_t<std::is_same_v<E, HSTRING>, const char16_t*, ObjectHandle>;
    if (!collection) return Out{};
    if constexpr (std::is_same_v<E, HSTRING>) {
        StringRead s;
        Check(static_cast<IVectorView<E>*>(collection)->GetAt(index, &s.read));
        BorrowString(s);
        return s.raw;
    } else {
        E element{};
        if (const HRESULT hr = static_cast<IVectorView<E>*>(collection)->GetAt(index, &element); hr >= 0) [[likely]]
            return static_cast<ObjectHandle>(element);
        else
            ThrowForHResult(hr);
    }
}

// A collection property read anew for each call and released again.
template <auto Getter>
uint32_t ChildLength(ObjectHandle handle) {
    if (!handle) return 0;
    auto items = ComPtr<std::remove_pointer_t<ValueOf<Getter>>>::Attach(Read<Getter>(handle));
    return Length<ElementOf<Getter>>(items.Get());
}

template <auto Getter>
auto ChildGetAt(ObjectHandle handle, uint32_t index) {
    using Out = decltype(GetAt<ElementOf<Getter>>(nullptr, 0));
    if (!handle) return Out{};
    auto items = ComPtr<std::remove_pointer_t<ValueOf<Getter>>>::Attach(Read<Getter>(handle));
    return GetAt<ElementOf<Getter>>(items.Get(), index);
}

}  // namespace HaldenPlugin

// One-line export definitions. The public header declares each export from the export list; a
// definition whose rule answers a different type does not compile.
#define VELMORA_RULE(name, rule, member)                                                      \
    extern "C" auto name(ObjectHandle handle)->decltype(HaldenPlugin::rule<member>(handle)) { \
        return HaldenPlugin::rule<member>(handle);                                            \
    }
#define VELMORA_CHILD_GET_AT(name, member)                            \
    extern "C" auto name(ObjectHandle handle, uint32_t index)         \
        ->decltype(HaldenPlugin::ChildGetAt<member>(handle, index)) { \
        return HaldenPlugin::ChildGetAt<member>(handle, index);       \
    }
// _Length and _GetAt of a collection of E.
#define VELMORA_COLLECTION_OF(lengthName, getAtName, E)                                                     \
    extern "C" uint32_t lengthName(ObjectHandle collection) { return HaldenPlugin::Length<E>(collection); } \
    extern "C" auto getAtName(ObjectHandle collection, uint32_t index)                                      \
        ->decltype(HaldenPlugin::GetAt<E>(collection, index)) {                                             \
        return HaldenPlugin::GetAt<E>(collection, index);                                                   \
    }
// _Length and _GetAt of the collection that `member` answers.
#define VELMORA_COLLECTION(lengthName, getAtName, member) \
    VELMORA_COLLECTION_OF(lengthName, getAtName, HaldenPlugin::ElementOf<member>)
#define VELMORA_DISPOSE(name) \
    extern "C" void name(ObjectHandle handle) { HaldenPlugin::Dispose(handle); }
