// Owners for references and strings, as the console SDK's helper headers provide them. Every
// hand-over is a named call: Detach() gives the reference away, Put() receives one.
#pragma once

#include <type_traits>
#include <utility>

#include "platform/hstring.h"

namespace ABI {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on p.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    // From an owner of a derived class: a new reference, or the moved one.
    template <class U>
        requires std::is_convertible_v<U*, T*>
    ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.Get())) {}
    template <class U>
        requires std::is_convertible_v<U*, T*>
    ComPtr(ComPtr<U>&& o) noexcept : p_(o.Detach()) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }

    // Adopts a reference the caller already owns.
    static ComPtr Attach(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    // Gives the reference away to the caller.
    [[nodiscard]] T* Detach() { return std::exchange(p_, nullptr); }
    // Out-parameter for a call that hands over one reference.
    T** Put() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        return p_->QueryInterface(IidOf<U>, reinterpret_cast<void**>(out->Put()));
    }

private:
    T* p_ = nullptr;
};

// Owns one platform string.
class HStringOwner {
public:
    HStringOwner() = default;
    HStringOwner(const HStringOwner&) = delete;
    HStringOwner& operator=(const HStringOwner&) = delete;
    HStringOwner(HStringOwner&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    HStringOwner& operator=(HStringOwner&& o) noexcept {
        std::swap(s_, o.s_);
        return *this;
    }
    ~HStringOwner() { WindowsDeleteString(s_); }
    static HStringOwner Attach(HSTRING s) {
        HStringOwner o;
        o.s_ = s;
        return o;
    }
    [[nodiscard]] HSTRING Detach() { return std::exchange(s_, nullptr); }
    HSTRING* Put() {
        WindowsDeleteString(std::exchange(s_, nullptr));
        return &s_;
    }
    HSTRING Get() const { return s_; }
    const char16_t* Raw(uint32_t* length = nullptr) const { return WindowsGetStringRawBuffer(s_, length); }

private:
    HSTRING s_ = nullptr;
};

}  // namespace ABI
