// The emulator's clock: the one source of the time the services stamp on what they make (the grant,
// rights and start dates of granted items, the end of a subscription, the time of each ledger
// entry), and the text form of its dates. It runs real time until a test fixes it; from then on it
// stands still, moves only when told, and never backwards. Reset() takes it back to real time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "emulator/runtime/export.h"

namespace velmora::emu {

// Dates are platform ticks: 100 ns since 1601-01-01 UTC. The clock and the text form cover the
// platform's dates from 0 to kLastTicks, 9999-12-31T23:59:59.9999999Z (an end date that never comes).
inline constexpr int64_t kLastTicks = 2'650'467'743'999'999'999;
// Platform ticks at the Unix epoch, 1970-01-01T00:00:00Z.
inline constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;

// The time now, in platform ticks.
EMU_API int64_t NowTicks();
// Fixes the clock at `ticks`, where it stays until it is set or advanced again. While the clock runs
// real time any time in range is taken (a scenario may start in the past); once it is fixed, an
// earlier time is refused. Throws std::invalid_argument, naming the problem, and changes nothing for
// a time out of range or earlier than the fixed clock reads.
EMU_API void SetClock(int64_t ticks);
// Moves the clock forwards by `by`, fixing it at the real time first when it runs real time. Throws
// std::invalid_argument, and changes nothing, for a negative amount or one that passes kLastTicks.
EMU_API void AdvanceClock(std::chrono::microseconds by);
// Back to real time.
EMU_API void UseRealTime();
// The time the clock is fixed at, or nothing while it runs real time.
EMU_API std::optional<int64_t> FixedClock();

// Platform ticks of an ISO-8601 UTC text "2024-05-01T00:00:00Z", with up to 7 fraction digits;
// years 1601 to 9999. On failure `why` says what is wrong.
EMU_API std::optional<int64_t> ParseDate(std::string_view text, std::string* why);
// The ISO text of a tick count ("2024-05-01T16:30:00.5Z"), or nothing outside 0 to kLastTicks.
EMU_API std::optional<std::string> FormatDate(int64_t ticks);

}  // namespace velmora::emu
