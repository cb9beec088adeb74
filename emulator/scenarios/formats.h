// The text forms a scenario file uses for values the platform keeps as numbers: enumeration names,
// flag names, GUIDs and HRESULTs (dates are the clock's ParseDate and FormatDate,
// emulator/services/clock.h); and the JSON paths that messages name. Shared by the scenario parser,
// writer and comparer.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/services/clock.h"
#include "emulator/services/ledger.h"
#include "platform/com_base.h"

namespace velmora::emu::scenario_detail {

using ::ABI::Guid;
using ::ABI::HRESULT;

struct EnumName {
    std::string_view name;
    int64_t value;
};
using EnumNames = std::span<const EnumName>;

inline constexpr EnumName kMediaItemTypes[] = {
    {"Unknown", 0},
    {"Game", 1},
    {"GameV2", 2},
    {"Application", 3},
    {"GameContent", 4},
    {"GameConsumable", 5},
    {"Subscription", 6},
    {"Movie", 7},
    {"TelevisionShow", 8},
    {"TelevisionSeries", 9},
    {"TelevisionSeason", 10},
    {"ApplicationOrGameUnknown", 11},
    {"GameDemo", 12},
    {"WebVideo", 13},
    {"All", 14},
};
inline constexpr EnumName kItemStates[] = {
    {"Unknown", 0}, {"All", 1}, {"Enabled", 2}, {"Suspended", 3}, {"Expired", 4}, {"Canceled", 5},
};
inline constexpr EnumName kSortOrders[] = {
    {"FreeAndPaidCountDaily", 0}, {"PaidCountAllTime", 1}, {"PaidCountDaily", 2},
    {"DigitalReleaseDate", 3},    {"ReleaseDate", 4},      {"UserRatings", 5},
};
inline constexpr EnumName kPackageFilters[] = {
    {"AllDownloadableContentOnly", 0},
    {"AllRelatedPackages", 1},
    {"CurrentTitleOnly", 2},
    {"RelatedTitlesOnly", 3},
};
// PrivilegeCheckResult: flags, NoIssue being none of them.
inline constexpr EnumName kPrivilegeFlags[] = {
    {"NoIssue", 0}, {"PurchaseRequired", 1}, {"Aborted", 2}, {"Banned", 4}, {"Restricted", 8},
};
// The names of an enumeration whose values count from 0.
template <size_t N>
constexpr std::array<EnumName, N> Counted(const std::string_view (&names)[N]) {
    std::array<EnumName, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = {names[i], int64_t(i)};
    return out;
}
inline constexpr auto kOutcomeKinds = Counted(kOutcomeKindNames);
inline constexpr auto kTransactionSources = Counted(kTransactionSourceNames);
inline constexpr auto kTransactionOutcomes = Counted(kTransactionOutcomeNames);

std::optional<int64_t> ValueOf(EnumNames names, std::string_view name);
std::optional<std::string_view> NameOf(EnumNames names, int64_t value);
// "A, B or C", for messages.
std::string NameList(EnumNames names);

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", hex digits of either case.
std::optional<Guid> ParseGuid(std::string_view text);
std::string FormatGuid(const Guid& guid);

// "0x" and 1 to 8 hex digits.
std::optional<HRESULT> ParseHresult(std::string_view text);
std::string FormatHresult(HRESULT hr);

// JSON paths: "$.catalog", "$.files[\"read me.txt\"]", "$.catalog[2]".
std::string MemberPath(const std::string& parent, std::string_view key);
std::string IndexPath(const std::string& parent, size_t index);

// Paths from and to UTF-8 text, whatever the system's own path encoding.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8OfPath(const std::filesystem::path& path);

// The bytes of scenarios/default.json, generated into the build directory by emulator/CMakeLists.txt.
std::string_view EmbeddedDefaultScenario();

}  // namespace velmora::emu::scenario_detail
