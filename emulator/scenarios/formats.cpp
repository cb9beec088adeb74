// Text forms of scenario values: enumeration names, GUIDs, HRESULTs and JSON paths (dates are the
// clock's, emulator/services/clock.h).
#include "emulator/scenarios/formats.h"

#include <cstdio>

namespace velmora::emu::scenario_detail {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
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
