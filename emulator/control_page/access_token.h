// The control page's access token: random bytes from the system's own source, and a comparison
// whose time does not depend on where two tokens differ.
#pragma once

#include <string>
#include <string_view>

namespace velmora::emu::control_page {

// 32 lowercase hex digits of 16 random bytes (getrandom on Linux, BCryptGenRandom on Windows).
// Throws std::runtime_error when the system gives none.
std::string NewAccessToken();
// Whether the two texts are equal, reading every byte of `given` up to the token's length whatever
// it holds, so that the answer's timing tells nothing about a prefix.
bool SameToken(std::string_view given, std::string_view token);

}  // namespace velmora::emu::control_page
