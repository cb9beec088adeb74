// Comparing two scenarios member by member, so a round trip through JSON can prove that no member
// is lost and name the first one that is.
#include "emulator/scenario.h"
#include "emulator/scenario_formats.h"

namespace velmora::emu {
namespace {

using scenario_detail::IndexPath;
using scenario_detail::MemberPath;

class Diff {
public:
    const std::string& First() const { return first_; }

    template <class T>
    void Same(const std::string& parent, std::string_view key, const T& a, const T& b) {
        if (first_.empty() && !(a == b)) first_ = MemberPath(parent, key);
    }
    template <class T, class Each>
    void List(const std::string& path, const std::vector<T>& a, const std::vector<T>& b, Each each) {
        if (!first_.empty()) return;
        if (a.size() != b.size()) {
            first_ = path;
            return;
        }
        for (size_t i = 0; i < a.size() && first_.empty(); ++i) each(IndexPath(path, i), a[i], b[i]);
    }
    template <class T, class Each>
    void Optional(const std::string& path, const std::optional<T>& a, const std::optional<T>& b, Each each) {
        if (!first_.empty()) return;
        if (a.has_value() != b.has_value()) {
            first_ = path;
            return;
        }
        if (a) each(path, *a, *b);
    }

    void Image(const std::string& p, const CatalogImageData& a, const CatalogImageData& b) {
        Same(p, "id", a.id, b.id);
        Same(p, "purpose", a.purpose, b.purpose);
        Same(p, "purposes", a.purposes, b.purposes);
        Same(p, "resizeUrl", a.resizeUrl, b.resizeUrl);
        Same(p, "width", a.width, b.width);
        Same(p, "height", a.height, b.height);
    }

    void Availability(const std::string& p, const CatalogAvailabilityData& a, const CatalogAvailabilityData& b) {
        Same(p, "contentId", a.contentId, b.contentId);
        Same(p, "title", a.title, b.title);
        Same(p, "description", a.description, b.description);
        Same(p, "currencyCode", a.currencyCode, b.currencyCode);
        Same(p, "displayPrice", a.displayPrice, b.displayPrice);
        Same(p, "displayListPrice", a.displayListPrice, b.displayListPrice);
        Same(p, "distributionType", a.distributionType, b.distributionType);
        Same(p, "promotionalText", a.promotionalText, b.promotionalText);
        Same(p, "signedOffer", a.signedOffer, b.signedOffer);
        Same(p, "offerId", a.offerId, b.offerId);
        Same(p, "offerDisplayDataJson", a.offerDisplayDataJson, b.offerDisplayDataJson);
        Same(p, "isPurchasable", a.isPurchasable, b.isPurchasable);
        Same(p, "price", a.price, b.price);
        Same(p, "listPrice", a.listPrice, b.listPrice);
        Same(p, "consumableQuantity", a.consumableQuantity, b.consumableQuantity);
        Same(p, "acceptablePaymentInstrumentTypes", a.acceptablePaymentInstrumentTypes,
             b.acceptablePaymentInstrumentTypes);
    }

    void CatalogItem(const std::string& p, const CatalogItemData& a, const CatalogItemData& b) {
        Same(p, "id", a.id, b.id);
        Same(p, "name", a.name, b.name);
        Same(p, "reducedName", a.reducedName, b.reducedName);
        Same(p, "description", a.description, b.description);
        Same(p, "productId", a.productId, b.productId);
        Same(p, "sandboxId", a.sandboxId, b.sandboxId);
        Same(p, "mediaItemType", a.mediaItemType, b.mediaItemType);
        Same(p, "titleId", a.titleId, b.titleId);
        Same(p, "releaseDate", a.releaseDate, b.releaseDate);
        Same(p, "digitalReleaseDate", a.digitalReleaseDate, b.digitalReleaseDate);
        Same(p, "parentIds", a.parentIds, b.parentIds);
        List(MemberPath(p, "images"), a.images, b.images,
             [&](const auto& q, const auto& x, const auto& y) { Image(q, x, y); });
        List(MemberPath(p, "availabilities"), a.availabilities, b.availabilities,
             [&](const auto& q, const auto& x, const auto& y) { Availability(q, x, y); });
        Same(p, "freeAndPaidCountDaily", a.freeAndPaidCountDaily, b.freeAndPaidCountDaily);
        Same(p, "paidCountAllTime", a.paidCountAllTime, b.paidCountAllTime);
        Same(p, "paidCountDaily", a.paidCountDaily, b.paidCountDaily);
        Same(p, "userRating", a.userRating, b.userRating);
    }

    void InventoryItem(const std::string& p, const InventoryItemData& a, const InventoryItemData& b) {
        Same(p, "productId", a.productId, b.productId);
        Same(p, "mediaItemType", a.mediaItemType, b.mediaItemType);
        Same(p, "state", a.state, b.state);
        Same(p, "available", a.available, b.available);
        Same(p, "titleId", a.titleId, b.titleId);
        Same(p, "containerIds", a.containerIds, b.containerIds);
        Same(p, "url", a.url, b.url);
        Same(p, "consumableUrl", a.consumableUrl, b.consumableUrl);
        Same(p, "rightsObtainedDate", a.rightsObtainedDate, b.rightsObtainedDate);
        Same(p, "startDate", a.startDate, b.startDate);
        Same(p, "endDate", a.endDate, b.endDate);
        Same(p, "consumableBalance", a.consumableBalance, b.consumableBalance);
    }

    void Package(const std::string& p, const ScenarioPackage& a, const ScenarioPackage& b) {
        Same(p, "titleId", a.data.titleId, b.data.titleId);
        Same(p, "contentId", a.data.contentId, b.data.contentId);
        Same(p, "productId", a.data.productId, b.data.productId);
        Same(p, "packageFullName", a.data.packageFullName, b.data.packageFullName);
        Same(p, "displayName", a.data.displayName, b.data.displayName);
        Same(p, "description", a.data.description, b.data.description);
        Same(p, "publisher", a.data.publisher, b.data.publisher);
        Same(p, "version", a.data.version, b.data.version);
        Same(p, "contentType", a.data.contentType, b.data.contentType);
        Same(p, "folder", a.data.folder, b.data.folder);
        Same(p, "licensed", a.data.licensed, b.data.licensed);
        Same(p, "contentGuid", a.data.contentGuid, b.data.contentGuid);
        Same(p, "files", a.files, b.files);
    }

    void Expectation(const std::string& parent, const StepExpectation& a, const StepExpectation& b) {
        const std::string p = MemberPath(parent, "expect");
        Same(p, "started", a.started, b.started);
        Same(p, "hresult", a.hresult, b.hresult);
        Same(p, "status", a.status, b.status);
        Same(p, "nullResult", a.nullResult, b.nullResult);
    }

    void WalkthroughOf(const std::string& p, const Walkthrough& a, const Walkthrough& b) {
        Same(p, "userId", a.userId, b.userId);
        Optional(MemberPath(p, "browse"), a.browse, b.browse, [&](const auto& q, const auto& x, const auto& y) {
            Same(q, "parentId", x.parentId, y.parentId);
            Same(q, "parentMediaType", x.parentMediaType, y.parentMediaType);
            Same(q, "childMediaType", x.childMediaType, y.childMediaType);
            Same(q, "sortOrder", x.sortOrder, y.sortOrder);
            Same(q, "skip", x.skip, y.skip);
            Same(q, "max", x.max, y.max);
            Expectation(q, x.expect, y.expect);
        });
        Optional(MemberPath(p, "details"), a.details, b.details, [&](const auto& q, const auto& x, const auto& y) {
            Same(q, "productIds", x.productIds, y.productIds);
            Expectation(q, x.expect, y.expect);
        });
        Optional(MemberPath(p, "inventory"), a.inventory, b.inventory,
                 [&](const auto& q, const auto& x, const auto& y) {
                     Same(q, "mediaItemType", x.mediaItemType, y.mediaItemType);
                     Expectation(q, x.expect, y.expect);
                 });
        Optional(MemberPath(p, "purchase"), a.purchase, b.purchase, [&](const auto& q, const auto& x, const auto& y) {
            Same(q, "productId", x.productId, y.productId);
            Expectation(q, x.expect, y.expect);
        });
        Optional(MemberPath(p, "consume"), a.consume, b.consume, [&](const auto& q, const auto& x, const auto& y) {
            Same(q, "productId", x.productId, y.productId);
            Same(q, "quantity", x.quantity, y.quantity);
            Same(q, "transactionId", x.transactionId, y.transactionId);
            Expectation(q, x.expect, y.expect);
        });
        Optional(MemberPath(p, "privilege"), a.privilege, b.privilege,
                 [&](const auto& q, const auto& x, const auto& y) {
                     Same(q, "privilegeId", x.privilegeId, y.privilegeId);
                     Same(q, "attemptResolution", x.attemptResolution, y.attemptResolution);
                     Expectation(q, x.expect, y.expect);
                     Same(q, "expectedResult", x.expectedResult, y.expectedResult);
                 });
        Optional(MemberPath(p, "dlc"), a.dlc, b.dlc, [&](const auto& q, const auto& x, const auto& y) {
            Same(q, "filter", x.filter, y.filter);
            Optional(MemberPath(q, "install"), x.install, y.install,
                     [&](const auto& r, const auto& i, const auto& j) { Package(r, i, j); });
            Same(q, "readFile", x.readFile, y.readFile);
        });
    }

private:
    std::string first_;
};

}  // namespace

std::string FirstDifference(const Scenario& a, const Scenario& b) {
    Diff d;
    const std::string root = "$";
    d.Same(MemberPath(root, "title"), "currentTitleId", a.title.currentTitleId, b.title.currentTitleId);
    d.Same(MemberPath(root, "title"), "relatedTitleIds", a.title.relatedTitleIds, b.title.relatedTitleIds);
    d.Same(root, "defaultDelayMs", a.defaultDelay, b.defaultDelay);
    d.List(MemberPath(root, "users"), a.users, b.users, [&](const auto& p, const auto& x, const auto& y) {
        d.Same(p, "id", x.id, y.id);
        d.Same(p, "gamertag", x.gamertag, y.gamertag);
        d.Same(p, "xboxUserId", x.xboxUserId, y.xboxUserId);
    });
    d.List(MemberPath(root, "catalog"), a.catalog, b.catalog,
           [&](const auto& p, const auto& x, const auto& y) { d.CatalogItem(p, x, y); });
    d.List(MemberPath(root, "inventories"), a.inventories, b.inventories,
           [&](const auto& p, const auto& x, const auto& y) {
               d.Same(p, "userId", x.userId, y.userId);
               d.List(MemberPath(p, "items"), x.items, y.items,
                      [&](const auto& q, const auto& i, const auto& j) { d.InventoryItem(q, i, j); });
           });
    d.List(MemberPath(root, "privileges"), a.privileges, b.privileges,
           [&](const auto& p, const auto& x, const auto& y) {
               d.Same(p, "userId", x.userId, y.userId);
               d.Same(p, "privilegeId", x.privilegeId, y.privilegeId);
               d.Same(p, "result", x.result, y.result);
               d.Same(p, "resolveWithProduct", x.resolveWithProduct, y.resolveWithProduct);
           });
    d.List(MemberPath(root, "redeemCodes"), a.redeemCodes, b.redeemCodes,
           [&](const auto& p, const auto& x, const auto& y) {
               d.Same(p, "code", x.code, y.code);
               d.Same(p, "productId", x.productId, y.productId);
           });
    d.List(MemberPath(root, "subscriptions"), a.subscriptions, b.subscriptions,
           [&](const auto& p, const auto& x, const auto& y) {
               d.Same(p, "productId", x.productId, y.productId);
               d.Same(p, "privilegeId", x.privilegeId, y.privilegeId);
           });
    d.List(MemberPath(root, "packages"), a.packages, b.packages,
           [&](const auto& p, const auto& x, const auto& y) { d.Package(p, x, y); });
    d.List(MemberPath(root, "faults"), a.faults, b.faults, [&](const auto& p, const auto& x, const auto& y) {
        d.Same(p, "call", x.call, y.call);
        d.Same(p, "hresult", x.hr, y.hr);
        d.Same(p, "times", x.times, y.times);
    });
    d.List(MemberPath(root, "outcomes"), a.outcomes, b.outcomes, [&](const auto& p, const auto& x, const auto& y) {
        d.Same(p, "call", x.call, y.call);
        d.Same(p, "kind", x.outcome.kind, y.outcome.kind);
        d.Same(p, "hresult", x.outcome.hr, y.outcome.hr);
        d.Same(p, "times", x.times, y.times);
        d.Same(p, "delayMs", x.outcome.delay, y.outcome.delay);
    });
    d.Optional(MemberPath(root, "walkthrough"), a.walkthrough, b.walkthrough,
               [&](const auto& p, const auto& x, const auto& y) { d.WalkthroughOf(p, x, y); });
    return d.First();
}

}  // namespace velmora::emu
