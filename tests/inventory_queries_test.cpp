// What the inventory queries answer: the filters of the one- and five-argument forms, the forms
// for every signed-in user, the media types a query takes, and the current state of one item.
#include <latch>
#include <optional>
#include <string_view>
#include <thread>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/strings.h"
#include "tests/marketplace_fixture.h"

namespace velmora::test {
namespace {

using U16s = std::vector<std::u16string>;

class InventoryQueriesTest : public MarketplaceTest {
protected:
    void SetUp() override {
        MarketplaceTest::SetUp();
        AddUser(kUser, u"Ada");
        AddUser(kOtherUser, u"Brun");
        auto a = Owned(u"a", MediaItemType::GameContent);
        a.containerIds = U16s{u"pack"};
        auto d = Owned(u"d", MediaItemType::Subscription, ItemState::Expired);
        d.containerIds = U16s{u"pack", u"season"};
        for (const auto& item : {a, Owned(u"b", MediaItemType::GameContent, ItemState::Suspended),
                                 Owned(u"c", MediaItemType::GameConsumable, ItemState::Enabled, false), d,
                                 Owned(u"e", MediaItemType::GameV2, ItemState::Canceled), Consumable(u"f", 5),
                                 Owned(u"g", MediaItemType::Game)})
            Give(kUser, item);
        Give(kOtherUser, Owned(u"h", MediaItemType::GameContent));
        Give(kOtherUser, Owned(u"i", MediaItemType::GameContent, ItemState::Suspended));
        // Not signed in: never part of an answer.
        Give(3, Owned(u"z", MediaItemType::GameContent));
    }

    // Runs a query and answers (product ids, TotalItems).
    std::pair<U16s, uint32_t> Answer(ObjectHandle result) {
        std::pair<U16s, uint32_t> answer{ProductIds(result), X().InventoryItemsResult_TotalItems(result)};
        X().InventoryItemsResult_Dispose(result);
        return answer;
    }
};

TEST_F(InventoryQueriesTest, TheOneArgumentFormsAnswerEnabledAvailableItemsOfTheType) {
    struct Row {
        MediaItemType type;
        U16s mine;
        U16s everyones;
    };
    const Row rows[] = {
        {MediaItemType::All, {u"a", u"f", u"g"}, {u"a", u"f", u"g", u"h"}},
        {MediaItemType::GameContent, {u"a"}, {u"a", u"h"}},
        {MediaItemType::GameConsumable, {u"f"}, {u"f"}},
        {MediaItemType::GameV2, {}, {}},
        {MediaItemType::Subscription, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(I(row.type));
        auto mine = Answer(Run(
            [&](auto cb, void* d) { return X().InventoryService_GetInventoryItemsAsync(kUser, I(row.type), cb, d); }));
        EXPECT_EQ(mine.first, row.mine);
        EXPECT_EQ(mine.second, row.mine.size());
        auto everyones = Answer(Run([&](auto cb, void* d) {
            return X().InventoryService_GetInventoryItemsForAllUsersAsync(kOtherUser, I(row.type), cb, d);
        }));
        EXPECT_EQ(everyones.first, row.everyones);
        EXPECT_EQ(everyones.second, row.everyones.size());
    }
}

TEST_F(InventoryQueriesTest, TheFilteredFormsApplyEveryFilterAndCountBeforeTheCut) {
    struct Row {
        MediaItemType type;
        ItemState state;
        Availability availability;
        const char16_t* container;
        uint32_t max;
        U16s items;
        uint32_t total;
    };
    const auto All = MediaItemType::All;
    const auto AnyState = ItemState::All;
    const auto Any = Availability::All;
    const Row rows[] = {
        {All, AnyState, Any, nullptr, 0, {u"a", u"b", u"c", u"d", u"e", u"f", u"g"}, 7},
        {MediaItemType::GameContent, AnyState, Any, u"", 0, {u"a", u"b"}, 2},
        {All, ItemState::Suspended, Any, nullptr, 0, {u"b"}, 1},
        {All, ItemState::Expired, Any, nullptr, 0, {u"d"}, 1},
        {All, ItemState::Canceled, Any, nullptr, 0, {u"e"}, 1},
        {All, ItemState::Enabled, Any, nullptr, 0, {u"a", u"c", u"f", u"g"}, 4},
        {All, AnyState, Availability::Unavailable, nullptr, 0, {u"c"}, 1},
        {All, AnyState, Availability::Available, u"pack", 0, {u"a", u"d"}, 2},
        {All, AnyState, Any, u"season", 0, {u"d"}, 1},
        {All, AnyState, Any, u"nothing", 0, {}, 0},
        {All, AnyState, Any, nullptr, 2, {u"a", u"b"}, 7},
        {All, ItemState::Enabled, Availability::Available, nullptr, 1, {u"a"}, 3},
        {All, AnyState, Any, nullptr, 100, {u"a", u"b", u"c", u"d", u"e", u"f", u"g"}, 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << I(row.type) << "/" << I(row.state) << "/" << I(row.availability) << "/"
                                        << emu::ToUtf8(Show(row.container)) << "/" << row.max);
        EXPECT_EQ(Answer(QueryItems(kUser, row.type, row.state, row.availability, row.container, row.max)),
                  std::pair(row.items, row.total));
    }
}

TEST_F(InventoryQueriesTest, TheFormsForAllUsersAnswerEverySignedInUserInSignInOrder) {
    auto answer = Answer(Run([&](auto cb, void* d) {
        return X().InventoryService_GetInventoryItemsForAllUsersAsyncEx(
            kOtherUser, I(MediaItemType::GameContent), I(ItemState::All), I(Availability::All), nullptr, 3, cb, d);
    }));
    EXPECT_EQ(answer, std::pair(U16s{u"a", u"b", u"h"}, 4u));

    // Whoever is signed in when the operation completes.
    AddUser(3, u"Cai");
    answer = Answer(Run([&](auto cb, void* d) {
        return X().InventoryService_GetInventoryItemsForAllUsersAsync(kUser, I(MediaItemType::GameContent), cb, d);
    }));
    EXPECT_EQ(answer, std::pair(U16s{u"a", u"h", u"z"}, 3u));
}

TEST_F(InventoryQueriesTest, AQueryOutsideTheInventoryMediaTypesOrFiltersStartsNothing) {
    auto starts = [&](int32_t type, int32_t state, int32_t availability) {
        std::vector<bool> started;
        Delivered r{&Host().Queue()};
        started.push_back(X().InventoryService_GetInventoryItemsAsyncEx(kUser, type, state, availability, nullptr, 0,
                                                                        &DeliverObject, &r));
        started.push_back(X().InventoryService_GetInventoryItemsForAllUsersAsyncEx(kUser, type, state, availability,
                                                                                   nullptr, 0, &DeliverObject, &r));
        if (state == I(ItemState::All) && availability == I(Availability::All)) {
            started.push_back(X().InventoryService_GetInventoryItemsAsync(kUser, type, &DeliverObject, &r));
            started.push_back(X().InventoryService_GetInventoryItemsForAllUsersAsync(kUser, type, &DeliverObject, &r));
        }
        Settle();
        const bool any = std::find(started.begin(), started.end(), true) != started.end();
        const bool all = std::find(started.begin(), started.end(), false) == started.end();
        EXPECT_EQ(r.calls, int(std::count(started.begin(), started.end(), true)));
        if (r.result) X().InventoryItemsResult_Dispose(r.result);
        EXPECT_EQ(any, all) << "every form decides alike";
        return all;
    };
    const int32_t anyState = I(ItemState::All), anyAvailability = I(Availability::All);
    for (int32_t type : {0, 1, 3, 7, 8, 9, 10, 11, 12, 13, 15, -1}) {
        SCOPED_TRACE(type);
        EXPECT_FALSE(starts(type, anyState, anyAvailability));
    }
    for (int32_t state : {0, 6, -1}) {
        SCOPED_TRACE(state);
        EXPECT_FALSE(starts(I(MediaItemType::All), state, anyAvailability));
    }
    for (int32_t availability : {3, -1}) {
        SCOPED_TRACE(availability);
        EXPECT_FALSE(starts(I(MediaItemType::All), anyState, availability));
    }
    EXPECT_EQ(Sent(HaldenPlugin::InventoryItemsResultEvent::Id), 0u);
}

TEST_F(InventoryQueriesTest, AnItemQueryAnswersTheItemsCurrentStateAsANewSnapshot) {
    ObjectHandle item = OwnedItem(kUser, u"a");
    auto changed = emu::InventoryOf(kUser)[0];
    changed.state = ItemState::Suspended;
    changed.containerIds.reset();
    changed.url.reset();
    ASSERT_EQ(emu::UpdateInventoryItem(kUser, changed), ABI::S_OK);

    ObjectHandle current =
        Run([&](auto cb, void* d) { return X().InventoryService_GetInventoryItemAsync(kUser, item, cb, d); });
    EXPECT_EQ(X().InventoryItem_InventoryItemState(current), I(ItemState::Suspended));
    EXPECT_EQ(Show(X().InventoryItem_Url(current)), u"");
    EXPECT_EQ(X().InventoryItem_ContainerIds(current), nullptr);
    EXPECT_EQ(X().InventoryItem_InventoryItemState(item), I(ItemState::Enabled)) << "the old snapshot is unchanged";
    EXPECT_EQ(emu::MarketplaceCalls().back().texts, U16s{u"a"});
    X().InventoryItem_Dispose(current);
    X().InventoryItem_Dispose(item);
}

TEST_F(InventoryQueriesTest, AnItemTheUserDoesNotOwnFailsWithNotFoundAndANullItemStartsNothing) {
    ObjectHandle theirs = OwnedItem(kOtherUser, u"h");
    const Delivered r =
        RunOnce([&](void* d) { return X().InventoryService_GetInventoryItemAsync(kUser, theirs, &DeliverObject, d); });
    EXPECT_EQ(r.hr, ABI::E_NOT_FOUND);
    EXPECT_EQ(r.result, nullptr);
    X().InventoryItem_Dispose(theirs);
    Host().Queue().ClearTrace();
    ExpectRefused(
        [&](void* d) { return X().InventoryService_GetInventoryItemAsync(kUser, nullptr, &DeliverObject, d); });
    EXPECT_EQ(Sent(HaldenPlugin::InventoryItemEvent::Id), 0u);
}

TEST_F(InventoryQueriesTest, TextArgumentsReachTheServiceAsTheyWerePassedAndNullAsEmpty) {
    const std::pair<const char16_t*, std::u16string> rows[] = {
        {nullptr, u""}, {u"", u""}, {u"pack", u"pack"}, {u"容器-🎮", u"容器-🎮"}};
    for (const auto& [passed, received] : rows) {
        SCOPED_TRACE(emu::ToUtf8(Show(passed)));
        X().InventoryItemsResult_Dispose(
            QueryItems(kUser, MediaItemType::All, ItemState::All, Availability::All, passed, 0));
        const emu::MarketplaceCall call = emu::MarketplaceCalls().back();
        EXPECT_EQ(call.method, "IInventoryService.GetInventoryItemsWithFiltersAsync");
        EXPECT_EQ(call.userId, kUser);
        EXPECT_EQ(call.texts, U16s{received});
        EXPECT_EQ(call.numbers, (std::vector<int64_t>{14, 1, 0, 0}));
    }
}

// A record makes its URI objects and its list of records on their first read and keeps them while it
// lives: the same object for every read, also for threads that read at once, released with the
// record.
// A query's records take the inventory's URLs unchecked, so the inventory must refuse what a
// record would.
TEST_F(InventoryQueriesTest, AURLThatIsNotAbsoluteIsRefusedByTheInventoryAndByEveryRecord) {
    using ::ABI::E_INVALIDARG;
    struct Row {
        const char* field;
        std::optional<std::u16string> emu::InventoryItemData::*url;
    };
    for (const Row& row :
         {Row{"url", &emu::InventoryItemData::url}, Row{"consumableUrl", &emu::InventoryItemData::consumableUrl}}) {
        SCOPED_TRACE(row.field);
        auto item = Consumable(u"f", 5);
        item.*row.url = u"inventory/f";
        const int64_t objects = emu::LiveObjects();
        EXPECT_EQ(emu::AddInventoryItem(kOtherUser, item), E_INVALIDARG);
        EXPECT_EQ(emu::UpdateInventoryItem(kUser, item), E_INVALIDARG);
        ::ABI::ComPtr<::ABI::Microsoft::Xbox::Services::Marketplace::IInventoryItem> record;
        EXPECT_EQ(emu::CreateInventoryItem(item, record.Put()), E_INVALIDARG);
        ::ABI::ComPtr<::ABI::Microsoft::Xbox::Services::Marketplace::IInventoryItemsResult> result;
        EXPECT_EQ(emu::CreateInventoryItemsResult({Consumable(u"a", 1), item}, 2, result.Put()), E_INVALIDARG);
        EXPECT_EQ(record.Get(), nullptr);
        EXPECT_EQ(result.Get(), nullptr);
        EXPECT_EQ(emu::LiveObjects(), objects);
    }
    // The refused item was not added, and the query's records of the others were made.
    const auto answer = Answer(Run([&](auto cb, void* d) {
        return X().InventoryService_GetInventoryItemsAsync(kOtherUser, I(MediaItemType::All), cb, d);
    }));
    EXPECT_EQ(answer.first, U16s{u"h"});
}

TEST_F(InventoryQueriesTest, ARecordMakesEachChildOnItsFirstReadOnceAndReleasesItWithItself) {
    namespace MP = ::ABI::Microsoft::Xbox::Services::Marketplace;
    using ::ABI::ComPtr;
    using ::ABI::S_OK;
    using ::ABI::Windows::Foundation::IUriRuntimeClass;
    using ::ABI::Windows::Foundation::Collections::IVectorView;
    using Child = ComPtr<::ABI::IInspectable>;
    using UriRead = ::ABI::HRESULT (MP::IInventoryItem::*)(IUriRuntimeClass**);
    struct Row {
        const char* child;
        UriRead uri;   // an item's URI; null: the result's list
        int64_t made;  // objects the first read makes
    };
    const Row rows[] = {
        {"the item's URL", &MP::IInventoryItem::get_Url, 1},
        {"the item's consumable URL", &MP::IInventoryItem::get_ConsumableUrl, 1},
        {"the result's items", nullptr, 2},  // the list and its one item
    };
    constexpr int kReaders = 4;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.child);
        const int64_t idle = emu::LiveObjects();
        ComPtr<MP::IInventoryItemsResult> result;
        ASSERT_EQ(emu::CreateInventoryItemsResult(std::vector{Consumable(u"f", 5)}, 1, result.Put()), S_OK);
        ComPtr<MP::IInventoryItem> item;
        if (row.uri) {
            ComPtr<IVectorView<MP::IInventoryItem*>> items;
            ASSERT_EQ(result->get_Items(items.Put()), S_OK);
            ASSERT_EQ(items->GetAt(0, item.Put()), S_OK);
        }
        auto read = [&] {
            if (row.uri) {
                ComPtr<IUriRuntimeClass> uri;
                EXPECT_EQ((item.Get()->*row.uri)(uri.Put()), S_OK);
                return Child(uri.Get());
            }
            ComPtr<IVectorView<MP::IInventoryItem*>> items;
            EXPECT_EQ(result->get_Items(items.Put()), S_OK);
            return Child(items.Get());
        };
        const int64_t before = emu::LiveObjects();
        Child got[kReaders];
        std::latch start(kReaders);
        std::vector<std::thread> readers;
        for (int i = 0; i < kReaders; ++i)
            readers.emplace_back([&, i] {
                start.arrive_and_wait();
                got[i] = read();
            });
        for (auto& t : readers) t.join();
        ASSERT_NE(got[0].Get(), nullptr);
        for (const Child& c : got) EXPECT_EQ(c.Get(), got[0].Get()) << "one child for readers at once";
        EXPECT_EQ(read().Get(), got[0].Get()) << "and for a later read";
        for (Child& c : got) c.Reset();
        EXPECT_EQ(emu::LiveObjects(), before + row.made) << "kept by its record";
        item.Reset();
        result.Reset();
        EXPECT_EQ(emu::LiveObjects(), idle) << "released with the record";
    }
}

// An inventory item keeps its product id and URLs as text and makes their platform strings on the
// first read: an item that is never read makes none. A read whose string cannot be made answers why
// and the next read makes it; every later read hands out the same string, released with the item.
TEST_F(InventoryQueriesTest, AnItemMakesTheStringsOfItsTextsOnTheirFirstRead) {
    namespace MP = ::ABI::Microsoft::Xbox::Services::Marketplace;
    using ::ABI::ComPtr;
    using ::ABI::E_OUTOFMEMORY;
    using ::ABI::HRESULT;
    using ::ABI::HStringOwner;
    using ::ABI::S_OK;
    using ::ABI::Windows::Foundation::IUriRuntimeClass;
    using ::ABI::Windows::Foundation::Collections::IVectorView;
    struct Row {
        const char* text;
        HRESULT (MP::IInventoryItem::*uri)(IUriRuntimeClass**);  // null: the product id
        std::u16string expected;
    };
    const Row rows[] = {
        {"the product id", nullptr, u"f"},
        {"the URL", &MP::IInventoryItem::get_Url, u"https://inventory.example.com/items/f"},
        {"the consumable URL", &MP::IInventoryItem::get_ConsumableUrl, u"https://inventory.example.com/consumables/f"},
    };
    // A read answers its HRESULT and, on success, the string it handed out.
    auto read = [](const Row& row, MP::IInventoryItem* item, HStringOwner* text) {
        if (!row.uri) return item->get_ProductId(text->Put());
        ComPtr<IUriRuntimeClass> uri;
        if (HRESULT hr = (item->*row.uri)(uri.Put()); hr != S_OK) return hr;
        return uri->get_AbsoluteUri(text->Put());
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const int64_t idle = emu::LiveStrings();
        ComPtr<MP::IInventoryItemsResult> result;
        ASSERT_EQ(emu::CreateInventoryItemsResult(std::vector{Consumable(u"f", 5)}, 1, result.Put()), S_OK);
        ComPtr<IVectorView<MP::IInventoryItem*>> items;
        ASSERT_EQ(result->get_Items(items.Put()), S_OK);
        ComPtr<MP::IInventoryItem> item;
        ASSERT_EQ(items->GetAt(0, item.Put()), S_OK);
        EXPECT_EQ(emu::LiveStrings(), idle) << "no string before a read";

        emu::InjectFault("WindowsCreateString", E_OUTOFMEMORY, 1);
        HStringOwner failed;
        EXPECT_EQ(read(row, item.Get(), &failed), E_OUTOFMEMORY);
        EXPECT_EQ(failed.Get(), nullptr);
        EXPECT_EQ(emu::LiveStrings(), idle) << "nothing made by the read that failed";

        HStringOwner first, second;
        ASSERT_EQ(read(row, item.Get(), &first), S_OK) << "the next read makes it";
        EXPECT_EQ(emu::ToU16(first.Get()), row.expected);
        ASSERT_EQ(read(row, item.Get(), &second), S_OK);
        EXPECT_EQ(second.Get(), first.Get()) << "later reads hand out the same string";
        EXPECT_EQ(emu::LiveStrings(), idle + 1);
        first = HStringOwner();
        second = HStringOwner();
        EXPECT_EQ(emu::LiveStrings(), idle + 1) << "kept by the item";
        items.Reset();
        item.Reset();
        result.Reset();
        EXPECT_EQ(emu::LiveStrings(), idle) << "released with the item";
    }
}

}  // namespace
}  // namespace velmora::test
