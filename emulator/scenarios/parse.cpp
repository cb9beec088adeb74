// Reading a scenario file: JSON syntax, then every section checked (types, required keys, unknown
// keys, enumeration names, duplicates, references between sections, package folders) before
// anything is returned, so a scenario either loads whole or not at all.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "emulator/runtime/closest_names.h"
#include "emulator/runtime/known_calls.h"
#include "emulator/runtime/strings.h"
#include "emulator/scenarios/formats.h"
#include "emulator/scenarios/scenario.h"

namespace velmora::emu {

ScenarioError::ScenarioError(std::string file_, std::string path_, std::string problem_)
    : std::runtime_error(file_ + ": " + path_ + ": " + problem_),
      file(std::move(file_)),
      path(std::move(path_)),
      problem(std::move(problem_)) {}

namespace {

using namespace scenario_detail;
using Json = nlohmann::json;

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }
std::string Quoted(std::u16string_view text) { return Quoted(ToUtf8(text)); }

std::string Kind(const Json& v) {
    switch (v.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::boolean:
            return "a boolean";
        case Json::value_t::string:
            return "a string";
        case Json::value_t::array:
            return "an array";
        case Json::value_t::object:
            return "an object";
        default:
            return "a number";
    }
}

// A value in the document and where it is, with the typed reads a scenario needs. Every failed
// read throws ScenarioError naming this value's path.
class Node {
public:
    Node(const Json& value, std::string path, const std::string& file)
        : value_(&value), path_(std::move(path)), file_(&file) {}

    [[noreturn]] void Fail(std::string problem) const { throw ScenarioError(*file_, path_, std::move(problem)); }
    const std::string& Path() const { return path_; }
    const Json& Value() const { return *value_; }

    // Checks that this is an object whose keys are all known, so a misspelt key is an error
    // instead of a silently missing value.
    const Node& Object(std::initializer_list<std::string_view> known) const {
        Expect(value_->is_object(), "an object");
        for (auto it = value_->cbegin(); it != value_->cend(); ++it) {
            const std::string& key = it.key();
            bool found = false;
            for (auto k : known) found = found || k == key;
            if (found) continue;
            std::string_view closest;
            size_t best = 3;
            for (auto k : known)
                if (const size_t d = EditDistance(key, k); d < best) best = d, closest = k;
            const std::string path = MemberPath(path_, key);
            if (!closest.empty())
                throw ScenarioError(*file_, path, "unknown key; did you mean " + Quoted(closest) + "?");
            std::string list;
            for (auto k : known) list += (list.empty() ? "" : ", ") + std::string(k);
            throw ScenarioError(*file_, path, "unknown key; expected one of " + list);
        }
        return *this;
    }
    std::optional<Node> Opt(std::string_view key) const {
        const auto it = value_->find(key);
        if (it == value_->end()) return std::nullopt;
        return Node(*it, MemberPath(path_, key), *file_);
    }
    Node Req(std::string_view key) const {
        if (auto n = Opt(key)) return *n;
        throw ScenarioError(*file_, MemberPath(path_, key), "required key is missing");
    }
    std::vector<Node> Array() const {
        Expect(value_->is_array(), "an array");
        std::vector<Node> out;
        for (size_t i = 0; i < value_->size(); ++i) out.emplace_back((*value_)[i], IndexPath(path_, i), *file_);
        return out;
    }
    std::vector<std::pair<std::string, Node>> Members() const {
        Expect(value_->is_object(), "an object");
        std::vector<std::pair<std::string, Node>> out;
        for (auto it = value_->cbegin(); it != value_->cend(); ++it)
            out.emplace_back(it.key(), Node(*it, MemberPath(path_, it.key()), *file_));
        return out;
    }

    std::string Utf8() const {
        Expect(value_->is_string(), "a string");
        return value_->get<std::string>();
    }
    std::u16string Text() const { return FromUtf8(Utf8()); }
    std::u16string NonEmptyText() const {
        std::u16string t = Text();
        if (t.empty()) Fail("must not be empty");
        return t;
    }
    std::vector<std::u16string> Texts() const {
        std::vector<std::u16string> out;
        for (const Node& n : Array()) out.push_back(n.Text());
        return out;
    }
    // An absolute URI text, as the platform's Uri accepts.
    std::u16string Uri() const {
        std::u16string t = Text();
        if (!IsAbsoluteUri(t)) Fail(Quoted(t) + " is not an absolute URI (a scheme, then ':')");
        return t;
    }
    bool Bool() const {
        Expect(value_->is_boolean(), "a boolean");
        return value_->get<bool>();
    }
    int64_t Integer(int64_t min, int64_t max) const {
        const std::string expected = "an integer from " + std::to_string(min) + " to " + std::to_string(max);
        Expect(value_->is_number(), expected);
        if (value_->is_number_unsigned()) {
            const uint64_t v = value_->get<uint64_t>();
            if (v <= uint64_t(max)) return int64_t(v);
        } else if (value_->is_number_integer()) {
            const int64_t v = value_->get<int64_t>();
            if (v >= min && v <= max) return v;
        }
        Fail("expected " + expected + ", found " + value_->dump());
    }
    uint32_t U32() const { return uint32_t(Integer(0, std::numeric_limits<uint32_t>::max())); }
    int32_t I32() const {
        return int32_t(Integer(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    }
    uint64_t U64() const {
        if (value_->is_number_unsigned()) return value_->get<uint64_t>();
        return uint64_t(Integer(0, std::numeric_limits<int64_t>::max()));
    }
    double Number() const {
        Expect(value_->is_number(), "a number");
        return value_->get<double>();
    }
    // An ISO-8601 UTC text, or a raw tick count.
    int64_t Date() const {
        if (value_->is_number())
            return Integer(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
        Expect(value_->is_string(), "a date (\"2024-05-01T00:00:00Z\" or a tick count)");
        std::string why;
        const std::string text = Utf8();
        if (auto ticks = ParseDate(text, &why)) return *ticks;
        Fail(Quoted(text) + " is not a date: " + why);
    }
    // "0x80070005", or an integer from -2147483648 to 4294967295.
    HRESULT Hresult() const {
        if (value_->is_number()) return HRESULT(uint32_t(Integer(std::numeric_limits<int32_t>::min(), 0xFFFFFFFFll)));
        Expect(value_->is_string(), "an HRESULT (\"0x80070005\")");
        const std::string text = Utf8();
        if (auto hr = ParseHresult(text)) return *hr;
        Fail(Quoted(text) + " is not an HRESULT; expected \"0x\" and 1 to 8 hex digits, like \"0x80070005\"");
    }
    Guid GuidValue() const {
        const std::string text = Utf8();
        if (auto g = ParseGuid(text)) return *g;
        Fail(Quoted(text) + " is not a GUID; expected \"XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX\"");
    }
    // An enumeration value by name, or by number: any 32-bit number when `anyNumber` (an argument
    // a walkthrough passes on as it is), else only a value that has a name.
    int64_t Enum(EnumNames names, std::string_view type, bool anyNumber) const {
        if (value_->is_number()) {
            const int64_t v = Integer(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
            if (!anyNumber && !NameOf(names, v))
                Fail(std::string(type) + " " + std::to_string(v) + " does not exist; expected " + NameList(names));
            return v;
        }
        Expect(value_->is_string(), "a " + std::string(type) + " name or number");
        const std::string name = Utf8();
        if (auto v = ValueOf(names, name)) return *v;
        Fail("unknown " + std::string(type) + " " + Quoted(name) + "; expected " + NameList(names) + ", or a number");
    }
    // Flags: a list of names (an empty list is NoIssue), one name, or a number.
    uint32_t Flags(EnumNames names, std::string_view type) const {
        if (value_->is_number()) return U32();
        if (value_->is_string()) return uint32_t(Enum(names, type, false));
        Expect(value_->is_array(), "a list of " + std::string(type) + " names, a name or a number");
        uint32_t flags = 0;
        for (const Node& n : Array()) {
            n.Expect(n.value_->is_string(), "a " + std::string(type) + " name");
            flags |= uint32_t(n.Enum(names, type, false));
        }
        return flags;
    }

private:
    void Expect(bool ok, const std::string& expected) const {
        if (!ok) Fail("expected " + expected + ", found " + Kind(*value_));
    }
    const Json* value_;
    std::string path_;
    const std::string* file_;
};

// Remembers where each key was first seen, to name both places of a duplicate.
template <class Key>
class FirstSeen {
public:
    void Add(const Key& key, const Node& at, std::string_view what, const std::string& shown) {
        const auto [it, added] = seen_.emplace(key, at.Path());
        if (!added) at.Fail("duplicate " + std::string(what) + " " + shown + " (first at " + it->second + ")");
    }
    bool Has(const Key& key) const { return seen_.count(key) != 0; }

private:
    std::map<Key, std::string> seen_;
};

// At most an hour: a longer delay is a mistake, and the bound keeps the conversion exact.
std::chrono::microseconds Delay(const Node& n) {
    const double ms = n.Number();
    if (!(ms >= 0 && ms <= 3600000)) n.Fail("expected a delay from 0 to 3600000 ms, found " + n.Value().dump());
    return std::chrono::microseconds(std::llround(ms * 1000));
}

// A walkthrough's clock advance: at most a hundred years, which keeps the conversion exact.
constexpr int kMaxAdvanceDays = 36500;
constexpr double kMicrosecondsPerDay = 86400e6;

class Parser {
public:
    Parser(const std::string& file, const std::filesystem::path& base) : file_(file), base_(base) {}

    Scenario Parse(const Json& json) {
        const Node root(json, "$", file_);
        root.Object({"title", "defaultDelayMs", "users", "catalog", "inventories", "privileges", "redeemCodes",
                     "subscriptions", "packages", "faults", "outcomes", "clock", "ledger", "walkthrough", "$schema"});
        if (auto n = root.Opt("$schema")) n->Utf8();  // for editors; the loader knows the format
        s_.file = file_;
        s_.directory = base_;
        if (auto n = root.Opt("title")) Title(*n);
        if (auto n = root.Opt("defaultDelayMs")) s_.defaultDelay = Delay(*n);
        // Sections that others refer to come first.
        if (auto n = root.Opt("users"))
            for (const Node& u : n->Array()) s_.users.push_back(User(u));
        if (auto n = root.Opt("catalog"))
            for (const Node& c : n->Array()) s_.catalog.push_back(CatalogItem(c));
        if (auto n = root.Opt("inventories"))
            for (const Node& i : n->Array()) s_.inventories.push_back(Inventory(i));
        if (auto n = root.Opt("privileges"))
            for (const Node& p : n->Array()) s_.privileges.push_back(Privilege(p));
        if (auto n = root.Opt("redeemCodes"))
            for (const Node& r : n->Array()) s_.redeemCodes.push_back(RedeemCode(r));
        if (auto n = root.Opt("subscriptions"))
            for (const Node& r : n->Array()) s_.subscriptions.push_back(Subscription(r));
        if (auto n = root.Opt("packages")) {
            FirstSeen<std::u16string> names;
            for (const Node& p : n->Array()) {
                s_.packages.push_back(Package(p));
                const std::u16string& name = s_.packages.back().data.packageFullName;
                names.Add(name, p.Req("packageFullName"), "package full name", Quoted(name));
            }
        }
        if (auto n = root.Opt("faults"))
            for (const Node& f : n->Array()) s_.faults.push_back(Fault(f));
        if (auto n = root.Opt("outcomes"))
            for (const Node& o : n->Array()) s_.outcomes.push_back(OutcomeOf(o));
        if (auto n = root.Opt("clock")) s_.clock = InRange(*n, n->Date());
        if (auto n = root.Opt("ledger")) s_.ledger = Ledger(*n);
        if (auto n = root.Opt("walkthrough")) s_.walkthrough = WalkthroughOf(*n);
        return std::move(s_);
    }

private:
    void Title(const Node& n) {
        n.Object({"currentTitleId", "relatedTitleIds"});
        if (auto v = n.Opt("currentTitleId")) s_.title.currentTitleId = v->Text();
        if (auto v = n.Opt("relatedTitleIds")) s_.title.relatedTitleIds = v->Texts();
    }

    UserInfo User(const Node& n) {
        n.Object({"id", "gamertag", "xboxUserId"});
        UserInfo u;
        const Node id = n.Req("id");
        u.id = id.U32();
        userIds_.Add(u.id, id, "user id", std::to_string(u.id));
        u.gamertag = n.Req("gamertag").Text();
        if (auto v = n.Opt("xboxUserId")) u.xboxUserId = v->Text();
        return u;
    }

    CatalogImageData Image(const Node& n) {
        n.Object({"id", "purpose", "purposes", "resizeUrl", "width", "height"});
        CatalogImageData i;
        if (auto v = n.Opt("id")) i.id = v->Text();
        if (auto v = n.Opt("purpose")) i.purpose = v->Text();
        if (auto v = n.Opt("purposes")) i.purposes = v->Texts();
        if (auto v = n.Opt("resizeUrl")) i.resizeUrl = v->Uri();
        if (auto v = n.Opt("width")) i.width = v->U32();
        if (auto v = n.Opt("height")) i.height = v->U32();
        return i;
    }

    CatalogAvailabilityData Availability(const Node& n) {
        n.Object({"contentId", "title", "description", "currencyCode", "displayPrice", "displayListPrice",
                  "distributionType", "promotionalText", "signedOffer", "offerId", "offerDisplayDataJson",
                  "isPurchasable", "price", "listPrice", "consumableQuantity", "acceptablePaymentInstrumentTypes"});
        CatalogAvailabilityData a;
        const std::pair<const char*, std::u16string CatalogAvailabilityData::*> texts[] = {
            {"contentId", &CatalogAvailabilityData::contentId},
            {"title", &CatalogAvailabilityData::title},
            {"description", &CatalogAvailabilityData::description},
            {"currencyCode", &CatalogAvailabilityData::currencyCode},
            {"displayPrice", &CatalogAvailabilityData::displayPrice},
            {"displayListPrice", &CatalogAvailabilityData::displayListPrice},
            {"distributionType", &CatalogAvailabilityData::distributionType},
            {"promotionalText", &CatalogAvailabilityData::promotionalText},
            {"offerId", &CatalogAvailabilityData::offerId},
        };
        for (const auto& [key, member] : texts)
            if (auto v = n.Opt(key)) a.*member = v->Text();
        if (auto v = n.Opt("signedOffer")) {
            a.signedOffer = v->Text();
            if (!a.signedOffer.empty()) signedOffers_.Add(a.signedOffer, *v, "signed offer", Quoted(a.signedOffer));
        }
        // Offer display data is JSON text; an object or array in the file is written out compactly.
        if (auto v = n.Opt("offerDisplayDataJson"))
            a.offerDisplayDataJson = v->Value().is_structured() ? FromUtf8(v->Value().dump()) : v->Text();
        if (auto v = n.Opt("isPurchasable"))
            a.isPurchasable = v->Value().is_boolean() ? uint8_t(v->Bool()) : uint8_t(v->Integer(0, 255));
        if (auto v = n.Opt("price")) a.price = v->Number();
        if (auto v = n.Opt("listPrice")) a.listPrice = v->Number();
        if (auto v = n.Opt("consumableQuantity")) a.consumableQuantity = v->U32();
        if (auto v = n.Opt("acceptablePaymentInstrumentTypes")) a.acceptablePaymentInstrumentTypes = v->Texts();
        return a;
    }

    CatalogItemData CatalogItem(const Node& n) {
        n.Object({"id", "name", "reducedName", "description", "productId", "sandboxId", "mediaItemType", "titleId",
                  "releaseDate", "digitalReleaseDate", "parentIds", "images", "availabilities", "freeAndPaidCountDaily",
                  "paidCountAllTime", "paidCountDaily", "userRating"});
        CatalogItemData c;
        const Node id = n.Req("id"), productId = n.Req("productId");
        c.id = id.NonEmptyText();
        catalogIds_.Add(c.id, id, "catalog id", Quoted(c.id));
        c.productId = productId.NonEmptyText();
        productIds_.Add(c.productId, productId, "product id", Quoted(c.productId));
        c.mediaItemType = MediaItemType(n.Req("mediaItemType").Enum(kMediaItemTypes, "MediaItemType", false));
        if (auto v = n.Opt("name")) c.name = v->Text();
        if (auto v = n.Opt("reducedName")) c.reducedName = v->Text();
        if (auto v = n.Opt("description")) c.description = v->Text();
        if (auto v = n.Opt("sandboxId")) c.sandboxId = v->Text();
        if (auto v = n.Opt("titleId")) c.titleId = v->U32();
        if (auto v = n.Opt("releaseDate")) c.releaseDate = v->Date();
        if (auto v = n.Opt("digitalReleaseDate")) c.digitalReleaseDate = v->Date();
        if (auto v = n.Opt("parentIds")) c.parentIds = v->Texts();
        if (auto v = n.Opt("images"))
            for (const Node& i : v->Array()) c.images.push_back(Image(i));
        if (auto v = n.Opt("availabilities"))
            for (const Node& a : v->Array()) c.availabilities.push_back(Availability(a));
        if (auto v = n.Opt("freeAndPaidCountDaily")) c.freeAndPaidCountDaily = v->U64();
        if (auto v = n.Opt("paidCountAllTime")) c.paidCountAllTime = v->U64();
        if (auto v = n.Opt("paidCountDaily")) c.paidCountDaily = v->U64();
        if (auto v = n.Opt("userRating")) c.userRating = v->Number();
        return c;
    }

    InventoryItemData InventoryItem(const Node& n) {
        n.Object({"productId", "mediaItemType", "state", "available", "titleId", "containerIds", "url", "consumableUrl",
                  "rightsObtainedDate", "startDate", "endDate", "consumableBalance"});
        InventoryItemData i;
        i.productId = n.Req("productId").NonEmptyText();
        i.mediaItemType = MediaItemType(n.Req("mediaItemType").Enum(kMediaItemTypes, "MediaItemType", false));
        if (auto v = n.Opt("state")) {
            i.state = InventoryItemState(v->Enum(kItemStates, "InventoryItemState", false));
            if (i.state == InventoryItemState::All) v->Fail("All is a query filter, not the state of an item");
        }
        if (auto v = n.Opt("available")) i.available = v->Bool();
        if (auto v = n.Opt("titleId")) i.titleId = v->U32();
        if (auto v = n.Opt("containerIds")) i.containerIds = v->Texts();
        if (auto v = n.Opt("url")) i.url = v->Uri();
        if (auto v = n.Opt("consumableUrl")) i.consumableUrl = v->Uri();
        if (auto v = n.Opt("rightsObtainedDate")) i.rightsObtainedDate = v->Date();
        if (auto v = n.Opt("startDate")) i.startDate = v->Date();
        if (auto v = n.Opt("endDate")) i.endDate = v->Date();
        if (auto v = n.Opt("consumableBalance")) i.consumableBalance = v->U32();
        return i;
    }

    ScenarioInventory Inventory(const Node& n) {
        n.Object({"userId", "items"});
        ScenarioInventory inv;
        const Node userId = n.Req("userId");
        inv.userId = KnownUser(userId);
        inventoryUsers_.Add(inv.userId, userId, "inventory of user", std::to_string(inv.userId));
        FirstSeen<std::u16string> owned;
        for (const Node& i : n.Req("items").Array()) {
            inv.items.push_back(InventoryItem(i));
            owned.Add(inv.items.back().productId, i.Req("productId"), "product id", Quoted(inv.items.back().productId));
        }
        return inv;
    }

    ScenarioPrivilege Privilege(const Node& n) {
        n.Object({"userId", "privilegeId", "result", "resolveWithProduct"});
        ScenarioPrivilege p;
        p.userId = KnownUser(n.Req("userId"));
        const Node privilegeId = n.Req("privilegeId");
        p.privilegeId = privilegeId.U32();
        privileges_.Add({p.userId, p.privilegeId}, privilegeId, "privilege",
                        std::to_string(p.privilegeId) + " of user " + std::to_string(p.userId));
        const Node result = n.Req("result");
        p.result = PrivilegeCheckResult(result.Flags(kPrivilegeFlags, "PrivilegeCheckResult"));
        if (auto v = n.Opt("resolveWithProduct")) {
            p.resolveWithProduct = KnownProduct(*v);
            if (!(uint32_t(p.result) & uint32_t(PrivilegeCheckResult::PurchaseRequired)))
                v->Fail("a resolution needs PurchaseRequired in \"result\"");
        }
        return p;
    }

    ScenarioRedeemCode RedeemCode(const Node& n) {
        n.Object({"code", "productId", "redeemed"});
        ScenarioRedeemCode r;
        const Node code = n.Req("code");
        r.code = code.NonEmptyText();
        codes_.Add(r.code, code, "redeem code", Quoted(r.code));
        r.productId = KnownProduct(n.Req("productId"));
        if (auto v = n.Opt("redeemed")) r.redeemed = v->Bool();
        return r;
    }

    // A date the clock can read: 1601-01-01 to 9999-12-31 (a tick count may lie outside).
    static int64_t InRange(const Node& n, int64_t ticks) {
        if (ticks < 0 || ticks > kLastTicks)
            n.Fail("the clock reads dates from 1601-01-01T00:00:00Z to 9999-12-31T23:59:59.9999999Z, not " +
                   std::to_string(ticks) + " ticks");
        return ticks;
    }

    ScenarioLedger Ledger(const Node& n) {
        n.Object({"dropped", "entries"});
        ScenarioLedger l;
        if (auto v = n.Opt("dropped")) l.dropped = v->U64();
        if (auto v = n.Opt("entries")) {
            const std::vector<Node> entries = v->Array();
            if (entries.size() > kLedgerCapacity)
                v->Fail("more than " + std::to_string(kLedgerCapacity) + " entries, the most the ledger keeps");
            for (const Node& e : entries) l.entries.push_back(Entry(e, l.entries));
        }
        return l;
    }

    static Transaction Entry(const Node& n, const std::vector<Transaction>& earlier) {
        n.Object({"id", "time", "userId", "productId", "quantity", "source", "outcome", "hresult", "transactionId",
                  "refundOf"});
        Transaction t;
        const Node id = n.Req("id");
        t.id = id.U64();
        if (t.id == 0 || (!earlier.empty() && t.id <= earlier.back().id))
            id.Fail("expected an id above " + std::to_string(earlier.empty() ? 0 : earlier.back().id) +
                    ": ids start at 1 and rise from entry to entry");
        const Node time = n.Req("time");
        t.time = InRange(time, time.Date());
        t.userId = n.Req("userId").U32();
        if (auto v = n.Opt("productId")) t.productId = v->Text();
        if (auto v = n.Opt("quantity")) t.quantity = v->U32();
        t.source = TransactionSource(n.Req("source").Enum(kTransactionSources, "transaction source", false));
        t.outcome = TransactionOutcome(n.Req("outcome").Enum(kTransactionOutcomes, "transaction outcome", false));
        if (auto v = n.Opt("hresult")) t.hresult = v->Hresult();
        if (auto v = n.Opt("transactionId")) t.transactionId = v->Text();
        const auto refundOf = n.Opt("refundOf");
        if (refundOf) t.refundOf = refundOf->U64();
        if (t.source == TransactionSource::Refund && !refundOf)
            n.Fail("a Refund entry names the entry it refunds in \"refundOf\"");
        if (refundOf && t.source != TransactionSource::Refund)
            refundOf->Fail("only a Refund entry names an entry it refunds");
        if (refundOf && (t.refundOf == 0 || t.refundOf >= t.id))
            refundOf->Fail("expected the id of an earlier entry, below " + std::to_string(t.id));
        return t;
    }

    ScenarioSubscription Subscription(const Node& n) {
        n.Object({"productId", "privilegeId"});
        ScenarioSubscription s;
        s.productId = KnownProduct(n.Req("productId"));
        s.privilegeId = n.Req("privilegeId").U32();
        return s;
    }

    ScenarioPackage Package(const Node& n) {
        n.Object({"titleId", "contentId", "productId", "packageFullName", "displayName", "description", "publisher",
                  "version", "contentType", "folder", "files", "licensed", "contentGuid"});
        ScenarioPackage p;
        PackageData& d = p.data;
        d.packageFullName = n.Req("packageFullName").NonEmptyText();
        const std::pair<const char*, std::u16string PackageData::*> texts[] = {
            {"titleId", &PackageData::titleId},         {"contentId", &PackageData::contentId},
            {"productId", &PackageData::productId},     {"displayName", &PackageData::displayName},
            {"description", &PackageData::description}, {"publisher", &PackageData::publisher},
            {"version", &PackageData::version},
        };
        for (const auto& [key, member] : texts)
            if (auto v = n.Opt(key)) d.*member = v->Text();
        if (auto v = n.Opt("contentType")) d.contentType = v->I32();
        if (auto v = n.Opt("licensed")) d.licensed = v->Bool();
        if (auto v = n.Opt("contentGuid")) d.contentGuid = v->GuidValue();
        const auto folder = n.Opt("folder");
        const auto files = n.Opt("files");
        if (folder && files) folder->Fail("a package takes \"folder\" or \"files\", not both");
        if (!folder && !files) n.Fail("a package needs \"folder\" (an existing directory) or \"files\"");
        if (folder) {
            std::filesystem::path path = PathFromUtf8(folder->Utf8());
            if (path.empty()) folder->Fail("must not be empty");
            if (path.is_relative()) path = base_ / path;
            std::error_code ec;
            if (!std::filesystem::is_directory(path, ec))
                folder->Fail("folder " + Quoted(Utf8OfPath(path)) + " does not exist or is not a directory");
            d.folder = FromUtf8(Utf8OfPath(std::filesystem::absolute(path, ec).lexically_normal()));
        }
        if (files) {
            for (const auto& [name, content] : files->Members()) {
                if (!RelativeFileName(name))
                    content.Fail("not a file name inside the package: relative, '/' between parts, no \".\" or \"..\"");
                p.files[name] = content.Utf8();
            }
        }
        return p;
    }

    static bool RelativeFileName(const std::string& name) {
        if (name.empty() || name.front() == '/' || name.back() == '/' || name.find('\\') != std::string::npos ||
            name.find(':') != std::string::npos)
            return false;
        size_t start = 0;
        while (start <= name.size()) {
            const size_t end = std::min(name.find('/', start), name.size());
            const std::string_view part(name.data() + start, end - start);
            if (part.empty() || part == "." || part == "..") return false;
            start = end + 1;
        }
        return true;
    }

    // The name of a call the emulator makes (and, for an outcome, one that starts an operation).
    static std::string Call(const Node& n, bool forOutcome) {
        std::string call = n.Utf8();
        if (call.empty()) n.Fail("must not be empty");
        if (auto problem = CallNameProblem(call, forOutcome)) n.Fail(*problem);
        return call;
    }

    ScenarioFault Fault(const Node& n) {
        n.Object({"call", "hresult", "times"});
        ScenarioFault f;
        f.call = Call(n.Req("call"), false);
        const Node hresult = n.Req("hresult");
        f.hr = hresult.Hresult();
        if (f.hr == 0) hresult.Fail("a fault answers a code other than 0 (S_OK)");
        if (auto v = n.Opt("times")) {
            f.times = int(v->Integer(-1, std::numeric_limits<int32_t>::max()));
            if (f.times == 0) v->Fail("expected a count of 1 or more, or -1 (every call)");
        }
        return f;
    }

    ScenarioOutcome OutcomeOf(const Node& n) {
        n.Object({"call", "kind", "hresult", "times", "delayMs"});
        ScenarioOutcome o;
        o.call = Call(n.Req("call"), true);
        o.outcome.kind = Outcome::Kind(n.Req("kind").Enum(kOutcomeKinds, "outcome kind", false));
        if (auto v = n.Opt("hresult")) o.outcome.hr = v->Hresult();
        const bool failing = o.outcome.kind == Outcome::Kind::Fail || o.outcome.kind == Outcome::Kind::FailStart;
        if (failing && !Failed(o.outcome.hr))
            n.Req("hresult").Fail("a " + std::string(*NameOf(kOutcomeKinds, int64_t(o.outcome.kind))) +
                                  " outcome needs a failure code (high bit set), like \"0x80004005\"");
        if (auto v = n.Opt("times")) o.times = int(v->Integer(1, std::numeric_limits<int32_t>::max()));
        if (auto v = n.Opt("delayMs")) o.outcome.delay = Delay(*v);
        return o;
    }

    StepExpectation Expectation(const Node& n) {
        n.Object({"started", "hresult", "status", "nullResult"});
        StepExpectation e;
        if (auto v = n.Opt("started")) e.started = v->Bool();
        if (auto v = n.Opt("hresult")) e.hresult = v->Hresult();
        if (auto v = n.Opt("status")) e.status = v->U32();
        if (auto v = n.Opt("nullResult")) e.nullResult = v->Bool();
        return e;
    }

    Walkthrough WalkthroughOf(const Node& n) {
        n.Object(
            {"userId", "browse", "details", "inventory", "purchase", "consume", "refund", "privilege", "clock", "dlc"});
        Walkthrough w;
        w.userId = KnownUser(n.Req("userId"));
        if (auto step = n.Opt("browse")) {
            step->Object({"parentId", "parentMediaType", "childMediaType", "sortOrder", "skip", "max", "expect"});
            BrowseStep& b = w.browse.emplace();
            b.parentId = step->Req("parentId").Text();
            if (auto v = step->Opt("parentMediaType")) b.parentMediaType = int32_t(MediaType(*v));
            if (auto v = step->Opt("childMediaType")) b.childMediaType = int32_t(MediaType(*v));
            if (auto v = step->Opt("sortOrder")) b.sortOrder = int32_t(v->Enum(kSortOrders, "CatalogSortOrder", true));
            if (auto v = step->Opt("skip")) b.skip = v->U32();
            if (auto v = step->Opt("max")) b.max = v->U32();
            if (auto v = step->Opt("expect")) b.expect = Expectation(*v);
        }
        if (auto step = n.Opt("details")) {
            step->Object({"productIds", "expect"});
            DetailsStep& d = w.details.emplace();
            d.productIds = step->Req("productIds").Texts();
            if (auto v = step->Opt("expect")) d.expect = Expectation(*v);
        }
        if (auto step = n.Opt("inventory")) {
            step->Object({"mediaItemType", "expect"});
            InventoryStep& i = w.inventory.emplace();
            if (auto v = step->Opt("mediaItemType")) i.mediaItemType = int32_t(MediaType(*v));
            if (auto v = step->Opt("expect")) i.expect = Expectation(*v);
        }
        if (auto step = n.Opt("purchase")) {
            step->Object({"productId", "expect"});
            PurchaseStep& p = w.purchase.emplace();
            const Node productId = step->Req("productId");
            p.productId = KnownProduct(productId);
            if (!HasSignedOffer(p.productId)) productId.Fail("product " + Quoted(p.productId) + " has no signed offer");
            if (auto v = step->Opt("expect")) p.expect = Expectation(*v);
        }
        if (auto step = n.Opt("consume")) {
            step->Object({"productId", "quantity", "transactionId", "expect"});
            ConsumeStep& c = w.consume.emplace();
            c.productId = step->Req("productId").Text();
            if (auto v = step->Opt("quantity")) c.quantity = v->U32();
            if (auto v = step->Opt("transactionId")) c.transactionId = v->Text();
            if (auto v = step->Opt("expect")) c.expect = Expectation(*v);
        }
        if (auto step = n.Opt("refund")) {
            step->Object({"productId"});
            w.refund.emplace().productId = KnownProduct(step->Req("productId"));
        }
        if (auto step = n.Opt("privilege")) {
            step->Object({"privilegeId", "attemptResolution", "expect", "expectedResult"});
            PrivilegeStep& p = w.privilege.emplace();
            p.privilegeId = step->Req("privilegeId").U32();
            if (auto v = step->Opt("attemptResolution")) p.attemptResolution = v->Bool();
            if (auto v = step->Opt("expect")) p.expect = Expectation(*v);
            if (auto v = step->Opt("expectedResult"))
                p.expectedResult = v->Flags(kPrivilegeFlags, "PrivilegeCheckResult");
        }
        if (auto step = n.Opt("clock")) {
            step->Object({"advanceDays", "productId", "expectedState"});
            ClockStep& c = w.clock.emplace();
            const Node days = step->Req("advanceDays");
            const double d = days.Number();
            if (!(d >= 0 && d <= kMaxAdvanceDays))
                days.Fail("expected a number of days from 0 to " + std::to_string(kMaxAdvanceDays) + ", found " +
                          days.Value().dump());
            c.advance = std::chrono::microseconds(std::llround(d * kMicrosecondsPerDay));
            if (auto v = step->Opt("productId")) c.productId = v->Text();
            if (auto v = step->Opt("expectedState")) {
                if (c.productId.empty()) v->Fail("an expected state needs \"productId\": the item it is expected of");
                c.expectedState = InventoryItemState(v->Enum(kItemStates, "InventoryItemState", false));
                if (*c.expectedState == InventoryItemState::All)
                    v->Fail("All is a query filter, not the state of an item");
            }
        }
        if (auto step = n.Opt("dlc")) {
            step->Object({"filter", "install", "readFile"});
            DlcStep& d = w.dlc.emplace();
            if (auto v = step->Opt("filter"))
                d.filter = int32_t(v->Enum(kPackageFilters, "DownloadableContentPackageFilter", true));
            if (auto v = step->Opt("install")) d.install = Package(*v);
            if (auto v = step->Opt("readFile")) {
                const std::string name = v->Utf8();
                d.readFile = FromUtf8(name);
                if (!d.install) v->Fail("reading a file needs \"install\": it names a file of the installed package");
                const bool present = d.install->data.folder.empty()
                                         ? d.install->files.count(name) != 0
                                         : RelativeFileName(name) &&
                                               std::filesystem::is_regular_file(
                                                   PathFromUtf8(ToUtf8(d.install->data.folder)) / PathFromUtf8(name));
                if (!present) v->Fail("the installed package has no file " + Quoted(name));
            }
        }
        return w;
    }

    static int64_t MediaType(const Node& n) { return n.Enum(kMediaItemTypes, "MediaItemType", true); }

    uint32_t KnownUser(const Node& n) {
        const uint32_t id = n.U32();
        if (!userIds_.Has(id)) n.Fail("user " + std::to_string(id) + " is not in \"users\"");
        return id;
    }

    std::u16string KnownProduct(const Node& n) {
        std::u16string id = n.Text();
        if (!productIds_.Has(id)) n.Fail("product " + Quoted(id) + " is not in \"catalog\"");
        return id;
    }

    bool HasSignedOffer(const std::u16string& productId) const {
        for (const auto& c : s_.catalog)
            if (c.productId == productId)
                for (const auto& a : c.availabilities)
                    if (!a.signedOffer.empty()) return true;
        return false;
    }

    const std::string& file_;
    std::filesystem::path base_;
    Scenario s_;
    FirstSeen<uint32_t> userIds_;
    FirstSeen<std::u16string> catalogIds_, productIds_, signedOffers_, codes_;
    FirstSeen<uint32_t> inventoryUsers_;
    FirstSeen<std::pair<uint32_t, uint32_t>> privileges_;
};

std::string TooLarge() {
    return "larger than " + std::to_string(kScenarioMaxBytes) + " bytes, the most a scenario holds";
}

// JSON syntax, with what nlohmann leaves out: a key given twice in an object (where the later value
// would silently win), and the limits, checked as the parse reaches them so that a hostile file is
// refused before it costs time or memory.
Json ParseJson(std::string_view text, const std::string& file) {
    if (text.size() > kScenarioMaxBytes) throw ScenarioError(file, "$", TooLarge());
    struct Frame {
        bool array;
        size_t count;
        std::string path;
        std::string key;
        std::set<std::string> keys;
    };
    std::vector<Frame> frames;
    size_t values = 0;
    // The path of the value the parser reads next.
    auto nextPath = [&]() -> std::string {
        if (frames.empty()) return "$";
        const Frame& f = frames.back();
        return f.array ? IndexPath(f.path, f.count) : MemberPath(f.path, f.key);
    };
    auto limit = [&](size_t count, size_t most, const std::string& what) {
        if (count > most) throw ScenarioError(file, nextPath(), "more than " + std::to_string(most) + " " + what);
    };
    auto element = [&]() {
        limit(++values, kScenarioMaxValues, "values in the document");
        if (frames.empty() || !frames.back().array) return;
        limit(frames.back().count + 1, kScenarioMaxListLength, "elements in one array");
    };
    auto open = [&](bool array) {
        element();
        limit(frames.size() + 1, kScenarioMaxDepth, "arrays and objects nested in each other");
        std::string path = nextPath();
        if (!frames.empty() && frames.back().array) ++frames.back().count;
        frames.push_back({array, 0, std::move(path), {}, {}});
    };
    const Json::parser_callback_t check = [&](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
                open(false);
                break;
            case Json::parse_event_t::array_start:
                open(true);
                break;
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                frames.pop_back();
                break;
            case Json::parse_event_t::key: {
                Frame& f = frames.back();
                f.key = parsed.get<std::string>();
                limit(f.keys.size() + 1, kScenarioMaxListLength, "members in one object");
                if (!f.keys.insert(f.key).second) throw ScenarioError(file, nextPath(), "duplicate key");
                break;
            }
            case Json::parse_event_t::value:  // a number, string, boolean or null
                element();
                if (!frames.empty() && frames.back().array) ++frames.back().count;
                break;
        }
        return true;
    };
    try {
        return Json::parse(text.begin(), text.end(), check);
    } catch (const Json::parse_error& e) {
        // nlohmann says "[json.exception.parse_error.101] parse error at line 3, column 14: <detail>".
        const std::string what = e.what();
        const std::string_view marker = "parse error ";
        const size_t at = what.find(marker);
        throw ScenarioError(
            file, "$",
            at == std::string::npos ? "invalid JSON: " + what : "invalid JSON " + what.substr(at + marker.size()));
    } catch (const Json::out_of_range& e) {
        // The one the parser throws is a number beyond a double's range: "number overflow parsing '1e400'".
        const std::string what = e.what();
        const size_t open = what.find('\''), close = what.rfind('\'');
        const std::string number = open < close ? what.substr(open + 1, close - open - 1) : what;
        throw ScenarioError(file, nextPath(),
                            "the number " + number + " is too large (beyond a double's range, about 1.8e308)");
    }
}

}  // namespace

Scenario ParseScenario(std::string_view json, const std::string& fileName, const std::filesystem::path& baseDirectory) {
    try {
        const Json document = ParseJson(json, fileName);
        return Parser(fileName, baseDirectory).Parse(document);
    } catch (const Json::exception& e) {
        // Every read checks the type first, so this is a gap in those checks; still a scenario error.
        throw ScenarioError(fileName, "$", std::string("unexpected JSON error: ") + e.what());
    }
}

Scenario LoadScenarioFile(const std::filesystem::path& file) {
    const std::string name = scenario_detail::Utf8OfPath(file);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) throw ScenarioError(name, "$", "the file does not exist");
    if (std::filesystem::is_directory(file, ec)) throw ScenarioError(name, "$", "a directory, not a file");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ScenarioError(name, "$", "the file cannot be read");
    // Read at most one byte past the limit, so an endless device or a huge file costs nothing.
    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, size_t(in.gcount()));
        if (text.size() > kScenarioMaxBytes) throw ScenarioError(name, "$", TooLarge());
    }
    if (in.bad()) throw ScenarioError(name, "$", "the file cannot be read");
    const std::filesystem::path directory =
        file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    return ParseScenario(text, name, directory);
}

}  // namespace velmora::emu
