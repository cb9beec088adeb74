// The control page's JSON interface. Reads copy the emulator's state at one moment through the
// services' own snapshot functions; actions call the C interface, whose checks and messages they
// share. Nothing here holds a lock of its own, and nothing waits for the host: a request never
// stands in the way of a game that pumps.
#include "emulator/control_page/routes.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
#include <vector>

#include "emulator/c_interface/c_api.h"
#include "emulator/runtime/faults.h"
#include "emulator/runtime/known_calls.h"
#include "emulator/runtime/recent_calls.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/strings.h"
#include "emulator/scenarios/formats.h"
#include "emulator/scenarios/scenario.h"
#include "emulator/services/clock.h"
#include "emulator/services/ledger.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/packages/packages.h"
#include "emulator/services/store/store.h"
#include "emulator/services/users.h"

namespace velmora::emu::control_page {
namespace {

namespace sd = scenario_detail;

constexpr sd::EnumName kInstallOperations[] = {{"Install", 0}, {"Update", 1}, {"Repair", 2}};
constexpr size_t kDefaultRecentCalls = 50;
constexpr size_t kLedgerInState = 100;  // the newest entries /api/state carries; /api/ledger has all

constexpr auto kScreenDecisions = [] {
    std::array<sd::EnumName, std::size(kScreenDecisionNames)> names{};
    for (size_t i = 0; i < names.size(); ++i) names[i] = {kScreenDecisionNames[i], int64_t(i)};
    return names;
}();

[[noreturn]] void Refuse(std::string message, int status = 400) { throw RouteError{status, std::move(message)}; }

// A C interface function's answer: on 0 its message, as a refusal of the request.
void Checked(int ok) {
    if (!ok) Refuse(velmora_emulator_last_error());
}

// ---- reading a request's members ------------------------------------------------------------------

std::string Path(std::string_view key) { return sd::MemberPath("$", key); }

// Refuses members the route does not take, so a misspelt one is not silently ignored.
void OnlyMembers(const Json& body, std::initializer_list<std::string_view> keys) {
    for (const auto& [key, value] : body.items()) {
        bool known = false;
        for (std::string_view k : keys) known |= key == k;
        if (known) continue;
        std::string list;
        for (std::string_view k : keys) list += (list.empty() ? "\"" : ", \"") + std::string(k) + "\"";
        Refuse(Path(key) + ": unknown member; this route takes " + list);
    }
}

const Json* Member(const Json& body, std::string_view key, bool required) {
    auto it = body.find(key);
    if (it != body.end()) return &*it;
    if (required) Refuse(Path(key) + ": required member is missing");
    return nullptr;
}

template <class T>
T Whole(const Json& body, std::string_view key, std::optional<T> fallback = std::nullopt) {
    const Json* v = Member(body, key, !fallback);
    if (!v) return *fallback;
    const std::string range =
        std::to_string(std::numeric_limits<T>::min()) + " to " + std::to_string(std::numeric_limits<T>::max());
    if (v->is_number_unsigned()) {
        const auto n = v->get<uint64_t>();
        if (n <= uint64_t(std::numeric_limits<T>::max())) return T(n);
    } else if (v->is_number_integer()) {
        const auto n = v->get<int64_t>();
        if (n >= int64_t(std::numeric_limits<T>::min()) &&
            (n < 0 || uint64_t(n) <= uint64_t(std::numeric_limits<T>::max())))
            return T(n);
    }
    Refuse(Path(key) + ": expected a whole number from " + range + ", got " + v->dump());
}

std::string Text(const Json& body, std::string_view key) {
    const Json* v = Member(body, key, true);
    if (!v->is_string()) Refuse(Path(key) + ": expected a text, got " + v->dump());
    return v->get<std::string>();
}

// "0x80070005", or the number (negative, or up to 0xFFFFFFFF).
int32_t Hresult(const Json& body, std::string_view key, std::optional<int32_t> fallback = std::nullopt) {
    const Json* v = Member(body, key, !fallback);
    if (!v) return *fallback;
    if (v->is_string())
        if (auto hr = sd::ParseHresult(v->get<std::string>())) return *hr;
    if (v->is_number_integer()) {
        const int64_t n = v->is_number_unsigned() ? int64_t(std::min<uint64_t>(v->get<uint64_t>(), UINT64_MAX >> 1))
                                                  : v->get<int64_t>();
        if (n >= INT32_MIN && n <= int64_t(UINT32_MAX)) return int32_t(uint32_t(n));
    }
    Refuse(Path(key) + ": expected an HRESULT, \"0x\" and 1 to 8 hex digits (\"0x80070005\"), got " + v->dump());
}

// A name of the list, or its number.
int64_t Named(const Json& body, std::string_view key, sd::EnumNames names, std::optional<int64_t> fallback) {
    const Json* v = Member(body, key, !fallback);
    if (!v) return *fallback;
    if (v->is_string())
        if (auto value = sd::ValueOf(names, v->get<std::string>())) return *value;
    if (v->is_number_integer())
        if (auto name = sd::NameOf(names, v->get<int64_t>())) return v->get<int64_t>();
    Refuse(Path(key) + ": expected " + sd::NameList(names) + ", got " + v->dump());
}

std::optional<uint64_t> QueryNumber(const RouteRequest& request, const std::string& key, uint64_t max) {
    auto it = request.query.find(key);
    if (it == request.query.end()) return std::nullopt;
    const std::string& text = it->second;
    uint64_t n = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || n > max)
        Refuse("query parameter " + key + "=\"" + text + "\": expected a whole number from 0 to " +
               std::to_string(max));
    return n;
}

// ---- the emulator's state as JSON --------------------------------------------------------------

Json Texts(const std::vector<std::u16string>& texts) {
    Json out = Json::array();
    for (const auto& t : texts) out.push_back(ToUtf8(t));
    return out;
}

Json Name(sd::EnumNames names, int64_t value) {
    if (auto name = sd::NameOf(names, value)) return std::string(*name);
    return value;
}

Json Date(int64_t ticks) {
    if (auto text = FormatDate(ticks)) return *text;
    return ticks;
}

Json ItemJson(const InventoryItemData& item) {
    Json j{{"productId", ToUtf8(item.productId)},
           {"mediaItemType", Name(sd::kMediaItemTypes, int64_t(item.mediaItemType))},
           {"state", Name(sd::kItemStates, int64_t(item.state))},
           {"available", item.available},
           {"titleId", item.titleId},
           {"consumable", item.consumableUrl.has_value()},
           {"consumableBalance", item.consumableBalance},
           {"rightsObtainedDate", Date(item.rightsObtainedDate)},
           {"startDate", Date(item.startDate)},
           {"endDate", Date(item.endDate)}};
    j["containerIds"] = item.containerIds ? Texts(*item.containerIds) : Json(nullptr);
    return j;
}

Json InventoryJson(uint32_t userId) {
    Json items = Json::array();
    for (const auto& item : InventoryOf(userId)) items.push_back(ItemJson(item));
    return items;
}

std::vector<UserInfo> Users() {
    std::vector<UserInfo> users;
    for (uint32_t i = 0; auto user = UserAt(i); ++i) users.push_back(*user);
    return users;
}

Json UserJson(const UserInfo& u) {
    return {{"id", u.id}, {"gamertag", ToUtf8(u.gamertag)}, {"xboxUserId", ToUtf8(u.xboxUserId)}};
}

Json UsersJson(bool withInventories) {
    Json out = Json::array();
    for (const UserInfo& u : Users()) {
        out.push_back(UserJson(u));
        if (withInventories) out.back()["inventory"] = InventoryJson(u.id);
    }
    return out;
}

Json CatalogJson() {
    Json out = Json::array();
    for (const CatalogItemData& c : CatalogItems()) {
        Json offers = Json::array();
        for (const CatalogAvailabilityData& a : c.availabilities)
            offers.push_back({{"contentId", ToUtf8(a.contentId)},
                              {"offerId", ToUtf8(a.offerId)},
                              {"signedOffer", ToUtf8(a.signedOffer)},
                              {"displayPrice", ToUtf8(a.displayPrice)},
                              {"isPurchasable", a.isPurchasable != 0},
                              {"consumableQuantity", a.consumableQuantity}});
        out.push_back({{"productId", ToUtf8(c.productId)},
                       {"id", ToUtf8(c.id)},
                       {"name", ToUtf8(c.name)},
                       {"mediaItemType", Name(sd::kMediaItemTypes, int64_t(c.mediaItemType))},
                       {"titleId", c.titleId},
                       {"parentIds", Texts(c.parentIds)},
                       {"availabilities", std::move(offers)}});
    }
    return out;
}

Json PackagesJson() {
    Json out = Json::array();
    for (const InstalledPackage& p : InstalledPackagesWithState()) {
        const PackageData& d = p.data;
        out.push_back({{"packageFullName", ToUtf8(d.packageFullName)},
                       {"displayName", ToUtf8(d.displayName)},
                       {"titleId", ToUtf8(d.titleId)},
                       {"productId", ToUtf8(d.productId)},
                       {"contentId", ToUtf8(d.contentId)},
                       {"publisher", ToUtf8(d.publisher)},
                       {"version", ToUtf8(d.version)},
                       {"contentType", d.contentType},
                       {"contentGuid", sd::FormatGuid(d.contentGuid)},
                       {"folder", ToUtf8(d.folder)},
                       {"licensed", d.licensed},
                       {"mounted", p.mounted}});
    }
    return out;
}

Json FaultsJson() {
    Json faults = Json::array();
    for (const InjectedFault& f : InjectedFaults())
        faults.push_back({{"call", f.call}, {"hresult", sd::FormatHresult(f.hr)}, {"times", f.times}});
    Json outcomes = Json::array();
    for (const ScriptedOutcome& q : ScriptedOutcomes())
        outcomes.push_back({{"call", q.call},
                            {"kind", Name(sd::kOutcomeKinds, int64_t(q.outcome.kind))},
                            {"hresult", sd::FormatHresult(q.outcome.hr)},
                            {"delayUs", q.outcome.delay.count()},
                            {"times", q.times}});
    return {
        {"faults", std::move(faults)}, {"outcomes", std::move(outcomes)}, {"defaultDelayUs", DefaultDelay().count()}};
}

template <class T>
std::vector<T> Last(std::vector<T> all, size_t n) {
    if (all.size() > n) all.erase(all.begin(), all.end() - ptrdiff_t(n));
    return all;
}

Json CallsJson(size_t last) {
    Json marketplace = Json::array();
    for (const MarketplaceCall& c : Last(MarketplaceCalls(), last))
        marketplace.push_back(
            {{"method", c.method}, {"userId", c.userId}, {"texts", Texts(c.texts)}, {"numbers", c.numbers}});
    Json screens = Json::array();
    for (const ScreenRequest& s : Last(ScreenRequests(), last))
        screens.push_back({{"call", s.call},
                           {"userId", s.userId},
                           {"offer", ToUtf8(s.offer)},
                           {"productId", ToUtf8(s.productId)},
                           {"inputTypes", s.inputTypes},
                           {"resultTypes", s.resultTypes},
                           {"privilegeId", s.privilegeId}});
    Json privileges = Json::array();
    for (const PrivilegeRequest& p : Last(PrivilegeRequests(), last))
        privileges.push_back({{"call", p.call},
                              {"userId", p.userId},
                              {"privilegeIds", p.privilegeIds},
                              {"attemptResolution", p.attemptResolution},
                              {"friendlyDisplay", ToUtf8(p.friendlyDisplay)}});
    const PackageCallCounts counts = PackageCalls();
    return {{"marketplace", std::move(marketplace)},
            {"screens", std::move(screens)},
            {"privileges", std::move(privileges)},
            {"packages",
             {{"activations", counts.activations},
              {"finds", counts.finds},
              {"mounts", counts.mounts},
              {"unmounts", counts.unmounts}}}};
}

Json LedgerJson(size_t last) {
    const std::vector<Transaction> all = Transactions();
    std::set<uint64_t> refunded;
    for (const Transaction& t : all)
        if (t.outcome == TransactionOutcome::Refunded) refunded.insert(t.refundOf);
    Json entries = Json::array();
    for (const Transaction& t : Last(all, last)) {
        Json e{{"id", t.id},
               {"time", Date(t.time)},
               {"userId", t.userId},
               {"productId", ToUtf8(t.productId)},
               {"quantity", t.quantity},
               {"source", kTransactionSourceNames[size_t(t.source)]},
               {"outcome", kTransactionOutcomeNames[size_t(t.outcome)]},
               {"hresult", sd::FormatHresult(t.hresult)},
               {"transactionId", ToUtf8(t.transactionId)},
               {"refundable", t.outcome == TransactionOutcome::Granted && !refunded.contains(t.id)}};
        if (t.refundOf) e["refundOf"] = t.refundOf;
        entries.push_back(std::move(e));
    }
    return {{"entries", std::move(entries)}, {"total", all.size()}, {"dropped", TransactionsDropped()}};
}

Json ClockJson() { return {{"now", Date(NowTicks())}, {"fixed", FixedClock().has_value()}}; }

Json ScreensJson() {
    Json screens = Json::array();
    for (const OpenScreen& s : OpenScreens())
        screens.push_back({{"id", s.id},
                           {"userId", s.userId},
                           {"kind", kScreenKindNames[size_t(s.kind)]},
                           {"productId", ToUtf8(s.productId)},
                           {"offer", ToUtf8(s.offer)}});
    return {{"holding", HoldingScreens()}, {"screens", std::move(screens)}};
}

Json KnownCallsJson() {
    Json out = Json::array();
    for (const KnownCall& c : kKnownCalls) out.push_back({{"call", c.name}, {"startsOperation", c.startsOperation}});
    return out;
}

// ---- the routes ---------------------------------------------------------------------------------

RouteAnswer GetState(const RouteRequest&) {
    return {200,
            {{"users", UsersJson(true)},
             {"catalog", CatalogJson()},
             {"packages", PackagesJson()},
             {"faults", FaultsJson()},
             {"calls", CallsJson(20)},
             {"ledger", LedgerJson(kLedgerInState)},
             {"screens", ScreensJson()},
             {"clock", ClockJson()}}};
}

RouteAnswer GetUsers(const RouteRequest&) { return {200, UsersJson(false)}; }

RouteAnswer GetInventories(const RouteRequest& request) {
    if (auto user = QueryNumber(request, "userId", UINT32_MAX))
        return {200, Json::array({{{"userId", *user}, {"items", InventoryJson(uint32_t(*user))}}})};
    Json out = Json::array();
    for (const UserInfo& u : Users()) out.push_back({{"userId", u.id}, {"items", InventoryJson(u.id)}});
    return {200, std::move(out)};
}

RouteAnswer GetCatalog(const RouteRequest&) { return {200, CatalogJson()}; }
RouteAnswer GetPackages(const RouteRequest&) { return {200, PackagesJson()}; }
RouteAnswer GetFaults(const RouteRequest&) { return {200, FaultsJson()}; }
RouteAnswer GetKnownCalls(const RouteRequest&) { return {200, KnownCallsJson()}; }

RouteAnswer GetCalls(const RouteRequest& request) {
    const auto last = QueryNumber(request, "last", RecentCalls<int>::kKept).value_or(kDefaultRecentCalls);
    return {200, CallsJson(size_t(last))};
}

// A purchase made outside the game: bought (granted, in the ledger, announced) or only announced.
template <int (*Act)(uint32_t, const char*, uint32_t)>
RouteAnswer PostPurchase(const RouteRequest& request) {
    const Json body = BodyJson(request.body);
    OnlyMembers(body, {"userId", "productId", "quantity"});
    const auto user = Whole<uint32_t>(body, "userId");
    const std::string product = Text(body, "productId");
    const auto quantity = Whole<uint32_t>(body, "quantity", 1u);
    Checked(Act(user, product.c_str(), quantity));
    return {202, {{"started", true}}};
}

RouteAnswer PostInstallation(const RouteRequest& request) {
    const Json body = BodyJson(request.body);
    OnlyMembers(body, {"package", "operation"});
    const Json* package = Member(body, "package", true);
    const auto operation = Named(body, "operation", kInstallOperations, 0);
    Checked(velmora_emulator_complete_installation(package->dump().c_str(), int32_t(operation)));
    return {202, {{"started", true}}};
}

RouteAnswer PostFault(const RouteRequest& request) {
    const Json body = BodyJson(request.body);
    OnlyMembers(body, {"call", "hresult", "times"});
    const std::string call = Text(body, "call");
    const int32_t hr = Hresult(body, "hresult");
    const auto times = Whole<int32_t>(body, "times", -1);
    Checked(velmora_emulator_inject_fault(call.c_str(), hr, times));
    return {200, FaultsJson()};
}

RouteAnswer DeleteFaults(const RouteRequest&) {
    velmora_emulator_clear_faults();
    return {200, FaultsJson()};
}

RouteAnswer PostOutcome(const RouteRequest& request) {
    const Json body = BodyJson(request.body);
    OnlyMembers(body, {"call", "kind", "hresult", "delayUs", "times"});
    const std::string call = Text(body, "call");
    const auto kind = Named(body, "kind", sd::kOutcomeKinds, std::nullopt);
    const int32_t hr = Hresult(body, "hresult", 0);
    const auto delay = Whole<int64_t>(body, "delayUs", -1);
    const auto times = Whole<int32_t>(body, "times", 1);
    Checked(velmora_emulator_script_outcome(call.c_str(), int(kind), hr, delay, times));
    return {200, FaultsJson()};
}

RouteAnswer DeleteOutcomes(const RouteRequest&) {
    velmora_emulator_clear_scripts();
    return {200, FaultsJson()};
}

RouteAnswer GetLedger(const RouteRequest& request) {
    return {200, LedgerJson(size_t(QueryNumber(request, "last", kLedgerCapacity).value_or(kLedgerCapacity)))};
}

RouteAnswer PostRefund(const RouteRequest& request) {
    const Json body = BodyJson(request.body);
    OnlyMembers(body, {"entryId"});
    uint64_t refundId = 0;
    Checked(velmora_emulator_refund(Whole<uint64_t>(body, "entryId"), &refundId));
    return {200, {{"refundId", refundId}}};
}

RouteAnswer GetClock(const RouteRequest&) { return {200, ClockJson()}; }

RouteAnswer PostClockAdvance(const RouteRequest& request) {
    const Json body = BodyJson(request.body);
    OnlyMembers(body, {"days", "hours", "minutes", "seconds"});
    if (body.empty()) Refuse("$: give at least one of \"days\", \"hours\", \"minutes\", \"seconds\"");
    // Each part is at most 2^32 - 1, so the sum of seconds fits 64 bits; the clock refuses what
    // would pass 9999-12-31.
    const uint64_t seconds =
        ((uint64_t(Whole<uint32_t>(body, "days", 0u)) * 24 + Whole<uint32_t>(body, "hours", 0u)) * 60 +
         Whole<uint32_t>(body, "minutes", 0u)) *
            60 +
        Whole<uint32_t>(body, "seconds", 0u);
    if (seconds > uint64_t(INT64_MAX / 1000000))
        Refuse("$: an advance of " + std::to_string(seconds) + " s passes 9999-12-31");
    Checked(velmora_emulator_advance_clock_us(int64_t(seconds) * 1000000));
    return {200, ClockJson()};
}

RouteAnswer PostClockSet(const RouteRequest& request) {
    const Json body = BodyJson(request.body);
    OnlyMembers(body, {"time"});
    std::string why;
    const auto ticks = ParseDate(Text(body, "time"), &why);
    if (!ticks) Refuse(Path("time") + ": " + why);
    // Platform ticks are 100 ns since 1601; the C interface takes Unix microseconds.
    const int64_t since = *ticks - kUnixEpochTicks;
    Checked(velmora_emulator_set_clock_us(since / 10 - (since % 10 < 0 ? 1 : 0)));
    return {200, ClockJson()};
}

RouteAnswer PostClockRealTime(const RouteRequest&) {
    velmora_emulator_use_real_time();
    return {200, ClockJson()};
}

RouteAnswer GetScreens(const RouteRequest&) { return {200, ScreensJson()}; }

RouteAnswer PostHoldScreens(const RouteRequest& request) {
    const Json body = BodyJson(request.body);
    OnlyMembers(body, {"hold"});
    const Json* hold = Member(body, "hold", true);
    if (!hold->is_boolean()) Refuse(Path("hold") + ": expected true or false, got " + hold->dump());
    velmora_emulator_hold_screens(hold->get<bool>() ? 1 : 0);
    return {200, ScreensJson()};
}

RouteAnswer PostDecideScreen(const RouteRequest& request) {
    const Json body = BodyJson(request.body);
    OnlyMembers(body, {"screenId", "decision", "hresult"});
    const auto screen = Whole<uint64_t>(body, "screenId");
    const auto decision = Named(body, "decision", kScreenDecisions, std::nullopt);
    // A store that fails says why; a user who backs out or goes through leaves no code.
    const int32_t hr = Hresult(body, "hresult", decision == int64_t(ScreenDecision::Fail) ? int32_t(0x80004005) : 0);
    Checked(velmora_emulator_decide_screen(screen, int(decision), hr));
    return {200, ScreensJson()};
}

RouteAnswer GetWorld(const RouteRequest&) {
    // What velmora_emulator_save_world writes, as the answer instead of a file of the caller's naming.
    std::string text;
    try {
        text = ScenarioToJson(CaptureWorld());
    } catch (const std::runtime_error& e) {
        Refuse(std::string("the world cannot be saved: ") + e.what(), 409);
    }
    return {200, Json::parse(text)};
}

RouteAnswer PostScenario(const RouteRequest& request) {
    // The loader reads the text itself: its limits, its checks, its messages with JSON paths.
    Checked(velmora_emulator_load_scenario_json(std::string(request.body).c_str(), "<control page>"));
    return {200, {{"loaded", "<control page>"}}};
}

RouteAnswer PostDefaultScenario(const RouteRequest&) {
    Checked(velmora_emulator_load_default_scenario());
    return {200, {{"loaded", "scenarios/default.json"}}};
}

constexpr Route kRoutes[] = {
    {"GET", "/api/state", GetState},
    {"GET", "/api/users", GetUsers},
    {"GET", "/api/inventories", GetInventories},
    {"GET", "/api/catalog", GetCatalog},
    {"GET", "/api/packages", GetPackages},
    {"GET", "/api/calls", GetCalls},
    {"GET", "/api/known-calls", GetKnownCalls},
    {"GET", "/api/faults", GetFaults},
    {"POST", "/api/faults", PostFault},
    {"DELETE", "/api/faults", DeleteFaults},
    {"POST", "/api/outcomes", PostOutcome},
    {"DELETE", "/api/outcomes", DeleteOutcomes},
    {"POST", "/api/purchases", PostPurchase<velmora_emulator_buy>},
    {"POST", "/api/purchases/raised", PostPurchase<velmora_emulator_raise_purchase>},
    {"POST", "/api/installations", PostInstallation},
    {"GET", "/api/ledger", GetLedger},
    {"POST", "/api/refunds", PostRefund},
    {"GET", "/api/clock", GetClock},
    {"POST", "/api/clock/advance", PostClockAdvance},
    {"POST", "/api/clock/set", PostClockSet},
    {"POST", "/api/clock/real-time", PostClockRealTime},
    {"GET", "/api/screens", GetScreens},
    {"POST", "/api/screens/hold", PostHoldScreens},
    {"POST", "/api/screens/decide", PostDecideScreen},
    {"GET", "/api/world", GetWorld},
    {"POST", "/api/scenario", PostScenario},
    {"POST", "/api/scenario/default", PostDefaultScenario},
};

}  // namespace

std::span<const Route> Routes() { return kRoutes; }

Json BodyJson(std::string_view body) {
    Json parsed;
    try {
        parsed = Json::parse(body, [](int depth, Json::parse_event_t, Json&) {
            if (size_t(depth) > kMaxBodyDepth)
                Refuse("the body nests arrays and objects more than " + std::to_string(kMaxBodyDepth) + " deep");
            return true;
        });
    } catch (const Json::parse_error& e) {
        Refuse(std::string("the body is not JSON: ") + e.what());
    }
    if (!parsed.is_object()) Refuse("the body must be a JSON object, got " + std::string(parsed.type_name()));
    return parsed;
}

}  // namespace velmora::emu::control_page
