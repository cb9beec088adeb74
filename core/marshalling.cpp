#include "core/marshalling.h"

#include <string_view>

namespace HaldenPlugin {

HStringOwner MakePlatformString(const char16_t* text) {
    HStringOwner s;
    if (text) Check(WindowsCreateString(text, uint32_t(std::char_traits<char16_t>::length(text)), s.Put()));
    return s;
}

}  // namespace HaldenPlugin
