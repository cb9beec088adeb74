// Text forms of scenario values: enumeration names, dates, GUIDs, HRESULTs and JSON paths.
#include "emulator/scenarios/formats.h"

#include <cstdio>

namespace velmora::emu::scenario_detail {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsPerDay = 86'400;
// Platform ticks at 1970-01-01, where the day arithmetic below counts from.
constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;
// 9999-12-31T23:59:59.9999999Z: the last instant the text form covers.
constexpr int64_t kLastTicks = 2'650'467'743'999'999'999;

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

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

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

std::optional<uint64_t> Hex(std::string_view text) {
    uint64_t v = 0;
    for (char c : text) {
        const int h = HexValue(c);
        if (h < 0) return std::nullopt;
        v = v * 16 + uint64_t(h);
    }
    return v;
}

}  // namespace

std::optional<int64_t> ValueOf(EnumNames names, std::string_view name) {
    for (const auto& n : names)
        if (n.name == name) return n.value;
    return std::nullopt;
}

std::optional<std::string_view> NameOf(EnumNames names, int64_t value) {
    for (const auto& n : names)
        if (n.value == value) return n.name;
    return std::nullopt;
}

std::string NameList(EnumNames names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += i + 1 == names.size() ? " or " : ", ";
        out += names[i].name;
    }
    return out;
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

std::optional<Guid> ParseGuid(std::string_view text) {
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    const auto d1 = Hex(text.substr(0, 8)), d2 = Hex(text.substr(9, 4)), d3 = Hex(text.substr(14, 4));
    const auto d4 = Hex(text.substr(19, 4)), d5 = Hex(text.substr(24, 12));
    if (!d1 || !d2 || !d3 || !d4 || !d5) return std::nullopt;
    Guid g{uint32_t(*d1), uint16_t(*d2), uint16_t(*d3), {}};
    g.Data4[0] = uint8_t(*d4 >> 8);
    g.Data4[1] = uint8_t(*d4);
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = uint8_t(*d5 >> (8 * (5 - i)));
    return g;
}

std::string FormatGuid(const Guid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", unsigned(g.Data1),
                  unsigned(g.Data2), unsigned(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                  g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::optional<HRESULT> ParseHresult(std::string_view text) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    const auto v = Hex(text.substr(2));
    if (!v) return std::nullopt;
    return HRESULT(uint32_t(*v));
}

std::string FormatHresult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(uint32_t(hr)));
    return text;
}

std::string MemberPath(const std::string& parent, std::string_view key) {
    bool plain = !key.empty() && !IsDigit(key[0]);
    for (char c : key) plain = plain && (IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_');
    if (plain) return parent + "." + std::string(key);
    std::string quoted;
    for (char c : key) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return parent + "[\"" + quoted + "\"]";
}

std::string IndexPath(const std::string& parent, size_t index) { return parent + "[" + std::to_string(index) + "]"; }

std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8OfPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace velmora::emu::scenario_detail
