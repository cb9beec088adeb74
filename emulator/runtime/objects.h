// The emulator's objects: IUnknown and IInspectable over the interfaces an object implements, with
// real reference counts (an object dies at its last Release), each object counted among the live
// objects and kept in a recycled block (AllocateObject).
#pragma once

#include <cstddef>
#include <new>
#include <utility>

#include "emulator/runtime/live_counts.h"
#include "platform/com_ptr.h"
#include "platform/implements.h"

namespace velmora::emu {

using namespace ::ABI;

// Implements IUnknown and IInspectable over the listed interfaces, counted among the live objects
// from its allocation to its release. Derived names its runtime class with
// `static constexpr char16_t RuntimeClassName[]`.
template <class Derived, class First, class... Rest>
class RuntimeObject : public Implements<Derived, First, Rest...> {
public:
    static void* operator new(size_t size) {
        if (void* block = AllocateObject(size)) return block;
        throw std::bad_alloc();
    }
    static void operator delete(void* block, size_t size) { FreeObject(block, size); }
};

// Creates an object holding its first reference.
template <class T, class... Args>
ComPtr<T> Make(Args&&... args) {
    return ComPtr<T>::Attach(new T(std::forward<Args>(args)...));
}

}  // namespace velmora::emu
