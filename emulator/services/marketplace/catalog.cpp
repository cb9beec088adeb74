// The catalog service a user's context hands out: browsing the children of a catalog item, and the
// details of products by id.
//
// Arguments that need no service state are checked by the starting call (it answers E_INVALIDARG
// or E_POINTER and starts nothing); the catalog is read when the operation completes.
#include <algorithm>

#include "emulator/runtime/async.h"
#include "emulator/runtime/faults.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/vectors.h"
#include "emulator/services/marketplace/marketplace.h"

namespace velmora::emu {
namespace {

using DetailsList = IVectorView<ICatalogItemDetails*>;

constexpr std::string_view kBrowse = "ICatalogService.BrowseCatalogAsync";
constexpr std::string_view kDetails = "ICatalogService.GetCatalogItemDetailsAsync";

bool KnownMediaType(MediaItemType t) { return t >= MediaItemType::Unknown && t <= MediaItemType::All; }

bool KnownSortOrder(CatalogSortOrder o) {
    return o >= CatalogSortOrder::FreeAndPaidCountDaily && o <= CatalogSortOrder::UserRatings;
}

// -1 when a ranks before b (the larger value first), 1 after, 0 for a tie.
template <class T>
int Descending(const T& a, const T& b) {
    return a > b ? -1 : b > a ? 1 : 0;
}

int Rank(CatalogSortOrder order, const CatalogItemData& a, const CatalogItemData& b) {
    switch (order) {
        case CatalogSortOrder::FreeAndPaidCountDaily:
            return Descending(a.freeAndPaidCountDaily, b.freeAndPaidCountDaily);
        case CatalogSortOrder::PaidCountAllTime:
            return Descending(a.paidCountAllTime, b.paidCountAllTime);
        case CatalogSortOrder::PaidCountDaily:
            return Descending(a.paidCountDaily, b.paidCountDaily);
        case CatalogSortOrder::DigitalReleaseDate:
            return Descending(a.digitalReleaseDate, b.digitalReleaseDate);
        case CatalogSortOrder::ReleaseDate:
            return Descending(a.releaseDate, b.releaseDate);
        case CatalogSortOrder::UserRatings:
            return Descending(a.userRating, b.userRating);
    }
    return 0;
}

struct BrowseRequest {
    std::u16string parentId;
    MediaItemType childType;
    CatalogSortOrder order;
    uint32_t skip;
    uint32_t max;  // 0: as many as there are
};

WorkResult<IBrowseCatalogResult*> Browse(const BrowseRequest& q) {
    std::vector<CatalogItemData> children;
    for (auto& item : CatalogItems()) {
        const bool listed = std::find(item.parentIds.begin(), item.parentIds.end(), q.parentId) != item.parentIds.end();
        if (listed && (q.childType == MediaItemType::All || item.mediaItemType == q.childType))
            children.push_back(std::move(item));
    }
    std::sort(children.begin(), children.end(), [&](const auto& a, const auto& b) {
        const int rank = Rank(q.order, a, b);
        return rank != 0 ? rank < 0 : a.id < b.id;
    });
    const auto total = uint32_t(children.size());
    const size_t first = std::min<size_t>(q.skip, children.size());
    const size_t count = q.max == 0 ? children.size() - first : std::min<size_t>(q.max, children.size() - first);
    std::vector<CatalogItemData> page(children.begin() + first, children.begin() + first + count);
    WorkResult<IBrowseCatalogResult*> r;
    r.hr = CreateBrowseCatalogResult(page, total, r.value.Put());
    return r;
}

WorkResult<DetailsList*> Details(const std::vector<std::u16string>& productIds) {
    WorkResult<DetailsList*> r;
    std::vector<ComPtr<ICatalogItemDetails>> details;
    for (const auto& id : productIds) {
        const auto item = FindCatalogItem(id);
        if (!item) continue;
        ComPtr<ICatalogItemDetails> record;
        if (r.hr = CreateCatalogItemDetails(*item, record.Put()); Failed(r.hr)) return r;
        details.push_back(std::move(record));
    }
    r.value = MakeObjectVectorView<ICatalogItemDetails>(details);
    return r;
}

class CatalogService : public RuntimeObject<CatalogService, ICatalogService> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.CatalogService";
    explicit CatalogService(uint32_t userId) : userId_(userId) {}

    HRESULT BrowseCatalogAsync(HSTRING parentId, MediaItemType parentType, MediaItemType childType,
                               CatalogSortOrder order, uint32_t skipItems, uint32_t maxItems,
                               IAsyncOperation<IBrowseCatalogResult*>** operation) override {
        if (HRESULT hr = TakeFault(kBrowse)) return hr;
        BrowseRequest request{ToU16(parentId), childType, order, skipItems, maxItems};
        RecordMarketplaceCall(
            kBrowse, userId_, {request.parentId},
            {int64_t(parentType), int64_t(childType), int64_t(order), int64_t(skipItems), int64_t(maxItems)});
        if (!operation) return E_POINTER;
        // The parent is found by its id alone; its media type is only checked to be one.
        if (request.parentId.empty() || !KnownMediaType(parentType) || !KnownMediaType(childType) ||
            !KnownSortOrder(order))
            return E_INVALIDARG;
        return StartOperation<IBrowseCatalogResult*>(
            kBrowse, [request] { return Browse(request); }, operation);
    }

    HRESULT GetCatalogItemDetailsAsync(IVectorView<HSTRING>* productIds,
                                       IAsyncOperation<DetailsList*>** operation) override {
        if (HRESULT hr = TakeFault(kDetails)) return hr;
        std::vector<std::u16string> ids;
        if (HRESULT hr = ReadStrings(productIds, &ids); Failed(hr)) return hr;
        RecordMarketplaceCall(kDetails, userId_, ids);
        if (!operation) return E_POINTER;
        if (ids.empty() || ids.size() > kMaxCatalogDetailsIds) return E_INVALIDARG;
        return StartOperation<DetailsList*>(
            kDetails, [ids] { return Details(ids); }, operation);
    }

private:
    uint32_t userId_;
};

}  // namespace

HRESULT CreateCatalogService(uint32_t userId, ICatalogService** service) {
    if (!service) return E_POINTER;
    *service = Make<CatalogService>(userId).Detach();
    return S_OK;
}

}  // namespace velmora::emu
