// Conversions between the plugin's UTF-16 text and the UTF-8 the host prints and hands to C.
#pragma once

#include <string>
#include <string_view>

namespace velmora::host {

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace velmora::host
