// The runtime's reference-counted strings. The null HSTRING is the empty string.
#pragma once

#include "platform/com_base.h"

extern "C" {
PLATFORM_RUNTIME_API ABI::HRESULT WindowsCreateString(const char16_t* source, uint32_t length, ABI::HSTRING* string);
PLATFORM_RUNTIME_API ABI::HRESULT WindowsDuplicateString(ABI::HSTRING string, ABI::HSTRING* newString);
PLATFORM_RUNTIME_API ABI::HRESULT WindowsDeleteString(ABI::HSTRING string);
PLATFORM_RUNTIME_API const char16_t* WindowsGetStringRawBuffer(ABI::HSTRING string, uint32_t* length);
}
