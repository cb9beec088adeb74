// Malformed scenarios: each mistake gets a message naming the file, the JSON path and the problem,
// and a failed parse changes nothing in the emulator. Also the accepted alternative forms (numbers
// for names, raw tick counts, integer HRESULTs), folders relative to the file, and a refused apply.
#include "emulator/runtime/faults.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/services/marketplace/marketplace.h"
#include "emulator/services/packages/packages.h"
#include "emulator/services/store/store.h"
#include "emulator/services/users.h"
#include "tests/scenario_fixture.h"

namespace velmora::test {
namespace {

using namespace ABI;

constexpr size_t kMaxDepth = emu::kScenarioMaxDepth, kMaxList = emu::kScenarioMaxListLength;

struct Malformed {
    const char* what;
    std::string json;
    std::string path;
    std::string problem;  // a part of the problem text
};

const std::string kUser = R"("users": [{"id": 1, "gamertag": "A"}])";
const std::string kItem = R"({"id": "c1", "productId": "p1", "mediaItemType": "GameContent"})";
std::string Catalog(const std::string& fields) {
    return R"("catalog": [{"id": "c1", "productId": "p1", "mediaItemType": "GameContent", )" + fields + "}]";
}
std::string Package(const std::string& fields) { return R"("packages": [{"packageFullName": "P", )" + fields + "}]"; }
std::string Fault(const std::string& hresult) {
    return R"({"faults": [{"call": "IInventoryItem.get_ProductId", "hresult": )" + hresult + "}]}";
}

// A ledger of entries given by their keys besides "time" and "userId".
std::string Ledger(const std::string& first, const std::string& second = "") {
    std::string entries = R"({"time": 0, "userId": 1, )" + first + "}";
    if (!second.empty()) entries += R"(, {"time": 0, "userId": 1, )" + second + "}";
    return R"({"ledger": {"entries": [)" + entries + "]}}";
}

std::string Repeated(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}
std::string Nested(size_t depth) { return Repeated("[", depth) + Repeated("]", depth); }
// Offer display data takes any JSON, so it carries the values a limit counts. Its arrays start at
// the fifth level: the document, "catalog", the item, "availabilities", the availability.
std::string OfferData(const std::string& json) {
    return "{" + Catalog(R"("availabilities": [{"offerDisplayDataJson": )" + json + "}]") + "}";
}
std::string Strings(size_t count) { return "[" + Repeated("\"a\",", count - 1) + "\"a\"]"; }
std::string Members(size_t count) {
    std::string out = "{";
    for (size_t i = 0; i < count; ++i) out += (i ? ",\"f" : "\"f") + std::to_string(i) + "\": \"\"";
    return out + "}";
}
std::string Path(const std::string& start, size_t indices) { return start + Repeated("[0]", indices); }

std::vector<Malformed> MalformedScenarios() {
    const std::string offerPath = "$.catalog[0].availabilities[0].offerDisplayDataJson";
    return {
        {"number beyond a double", R"({"users": [{"id": 1e400, "gamertag": "A"}]})", "$.users[0].id",
         "the number 1e400 is too large"},
        {"one level too deep", OfferData(Nested(kMaxDepth - 4)), Path(offerPath, kMaxDepth - 5),
         "more than 64 arrays and objects nested in each other"},
        {"100,000 levels deep", Nested(100000), Path("$", kMaxDepth), "more than 64 arrays and objects nested"},
        {"one element too many", R"({"title": {"relatedTitleIds": )" + Strings(kMaxList + 1) + "}}",
         "$.title.relatedTitleIds[100000]", "more than 100000 elements in one array"},
        {"one member too many", "{" + Package(R"("files": )" + Members(kMaxList + 1)) + "}",
         "$.packages[0].files.f100000", "more than 100000 members in one object"},
        // Nine values up to the outer array (the document, the catalog, the item and its three
        // members, the availabilities, the availability, the array), then ten arrays of 100,000
        // zeros: value 1,000,001 is zero 99,981 of the tenth.
        {"one value too many",
         OfferData("[" + Repeated("[" + Repeated("0,", kMaxList - 1) + "0],", 9) + "[" + Repeated("0,", kMaxList - 1) +
                   "0]]"),
         offerPath + "[9][99981]", "more than 1000000 values in the document"},
        {"missing required key", R"({"users": [{"gamertag": "A"}]})", "$.users[0].id", "required key is missing"},
        {"wrong type", R"({"users": [{"id": "1", "gamertag": "A"}]})", "$.users[0].id",
         "expected an integer from 0 to 4294967295, found a string"},
        {"integer out of range", R"({"users": [{"id": 4294967296, "gamertag": "A"}]})", "$.users[0].id",
         "expected an integer from 0 to 4294967295, found 4294967296"},
        {"text that is not a boolean", "{" + Package(R"("files": {}, "licensed": "yes")") + "}",
         "$.packages[0].licensed", "expected a boolean, found a string"},
        {"duplicate user id", R"({"users": [{"id": 1, "gamertag": "A"}, {"id": 1, "gamertag": "B"}]})", "$.users[1].id",
         "duplicate user id 1 (first at $.users[0].id)"},
        {"duplicate catalog id",
         R"({"catalog": [)" + kItem + R"(, {"id": "c1", "productId": "p2", "mediaItemType": "Game"}]})",
         "$.catalog[1].id", "duplicate catalog id \"c1\" (first at $.catalog[0].id)"},
        {"duplicate product id",
         R"({"catalog": [)" + kItem + R"(, {"id": "c2", "productId": "p1", "mediaItemType": "Game"}]})",
         "$.catalog[1].productId", "duplicate product id \"p1\" (first at $.catalog[0].productId)"},
        {"duplicate package full name",
         R"({"packages": [{"packageFullName": "P", "files": {}}, {"packageFullName": "P", "files": {}}]})",
         "$.packages[1].packageFullName", "duplicate package full name \"P\" (first at $.packages[0].packageFullName)"},
        {"duplicate redeem code",
         R"({"catalog": [)" + kItem +
             R"(], "redeemCodes": [{"code": "X", "productId": "p1"}, {"code": "X", "productId": "p1"}]})",
         "$.redeemCodes[1].code", "duplicate redeem code \"X\" (first at $.redeemCodes[0].code)"},
        {"duplicate product in an inventory",
         "{" + kUser +
             R"(, "inventories": [{"userId": 1, "items": [{"productId": "p1", "mediaItemType": "Game"},
                                                          {"productId": "p1", "mediaItemType": "Game"}]}]})",
         "$.inventories[0].items[1].productId", "duplicate product id \"p1\""},
        {"duplicate key", R"({"users": [], "users": []})", "$.users", "duplicate key"},
        {"unknown enumeration name",
         R"({"catalog": [{"id": "c1", "productId": "p1", "mediaItemType": "GameConsumeable"}]})",
         "$.catalog[0].mediaItemType", "unknown MediaItemType \"GameConsumeable\"; expected Unknown, Game, GameV2"},
        {"enumeration number without a name", R"({"catalog": [{"id": "c1", "productId": "p1", "mediaItemType": 99}]})",
         "$.catalog[0].mediaItemType", "MediaItemType 99 does not exist"},
        {"unknown flag name",
         "{" + kUser + R"(, "privileges": [{"userId": 1, "privilegeId": 7, "result": ["Purchase"]}]})",
         "$.privileges[0].result[0]", "unknown PrivilegeCheckResult \"Purchase\""},
        {"unknown outcome kind",
         R"({"outcomes": [{"call": "ICatalogService.BrowseCatalogAsync", "kind": "Cancelled"}]})", "$.outcomes[0].kind",
         "unknown outcome kind \"Cancelled\"; expected Complete, CompleteSynchronously"},
        {"unknown key close to a known one", "{" + Catalog(R"("availabilities": [{"prize": 4.99}])") + "}",
         "$.catalog[0].availabilities[0].prize", "unknown key; did you mean \"price\"?"},
        {"unknown key like no other", R"({"colour": "blue"})", "$.colour",
         "unknown key; expected one of title, defaultDelayMs, users, catalog"},
        {"unknown key with odd characters", R"({"title": {"current title": "1"}})", "$.title[\"current title\"]",
         "unknown key"},
        {"bad HRESULT digit", Fault(R"("0x8007000G")"), "$.faults[0].hresult",
         "\"0x8007000G\" is not an HRESULT; expected \"0x\" and 1 to 8 hex digits"},
        {"HRESULT out of range", Fault("4294967296"), "$.faults[0].hresult", "found 4294967296"},
        {"fault of S_OK", Fault(R"("0x0")"), "$.faults[0].hresult", "a fault answers a code other than 0"},
        {"fault count of 0",
         R"({"faults": [{"call": "IInventoryItem.get_ProductId", "hresult": "0x80004005", "times": 0}]})",
         "$.faults[0].times", "expected a count of 1 or more, or -1"},
        {"date in a month that does not exist", "{" + Catalog(R"("releaseDate": "2024-13-01T00:00:00Z")") + "}",
         "$.catalog[0].releaseDate", "\"2024-13-01T00:00:00Z\" is not a date: month 13 does not exist"},
        {"date without T and Z", "{" + Catalog(R"("releaseDate": "2024-05-01 00:00:00")") + "}",
         "$.catalog[0].releaseDate", "expected a UTC date and time like \"2024-05-01T00:00:00Z\""},
        {"29 February of a common year", "{" + Catalog(R"("releaseDate": "2023-02-29T00:00:00Z")") + "}",
         "$.catalog[0].releaseDate", "day 29 does not exist in that month"},
        {"hour 24", "{" + Catalog(R"("digitalReleaseDate": "2024-05-01T24:00:00Z")") + "}",
         "$.catalog[0].digitalReleaseDate", "that time of day does not exist"},
        {"date before 1601", "{" + Catalog(R"("releaseDate": "1600-12-31T23:59:59Z")") + "}",
         "$.catalog[0].releaseDate", "year 1600 is before 1601"},
        {"eight fraction digits", "{" + Catalog(R"("releaseDate": "2024-05-01T00:00:00.12345678Z")") + "}",
         "$.catalog[0].releaseDate", "more than 7 fraction digits"},
        {"date of the wrong type", "{" + Catalog(R"("releaseDate": true)") + "}", "$.catalog[0].releaseDate",
         "expected a date (\"2024-05-01T00:00:00Z\" or a tick count), found a boolean"},
        {"package folder that does not exist", "{" + Package(R"("folder": "no-such-folder")") + "}",
         "$.packages[0].folder", "no-such-folder\" does not exist or is not a directory"},
        {"package with folder and files", "{" + Package(R"("folder": ".", "files": {})") + "}", "$.packages[0].folder",
         "a package takes \"folder\" or \"files\", not both"},
        {"package without content", "{" + Package(R"("version": "1.0")") + "}", "$.packages[0]",
         "a package needs \"folder\" (an existing directory) or \"files\""},
        {"file outside the package", "{" + Package(R"("files": {"../escape.txt": "x"})") + "}",
         "$.packages[0].files[\"../escape.txt\"]", "not a file name inside the package"},
        {"absolute file name", "{" + Package(R"("files": {"/etc/x": "x"})") + "}", "$.packages[0].files[\"/etc/x\"]",
         "not a file name inside the package"},
        {"bad GUID", "{" + Package(R"("files": {}, "contentGuid": "1234")") + "}", "$.packages[0].contentGuid",
         "\"1234\" is not a GUID"},
        {"invalid JSON", "{\n  \"users\": [\n    {\"id\": 1,, }\n  ]\n}", "$",
         "invalid JSON at line 3, column 14: syntax error"},
        {"empty text", "", "$", "invalid JSON at line 1, column 1: "},
        {"ill-formed UTF-8", "{\"title\": {\"currentTitleId\": \"\xC3\x28\"}}", "$", "invalid JSON at line 1"},
        {"document that is not an object", "[]", "$", "expected an object, found an array"},
        {"user not in users", "{" + kUser + R"(, "inventories": [{"userId": 9, "items": []}]})",
         "$.inventories[0].userId", "user 9 is not in \"users\""},
        {"product not in the catalog",
         R"({"catalog": [)" + kItem + R"(], "redeemCodes": [{"code": "X", "productId": "p9"}]})",
         "$.redeemCodes[0].productId", "product \"p9\" is not in \"catalog\""},
        {"inventory item in state All",
         "{" + kUser +
             R"(, "inventories": [{"userId": 1, "items": [{"productId": "p1", "mediaItemType": "Game", "state": "All"}]}]})",
         "$.inventories[0].items[0].state", "All is a query filter, not the state of an item"},
        {"failing outcome without a code",
         R"({"outcomes": [{"call": "ICatalogService.BrowseCatalogAsync", "kind": "Fail"}]})", "$.outcomes[0].hresult",
         "required key is missing"},
        {"failing outcome with a success code",
         R"({"outcomes": [{"call": "ICatalogService.BrowseCatalogAsync", "kind": "FailStart", "hresult": "0x00000001"}]})",
         "$.outcomes[0].hresult", "a FailStart outcome needs a failure code"},
        {"negative delay", R"({"defaultDelayMs": -1})", "$.defaultDelayMs",
         "expected a delay from 0 to 3600000 ms, found -1"},
        {"delay over an hour", R"({"defaultDelayMs": 1e300})", "$.defaultDelayMs", "found 1e+300"},
        {"relative image URL", "{" + Catalog(R"("images": [{"resizeUrl": "images/x.png"}])") + "}",
         "$.catalog[0].images[0].resizeUrl", "\"images/x.png\" is not an absolute URI"},
        {"empty catalog id", R"({"catalog": [{"id": "", "productId": "p1", "mediaItemType": "Game"}]})",
         "$.catalog[0].id", "must not be empty"},
        {"resolution of a privilege that needs no purchase",
         R"({"users": [{"id": 1, "gamertag": "A"}], "catalog": [)" + kItem +
             R"(], "privileges": [{"userId": 1, "privilegeId": 7, "result": "Banned", "resolveWithProduct": "p1"}]})",
         "$.privileges[0].resolveWithProduct", "a resolution needs PurchaseRequired in \"result\""},
        {"walkthrough without a user", R"({"walkthrough": {}})", "$.walkthrough.userId", "required key is missing"},
        {"purchase of a product without an offer",
         "{" + kUser + R"(, "catalog": [)" + kItem +
             R"(], "walkthrough": {"userId": 1, "purchase": {"productId": "p1"}}})",
         "$.walkthrough.purchase.productId", "product \"p1\" has no signed offer"},
        {"file to read that the installation lacks",
         "{" + kUser +
             R"(, "walkthrough": {"userId": 1, "dlc": {"install": {"packageFullName": "P", "files": {"a.txt": ""}},
                                                       "readFile": "b.txt"}}})",
         "$.walkthrough.dlc.readFile", "the installed package has no file \"b.txt\""},
        {"file to read without an installation",
         "{" + kUser + R"(, "walkthrough": {"userId": 1, "dlc": {"readFile": "b.txt"}}})", "$.walkthrough.dlc.readFile",
         "reading a file needs \"install\""},
        {"clock before 1601 as ticks", R"({"clock": -1})", "$.clock", "the clock reads dates from 1601-01-01"},
        {"ledger entry without a source",
         R"({"ledger": {"entries": [{"id": 1, "time": 0, "userId": 1, "outcome": 0}]}})", "$.ledger.entries[0].source",
         "required key is missing"},
        {"ledger entry of no known source", Ledger(R"("id": 1, "source": "Gift", "outcome": "Granted")"),
         "$.ledger.entries[0].source", "unknown transaction source \"Gift\"; expected Purchase, RedeemCode"},
        {"ledger ids that do not rise",
         Ledger(R"("id": 2, "source": "Raised", "outcome": "Notified")",
                R"("id": 2, "source": "Raised", "outcome": "Notified")"),
         "$.ledger.entries[1].id", "expected an id above 2: ids start at 1 and rise"},
        {"ledger id 0", Ledger(R"("id": 0, "source": "Raised", "outcome": "Notified")"), "$.ledger.entries[0].id",
         "expected an id above 0"},
        {"refund that names no entry", Ledger(R"("id": 1, "source": "Refund", "outcome": "Refunded")"),
         "$.ledger.entries[0]", "a Refund entry names the entry it refunds in \"refundOf\""},
        {"refund of a later entry", Ledger(R"("id": 1, "source": "Refund", "outcome": "Refunded", "refundOf": 1)"),
         "$.ledger.entries[0].refundOf", "expected the id of an earlier entry, below 1"},
        {"purchase that names a refunded entry",
         Ledger(R"("id": 2, "source": "Purchase", "outcome": "Granted", "refundOf": 1)"),
         "$.ledger.entries[0].refundOf", "only a Refund entry names an entry it refunds"},
        {"walkthrough refund of a product not in the catalog",
         "{" + kUser + R"(, "walkthrough": {"userId": 1, "refund": {"productId": "p9"}}})",
         "$.walkthrough.refund.productId", "product \"p9\" is not in \"catalog\""},
        {"clock advance of -1 days", "{" + kUser + R"(, "walkthrough": {"userId": 1, "clock": {"advanceDays": -1}}})",
         "$.walkthrough.clock.advanceDays", "expected a number of days from 0 to 36500, found -1"},
        {"expected state of no product",
         "{" + kUser + R"(, "walkthrough": {"userId": 1, "clock": {"advanceDays": 1, "expectedState": "Expired"}}})",
         "$.walkthrough.clock.expectedState", "an expected state needs \"productId\""},
        {"expected state All",
         "{" + kUser +
             R"(, "walkthrough": {"userId": 1, "clock": {"advanceDays": 1, "productId": "p", "expectedState": "All"}}})",
         "$.walkthrough.clock.expectedState", "All is a query filter, not the state of an item"},
        {"unknown key in an expectation",
         "{" + kUser + R"(, "walkthrough": {"userId": 1, "inventory": {"expect": {"code": "0x0"}}}})",
         "$.walkthrough.inventory.expect.code", "unknown key; expected one of started, hresult, status, nullResult"},
    };
}

using ScenarioErrorsTest = ScenarioTest;

// The error `load` throws; a load that succeeds fails the test.
template <class Load>
emu::ScenarioError ErrorOf(Load&& load) {
    try {
        load();
        ADD_FAILURE() << "loaded without error";
    } catch (const emu::ScenarioError& e) {
        return e;
    }
    return emu::ScenarioError("", "", "");
}

// Each mistake, parsed over an applied scenario that it must leave as it was.
TEST_F(ScenarioErrorsTest, EachMistakeIsNamedWithFilePathAndProblemAndChangesNothing) {
    const emu::Scenario applied = emu::DefaultScenario();
    emu::ApplyScenario(applied);
    const auto packages = emu::InstalledPackages();
    const auto base = TempDir();
    for (const Malformed& row : MalformedScenarios()) {
        SCOPED_TRACE(row.what);
        const auto e = ErrorOf([&] { emu::ParseScenario(row.json, "bad.json", base); });
        EXPECT_EQ(e.file, "bad.json");
        EXPECT_EQ(e.path, row.path);
        EXPECT_NE(e.problem.find(row.problem), std::string::npos) << e.problem;
        EXPECT_EQ(std::string(e.what()), "bad.json: " + e.path + ": " + e.problem);
    }
    EXPECT_THROW(emu::LoadScenarioFile(base / "missing.json"), emu::ScenarioError);

    EXPECT_EQ(emu::UserCount(), applied.users.size());
    EXPECT_EQ(emu::CatalogItems().size(), applied.catalog.size());
    EXPECT_EQ(emu::InventoryOf(1).size(), applied.inventories[0].items.size());
    EXPECT_EQ(emu::PrivilegeOf(1, 247), emu::PrivilegeCheckResult::PurchaseRequired);
    EXPECT_EQ(emu::DefaultDelay(), std::chrono::milliseconds(15));
    const auto after = emu::InstalledPackages();
    ASSERT_EQ(after.size(), packages.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].folder, packages[i].folder);
        EXPECT_TRUE(std::filesystem::is_directory(Folder(after[i].folder)));
    }
    EXPECT_EQ(emu::NextOutcome("ICatalogService.BrowseCatalogAsync").kind, emu::Outcome::Kind::Complete);
    EXPECT_EQ(emu::TakeFault("IInventoryItem.get_ProductId"), S_OK);
}

TEST_F(ScenarioErrorsTest, UnreadableFilesAreNamed) {
    const auto dir = TempDir();
    struct Row {
        std::filesystem::path file;
        std::string problem;
    };
    for (const Row& row : {Row{dir / "missing.json", "the file does not exist"}, Row{dir, "a directory, not a file"}}) {
        const auto e = ErrorOf([&] { emu::LoadScenarioFile(row.file); });
        EXPECT_EQ(e.file, row.file.string());
        EXPECT_EQ(e.path, "$");
        EXPECT_EQ(e.problem, row.problem);
    }
    WriteFile(dir / "broken.json", "{\"users\": [}");
    const auto e = ErrorOf([&] { emu::LoadScenarioFile(dir / "broken.json"); });
    EXPECT_EQ(e.file, (dir / "broken.json").string());
    EXPECT_EQ(e.problem.rfind("invalid JSON at line 1, column 12", 0), 0u) << e.problem;
}

// What is exactly at a limit loads; one more is in the table of mistakes above.
TEST_F(ScenarioErrorsTest, ScenariosAtTheLimitsLoad) {
    const auto base = TempDir();
    const std::string padded = R"({"users": []})";
    const std::string atTheLimit[] = {
        OfferData(Nested(kMaxDepth - 5)),
        R"({"title": {"relatedTitleIds": )" + Strings(kMaxList) + "}}",
        "{" + Package(R"("files": )" + Members(kMaxList)) + "}",
        padded + std::string(emu::kScenarioMaxBytes - padded.size(), ' '),
    };
    for (const std::string& json : atTheLimit) EXPECT_NO_THROW(emu::ParseScenario(json, "limit.json", base));
}

// A text or file one byte over the size limit is refused before it is parsed; a file is read no
// further than that byte, so an endless device is refused too.
TEST_F(ScenarioErrorsTest, OversizedTextsAndFilesAreRefusedUnread) {
    const auto dir = TempDir();
    const std::string tooLarge = "larger than 16777216 bytes, the most a scenario holds";
    const auto e = ErrorOf([&] { emu::ParseScenario(std::string(emu::kScenarioMaxBytes + 1, ' '), "big.json", dir); });
    EXPECT_EQ(e.path, "$");
    EXPECT_EQ(e.problem, tooLarge);
    std::ofstream(dir / "big.json").close();
    std::filesystem::resize_file(dir / "big.json", emu::kScenarioMaxBytes + 1);
    std::vector<std::filesystem::path> files = {dir / "big.json"};
#ifndef _WIN32
    files.push_back("/dev/zero");
#endif
    for (const auto& file : files) EXPECT_EQ(ErrorOf([&] { emu::LoadScenarioFile(file); }).problem, tooLarge) << file;
}

// A relative folder starts at the scenario file's directory, and stays where it is after a Reset.
TEST_F(ScenarioErrorsTest, PackageFoldersAreRelativeToTheFile) {
    const auto dir = TempDir();
    WriteFile(dir / "scenes" / "content" / "glider" / "readme.txt", "glider");
    WriteFile(dir / "scenes" / "world.json",
              R"({"packages": [{"packageFullName": "Glider_1.0", "folder": "content/glider"}]})");
    const emu::Scenario s = emu::LoadScenarioFile(dir / "scenes" / "world.json");
    ASSERT_EQ(s.packages.size(), 1u);
    const auto folder = Folder(s.packages[0].data.folder);
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(folder, dir / "scenes" / "content" / "glider"));

    emu::ApplyScenario(s);
    ASSERT_EQ(emu::InstalledPackages().size(), 1u);
    EXPECT_EQ(emu::InstalledPackages()[0].folder, s.packages[0].data.folder);
    emu::Reset();
    EXPECT_TRUE(std::filesystem::exists(folder / "readme.txt")) << "a folder the scenario names is not the emulator's";
}

// Alternative forms a file may use, each giving the same data as the usual form.
TEST_F(ScenarioErrorsTest, AlternativeFormsReadAsTheirUsualForms) {
    const auto base = TempDir();
    auto item = [&](const std::string& fields) {
        const emu::Scenario s = emu::ParseScenario("{" + Catalog(fields) + "}", "forms.json", base);
        return s.catalog.at(0);
    };
    const std::string byNumber = R"({"catalog": [{"id": "c1", "productId": "p1", "mediaItemType": 5}]})";
    EXPECT_EQ(emu::ParseScenario(byNumber, "forms.json", base).catalog.at(0).mediaItemType,
              emu::MediaItemType::GameConsumable);
    EXPECT_EQ(item(R"("releaseDate": -5)").releaseDate, -5);
    EXPECT_EQ(item(R"("releaseDate": "1601-01-01T00:00:00Z")").releaseDate, 0);
    EXPECT_EQ(item(R"("releaseDate": "1970-01-01T00:00:00Z")").releaseDate, 116444736000000000);
    EXPECT_EQ(item(R"("releaseDate": "1970-01-01T00:00:00.0000001Z")").releaseDate, 116444736000000001);
    EXPECT_EQ(item(R"("releaseDate": "2000-02-29T00:00:00Z")").releaseDate, 125962560000000000);
    EXPECT_EQ(item(R"("releaseDate": "2024-02-29T00:00:00Z")").releaseDate, 133536384000000000);
    EXPECT_EQ(item(R"("releaseDate": "9999-12-31T23:59:59.9999999Z")").releaseDate, 2650467743999999999);
    EXPECT_EQ(item(R"("availabilities": [{"isPurchasable": 7}])").availabilities[0].isPurchasable, 7);
    EXPECT_EQ(
        item(R"("availabilities": [{"offerDisplayDataJson": "{\"a\": 1}"}])").availabilities[0].offerDisplayDataJson,
        u"{\"a\": 1}");

    auto privilege = [&](const std::string& result) {
        const std::string json =
            "{" + kUser + R"(, "privileges": [{"userId": 1, "privilegeId": 7, "result": )" + result + "}]}";
        return uint32_t(emu::ParseScenario(json, "forms.json", base).privileges.at(0).result);
    };
    EXPECT_EQ(privilege(R"(["PurchaseRequired", "Restricted"])"), 9u);
    EXPECT_EQ(privilege("9"), 9u);
    EXPECT_EQ(privilege(R"("Banned")"), 4u);
    EXPECT_EQ(privilege("[]"), 0u);

    auto fault = [&](const std::string& hresult) {
        return emu::ParseScenario(Fault(hresult), "forms.json", base).faults.at(0).hr;
    };
    EXPECT_EQ(fault(R"("0x80070005")"), E_ACCESSDENIED);
    EXPECT_EQ(fault(R"("0X80070005")"), E_ACCESSDENIED);
    EXPECT_EQ(fault("-2147024891"), E_ACCESSDENIED);
    EXPECT_EQ(fault("2147942405"), E_ACCESSDENIED);
    EXPECT_EQ(fault(R"("0x1")"), S_FALSE);

    // A walkthrough passes any number on as it is: the platform's answer to it is what a demo shows.
    const std::string walk = "{" + kUser + R"(, "walkthrough": {"userId": 1,
        "browse": {"parentId": "x", "parentMediaType": 99, "sortOrder": "UserRatings"}, "dlc": {"filter": 7}}})";
    const emu::Scenario w = emu::ParseScenario(walk, "forms.json", base);
    EXPECT_EQ(w.walkthrough->browse->parentMediaType, 99);
    EXPECT_EQ(w.walkthrough->browse->childMediaType, int32_t(emu::MediaItemType::All));
    EXPECT_EQ(w.walkthrough->browse->sortOrder, int32_t(emu::CatalogSortOrder::UserRatings));
    EXPECT_EQ(w.walkthrough->dlc->filter, 7);
    EXPECT_FALSE(w.walkthrough->details.has_value());

    // Dates are written back as text, and numbers without a name as numbers.
    const std::string written = emu::ScenarioToJson(w);
    EXPECT_NE(written.find("\"parentMediaType\": 99"), std::string::npos);
    EXPECT_NE(written.find("\"sortOrder\": \"UserRatings\""), std::string::npos);
    const std::string dated = emu::ScenarioToJson(
        emu::ParseScenario("{" + Catalog(R"("releaseDate": "2000-02-29T00:00:00.25Z")") + "}", "forms.json", base));
    EXPECT_NE(dated.find("\"releaseDate\": \"2000-02-29T00:00:00.25Z\""), std::string::npos) << dated;
}

// A scenario built by hand can hold what the emulator refuses: the apply stops, names the part,
// and leaves an emptied emulator rather than half a world.
TEST_F(ScenarioErrorsTest, RefusedPartEmptiesTheEmulator) {
    emu::Scenario s = emu::DefaultScenario();
    emu::ScenarioPackage missing;
    missing.data.packageFullName = u"Missing_1.0";
    missing.data.folder = u"/no/such/folder/for/velmora";
    s.packages.push_back(missing);
    const auto e = ErrorOf([&] { emu::ApplyScenario(s); });
    EXPECT_EQ(e.file, "scenarios/default.json");
    EXPECT_EQ(e.path, "$.packages[2]");
    EXPECT_EQ(e.problem, "the emulator refused it (0x80070057)");
    EXPECT_EQ(emu::UserCount(), 0u);
    EXPECT_TRUE(emu::CatalogItems().empty());
    EXPECT_TRUE(emu::InstalledPackages().empty());
    EXPECT_EQ(emu::DefaultDelay(), std::chrono::microseconds(0));
}

}  // namespace
}  // namespace velmora::test
