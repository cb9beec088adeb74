// The emulator's clock, and its dates as text.
#include "emulator/services/clock.h"

#include <atomic>
#include <cstdio>
#include <limits>
#include <mutex>
#include <stdexcept>

#include "emulator/runtime/reset.h"

namespace velmora::emu {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsPerDay = 86'400;
constexpr int64_t kRealTime = std::numeric_limits<int64_t>::min();

// The fixed time, or kRealTime; read without the lock, written under it.
std::atomic<int64_t> fixed{kRealTime};
std::mutex clockMutex;

const bool resetRegistered = [] {
    OnReset(UseRealTime);
    return true;
}();

int64_t RealTicks() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochTicks + std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
}

std::string Shown(int64_t ticks) {
    if (auto text = FormatDate(ticks)) return *text;
    return std::to_string(ticks) + " ticks";
}

[[noreturn]] void Refuse(const std::string& problem) { throw std::invalid_argument(problem); }

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    int64_t year;
    int month;
    int day;
};

Civil CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2), m, d};
}

int DaysInMonth(int64_t year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number in text[at, at + n), which must be all digits.
std::optional<int> Digits(std::string_view text, size_t at, size_t n) {
    if (at + n > text.size()) return std::nullopt;
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (!IsDigit(text[i])) return std::nullopt;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

}  // namespace

int64_t NowTicks() {
    const int64_t ticks = fixed.load(std::memory_order_acquire);
    return ticks == kRealTime ? RealTicks() : ticks;
}

void SetClock(int64_t ticks) {
    if (ticks < 0 || ticks > kLastTicks)
        Refuse("the time " + std::to_string(ticks) +
               " ticks is outside the platform's dates, 1601-01-01T00:00:00Z to 9999-12-31T23:59:59.9999999Z");
    std::lock_guard lock(clockMutex);
    const int64_t now = fixed.load();
    if (now != kRealTime && ticks < now)
        Refuse("the clock does not go back: it reads " + Shown(now) + ", and " + Shown(ticks) +
               " is earlier (UseRealTime or a reset lets a test start again)");
    fixed.store(ticks, std::memory_order_release);
}

void AdvanceClock(std::chrono::microseconds by) {
    if (by.count() < 0)
        Refuse("a clock advance of " + std::to_string(by.count()) + " us; the clock only moves forwards");
    std::lock_guard lock(clockMutex);
    const int64_t now = NowTicks();
    if (by.count() > (kLastTicks - now) / 10)
        Refuse("advancing the clock by " + std::to_string(by.count()) + " us from " + Shown(now) +
               " passes 9999-12-31T23:59:59.9999999Z, the last platform date");
    fixed.store(now + by.count() * 10, std::memory_order_release);
}

void UseRealTime() {
    std::lock_guard lock(clockMutex);
    fixed.store(kRealTime, std::memory_order_release);
}

std::optional<int64_t> FixedClock() {
    const int64_t ticks = fixed.load(std::memory_order_acquire);
    return ticks == kRealTime ? std::nullopt : std::optional(ticks);
}

std::optional<int64_t> ParseDate(std::string_view text, std::string* why) {
    // YYYY-MM-DDTHH:MM:SS[.fffffff]Z
    const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    const auto hour = Digits(text, 11, 2), minute = Digits(text, 14, 2), second = Digits(text, 17, 2);
    const bool separators = text.size() >= 20 && text[4] == '-' && text[7] == '-' && text[10] == 'T' &&
                            text[13] == ':' && text[16] == ':' && text.back() == 'Z';
    size_t end = 19;
    int64_t fraction = 0;
    size_t fractionDigits = 0;
    if (text.size() > 19 && text[19] == '.') {
        for (end = 20; end < text.size() && IsDigit(text[end]); ++end, ++fractionDigits) {
            if (fractionDigits < 7) fraction = fraction * 10 + (text[end] - '0');
        }
        if (fractionDigits == 0) end = 0;  // a dot without digits
    }
    if (!year || !month || !day || !hour || !minute || !second || !separators || end + 1 != text.size()) {
        *why = "expected a UTC date and time like \"2024-05-01T00:00:00Z\"";
        return std::nullopt;
    }
    if (fractionDigits > 7) {
        *why = "more than 7 fraction digits (platform dates count 100 ns)";
        return std::nullopt;
    }
    for (size_t i = fractionDigits; i < 7; ++i) fraction *= 10;
    if (*year < 1601) {
        *why = "year " + std::to_string(*year) + " is before 1601, where platform dates start";
        return std::nullopt;
    }
    if (*month < 1 || *month > 12) {
        *why = "month " + std::to_string(*month) + " does not exist";
        return std::nullopt;
    }
    if (*day < 1 || *day > DaysInMonth(*year, *month)) {
        *why = "day " + std::to_string(*day) + " does not exist in that month";
        return std::nullopt;
    }
    if (*hour > 23 || *minute > 59 || *second > 59) {
        *why = "that time of day does not exist";
        return std::nullopt;
    }
    const int64_t seconds = DaysFromCivil(*year, *month, *day) * kSecondsPerDay + *hour * 3600 + *minute * 60 + *second;
    return kUnixEpochTicks + seconds * kTicksPerSecond + fraction;
}

std::optional<std::string> FormatDate(int64_t ticks) {
    if (ticks < 0 || ticks > kLastTicks) return std::nullopt;
    const int64_t sinceEpoch = ticks - kUnixEpochTicks;
    const int64_t seconds = FloorDiv(sinceEpoch, kTicksPerSecond);
    int64_t fraction = sinceEpoch - seconds * kTicksPerSecond;
    const int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const int64_t secondOfDay = seconds - days * kSecondsPerDay;
    const Civil c = CivilFromDays(days);
    char text[80];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02lld:%02lld:%02lld", static_cast<long long>(c.year), c.month,
                  c.day, static_cast<long long>(secondOfDay / 3600), static_cast<long long>(secondOfDay / 60 % 60),
                  static_cast<long long>(secondOfDay % 60));
    std::string out = text;
    if (fraction != 0) {
        std::snprintf(text, sizeof text, ".%07lld", static_cast<long long>(fraction));
        std::string digits = text;
        while (digits.back() == '0') digits.pop_back();
        out += digits;
    }
    return out + "Z";
}

}  // namespace velmora::emu
