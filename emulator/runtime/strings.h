// Conversions between platform strings (HSTRING), UTF-16 and UTF-8, for the emulated services, the
// host, tools and tests.
#pragma once

#include <string>
#include <string_view>

#include "emulator/runtime/export.h"
#include "platform/com_ptr.h"

namespace velmora::emu {

EMU_API ::ABI::HStringOwner MakeString(std::u16string_view text);
EMU_API std::u16string ToU16(::ABI::HSTRING s);
EMU_API std::string ToUtf8(std::u16string_view text);
EMU_API std::u16string FromUtf8(std::string_view text);

}  // namespace velmora::emu
