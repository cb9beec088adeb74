// Writing a scenario back as JSON in the documented format: every member, with enumerations,
// flags, dates, GUIDs and HRESULTs in their text forms, so the text reads like a hand-written file.
#include <nlohmann/json.hpp>

#include "emulator/runtime/strings.h"
#include "emulator/scenarios/formats.h"
#include "emulator/scenarios/scenario.h"

namespace velmora::emu {
namespace {

using namespace scenario_detail;
using Json = nlohmann::ordered_json;

Json Text(const std::u16string& text) { return ToUtf8(text); }

Json Texts(const std::vector<std::u16string>& texts) {
    Json out = Json::array();
    for (const auto& t : texts) out.push_back(ToUtf8(t));
    return out;
}

Json Enum(EnumNames names, int64_t value) {
    if (auto name = NameOf(names, value)) return std::string(*name);
    return value;
}

Json Flags(EnumNames names, uint32_t flags) {
    Json out = Json::array();
    if (flags == 0) return Json::array({std::string(names[0].name)});
    uint32_t covered = 0;
    for (const auto& n : names)
        if (n.value != 0 && (flags & uint32_t(n.value)) == uint32_t(n.value)) {
            out.push_back(std::string(n.name));
            covered |= uint32_t(n.value);
        }
    if (covered != flags) return flags;  // bits without a name
    return out;
}

Json Date(int64_t ticks) {
    if (auto text = FormatDate(ticks)) return *text;
    return ticks;
}

Json Milliseconds(std::chrono::microseconds delay) {
    if (delay.count() % 1000 == 0) return delay.count() / 1000;
    return double(delay.count()) / 1000.0;
}

Json Days(std::chrono::microseconds advance) {
    constexpr int64_t kPerDay = int64_t{86400} * 1000 * 1000;
    if (advance.count() % kPerDay == 0) return advance.count() / kPerDay;
    return double(advance.count()) / double(kPerDay);
}

Json Entry(const Transaction& t) {
    Json j = {
        {"id", t.id},
        {"time", Date(t.time)},
        {"userId", t.userId},
        {"productId", Text(t.productId)},
        {"quantity", t.quantity},
        {"source", Enum(kTransactionSources, int64_t(t.source))},
        {"outcome", Enum(kTransactionOutcomes, int64_t(t.outcome))},
    };
    if (t.hresult != 0) j["hresult"] = FormatHresult(t.hresult);
    if (!t.transactionId.empty()) j["transactionId"] = Text(t.transactionId);
    if (t.refundOf != 0) j["refundOf"] = t.refundOf;
    return j;
}

Json Image(const CatalogImageData& i) {
    Json j = {{"id", Text(i.id)}, {"purpose", Text(i.purpose)}, {"purposes", Texts(i.purposes)}};
    if (i.resizeUrl) j["resizeUrl"] = Text(*i.resizeUrl);
    j["width"] = i.width;
    j["height"] = i.height;
    return j;
}

Json Availability(const CatalogAvailabilityData& a) {
    return {
        {"contentId", Text(a.contentId)},
        {"title", Text(a.title)},
        {"description", Text(a.description)},
        {"currencyCode", Text(a.currencyCode)},
        {"displayPrice", Text(a.displayPrice)},
        {"displayListPrice", Text(a.displayListPrice)},
        {"distributionType", Text(a.distributionType)},
        {"promotionalText", Text(a.promotionalText)},
        {"signedOffer", Text(a.signedOffer)},
        {"offerId", Text(a.offerId)},
        {"offerDisplayDataJson", Text(a.offerDisplayDataJson)},
        // Any byte other than 0 and 1 is kept as the number it is.
        {"isPurchasable", a.isPurchasable <= 1 ? Json(a.isPurchasable == 1) : Json(a.isPurchasable)},
        {"price", a.price},
        {"listPrice", a.listPrice},
        {"consumableQuantity", a.consumableQuantity},
        {"acceptablePaymentInstrumentTypes", Texts(a.acceptablePaymentInstrumentTypes)},
    };
}

Json CatalogItem(const CatalogItemData& c) {
    Json images = Json::array(), availabilities = Json::array();
    for (const auto& i : c.images) images.push_back(Image(i));
    for (const auto& a : c.availabilities) availabilities.push_back(Availability(a));
    return {
        {"id", Text(c.id)},
        {"productId", Text(c.productId)},
        {"mediaItemType", Enum(kMediaItemTypes, int64_t(c.mediaItemType))},
        {"name", Text(c.name)},
        {"reducedName", Text(c.reducedName)},
        {"description", Text(c.description)},
        {"sandboxId", Text(c.sandboxId)},
        {"titleId", c.titleId},
        {"releaseDate", Date(c.releaseDate)},
        {"digitalReleaseDate", Date(c.digitalReleaseDate)},
        {"parentIds", Texts(c.parentIds)},
        {"images", images},
        {"availabilities", availabilities},
        {"freeAndPaidCountDaily", c.freeAndPaidCountDaily},
        {"paidCountAllTime", c.paidCountAllTime},
        {"paidCountDaily", c.paidCountDaily},
        {"userRating", c.userRating},
    };
}

Json InventoryItem(const InventoryItemData& i) {
    Json j = {
        {"productId", Text(i.productId)},
        {"mediaItemType", Enum(kMediaItemTypes, int64_t(i.mediaItemType))},
        {"state", Enum(kItemStates, int64_t(i.state))},
        {"available", i.available},
        {"titleId", i.titleId},
    };
    if (i.containerIds) j["containerIds"] = Texts(*i.containerIds);
    if (i.url) j["url"] = Text(*i.url);
    if (i.consumableUrl) j["consumableUrl"] = Text(*i.consumableUrl);
    j["rightsObtainedDate"] = Date(i.rightsObtainedDate);
    j["startDate"] = Date(i.startDate);
    j["endDate"] = Date(i.endDate);
    j["consumableBalance"] = i.consumableBalance;
    return j;
}

Json Package(const ScenarioPackage& p) {
    const PackageData& d = p.data;
    Json j = {
        {"packageFullName", Text(d.packageFullName)},
        {"titleId", Text(d.titleId)},
        {"contentId", Text(d.contentId)},
        {"productId", Text(d.productId)},
        {"displayName", Text(d.displayName)},
        {"description", Text(d.description)},
        {"publisher", Text(d.publisher)},
        {"version", Text(d.version)},
        {"contentType", d.contentType},
        {"licensed", d.licensed},
        {"contentGuid", FormatGuid(d.contentGuid)},
    };
    if (!d.folder.empty()) {
        j["folder"] = Text(d.folder);
    } else {
        Json files = Json::object();
        for (const auto& [name, content] : p.files) files[name] = content;
        j["files"] = files;
    }
    return j;
}

Json Expectation(const StepExpectation& e) {
    Json j = {{"started", e.started}, {"hresult", FormatHresult(e.hresult)}};
    if (e.status) j["status"] = *e.status;
    if (e.nullResult) j["nullResult"] = *e.nullResult;
    return j;
}

Json WalkthroughJson(const Walkthrough& w) {
    Json j = {{"userId", w.userId}};
    if (const auto& b = w.browse) {
        j["browse"] = {
            {"parentId", Text(b->parentId)},
            {"parentMediaType", Enum(kMediaItemTypes, b->parentMediaType)},
            {"childMediaType", Enum(kMediaItemTypes, b->childMediaType)},
            {"sortOrder", Enum(kSortOrders, b->sortOrder)},
            {"skip", b->skip},
            {"max", b->max},
            {"expect", Expectation(b->expect)},
        };
    }
    if (const auto& d = w.details)
        j["details"] = {{"productIds", Texts(d->productIds)}, {"expect", Expectation(d->expect)}};
    if (const auto& i = w.inventory) {
        j["inventory"] = {{"mediaItemType", Enum(kMediaItemTypes, i->mediaItemType)},
                          {"expect", Expectation(i->expect)}};
    }
    if (const auto& p = w.purchase)
        j["purchase"] = {{"productId", Text(p->productId)}, {"expect", Expectation(p->expect)}};
    if (const auto& c = w.consume) {
        j["consume"] = {
            {"productId", Text(c->productId)},
            {"quantity", c->quantity},
            {"transactionId", Text(c->transactionId)},
            {"expect", Expectation(c->expect)},
        };
    }
    if (const auto& r = w.refund) j["refund"] = {{"productId", Text(r->productId)}};
    if (const auto& p = w.privilege) {
        j["privilege"] = {
            {"privilegeId", p->privilegeId},
            {"attemptResolution", p->attemptResolution},
            {"expect", Expectation(p->expect)},
            {"expectedResult", Flags(kPrivilegeFlags, p->expectedResult)},
        };
    }
    if (const auto& c = w.clock) {
        Json clock = {{"advanceDays", Days(c->advance)}};
        if (!c->productId.empty()) clock["productId"] = Text(c->productId);
        if (c->expectedState) clock["expectedState"] = Enum(kItemStates, int64_t(*c->expectedState));
        j["clock"] = clock;
    }
    if (const auto& d = w.dlc) {
        Json dlc = {{"filter", Enum(kPackageFilters, d->filter)}};
        if (d->install) dlc["install"] = Package(*d->install);
        if (!d->readFile.empty()) dlc["readFile"] = Text(d->readFile);
        j["dlc"] = dlc;
    }
    return j;
}

Json Document(const Scenario& s) {
    Json j = Json::object();
    j["title"] = {{"currentTitleId", Text(s.title.currentTitleId)},
                  {"relatedTitleIds", Texts(s.title.relatedTitleIds)}};
    if (s.defaultDelay) j["defaultDelayMs"] = Milliseconds(*s.defaultDelay);

    Json users = Json::array();
    for (const auto& u : s.users)
        users.push_back({{"id", u.id}, {"gamertag", Text(u.gamertag)}, {"xboxUserId", Text(u.xboxUserId)}});
    j["users"] = users;

    Json catalog = Json::array();
    for (const auto& c : s.catalog) catalog.push_back(CatalogItem(c));
    j["catalog"] = catalog;

    Json inventories = Json::array();
    for (const auto& inv : s.inventories) {
        Json items = Json::array();
        for (const auto& i : inv.items) items.push_back(InventoryItem(i));
        inventories.push_back({{"userId", inv.userId}, {"items", items}});
    }
    j["inventories"] = inventories;

    Json privileges = Json::array();
    for (const auto& p : s.privileges) {
        Json entry = {{"userId", p.userId},
                      {"privilegeId", p.privilegeId},
                      {"result", Flags(kPrivilegeFlags, uint32_t(p.result))}};
        if (p.resolveWithProduct) entry["resolveWithProduct"] = Text(*p.resolveWithProduct);
        privileges.push_back(entry);
    }
    j["privileges"] = privileges;

    Json codes = Json::array();
    for (const auto& r : s.redeemCodes) {
        Json code = {{"code", Text(r.code)}, {"productId", Text(r.productId)}};
        if (r.redeemed) code["redeemed"] = true;
        codes.push_back(code);
    }
    j["redeemCodes"] = codes;

    Json subscriptions = Json::array();
    for (const auto& r : s.subscriptions)
        subscriptions.push_back({{"productId", Text(r.productId)}, {"privilegeId", r.privilegeId}});
    j["subscriptions"] = subscriptions;

    Json packages = Json::array();
    for (const auto& p : s.packages) packages.push_back(Package(p));
    j["packages"] = packages;

    Json faults = Json::array();
    for (const auto& f : s.faults)
        faults.push_back({{"call", f.call}, {"hresult", FormatHresult(f.hr)}, {"times", f.times}});
    j["faults"] = faults;

    Json outcomes = Json::array();
    for (const auto& o : s.outcomes) {
        Json entry = {{"call", o.call}, {"kind", Enum(kOutcomeKinds, int64_t(o.outcome.kind))}};
        if (o.outcome.hr != 0) entry["hresult"] = FormatHresult(o.outcome.hr);
        entry["times"] = o.times;
        if (o.outcome.delay.count() >= 0) entry["delayMs"] = Milliseconds(o.outcome.delay);
        outcomes.push_back(entry);
    }
    j["outcomes"] = outcomes;

    if (s.clock) j["clock"] = Date(*s.clock);
    if (s.ledger.dropped != 0 || !s.ledger.entries.empty()) {
        Json entries = Json::array();
        for (const auto& t : s.ledger.entries) entries.push_back(Entry(t));
        j["ledger"] = {{"dropped", s.ledger.dropped}, {"entries", entries}};
    }
    if (s.walkthrough) j["walkthrough"] = WalkthroughJson(*s.walkthrough);
    return j;
}

}  // namespace

std::string ScenarioToJson(const Scenario& s) {
    return Document(s).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// The written documents' first difference, as the library's diff finds it, named as a JSON path.
std::string FirstDifference(const Scenario& a, const Scenario& b) {
    const Json from = Document(a);
    const Json patch = Json::diff(from, Document(b));
    if (patch.empty()) return "";
    Json::json_pointer pointer(patch[0]["path"].get<std::string>());
    std::vector<std::string> tokens;
    for (; !pointer.empty(); pointer.pop_back()) tokens.insert(tokens.begin(), pointer.back());
    std::string path = "$";
    const Json* at = &from;
    for (const std::string& token : tokens) {
        if (at && at->is_array()) {
            const size_t index = token == "-" ? at->size() : std::stoul(token);
            path = IndexPath(path, index);
            at = index < at->size() ? &(*at)[index] : nullptr;
        } else {
            path = MemberPath(path, token);
            at = at && at->is_object() && at->contains(token) ? &at->at(token) : nullptr;
        }
    }
    return path;
}

}  // namespace velmora::emu
