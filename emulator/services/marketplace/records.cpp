// The marketplace's records: URIs, inventory items and results, catalog items, details, images and
// availabilities. Each is a snapshot of the data at creation; it creates every string and child
// record once, and hands out duplicates and new references. A URI object or a list of records is
// made on its first read, from the text or the records made with the record; an inventory item's
// texts wait as text until their first read too, and an inventory result's items wait as text and
// values until its list is first read.
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/vectors.h"
#include "emulator/services/marketplace/marketplace.h"

namespace velmora::emu {
namespace {

namespace MP = ::ABI::Microsoft::Xbox::Services::Marketplace;
using ::ABI::Windows::Foundation::DateTime;

// One recycled block of bytes that a record keeps; it stays where it is when its owner moves, so
// views of it stay valid.
class KeptBlock {
public:
    explicit KeptBlock(size_t size = 0) : size_(size), data_(size ? AllocateBlock(size) : nullptr) {
        if (size && !data_) throw std::bad_alloc();
    }
    KeptBlock(KeptBlock&& other) noexcept
        : size_(std::exchange(other.size_, 0)), data_(std::exchange(other.data_, nullptr)) {}
    KeptBlock& operator=(KeptBlock other) noexcept {
        std::swap(size_, other.size_);
        std::swap(data_, other.data_);
        return *this;
    }
    ~KeptBlock() {
        if (data_) FreeBlock(data_, size_);
    }
    void* Data() const { return data_; }

private:
    size_t size_;
    void* data_;
};

// Copies `text` to `to`, which moves past it, and answers the copy.
std::u16string_view CopyText(std::u16string_view text, char16_t*& to) {
    std::char_traits<char16_t>::copy(to, text.data(), text.size());
    to += text.size();
    return {to - text.size(), text.size()};
}
template <class Text>
std::optional<std::u16string_view> CopyText(const std::optional<Text>& text, char16_t*& to) {
    return text ? std::optional(CopyText(*text, to)) : std::nullopt;
}

// The characters of an inventory item's texts (its data's or its values'), one after the other.
template <class Item>
size_t TextSize(const Item& d) {
    return d.productId.size() + (d.url ? d.url->size() : 0) + (d.consumableUrl ? d.consumableUrl->size() : 0);
}

// An inventory item's values as its records keep them; the texts are views of a block that
// whoever holds the values keeps.
struct ItemValues {
    std::u16string_view productId;
    std::optional<std::u16string_view> url, consumableUrl;
    ComPtr<IVectorView<HSTRING>> containerIds;
    MP::InventoryItemState state;
    MP::MediaItemType mediaItemType;
    uint32_t titleId;
    uint32_t consumableBalance;
    int64_t rightsObtainedDate, startDate, endDate;

    // The same values, their texts copied to `to` (with room for TextSize()), which moves past them.
    ItemValues CopiedTo(char16_t*& to) const {
        ItemValues copy = *this;
        copy.productId = CopyText(productId, to);
        copy.url = CopyText(url, to);
        copy.consumableUrl = CopyText(consumableUrl, to);
        return copy;
    }
};

// What a record's constructor could not create: the factory answers the first failure.
class Holder {
public:
    HRESULT Status() const { return status_; }

protected:
    void Note(HRESULT hr) {
        if (Failed(hr) && !Failed(status_)) status_ = hr;
    }
    HStringOwner Hold(std::u16string_view text) {
        HStringOwner s;
        Note(WindowsCreateString(text.data(), uint32_t(text.size()), s.Put()));
        return s;
    }
    // The text of a URI, checked as CreateUri checks it; empty without a URI.
    HStringOwner HoldUri(const std::optional<std::u16string>& text) {
        if (!text) return {};
        if (!IsAbsoluteUri(*text)) {
            Note(E_INVALIDARG);
            return {};
        }
        return Hold(*text);
    }
    // The view keeps its own duplicates; the owners here only carry the creation failures.
    ComPtr<IVectorView<HSTRING>> HoldStrings(const std::vector<std::u16string>& texts) {
        std::vector<HStringOwner> owners;
        std::vector<HSTRING> strings;
        owners.reserve(texts.size());
        for (const auto& t : texts) strings.push_back(owners.emplace_back(Hold(t)).Get());
        return MakeVectorView(strings);
    }
    // An inventory item's values, its texts copied to `to` (with room for them), which moves past
    // them; its URLs are checked unless they were checked when it entered an inventory.
    ItemValues Values(const InventoryItemData& d, bool urlsChecked, char16_t*& to) {
        if (!urlsChecked)
            for (const auto* text : {&d.url, &d.consumableUrl})
                if (*text && !IsAbsoluteUri(**text)) Note(E_INVALIDARG);
        // In the order of the texts in the block: braces evaluate from left to right.
        return {CopyText(d.productId, to),
                CopyText(d.url, to),
                CopyText(d.consumableUrl, to),
                d.containerIds ? HoldStrings(*d.containerIds) : nullptr,
                d.state,
                d.mediaItemType,
                d.titleId,
                d.consumableBalance,
                d.rightsObtainedDate,
                d.startDate,
                d.endDate};
    }
    // One record of type R per datum, as elements of a view of interface I.
    template <class R, class I, class D>
    Elements<I*> HoldRecords(const std::vector<D>& data) {
        Elements<I*> records;
        records.reserve(data.size());
        for (const D& d : data) {
            ComPtr<R> record = Make<R>(d);
            Note(record->Status());
            records.push_back(ComPtr<I>::Attach(static_cast<I*>(record.Detach())));
        }
        return records;
    }

private:
    HRESULT status_ = S_OK;
};

// Property getters: the fault check first, then the value; strings and objects are handed out
// as duplicates and new references of what the record holds.
HRESULT GiveText(CallName call, const HStringOwner& text, HSTRING* value) {
    if (HRESULT hr = TakeFault(call)) return hr;
    if (!value) return E_POINTER;
    return WindowsDuplicateString(text.Get(), value);
}

template <class T>
HRESULT GiveValue(CallName call, const T& held, T* value) {
    if (HRESULT hr = TakeFault(call)) return hr;
    if (!value) return E_POINTER;
    *value = held;
    return S_OK;
}

template <class I>
HRESULT GiveObject(CallName call, const ComPtr<I>& held, I** value) {
    if (HRESULT hr = TakeFault(call)) return hr;
    if (!value) return E_POINTER;
    *value = ComPtr<I>(held).Detach();
    return S_OK;
}

HRESULT GiveDate(CallName call, int64_t ticks, DateTime* value) { return GiveValue(call, DateTime{ticks}, value); }

// What a record makes on the first read of a property: a URI from its text (none without a text),
// a platform string from its text, a list from its records. What they are made from moves into
// them, or stays for the next read when making them failed.
HRESULT MakeChild(HStringOwner& text, ComPtr<IUriRuntimeClass>& uri);
HRESULT MakeChild(std::optional<std::u16string_view>& text, ComPtr<IUriRuntimeClass>& uri) {
    if (!text) return S_OK;
    HStringOwner made;
    if (HRESULT hr = WindowsCreateString(text->data(), uint32_t(text->size()), made.Put()); Failed(hr)) return hr;
    return MakeChild(made, uri);
}
HRESULT MakeChild(std::u16string_view& text, HStringOwner& made) {
    return WindowsCreateString(text.data(), uint32_t(text.size()), made.Put());
}
template <class I>
HRESULT MakeChild(std::vector<ComPtr<I>, BlockAllocator<ComPtr<I>>>& records, ComPtr<IVectorView<I*>>& view) {
    view = ComPtr<IVectorView<I*>>::Attach(new VectorView<I*>(std::move(records)));
    return S_OK;
}

// What a read hands out of what was made: a new reference, a duplicate string.
template <class I>
HRESULT HandOut(const ComPtr<I>& made, I** value) {
    *value = ComPtr<I>(made).Detach();
    return S_OK;
}
HRESULT HandOut(const HStringOwner& made, HSTRING* value) { return WindowsDuplicateString(made.Get(), value); }

// A child (a URI, a list of records, a platform string) that a record hands out, made on the first
// read from what the record kept for it (Held: the text, the records), and kept while the record
// lives. Most records' children are never read (a round trip's callback often only disposes the
// result), and each is an object or string more to make and release. Threads that read at once get
// the same child; later reads hand out new references or duplicates of it. A read whose making
// failed answers the failure, and the next read tries again.
template <class Made, class Held>
class MadeOnRead {
public:
    explicit MadeOnRead(Held held) : held_(std::move(held)) {}
    MadeOnRead(const MadeOnRead&) = delete;
    MadeOnRead& operator=(const MadeOnRead&) = delete;
    template <class Out>
    HRESULT Give(CallName call, Out* value) {
        if (HRESULT hr = TakeFault(call)) return hr;
        if (!value) return E_POINTER;
        std::lock_guard lock(lock_);
        if (!madeYet_) {
            if (HRESULT hr = MakeChild(held_, made_); Failed(hr)) return hr;
            madeYet_ = true;
        }
        return HandOut(made_, value);
    }

private:
    StateLock lock_;
    bool madeYet_ = false;
    Held held_;
    Made made_;
};
using UriOnRead = MadeOnRead<ComPtr<IUriRuntimeClass>, HStringOwner>;
using KeptUriOnRead = MadeOnRead<ComPtr<IUriRuntimeClass>, std::optional<std::u16string_view>>;
using TextOnRead = MadeOnRead<HStringOwner, std::u16string_view>;
template <class I>
using RecordsOnRead = MadeOnRead<ComPtr<IVectorView<I*>>, Elements<I*>>;

struct UriParts {
    std::u16string_view scheme, host, path;
};

// Scheme, host and path of an absolute URI; the host is empty without an authority ("//").
UriParts SplitUri(std::u16string_view text) {
    UriParts p;
    const size_t colon = text.find(u':');
    p.scheme = text.substr(0, colon);
    std::u16string_view rest = text.substr(colon + 1);
    rest = rest.substr(0, rest.find_first_of(u"?#"));
    if (rest.starts_with(u"//")) {
        rest.remove_prefix(2);
        const size_t end = rest.find(u'/');
        std::u16string_view authority = rest.substr(0, end);
        rest = end == std::u16string_view::npos ? std::u16string_view{} : rest.substr(end);
        if (const size_t at = authority.rfind(u'@'); at != std::u16string_view::npos) authority.remove_prefix(at + 1);
        const size_t bracket = authority.rfind(u']');
        const size_t port = authority.rfind(u':');
        if (port != std::u16string_view::npos && (bracket == std::u16string_view::npos || port > bracket))
            authority = authority.substr(0, port);
        p.host = authority;
    }
    p.path = rest;
    return p;
}

class Uri : public RuntimeObject<Uri, IUriRuntimeClass>, public Holder {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Foundation.Uri";
    explicit Uri(std::u16string_view text) : text_(Hold(text)) {}
    explicit Uri(HStringOwner text) : text_(std::move(text)) {}

    // The text is kept as given: the emulator does not canonicalize, so DisplayUri is the same.
    HRESULT get_AbsoluteUri(HSTRING* value) override {
        return GiveText("IUriRuntimeClass.get_AbsoluteUri", text_, value);
    }
    HRESULT get_DisplayUri(HSTRING* value) override {
        return GiveText("IUriRuntimeClass.get_DisplayUri", text_, value);
    }
    HRESULT get_Host(HSTRING* value) override { return GivePart("IUriRuntimeClass.get_Host", &Parts::host, value); }
    HRESULT get_Path(HSTRING* value) override { return GivePart("IUriRuntimeClass.get_Path", &Parts::path, value); }
    HRESULT get_SchemeName(HSTRING* value) override {
        return GivePart("IUriRuntimeClass.get_SchemeName", &Parts::scheme, value);
    }

private:
    struct Parts {
        HStringOwner host, path, scheme;
        HRESULT status = S_OK;
    };
    // Most URIs are only ever read whole, so the parts are made on their first read.
    HRESULT GivePart(CallName call, HStringOwner Parts::*part, HSTRING* value) {
        if (HRESULT hr = TakeFault(call)) return hr;
        if (!value) return E_POINTER;
        std::call_once(partsMade_, [this] {
            uint32_t length = 0;
            const char16_t* text = WindowsGetStringRawBuffer(text_.Get(), &length);
            const UriParts p = SplitUri({text, length});
            for (auto [owner, view] :
                 {std::pair{&parts_.host, p.host}, {&parts_.path, p.path}, {&parts_.scheme, p.scheme}})
                if (HRESULT hr = WindowsCreateString(view.data(), uint32_t(view.size()), owner->Put()); Failed(hr))
                    parts_.status = hr;
        });
        if (Failed(parts_.status)) return parts_.status;
        return WindowsDuplicateString((parts_.*part).Get(), value);
    }
    HStringOwner text_;
    std::once_flag partsMade_;
    Parts parts_;
};

HRESULT MakeChild(HStringOwner& text, ComPtr<IUriRuntimeClass>& uri) {
    if (text.Get()) uri = Make<Uri>(std::move(text));
    return S_OK;
}

class InventoryItem : public RuntimeObject<InventoryItem, IInventoryItem> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.InventoryItem";
    // Its texts copied into a block of its own.
    explicit InventoryItem(const ItemValues& v)
        : texts_(TextSize(v) * sizeof(char16_t)),
          values_(Copy(v, texts_)),
          url_(values_.url),
          productId_(values_.productId),
          consumableUrl_(values_.consumableUrl) {}

    HRESULT get_Url(IUriRuntimeClass** value) override { return url_.Give("IInventoryItem.get_Url", value); }
    HRESULT get_InventoryItemState(MP::InventoryItemState* value) override {
        return GiveValue("IInventoryItem.get_InventoryItemState", values_.state, value);
    }
    HRESULT get_MediaItemType(MP::MediaItemType* value) override {
        return GiveValue("IInventoryItem.get_MediaItemType", values_.mediaItemType, value);
    }
    HRESULT get_ProductId(HSTRING* value) override { return productId_.Give("IInventoryItem.get_ProductId", value); }
    HRESULT get_TitleId(uint32_t* value) override {
        return GiveValue("IInventoryItem.get_TitleId", values_.titleId, value);
    }
    HRESULT get_ContainerIds(IVectorView<HSTRING>** value) override {
        return GiveObject("IInventoryItem.get_ContainerIds", values_.containerIds, value);
    }
    HRESULT get_RightsObtainedDate(DateTime* value) override {
        return GiveDate("IInventoryItem.get_RightsObtainedDate", values_.rightsObtainedDate, value);
    }
    HRESULT get_StartDate(DateTime* value) override {
        return GiveDate("IInventoryItem.get_StartDate", values_.startDate, value);
    }
    HRESULT get_EndDate(DateTime* value) override {
        return GiveDate("IInventoryItem.get_EndDate", values_.endDate, value);
    }
    HRESULT get_ConsumableUrl(IUriRuntimeClass** value) override {
        return consumableUrl_.Give("IInventoryItem.get_ConsumableUrl", value);
    }
    HRESULT get_ConsumableBalance(uint32_t* value) override {
        return GiveValue("IInventoryItem.get_ConsumableBalance", values_.consumableBalance, value);
    }

private:
    static ItemValues Copy(const ItemValues& v, const KeptBlock& texts) {
        auto* to = static_cast<char16_t*>(texts.Data());
        return v.CopiedTo(to);
    }

    // Its texts wait as text until their first read: a query's items are made by the hundred and
    // seldom read whole.
    KeptBlock texts_;    // first: values_ views it
    ItemValues values_;  // second: the others view its texts
    KeptUriOnRead url_;
    TextOnRead productId_;
    KeptUriOnRead consumableUrl_;
};

// A result's items as values, in one recycled block: the values, then all their texts.
class KeptItems {
public:
    // Room for `count` items whose texts have `chars` characters in all.
    KeptItems(size_t count, size_t chars)
        : block_(count * sizeof(ItemValues) + chars * sizeof(char16_t)),
          texts_(reinterpret_cast<char16_t*>(begin() + count)) {}
    KeptItems(KeptItems&& other) noexcept
        : block_(std::move(other.block_)), count_(std::exchange(other.count_, 0)), texts_(other.texts_) {}
    KeptItems& operator=(KeptItems&&) = delete;
    ~KeptItems() { Clear(); }

    // Keeps the values `make(to)` answers, which copies their texts to `to`.
    template <class Make>
    void Add(Make make) {
        new (end()) ItemValues(make(texts_));
        ++count_;
    }
    void Clear() {
        for (ItemValues& v : *this) v.~ItemValues();
        count_ = 0;
        block_ = KeptBlock();
    }
    ItemValues* begin() const { return static_cast<ItemValues*>(block_.Data()); }
    ItemValues* end() const { return begin() + count_; }
    size_t size() const { return count_; }

private:
    KeptBlock block_;
    size_t count_ = 0;
    char16_t* texts_;  // where the next item's texts go
};

// The records of a result's items, made on the first read of Items from what the result kept.
HRESULT MakeChild(KeptItems& kept, ComPtr<IVectorView<IInventoryItem*>>& view) {
    Elements<IInventoryItem*> records;
    records.reserve(kept.size());
    for (const ItemValues& v : kept) records.push_back(Make<InventoryItem>(v));
    kept.Clear();
    return MakeChild(records, view);
}

const InventoryItemData& DataOf(const InventoryItemData& d) { return d; }
const InventoryItemData& DataOf(const InventoryItemData* d) { return *d; }

// A query's items are many, and most results are never read whole (a round trip's callback often
// only disposes the result): the result keeps its items as values, and makes their records on the
// first read of Items.
class InventoryItemsResult : public RuntimeObject<InventoryItemsResult, IInventoryItemsResult>, public Holder {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.InventoryItemsResult";
    template <class D>
    InventoryItemsResult(const std::vector<D>& items, uint32_t total, bool urlsChecked)
        : items_(Keep(items, urlsChecked)), total_(total) {}

    HRESULT get_Items(IVectorView<IInventoryItem*>** value) override {
        return items_.Give("IInventoryItemsResult.get_Items", value);
    }
    HRESULT get_TotalItems(uint32_t* value) override {
        return GiveValue("IInventoryItemsResult.get_TotalItems", total_, value);
    }

private:
    template <class D>
    KeptItems Keep(const std::vector<D>& items, bool urlsChecked) {
        size_t chars = 0;
        for (const D& d : items) chars += TextSize(DataOf(d));
        KeptItems kept(items.size(), chars);
        for (const D& d : items) kept.Add([&](char16_t*& to) { return Values(DataOf(d), urlsChecked, to); });
        return kept;
    }

    MadeOnRead<ComPtr<IVectorView<IInventoryItem*>>, KeptItems> items_;
    uint32_t total_;
};

class ConsumeInventoryItemResult : public RuntimeObject<ConsumeInventoryItemResult, IConsumeInventoryItemResult>,
                                   public Holder {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.ConsumeInventoryItemResult";
    explicit ConsumeInventoryItemResult(const ConsumeResultData& d)
        : url_(HoldUri(d.consumableUrl.empty() ? std::nullopt : std::optional(d.consumableUrl))),
          balance_(d.consumableBalance),
          transactionId_(Hold(d.transactionId)) {}

    HRESULT get_ConsumableUrl(IUriRuntimeClass** value) override {
        return url_.Give("IConsumeInventoryItemResult.get_ConsumableUrl", value);
    }
    HRESULT get_ConsumableBalance(uint32_t* value) override {
        return GiveValue("IConsumeInventoryItemResult.get_ConsumableBalance", balance_, value);
    }
    HRESULT get_TransactionId(HSTRING* value) override {
        return GiveText("IConsumeInventoryItemResult.get_TransactionId", transactionId_, value);
    }

private:
    UriOnRead url_;
    uint32_t balance_;
    HStringOwner transactionId_;
};

class CatalogItemImage : public RuntimeObject<CatalogItemImage, MP::ICatalogItemImage>, public Holder {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.CatalogItemImage";
    explicit CatalogItemImage(const CatalogImageData& d)
        : id_(Hold(d.id)),
          resizeUrl_(HoldUri(d.resizeUrl)),
          purposes_(HoldStrings(d.purposes)),
          purpose_(Hold(d.purpose)),
          height_(d.height),
          width_(d.width) {}

    HRESULT get_Id(HSTRING* value) override { return GiveText("ICatalogItemImage.get_Id", id_, value); }
    HRESULT get_ResizeUrl(IUriRuntimeClass** value) override {
        return resizeUrl_.Give("ICatalogItemImage.get_ResizeUrl", value);
    }
    HRESULT get_Purposes(IVectorView<HSTRING>** value) override {
        return GiveObject("ICatalogItemImage.get_Purposes", purposes_, value);
    }
    HRESULT get_Purpose(HSTRING* value) override { return GiveText("ICatalogItemImage.get_Purpose", purpose_, value); }
    HRESULT get_Height(uint32_t* value) override { return GiveValue("ICatalogItemImage.get_Height", height_, value); }
    HRESULT get_Width(uint32_t* value) override { return GiveValue("ICatalogItemImage.get_Width", width_, value); }

private:
    HStringOwner id_;
    UriOnRead resizeUrl_;
    ComPtr<IVectorView<HSTRING>> purposes_;
    HStringOwner purpose_;
    uint32_t height_, width_;
};

class CatalogItemAvailability : public RuntimeObject<CatalogItemAvailability, MP::ICatalogItemAvailability>,
                                public Holder {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.CatalogItemAvailability";
    explicit CatalogItemAvailability(const CatalogAvailabilityData& d)
        : paymentTypes_(HoldStrings(d.acceptablePaymentInstrumentTypes)),
          title_(Hold(d.title)),
          description_(Hold(d.description)),
          currencyCode_(Hold(d.currencyCode)),
          displayPrice_(Hold(d.displayPrice)),
          displayListPrice_(Hold(d.displayListPrice)),
          distributionType_(Hold(d.distributionType)),
          promotionalText_(Hold(d.promotionalText)),
          signedOffer_(Hold(d.signedOffer)),
          offerId_(Hold(d.offerId)),
          offerDisplayDataJson_(Hold(d.offerDisplayDataJson)),
          contentId_(Hold(d.contentId)),
          isPurchasable_(d.isPurchasable),
          listPrice_(d.listPrice),
          price_(d.price),
          consumableQuantity_(d.consumableQuantity) {}

    HRESULT get_AcceptablePaymentInstrumentTypes(IVectorView<HSTRING>** value) override {
        return GiveObject("ICatalogItemAvailability.get_AcceptablePaymentInstrumentTypes", paymentTypes_, value);
    }
    HRESULT get_AvailabilityTitle(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_AvailabilityTitle", title_, value);
    }
    HRESULT get_AvailabilityDescription(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_AvailabilityDescription", description_, value);
    }
    HRESULT get_CurrencyCode(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_CurrencyCode", currencyCode_, value);
    }
    HRESULT get_DisplayPrice(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_DisplayPrice", displayPrice_, value);
    }
    HRESULT get_DisplayListPrice(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_DisplayListPrice", displayListPrice_, value);
    }
    HRESULT get_DistributionType(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_DistributionType", distributionType_, value);
    }
    // The boolean byte as the data holds it: any byte value can arrive on the platform.
    HRESULT get_IsPurchasable(boolean* value) override {
        return GiveValue("ICatalogItemAvailability.get_IsPurchasable", isPurchasable_, value);
    }
    HRESULT get_ListPrice(double* value) override {
        return GiveValue("ICatalogItemAvailability.get_ListPrice", listPrice_, value);
    }
    HRESULT get_Price(double* value) override { return GiveValue("ICatalogItemAvailability.get_Price", price_, value); }
    HRESULT get_ConsumableQuantity(uint32_t* value) override {
        return GiveValue("ICatalogItemAvailability.get_ConsumableQuantity", consumableQuantity_, value);
    }
    HRESULT get_PromotionalText(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_PromotionalText", promotionalText_, value);
    }
    HRESULT get_SignedOffer(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_SignedOffer", signedOffer_, value);
    }
    HRESULT get_OfferId(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_OfferId", offerId_, value);
    }
    HRESULT get_OfferDisplayDataJson(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_OfferDisplayDataJson", offerDisplayDataJson_, value);
    }
    HRESULT get_ContentId(HSTRING* value) override {
        return GiveText("ICatalogItemAvailability.get_ContentId", contentId_, value);
    }

private:
    ComPtr<IVectorView<HSTRING>> paymentTypes_;
    HStringOwner title_, description_, currencyCode_, displayPrice_, displayListPrice_, distributionType_,
        promotionalText_, signedOffer_, offerId_, offerDisplayDataJson_, contentId_;
    boolean isPurchasable_;
    double listPrice_, price_;
    uint32_t consumableQuantity_;
};

// What a catalog item and its details share.
class CatalogEntry : public Holder {
protected:
    explicit CatalogEntry(const CatalogItemData& d)
        : id_(Hold(d.id)),
          images_(HoldRecords<CatalogItemImage, MP::ICatalogItemImage>(d.images)),
          name_(Hold(d.name)),
          productId_(Hold(d.productId)),
          reducedName_(Hold(d.reducedName)),
          sandboxId_(Hold(d.sandboxId)),
          mediaItemType_(d.mediaItemType),
          releaseDate_(d.releaseDate),
          titleId_(d.titleId) {}

    HStringOwner id_;
    RecordsOnRead<MP::ICatalogItemImage> images_;
    HStringOwner name_, productId_, reducedName_, sandboxId_;
    MediaItemType mediaItemType_;
    int64_t releaseDate_;
    uint32_t titleId_;
};

std::vector<std::u16string> ContentIdsOf(const CatalogItemData& d) {
    std::vector<std::u16string> ids;
    for (const auto& a : d.availabilities) ids.push_back(a.contentId);
    return ids;
}

class CatalogItem : public RuntimeObject<CatalogItem, ICatalogItem>, public CatalogEntry {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.CatalogItem";
    explicit CatalogItem(const CatalogItemData& d) : CatalogEntry(d), contentIds_(HoldStrings(ContentIdsOf(d))) {}

    HRESULT get_AvailabilityContentIds(IVectorView<HSTRING>** value) override {
        return GiveObject("ICatalogItem.get_AvailabilityContentIds", contentIds_, value);
    }
    HRESULT get_Id(HSTRING* value) override { return GiveText("ICatalogItem.get_Id", id_, value); }
    HRESULT get_Images(IVectorView<MP::ICatalogItemImage*>** value) override {
        return images_.Give("ICatalogItem.get_Images", value);
    }
    HRESULT get_MediaItemType(MediaItemType* value) override {
        return GiveValue("ICatalogItem.get_MediaItemType", mediaItemType_, value);
    }
    HRESULT get_Name(HSTRING* value) override { return GiveText("ICatalogItem.get_Name", name_, value); }
    HRESULT get_ProductId(HSTRING* value) override { return GiveText("ICatalogItem.get_ProductId", productId_, value); }
    HRESULT get_ReducedName(HSTRING* value) override {
        return GiveText("ICatalogItem.get_ReducedName", reducedName_, value);
    }
    HRESULT get_ReleaseDate(DateTime* value) override {
        return GiveDate("ICatalogItem.get_ReleaseDate", releaseDate_, value);
    }
    HRESULT get_SandboxId(HSTRING* value) override { return GiveText("ICatalogItem.get_SandboxId", sandboxId_, value); }
    HRESULT get_TitleId(uint32_t* value) override { return GiveValue("ICatalogItem.get_TitleId", titleId_, value); }

private:
    ComPtr<IVectorView<HSTRING>> contentIds_;
};

class CatalogItemDetails : public RuntimeObject<CatalogItemDetails, ICatalogItemDetails>, public CatalogEntry {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.CatalogItemDetails";
    explicit CatalogItemDetails(const CatalogItemData& d)
        : CatalogEntry(d),
          availabilities_(HoldRecords<CatalogItemAvailability, MP::ICatalogItemAvailability>(d.availabilities)),
          description_(Hold(d.description)) {}

    HRESULT get_Availabilities(IVectorView<MP::ICatalogItemAvailability*>** value) override {
        return availabilities_.Give("ICatalogItemDetails.get_Availabilities", value);
    }
    HRESULT get_Description(HSTRING* value) override {
        return GiveText("ICatalogItemDetails.get_Description", description_, value);
    }
    HRESULT get_Id(HSTRING* value) override { return GiveText("ICatalogItemDetails.get_Id", id_, value); }
    HRESULT get_Images(IVectorView<MP::ICatalogItemImage*>** value) override {
        return images_.Give("ICatalogItemDetails.get_Images", value);
    }
    HRESULT get_MediaItemType(MediaItemType* value) override {
        return GiveValue("ICatalogItemDetails.get_MediaItemType", mediaItemType_, value);
    }
    HRESULT get_Name(HSTRING* value) override { return GiveText("ICatalogItemDetails.get_Name", name_, value); }
    HRESULT get_ProductId(HSTRING* value) override {
        return GiveText("ICatalogItemDetails.get_ProductId", productId_, value);
    }
    HRESULT get_ReducedName(HSTRING* value) override {
        return GiveText("ICatalogItemDetails.get_ReducedName", reducedName_, value);
    }
    HRESULT get_ReleaseDate(DateTime* value) override {
        return GiveDate("ICatalogItemDetails.get_ReleaseDate", releaseDate_, value);
    }
    HRESULT get_SandboxId(HSTRING* value) override {
        return GiveText("ICatalogItemDetails.get_SandboxId", sandboxId_, value);
    }
    HRESULT get_TitleId(uint32_t* value) override {
        return GiveValue("ICatalogItemDetails.get_TitleId", titleId_, value);
    }

private:
    RecordsOnRead<MP::ICatalogItemAvailability> availabilities_;
    HStringOwner description_;
};

class BrowseCatalogResult : public RuntimeObject<BrowseCatalogResult, IBrowseCatalogResult>, public Holder {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.Marketplace.BrowseCatalogResult";
    BrowseCatalogResult(const std::vector<CatalogItemData>& items, uint32_t total)
        : items_(HoldRecords<CatalogItem, ICatalogItem>(items)), total_(total) {}

    HRESULT get_Items(IVectorView<ICatalogItem*>** value) override {
        return items_.Give("IBrowseCatalogResult.get_Items", value);
    }
    HRESULT get_TotalCount(uint32_t* value) override {
        return GiveValue("IBrowseCatalogResult.get_TotalCount", total_, value);
    }

private:
    RecordsOnRead<ICatalogItem> items_;
    uint32_t total_;
};

// Makes a record and hands it out as interface I, or answers what its construction could not create.
template <class R, class I, class... A>
HRESULT Create(I** out, A&&... args) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto record = Make<R>(std::forward<A>(args)...);
    if (Failed(record->Status())) return record->Status();
    *out = static_cast<I*>(record.Detach());
    return S_OK;
}

}  // namespace

// A scheme (a letter, then letters, digits, '+', '-' or '.') and a colon, in one pass.
bool IsAbsoluteUri(std::u16string_view text) {
    auto letter = [](char16_t c) { return char16_t((c | 0x20) - u'a') < 26; };
    if (text.empty() || !letter(text[0])) return false;
    for (size_t i = 1; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (letter(c) || char16_t(c - u'0') < 10 || c == u'+' || c == u'-' || c == u'.') continue;
        return c == u':';
    }
    return false;
}

HRESULT CreateUri(std::u16string_view absoluteUri, IUriRuntimeClass** uri) {
    if (uri) *uri = nullptr;
    if (!IsAbsoluteUri(absoluteUri)) return E_INVALIDARG;
    return Create<Uri>(uri, absoluteUri);
}

HRESULT CreateInventoryItem(const InventoryItemData& data, IInventoryItem** item) {
    if (!item) return E_POINTER;
    *item = nullptr;
    struct Checked : Holder {
        explicit Checked(const InventoryItemData& d) : kept(1, TextSize(d)) {
            kept.Add([&](char16_t*& to) { return Values(d, false, to); });
        }
        KeptItems kept;
    } checked(data);
    if (Failed(checked.Status())) return checked.Status();
    *item = Make<InventoryItem>(*checked.kept.begin()).Detach();
    return S_OK;
}

HRESULT CreateInventoryItemsResult(const std::vector<InventoryItemData>& items, uint32_t totalItems,
                                   IInventoryItemsResult** result) {
    return Create<InventoryItemsResult>(result, items, totalItems, false);
}

HRESULT CreateInventoryQueryResult(const std::vector<const InventoryItemData*>& items, uint32_t totalItems,
                                   IInventoryItemsResult** result) {
    return Create<InventoryItemsResult>(result, items, totalItems, true);
}

HRESULT CreateConsumeInventoryItemResult(const ConsumeResultData& data, IConsumeInventoryItemResult** result) {
    return Create<ConsumeInventoryItemResult>(result, data);
}

HRESULT CreateCatalogItem(const CatalogItemData& data, ICatalogItem** item) { return Create<CatalogItem>(item, data); }

HRESULT CreateCatalogItemDetails(const CatalogItemData& data, ICatalogItemDetails** details) {
    return Create<CatalogItemDetails>(details, data);
}

HRESULT CreateBrowseCatalogResult(const std::vector<CatalogItemData>& items, uint32_t totalCount,
                                  IBrowseCatalogResult** result) {
    return Create<BrowseCatalogResult>(result, items, totalCount);
}

}  // namespace velmora::emu
