// What a catalog browse answers: the children of the parent, filtered by media type, in each sort
// order with ties by id, counted before paging; and the arguments the starting call refuses.
#include "tests/marketplace_fixture.h"

namespace velmora::test {
namespace {

using U16s = std::vector<std::u16string>;

class CatalogBrowseTest : public MarketplaceTest {
protected:
    void SetUp() override {
        MarketplaceTest::SetUp();
        AddUser(kUser);
        struct Child {
            const char16_t* id;
            MediaItemType type;
            uint64_t freeAndPaidDaily, paidAllTime, paidDaily;
            int64_t digitalRelease, release;
            double rating;
        };
        const Child children[] = {
            {u"c-alpha", MediaItemType::GameContent, 10, 1, 7, 300, 100, 4.5},
            {u"c-bravo", MediaItemType::GameConsumable, 30, 5, 7, 100, 300, 3.0},
            {u"c-charlie", MediaItemType::GameContent, 20, 5, 2, 200, 200, 4.5},
            {u"c-delta", MediaItemType::Subscription, 10, 9, 9, 300, 50, 1.0},
        };
        for (const Child& c : children) {
            auto item = Listed(c.id, c.type, {u"hub", u"other-hub"});
            item.freeAndPaidCountDaily = c.freeAndPaidDaily;
            item.paidCountAllTime = c.paidAllTime;
            item.paidCountDaily = c.paidDaily;
            item.digitalReleaseDate = c.digitalRelease;
            item.releaseDate = c.release;
            item.userRating = c.rating;
            List(item);
        }
        List(Listed(u"hub", MediaItemType::GameV2, {}));
        List(Listed(u"elsewhere", MediaItemType::GameContent, {u"other-hub"}));
    }

    std::pair<U16s, uint32_t> Browse(MediaItemType child, SortOrder order, uint32_t skip = 0, uint32_t max = 0) {
        ObjectHandle result = BrowseChildren(u"hub", child, order, skip, max);
        std::pair<U16s, uint32_t> answer{CatalogIds(result), X().BrowseCatalogResult_TotalCount(result)};
        X().BrowseCatalogResult_Dispose(result);
        return answer;
    }
};

TEST_F(CatalogBrowseTest, EachSortOrderRanksItsMeasureWithTiesById) {
    const std::pair<SortOrder, U16s> rows[] = {
        {SortOrder::FreeAndPaidCountDaily, {u"c-bravo", u"c-charlie", u"c-alpha", u"c-delta"}},
        {SortOrder::PaidCountAllTime, {u"c-delta", u"c-bravo", u"c-charlie", u"c-alpha"}},
        {SortOrder::PaidCountDaily, {u"c-delta", u"c-alpha", u"c-bravo", u"c-charlie"}},
        {SortOrder::DigitalReleaseDate, {u"c-alpha", u"c-delta", u"c-charlie", u"c-bravo"}},
        {SortOrder::ReleaseDate, {u"c-bravo", u"c-charlie", u"c-alpha", u"c-delta"}},
        {SortOrder::UserRatings, {u"c-alpha", u"c-charlie", u"c-bravo", u"c-delta"}},
    };
    for (const auto& [order, ids] : rows) {
        SCOPED_TRACE(I(order));
        EXPECT_EQ(Browse(MediaItemType::All, order), std::pair(ids, 4u));
    }
}

TEST_F(CatalogBrowseTest, TheChildTypeFiltersAndPagingCutsAfterTheCount) {
    struct Row {
        MediaItemType child;
        uint32_t skip, max;
        U16s ids;
        uint32_t total;
    };
    const Row rows[] = {
        {MediaItemType::GameContent, 0, 0, {u"c-charlie", u"c-alpha"}, 2},
        {MediaItemType::Subscription, 0, 0, {u"c-delta"}, 1},
        {MediaItemType::GameV2, 0, 0, {}, 0},
        {MediaItemType::All, 1, 2, {u"c-charlie", u"c-alpha"}, 4},
        {MediaItemType::All, 3, 0, {u"c-delta"}, 4},
        {MediaItemType::All, 0, 1, {u"c-bravo"}, 4},
        {MediaItemType::All, 4, 0, {}, 4},
        {MediaItemType::All, 99, 5, {}, 4},
        {MediaItemType::All, 0, 99, {u"c-bravo", u"c-charlie", u"c-alpha", u"c-delta"}, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << I(row.child) << " skip " << row.skip << " max " << row.max);
        EXPECT_EQ(Browse(row.child, SortOrder::FreeAndPaidCountDaily, row.skip, row.max),
                  std::pair(row.ids, row.total));
    }
}

TEST_F(CatalogBrowseTest, AParentWithoutChildrenAnswersAnEmptyResult) {
    ObjectHandle result = BrowseChildren(u"no-such-parent", MediaItemType::All, SortOrder::ReleaseDate);
    EXPECT_EQ(X().BrowseCatalogResult_TotalCount(result), 0u);
    EXPECT_EQ(X().BrowseCatalogResult_Items_Length(result), 0u);
    X().BrowseCatalogResult_Dispose(result);
}

TEST_F(CatalogBrowseTest, TheStartingCallRefusesAMissingParentAndUnknownValues) {
    struct Row {
        const char* name;
        const char16_t* parent;
        int32_t parentType, childType, order;
    };
    const int32_t v2 = I(MediaItemType::GameV2), all = I(MediaItemType::All), daily = I(SortOrder::PaidCountDaily);
    const Row rows[] = {
        {"null parent", nullptr, v2, all, daily},   {"empty parent", u"", v2, all, daily},
        {"parent type 15", u"hub", 15, all, daily}, {"child type -1", u"hub", v2, -1, daily},
        {"sort order 6", u"hub", v2, all, 6},       {"sort order -1", u"hub", v2, all, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ExpectRefused([&](void* d) {
            return X().CatalogService_BrowseCatalogAsync(kUser, row.parent, row.parentType, row.childType, row.order, 0,
                                                         0, &DeliverObject, d);
        });
        const emu::MarketplaceCall call = emu::MarketplaceCalls().back();
        EXPECT_EQ(call.method, "ICatalogService.BrowseCatalogAsync");
        EXPECT_EQ(call.texts, U16s{row.parent ? row.parent : u""}) << "null reaches the service as the empty text";
        EXPECT_EQ(call.numbers, (std::vector<int64_t>{row.parentType, row.childType, row.order, 0, 0}));
    }
    EXPECT_EQ(Sent(HaldenPlugin::BrowseCatalogResultEvent::Id), 0u);
}

}  // namespace
}  // namespace velmora::test
