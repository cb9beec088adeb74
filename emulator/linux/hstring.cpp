// The runtime's reference-counted strings, where the system has none: a duplicate shares the
// buffer, the null HSTRING is the empty string, and every live buffer is counted.
#include <atomic>
#include <cstdlib>
#include <new>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/recycled_blocks.h"
#include "platform/hstring.h"

using namespace ::ABI;

namespace velmora::emu {
namespace {

struct StringBuffer {
    std::atomic<uint32_t> refs;
    uint32_t length;
    char16_t text[1];
};

LiveCount liveStrings{1};

StringBuffer* BufferOf(HSTRING s) { return reinterpret_cast<StringBuffer*>(s); }
size_t BufferSize(uint32_t length) { return offsetof(StringBuffer, text) + (size_t(length) + 1) * sizeof(char16_t); }

}  // namespace

int64_t LiveStrings() { return liveStrings.Total(); }

}  // namespace velmora::emu

using namespace velmora::emu;

extern "C" {

HRESULT WindowsCreateString(const char16_t* source, uint32_t length, HSTRING* string) {
    if (!string) return E_POINTER;
    *string = nullptr;
    if (HRESULT hr = TakeFault("WindowsCreateString")) return hr;
    if (length == 0) return S_OK;
    if (!source) return E_POINTER;
    void* memory = AllocateBlock(BufferSize(length));
    if (!memory) return E_OUTOFMEMORY;
    auto* b = new (memory) StringBuffer{{1}, length, {}};
    std::memcpy(b->text, source, length * sizeof(char16_t));
    b->text[length] = u'\0';
    liveStrings.Add(1);
    *string = reinterpret_cast<HSTRING>(b);
    return S_OK;
}

HRESULT WindowsDuplicateString(HSTRING string, HSTRING* newString) {
    if (!newString) return E_POINTER;
    *newString = nullptr;
    if (HRESULT hr = TakeFault("WindowsDuplicateString")) return hr;
    if (string) BufferOf(string)->refs.fetch_add(1, std::memory_order_relaxed);
    *newString = string;
    return S_OK;
}

HRESULT WindowsDeleteString(HSTRING string) {
    if (!string) return S_OK;
    StringBuffer* b = BufferOf(string);
    if (b->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        const uint32_t length = b->length;
        b->~StringBuffer();
        FreeBlock(b, BufferSize(length));
        liveStrings.Add(-1);
    }
    return S_OK;
}

const char16_t* WindowsGetStringRawBuffer(HSTRING string, uint32_t* length) {
    if (!string) {
        if (length) *length = 0;
        return u"";
    }
    if (length) *length = BufferOf(string)->length;
    return BufferOf(string)->text;
}
}
