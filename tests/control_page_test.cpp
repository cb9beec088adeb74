// The control page through an HTTP client, as the page's script and a tester's tools reach it: the
// token before anything else, every read route against the emulator's own snapshot functions,
// every action seen by the next read, each kind of bad input answered with its status and leaving
// the emulator as it was, a flood answered 429 while a game keeps pumping, and the page's life
// (one at a time, kept by a reset, stopped for good).
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "emulator/c_interface/c_api.h"
#include "emulator/control_page/access_token.h"
#include "emulator/control_page/control_page.h"
#include "emulator/runtime/faults.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/scenarios/scenario.h"
#include "emulator/services/clock.h"
#include "emulator/services/ledger.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/packages/packages.h"
#include "emulator/services/store/store.h"
#include "emulator/services/users.h"
#include "tests/control_page_client.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

struct Address {
    int port = 0;
    std::string token;
};

Address Parse(const std::string& address) {
    // "http://127.0.0.1:<port>/?token=<token>"
    const size_t colon = address.rfind(':');
    const size_t slash = address.find('/', colon);
    const size_t token = address.find("token=");
    return {std::stoi(address.substr(colon + 1, slash - colon - 1)), address.substr(token + 6)};
}

// Everything a request could change, read through the emulator's own functions.
std::string World() {
    Json w;
    for (uint32_t i = 0; auto u = emu::UserAt(i); ++i) {
        Json items = Json::array();
        for (const auto& item : emu::InventoryOf(u->id))
            items.push_back({emu::ToUtf8(item.productId), int(item.state), item.consumableBalance});
        w["users"].push_back({u->id, emu::ToUtf8(u->gamertag), items});
    }
    for (const auto& p : emu::InstalledPackagesWithState())
        w["packages"].push_back({emu::ToUtf8(p.data.packageFullName), p.mounted});
    for (const auto& f : emu::InjectedFaults()) w["faults"].push_back({f.call, f.hr, f.times});
    for (const auto& o : emu::ScriptedOutcomes()) w["outcomes"].push_back({o.call, int(o.outcome.kind), o.times});
    w["catalog"] = emu::CatalogItems().size();
    for (const auto& t : emu::Transactions()) w["ledger"].push_back({t.id, int(t.outcome), t.refundOf});
    for (const auto& s : emu::OpenScreens()) w["screens"].push_back(s.id);
    w["holding"] = emu::HoldingScreens();
    w["clock"] = emu::FixedClock().value_or(-1);
    return w.dump();
}

class ControlPageTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        emu::ApplyScenario(emu::DefaultScenario());
        page_ = Parse(emu::StartControlPage(0));
    }
    void TearDown() override {
        emu::StopControlPage();
        EXPECT_EQ(emu::ControlPageAddress(), "");
        EmulatorTest::TearDown();
    }

    PageClient Client(bool withToken = true) const { return PageClient(page_.port, withToken ? page_.token : ""); }
    Json Get(const std::string& path) {
        auto res = Client().Get(path);
        EXPECT_TRUE(res) << path;
        if (!res) return nullptr;
        EXPECT_EQ(res.status, 200) << path << ": " << res.body;
        return Json::parse(res.body);
    }
    HttpAnswer Send(const std::string& method, const std::string& path, const std::string& body = "",
                    const std::string& type = "application/json") {
        return Client().Send(method, path, body, type);
    }

    Address page_;
};

// ---- the token -------------------------------------------------------------------------------------

struct TokenCase {
    const char* name;
    std::string (*given)(const std::string& token);  // empty: none sent
    int status;
};

const TokenCase kTokenCases[] = {
    {"None", [](const std::string&) { return std::string(); }, 401},
    {"Empty", [](const std::string&) { return std::string("?token="); }, 401},
    {"WrongLastDigit", [](const std::string& t) { return "?token=" + t.substr(0, 31) + (t[31] == '0' ? "1" : "0"); },
     401},
    {"Prefix", [](const std::string& t) { return "?token=" + t.substr(0, 16); }, 401},
    {"LongerByOne", [](const std::string& t) { return "?token=" + t + "0"; }, 401},
    {"Right", [](const std::string& t) { return "?token=" + t; }, 200},
};

void PrintTo(const TokenCase& c, std::ostream* out) { *out << c.name; }

class ControlPageTokenTest : public ControlPageTest, public ::testing::WithParamInterface<TokenCase> {};

TEST_P(ControlPageTokenTest, EveryRequestNeedsTheToken) {
    const std::string world = World();
    for (const char* path : {"/", "/page.js", "/api/state", "/api/nothing"}) {
        auto res = Client(false).Get(path + GetParam().given(page_.token));
        ASSERT_TRUE(res);
        const int expected = GetParam().status == 200 && std::string(path) == "/api/nothing" ? 404 : GetParam().status;
        EXPECT_EQ(res.status, expected) << path;
        if (expected == 401) {
            EXPECT_NE(res.body.find("access token"), std::string::npos) << res.body;
        }
    }
    auto post = Client(false).Send("POST", "/api/faults" + GetParam().given(page_.token),
                                   R"({"call":"IUser.get_Id","hresult":"0x80004005"})");
    ASSERT_TRUE(post);
    EXPECT_EQ(post.status, GetParam().status);
    if (GetParam().status != 200) {
        EXPECT_EQ(World(), world);
    }
}

INSTANTIATE_TEST_SUITE_P(Tokens, ControlPageTokenTest, ::testing::ValuesIn(kTokenCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlPageTest, ListensOnTheLoopbackAddressOnly) {
    EXPECT_EQ(emu::ControlPageAddress().rfind("http://127.0.0.1:", 0), 0u);
    // Another address of this machine: 127.0.0.2 is loopback too, but the page is bound to 127.0.0.1
    // alone, so a server listening on every address would be found there and this one is not.
    auto res = PageClient(page_.port, page_.token, "127.0.0.2").Get("/api/users");
    EXPECT_FALSE(res) << "answered " << res.status;
}

TEST_F(ControlPageTest, TheTokenComesInACookieAfterTheAddressIsOpened) {
    auto first = Client(false).Get("/?token=" + page_.token);
    ASSERT_TRUE(first);
    EXPECT_EQ(first.status, 200);
    const std::string cookie = first.Header("Set-Cookie");
    EXPECT_EQ(cookie, "velmora_control=" + page_.token + "; HttpOnly; SameSite=Strict; Path=/");
    auto later = Client(false).Get("/api/users", {{"Cookie", "theme=dark; velmora_control=" + page_.token}});
    ASSERT_TRUE(later);
    EXPECT_EQ(later.status, 200);
    auto wrong = Client(false).Get("/api/users", {{"Cookie", "velmora_control=" + std::string(32, '0')}});
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong.status, 401);
}

TEST(ControlPageAccessToken, IsNewRandomHexEachTimeAndComparesWhole) {
    const std::string a = emu::control_page::NewAccessToken(), b = emu::control_page::NewAccessToken();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, b);
    using emu::control_page::SameToken;
    EXPECT_TRUE(SameToken(a, a));
    EXPECT_FALSE(SameToken(b, a));
    EXPECT_FALSE(SameToken(a.substr(0, 31), a));
    EXPECT_FALSE(SameToken(a + "0", a));
    EXPECT_FALSE(SameToken("", a));
    std::string last = a;
    last.back() = last.back() == 'f' ? 'e' : 'f';
    EXPECT_FALSE(SameToken(last, a));
}

// ---- reads -----------------------------------------------------------------------------------------

TEST_F(ControlPageTest, ReadRoutesAnswerTheEmulatorsState) {
    const Json users = Get("/api/users");
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0], (Json{{"id", 1}, {"gamertag", "SkyCaptain"}, {"xboxUserId", "2814639012345678"}}));

    const Json inventories = Get("/api/inventories");
    ASSERT_EQ(inventories.size(), 2u);
    const Json& first = inventories[0]["items"];
    ASSERT_EQ(first.size(), emu::InventoryOf(1).size());
    EXPECT_EQ(first[0]["productId"], "9NSTRMGLIDR2");
    EXPECT_EQ(first[0]["state"], "Enabled");
    EXPECT_EQ(first[1]["productId"], "9NSKYGEMS105");
    EXPECT_EQ(first[1]["consumable"], true);
    EXPECT_EQ(first[1]["consumableBalance"], 250);
    EXPECT_EQ(inventories[1]["items"][0]["state"], "Expired");
    EXPECT_EQ(Get("/api/inventories?userId=2")[0]["items"], inventories[1]["items"]);
    EXPECT_EQ(Get("/api/inventories?userId=77")[0]["items"], Json::array());

    const Json catalog = Get("/api/catalog");
    ASSERT_EQ(catalog.size(), emu::CatalogItems().size());
    EXPECT_EQ(catalog[1]["productId"], "9NSTRMGLIDR2");
    EXPECT_EQ(catalog[1]["availabilities"][0]["displayPrice"], "$4.99");

    ASSERT_EQ(emu::SetPackageMountedByte(u"AurelianSkies.StormriderGlider_1.0.2.0_x64__5a3c19e4qpk1", 1), emu::S_OK);
    const Json packages = Get("/api/packages");
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages[0]["mounted"], true);
    EXPECT_EQ(packages[1]["mounted"], false);
    EXPECT_EQ(packages[1]["packageFullName"], "AurelianSkies.CloudbreakOST_1.0.0.0_x64__5a3c19e4qpk1");

    const Json known = Get("/api/known-calls");
    EXPECT_EQ(known.size(), std::size(emu::kKnownCalls));

    const Json state = Get("/api/state");
    for (const char* key : {"users", "catalog", "packages", "faults", "calls"}) EXPECT_TRUE(state.contains(key)) << key;
    EXPECT_EQ(state["users"][0]["inventory"], first);
    EXPECT_EQ(Get("/api/faults")["defaultDelayUs"], 15000);
}

TEST_F(ControlPageTest, RecentCallsAreTheServicesLogs) {
    emu::RecordMarketplaceCall("IInventoryService.GetInventoryItemsAsync", 1, {}, {14});
    emu::RecordMarketplaceCall("ICatalogService.BrowseCatalogAsync", 2, {u"9NAURSKIES01"}, {1, 14, 0, 0, 25});
    const Json all = Get("/api/calls");
    ASSERT_EQ(all["marketplace"].size(), 2u);
    EXPECT_EQ(all["marketplace"][1], (Json{{"method", "ICatalogService.BrowseCatalogAsync"},
                                           {"userId", 2},
                                           {"texts", {"9NAURSKIES01"}},
                                           {"numbers", {1, 14, 0, 0, 25}}}));
    EXPECT_EQ(Get("/api/calls?last=1")["marketplace"].size(), 1u);
    for (const char* key : {"screens", "privileges", "packages"}) EXPECT_TRUE(all.contains(key)) << key;
}

// ---- actions: each goes through the C interface and shows in the next read -------------------------

TEST_F(ControlPageTest, FaultsAndOutcomesAreArmedListedAndCleared) {
    auto armed =
        Send("POST", "/api/faults", R"({"call":"IInventoryItem.get_ProductId","hresult":"0x80070005","times":2})");
    ASSERT_TRUE(armed);
    EXPECT_EQ(armed.status, 200) << armed.body;
    ASSERT_EQ(emu::InjectedFaults().size(), 1u);
    EXPECT_EQ(emu::InjectedFaults()[0].times, 2);
    EXPECT_EQ(Get("/api/faults")["faults"][0],
              (Json{{"call", "IInventoryItem.get_ProductId"}, {"hresult", "0x80070005"}, {"times", 2}}));

    auto scripted =
        Send("POST", "/api/outcomes",
             R"({"call":"IProductStatics.ShowPurchaseAsync","kind":"Cancel","hresult":"0x800704C7","times":3})");
    ASSERT_TRUE(scripted);
    EXPECT_EQ(scripted.status, 200) << scripted.body;
    const Json outcomes = Get("/api/faults")["outcomes"];
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0]["kind"], "Cancel");
    EXPECT_EQ(outcomes[0]["times"], 3);
    EXPECT_EQ(outcomes[0]["delayUs"], -1);

    EXPECT_EQ(Send("DELETE", "/api/faults").status, 200);
    EXPECT_TRUE(emu::InjectedFaults().empty());
    EXPECT_EQ(Send("DELETE", "/api/outcomes").status, 200);
    EXPECT_TRUE(emu::ScriptedOutcomes().empty());
}

TEST_F(ControlPageTest, AnInstallationFinishesAndShowsUnmounted) {
    auto res = Send(
        "POST", "/api/installations",
        R"({"package":{"packageFullName":"Sky.Extra_1.0.0.0_x64__x","titleId":"5A3C19E4","productId":"9NCLDTREASR3",
                        "files":{"readme.txt":"hi"}},"operation":"Install"})");
    ASSERT_TRUE(res);
    EXPECT_EQ(res.status, 202) << res.body;
    emu::WaitIdle();
    const Json packages = Get("/api/packages");
    ASSERT_EQ(packages.size(), 3u);
    EXPECT_EQ(packages[2]["packageFullName"], "Sky.Extra_1.0.0.0_x64__x");
    EXPECT_EQ(packages[2]["mounted"], false);
}

TEST_F(ControlPageTest, APurchaseOutsideTheGameIsGrantedOrOnlyAnnounced) {
    auto bought = Send("POST", "/api/purchases", R"({"userId":1,"productId":"9NCLDTREASR3"})");
    EXPECT_EQ(bought.status, 202) << bought.body;
    emu::WaitIdle();  // the two run on the worker pool; one at a time fixes the ledger's order
    auto raised = Send("POST", "/api/purchases/raised", R"({"userId":1,"productId":"9NDSRTLANTN4"})");
    EXPECT_EQ(raised.status, 202) << raised.body;
    emu::WaitIdle();
    const Json items = Get("/api/inventories?userId=1")[0]["items"];
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[2]["productId"], "9NCLDTREASR3");
    const Json entries = Get("/api/ledger")["entries"];
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0]["productId"], "9NCLDTREASR3");
    EXPECT_EQ(entries[0]["outcome"], "Granted");
    EXPECT_EQ(entries[0]["refundable"], true);
    EXPECT_EQ(entries[1]["productId"], "9NDSRTLANTN4");
    EXPECT_EQ(entries[1]["outcome"], "Notified");
    EXPECT_EQ(entries[1]["refundable"], false);
}

TEST_F(ControlPageTest, AScenarioLoadsFromTheBodyAndTheBuiltInOneBack) {
    auto res = Send("POST", "/api/scenario", R"({"users":[{"id":9,"gamertag":"Solo","xboxUserId":"9"}]})");
    ASSERT_TRUE(res);
    EXPECT_EQ(res.status, 200) << res.body;
    EXPECT_EQ(Get("/api/users"), (Json::array({{{"id", 9}, {"gamertag", "Solo"}, {"xboxUserId", "9"}}})));
    EXPECT_EQ(Send("POST", "/api/scenario/default").status, 200);
    EXPECT_EQ(Get("/api/users").size(), 2u);
}

TEST_F(ControlPageTest, TheClockMovesFromThePage) {
    EXPECT_EQ(Get("/api/clock"), (Json{{"now", "2025-06-01T09:00:00Z"}, {"fixed", true}}));
    auto advanced = Send("POST", "/api/clock/advance", R"({"days":30,"hours":1,"minutes":2,"seconds":3})");
    EXPECT_EQ(advanced.status, 200) << advanced.body;
    EXPECT_EQ(Json::parse(advanced.body)["now"], "2025-07-01T10:02:03Z");
    EXPECT_EQ(emu::FormatDate(emu::NowTicks()), "2025-07-01T10:02:03Z");
    auto set = Send("POST", "/api/clock/set", R"({"time":"2026-01-01T00:00:00Z"})");
    EXPECT_EQ(set.status, 200) << set.body;
    EXPECT_EQ(Get("/api/state")["clock"], (Json{{"now", "2026-01-01T00:00:00Z"}, {"fixed", true}}));
    EXPECT_EQ(Send("POST", "/api/clock/real-time").status, 200);
    EXPECT_FALSE(emu::FixedClock());
    EXPECT_EQ(Get("/api/clock")["fixed"], false);
}

TEST_F(ControlPageTest, TheWorldSavedLoadsBackThroughThePage) {
    ASSERT_EQ(emu::RaisePurchase(1, u"9NDSRTLANTN4"), emu::S_OK);
    emu::WaitIdle();
    auto saved = Client().Get("/api/world");
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved.status, 200) << saved.body;
    const Json world = Json::parse(saved.body);
    EXPECT_EQ(world["users"].size(), 2u);
    EXPECT_EQ(world["clock"], "2025-06-01T09:00:00Z");
    const Json inventories = Get("/api/inventories"), ledger = Get("/api/ledger");
    EXPECT_EQ(ledger["entries"].size(), 1u);
    EXPECT_EQ(Send("POST", "/api/scenario/default").status, 200);
    EXPECT_EQ(Get("/api/ledger")["total"], 0);
    auto loaded = Send("POST", "/api/scenario", saved.body);
    EXPECT_EQ(loaded.status, 200) << loaded.body;
    EXPECT_EQ(Get("/api/inventories"), inventories);
    EXPECT_EQ(Get("/api/ledger"), ledger);
}

// ---- bad input: the right status, a message naming the problem, nothing changed -------------------

struct BadRequest {
    const char* name;
    const char* method;
    std::string path;
    std::string body;
    const char* type;
    int status;
    const char* says;         // a part of the answer's "error"
    void (*setUp)() = [] {};  // what the request meets, made before the world is compared
};

// Entry 1 of the ledger: a purchase raised from outside, which granted nothing.
void RaiseOne() {
    ASSERT_EQ(emu::RaisePurchase(1, u"9NDSRTLANTN4"), emu::S_OK);
    emu::WaitIdle();
}

const BadRequest kBadRequests[] = {
    {"BodyTooLarge", "POST", "/api/faults", std::string(size_t{1} << 20, ' ') + "{}", "application/json", 413,
     "larger than 1048576 bytes"},
    {"MalformedJson", "POST", "/api/faults", R"({"call": "IUser.get_Id", )", "application/json", 400,
     "the body is not JSON"},
    {"NotAnObject", "POST", "/api/purchases", "[1, 2]", "application/json", 400, "must be a JSON object"},
    {"NestedTooDeep", "POST", "/api/faults", std::string(100, '[') + std::string(100, ']'), "application/json", 400,
     "more than 64 deep"},
    {"UnknownMember", "POST", "/api/purchases", R"({"userId":1,"productId":"9NCLDTREASR3","qty":2})",
     "application/json", 400, "$.qty: unknown member"},
    {"MissingMember", "POST", "/api/purchases", R"({"userId":1})", "application/json", 400,
     "$.productId: required member is missing"},
    {"WrongType", "POST", "/api/purchases", R"({"userId":"one","productId":"9NCLDTREASR3"})", "application/json", 400,
     "$.userId: expected a whole number"},
    {"NumberOutOfRange", "POST", "/api/faults", R"({"call":"IUser.get_Id","hresult":"0x80004005","times":4294967296})",
     "application/json", 400, "$.times: expected a whole number from -2147483648 to 2147483647"},
    {"NotAnHresult", "POST", "/api/faults", R"({"call":"IUser.get_Id","hresult":"E_FAIL"})", "application/json", 400,
     "$.hresult: expected an HRESULT"},
    {"UnknownCall", "POST", "/api/faults",
     R"({"call":"IInventoryService.GetInventoryItemAsyn","hresult":"0x80004005"})", "application/json", 400,
     "did you mean \"IInventoryService.GetInventoryItemAsync\""},
    {"UnknownOutcomeKind", "POST", "/api/outcomes", R"({"call":"IProductStatics.ShowPurchaseAsync","kind":"Explode"})",
     "application/json", 400, "$.kind: expected Complete, CompleteSynchronously"},
    {"UnknownUser", "POST", "/api/purchases", R"({"userId":7,"productId":"9NCLDTREASR3"})", "application/json", 400,
     "no signed-in user has the id 7"},
    {"UnknownProduct", "POST", "/api/purchases", R"({"userId":1,"productId":"9NNOSUCHTHNG"})", "application/json", 400,
     "the catalog has no product \"9NNOSUCHTHNG\""},
    {"AnnouncedForAnUnknownUser", "POST", "/api/purchases/raised", R"({"userId":7,"productId":"9NCLDTREASR3"})",
     "application/json", 400, "no signed-in user has the id 7"},
    {"PackageWithoutFiles", "POST", "/api/installations", R"({"package":{"packageFullName":"A_1"}})",
     "application/json", 400, "a package needs \"folder\""},
    {"ScenarioThatDoesNotParse", "POST", "/api/scenario", R"({"users":[{"id":1},{"id":1}]})", "application/json", 400,
     "<control page>: $.users[0].gamertag"},
    {"WrongContentType", "POST", "/api/faults", R"({"call":"IUser.get_Id","hresult":"0x80004005"})", "text/plain", 415,
     "Content-Type: application/json"},
    {"UnknownRoute", "GET", "/api/ledgers", "", "", 404, "nothing at /api/ledgers"},
    {"WrongMethodOnARoute", "PUT", "/api/faults", "{}", "application/json", 405, "it takes GET, POST, DELETE"},
    {"WrongMethodOnAFile", "POST", "/index.html", "", "", 405, "it takes GET, HEAD"},
    {"BadQueryNumber", "GET", "/api/calls?last=many", "", "", 400, "query parameter last=\"many\""},
    {"DotDotPath", "GET", "/../CMakeLists.txt", "", "", 404, "nothing at"},
    {"EncodedDotDotPath", "GET", "/%2e%2e/%2e%2e/etc/passwd", "", "", 404, "nothing at /../../etc/passwd"},
    {"DotDotAfterAFile", "GET", "/page.js/../../../etc/passwd", "", "", 404, "nothing at"},
    {"DoubleSlash", "GET", "//etc/passwd", "", "", 404, "nothing at"},
    {"BackslashPath", "GET", "/..%5c..%5cCMakeLists.txt", "", "", 404, "nothing at"},
    {"NulInAFileName", "GET", "/index.html%00.js", "", "", 404, "nothing at"},
    {"RefundOfAnUnknownEntry", "POST", "/api/refunds", R"({"entryId":99})", "application/json", 400,
     "no transaction 99 in the ledger"},
    {"RefundOfAnEntryThatGrantedNothing", "POST", "/api/refunds", R"({"entryId":1})", "application/json", 400,
     "granted nothing to take back", RaiseOne},
    {"RefundWithoutAnEntry", "POST", "/api/refunds", "{}", "application/json", 400,
     "$.entryId: required member is missing"},
    {"ClockAdvanceOfNothing", "POST", "/api/clock/advance", "{}", "application/json", 400,
     "give at least one of \"days\""},
    {"ClockAdvanceBackwards", "POST", "/api/clock/advance", R"({"days":-1})", "application/json", 400,
     "$.days: expected a whole number from 0 to 4294967295"},
    {"ClockAdvancePast9999", "POST", "/api/clock/advance", R"({"days":3000000})", "application/json", 400,
     "advancing the clock by"},
    {"ClockAdvanceBeyondAnyDate", "POST", "/api/clock/advance", R"({"days":4294967295})", "application/json", 400,
     "passes 9999-12-31"},
    {"ClockSetBackwards", "POST", "/api/clock/set", R"({"time":"2020-01-01T00:00:00Z"})", "application/json", 400,
     "the clock does not go back"},
    {"ClockSetToNoDate", "POST", "/api/clock/set", R"({"time":"next Tuesday"})", "application/json", 400, "$.time: "},
    {"HoldNotABoolean", "POST", "/api/screens/hold", R"({"hold":"yes"})", "application/json", 400,
     "$.hold: expected true or false"},
    {"DecideAScreenNotOpen", "POST", "/api/screens/decide", R"({"screenId":5,"decision":"Purchase"})",
     "application/json", 400, "no open screen 5"},
    {"DecideWithAnUnknownDecision", "POST", "/api/screens/decide", R"({"screenId":1,"decision":"Approve"})",
     "application/json", 400, "$.decision: expected Purchase, Cancel or Fail"},
};

void PrintTo(const BadRequest& r, std::ostream* out) { *out << r.name; }

class ControlPageBadInputTest : public ControlPageTest, public ::testing::WithParamInterface<BadRequest> {};

TEST_P(ControlPageBadInputTest, AnswersItsStatusAndChangesNothing) {
    const BadRequest& bad = GetParam();
    bad.setUp();
    const std::string world = World();
    auto res = Send(bad.method, bad.path, bad.body, bad.type);
    ASSERT_TRUE(res);
    EXPECT_EQ(res.status, bad.status) << res.body;
    EXPECT_NE(res.Header("Content-Type").find("application/json"), std::string::npos);
    EXPECT_NE(Json::parse(res.body)["error"].get<std::string>().find(bad.says), std::string::npos) << res.body;
    if (bad.status == 405) {
        EXPECT_FALSE(res.Header("Allow").empty());
    }
    emu::WaitIdle();
    EXPECT_EQ(World(), world);
    auto after = Client().Get("/api/users");  // and the page still answers
    ASSERT_TRUE(after);
    EXPECT_EQ(after.status, 200);
}

INSTANTIATE_TEST_SUITE_P(Requests, ControlPageBadInputTest, ::testing::ValuesIn(kBadRequests),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the page's life ---------------------------------------------------------------------------

TEST_F(ControlPageTest, OnePageAtATimeAndAResetKeepsIt) {
    const std::string address = emu::ControlPageAddress();
    EXPECT_THROW(emu::StartControlPage(0), std::runtime_error);
    EXPECT_EQ(velmora_emulator_start_control_page(0), 0);
    EXPECT_NE(std::string(velmora_emulator_last_error()).find("runs already at " + address), std::string::npos);
    EXPECT_EQ(velmora_emulator_start_control_page(70000), 0);
    EXPECT_NE(std::string(velmora_emulator_last_error()).find("port 70000 is outside 0 to 65535"), std::string::npos);

    emu::Reset();
    EXPECT_EQ(emu::ControlPageAddress(), address);
    EXPECT_EQ(Get("/api/users"), Json::array());

    char buffer[128];
    const int32_t length = velmora_emulator_control_page_address(nullptr, 0);
    ASSERT_EQ(length, int32_t(address.size()));
    EXPECT_EQ(velmora_emulator_control_page_address(buffer, length), length);  // no room for the zero: untouched
    ASSERT_EQ(velmora_emulator_control_page_address(buffer, sizeof buffer), length);
    EXPECT_EQ(std::string(buffer), address);
}

TEST_F(ControlPageTest, AStoppedPageAnswersNothingAndANewOneHasANewToken) {
    const Address old = page_;
    emu::StopControlPage();
    EXPECT_FALSE(Client().Get("/api/users"));
    EXPECT_EQ(velmora_emulator_control_page_address(nullptr, 0), 0);
    EXPECT_EQ(velmora_emulator_start_control_page(old.port), 1) << velmora_emulator_last_error();
    page_ = Parse(emu::ControlPageAddress());
    EXPECT_EQ(page_.port, old.port);
    EXPECT_NE(page_.token, old.token);
    auto res = PageClient(old.port, old.token).Get("/api/users");
    ASSERT_TRUE(res);
    EXPECT_EQ(res.status, 401);
}

TEST_F(ControlPageTest, APortInUseIsRefusedAndNothingRuns) {
    const std::string address = emu::ControlPageAddress();
    emu::StopControlPage();
    PortHolder other(page_.port);
    ASSERT_TRUE(other.Holding());
    EXPECT_EQ(velmora_emulator_start_control_page(page_.port), 0);
    EXPECT_NE(
        std::string(velmora_emulator_last_error()).find("cannot listen on 127.0.0.1:" + std::to_string(page_.port)),
        std::string::npos);
    EXPECT_EQ(emu::ControlPageAddress(), "");
    page_ = Parse(emu::StartControlPage(0));
}

// ---- with a game: what the page does is what the game's next query meets ----------------------

class ControlPageGameTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        emu::ApplyScenario(emu::DefaultScenario());
        emu::SetDefaultDelay(std::chrono::microseconds{0});
        page_ = Parse(emu::StartControlPage(0));
    }
    void TearDown() override {
        emu::StopControlPage();
        PluginTest::TearDown();
    }
    HttpAnswer Send(const std::string& method, const std::string& path, const std::string& body = "") {
        return PageClient(page_.port, page_.token).Send(method, path, body);
    }
    Json Get(const std::string& path) {
        auto res = PageClient(page_.port, page_.token).Get(path);
        EXPECT_EQ(res.status, 200) << path << ": " << res.body;
        return res ? Json::parse(res.body) : Json();
    }
    // The game opens the purchase screen of Cloud Treasures for user 1.
    bool OpenPurchase(Delivered& d) {
        const std::u16string offer = emu::FindCatalogItem(kTreasures)->availabilities[0].signedOffer;
        return X().Store_ShowPurchaseAsync(1, offer.c_str(), DeliverValue, &d);
    }
    // What the game's own inventory query answers: user 1's product ids.
    std::vector<std::u16string> GameSees() {
        Delivered d{&Host().Queue()};
        EXPECT_TRUE(X().InventoryService_GetInventoryItemsAsync(1, 14, DeliverObject, &d));
        EXPECT_TRUE(PumpUntil([&] { return d.calls > 0; }));
        std::vector<std::u16string> ids;
        if (!d.result) return ids;
        ObjectHandle items = X().InventoryItemsResult_Items(d.result);
        for (uint32_t i = 0, n = X().InventoryItemsResult_Items_Length(items); i < n; ++i) {
            ObjectHandle item = X().InventoryItemsResult_Items_GetAt(items, i);
            ids.push_back(X().InventoryItem_ProductId(item));
            X().InventoryItem_Dispose(item);
        }
        X().InventoryItemsResult_Items_Dispose(items);
        X().InventoryItemsResult_Dispose(d.result);
        return ids;
    }
    static bool Owns(const std::vector<std::u16string>& ids) {
        return std::find(ids.begin(), ids.end(), kTreasures) != ids.end();
    }

    static constexpr char16_t kTreasures[] = u"9NCLDTREASR3";
    Address page_;
};

TEST_F(ControlPageGameTest, ARefundFromThePageIsWhatTheGamesNextQueryMeets) {
    Delivered bought{&Host().Queue()};
    ASSERT_TRUE(OpenPurchase(bought));
    ASSERT_TRUE(PumpUntil([&] { return bought.calls > 0; }));
    ASSERT_EQ(bought.value, 1u) << "the purchase screen completed";
    ASSERT_TRUE(Owns(GameSees()));

    const Json entry = Get("/api/ledger")["entries"].back();
    EXPECT_EQ(entry["productId"], "9NCLDTREASR3");
    EXPECT_EQ(entry["source"], "Purchase");
    EXPECT_EQ(entry["outcome"], "Granted");
    EXPECT_EQ(entry["refundable"], true);
    auto refund = Send("POST", "/api/refunds", Json{{"entryId", entry["id"]}}.dump());
    ASSERT_EQ(refund.status, 200) << refund.body;

    EXPECT_FALSE(Owns(GameSees()));
    const Json after = Get("/api/ledger")["entries"];
    EXPECT_EQ(after.back()["outcome"], "Refunded");
    EXPECT_EQ(after.back()["refundOf"], entry["id"]);
    EXPECT_EQ(after.back()["id"], Json::parse(refund.body)["refundId"]);
    EXPECT_EQ(after[after.size() - 2]["refundable"], false);
    auto again = Send("POST", "/api/refunds", Json{{"entryId", entry["id"]}}.dump());
    EXPECT_EQ(again.status, 400);
    EXPECT_NE(again.body.find("was refunded already"), std::string::npos) << again.body;
}

struct Decision {
    const char* name;
    const char* body;  // the decision's members
    uint32_t status;   // what the game's screen callback receives: 1 completed, 2 cancelled, 3 error
    bool granted;
};
void PrintTo(const Decision& d, std::ostream* out) { *out << d.name; }

const Decision kDecisions[] = {
    {"Purchase", R"("decision":"Purchase")", 1, true},
    {"Cancel", R"("decision":"Cancel")", 2, false},
    {"Fail", R"("decision":"Fail","hresult":"0x80070005")", 3, false},
};

class ControlPageScreenTest : public ControlPageGameTest, public ::testing::WithParamInterface<Decision> {};

TEST_P(ControlPageScreenTest, AHeldScreenIsDecidedFromThePage) {
    ASSERT_EQ(Send("POST", "/api/screens/hold", R"({"hold":true})").status, 200);
    Delivered shown{&Host().Queue()};
    ASSERT_TRUE(OpenPurchase(shown));
    Json screens;
    for (int i = 0; i < 200 && screens.empty(); ++i) {  // the screen opens on a platform thread
        Host().PumpAll();
        screens = Get("/api/screens")["screens"];
    }
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0]["kind"], "Purchase");
    EXPECT_EQ(screens[0]["productId"], "9NCLDTREASR3");
    EXPECT_EQ(screens[0]["userId"], 1);
    EXPECT_EQ(shown.calls, 0) << "a held screen waits";

    auto decided =
        Send("POST", "/api/screens/decide", "{\"screenId\":" + screens[0]["id"].dump() + "," + GetParam().body + "}");
    ASSERT_EQ(decided.status, 200) << decided.body;
    ASSERT_TRUE(PumpUntil([&] { return shown.calls > 0; }));
    EXPECT_EQ(shown.value, GetParam().status);
    EXPECT_EQ(Owns(GameSees()), GetParam().granted);
    EXPECT_EQ(Get("/api/screens")["screens"], Json::array());
    EXPECT_EQ(Get("/api/ledger")["entries"].back()["outcome"],
              GetParam().granted ? "Granted" : (GetParam().status == 2 ? "Canceled" : "Failed"));
}

INSTANTIATE_TEST_SUITE_P(Decisions, ControlPageScreenTest, ::testing::ValuesIn(kDecisions),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- a flood, while a game pumps ------------------------------------------------------------------

class ControlPageFloodTest : public PluginTest {
protected:
    void TearDown() override {
        emu::StopControlPage();
        PluginTest::TearDown();
    }
};

TEST_F(ControlPageFloodTest, ExtraRequestsAre429AndTheGameKeepsItsLoop) {
    AddUser(1);
    const Address page = Parse(emu::StartControlPage(0));
    const std::string world = World();

    std::atomic<int> ok{0}, tooMany{0}, other{0};
    std::atomic<bool> flooding{true};
    std::vector<std::thread> clients;
    const auto floodStart = std::chrono::steady_clock::now();
    for (int c = 0; c < 4; ++c)
        clients.emplace_back([&] {
            PageClient client(page.port, page.token);
            for (int i = 0; i < 150; ++i) {
                auto res =
                    client.Send("POST", "/api/faults", R"({"call":"IUser.get_Id","hresult":"0x80004005","times":1})");
                if (res && res.status == 429 && res.Header("Retry-After") == "1") {
                    ++tooMany;
                } else if (res && res.status == 200) {
                    ++ok;
                } else {
                    ++other;
                }
            }
        });
    // The game's loop meanwhile: operations start, complete and are delivered while it pumps.
    int rounds = 0;
    while (flooding) {
        Delivered d{&Host().Queue()};
        ASSERT_TRUE(X().InventoryService_GetInventoryItemsAsync(1, 14, DeliverObject, &d));
        ASSERT_TRUE(PumpUntil([&] { return d.calls > 0; }, 5s)) << "the game's operation was not delivered";
        X().InventoryItemsResult_Dispose(d.result);
        ++rounds;
        flooding = ok + tooMany + other < 600;
    }
    for (auto& t : clients) t.join();
    // Each window of the budget lasts a second at least, so the flood's time bounds how many began.
    const auto windows =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - floodStart).count() + 1;
    EXPECT_GT(rounds, 0);
    EXPECT_EQ(other, 0);
    EXPECT_GT(tooMany, 0);
    EXPECT_LE(ok, 200 * windows) << windows << " windows of 200 requests";
    // Every admitted request armed the same fault once again; nothing else changed.
    emu::ClearFaults();
    EXPECT_EQ(World(), world);
    std::this_thread::sleep_for(1100ms);
    auto res = PageClient(page.port, page.token).Get("/api/users");
    ASSERT_TRUE(res);
    EXPECT_EQ(res.status, 200);
}

}  // namespace
}  // namespace velmora::test
