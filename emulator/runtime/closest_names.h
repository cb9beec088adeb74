// The known names nearest to a mistyped one, for the "did you mean" of the emulator's messages
// (scenario keys, call names).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::emu {

// The fewest insertions, deletions and substitutions of bytes that turn one text into the other.
size_t EditDistance(std::string_view a, std::string_view b);

// Up to three of `known` nearest to `name`, nearest first (ties in the order given): the nearest and
// those at most two edits farther. A name without a dot is also measured against the part of each
// known name after its last dot, so a method named without its interface finds it.
std::vector<std::string_view> ClosestNames(std::string_view name, std::span<const std::string_view> known);

// "\"A\"", "\"A\" or \"B\"", "\"A\", \"B\" or \"C\"".
std::string QuotedChoice(std::span<const std::string_view> names);

}  // namespace velmora::emu
