// What a details query answers: one record per requested product that exists, in request order,
// duplicates answered twice; the list as the plugin passes it; and the sizes the start refuses.
#include "tests/marketplace_fixture.h"

namespace velmora::test {
namespace {

using U16s = std::vector<std::u16string>;

class CatalogDetailsTest : public MarketplaceTest {
protected:
    void SetUp() override {
        MarketplaceTest::SetUp();
        AddUser(kUser);
        for (const char16_t* id : {u"a", u"b", u"c"}) List(Listed(id, MediaItemType::GameContent, {}));
    }

    // The product ids of a details list, in order; the list is disposed.
    U16s ProductIdsOf(ObjectHandle list) {
        U16s ids;
        for (uint32_t i = 0, n = X().CatalogItemDetailsList_Length(list); i < n; ++i) {
            ObjectHandle details = X().CatalogItemDetailsList_GetAt(list, i);
            ids.push_back(X().CatalogItemDetails_ProductId(details));
            X().CatalogItemDetails_Dispose(details);
        }
        X().CatalogItemDetailsList_Dispose(list);
        return ids;
    }
};

TEST_F(CatalogDetailsTest, AnswersTheExistingProductsInRequestOrder) {
    struct Row {
        const char* name;
        std::vector<const char16_t*> request;
        U16s answer;
    };
    const Row rows[] = {
        {"in request order", {u"c.product", u"a.product"}, {u"c.product", u"a.product"}},
        {"duplicates twice", {u"b.product", u"b.product", u"a.product"}, {u"b.product", u"b.product", u"a.product"}},
        {"unknown ids skipped", {u"x", u"a.product", u"a"}, {u"a.product"}},
        {"nothing known", {u"x"}, {}},
        {"null and empty entries skipped", {nullptr, u"b.product", u""}, {u"b.product"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ProductIdsOf(Details(row.request)), row.answer);
    }
}

TEST_F(CatalogDetailsTest, TheListReachesTheServiceWithDuplicatesAndNullEntriesAsEmptyInOrder) {
    std::vector<const char16_t*> request = {u"a.product", nullptr, u"a.product", u"", u"商品-🎮", u"c.product"};
    ProductIdsOf(Details(request));
    const emu::MarketplaceCall call = emu::MarketplaceCalls().back();
    EXPECT_EQ(call.method, "ICatalogService.GetCatalogItemDetailsAsync");
    EXPECT_EQ(call.userId, kUser);
    EXPECT_EQ(call.texts, (U16s{u"a.product", u"", u"a.product", u"", u"商品-🎮", u"c.product"}));
}

TEST_F(CatalogDetailsTest, TenIdsAreTheMostOneQueryTakes) {
    std::vector<const char16_t*> ids(emu::kMaxCatalogDetailsIds, u"a.product");
    EXPECT_EQ(ProductIdsOf(Details(ids)).size(), emu::kMaxCatalogDetailsIds);

    ids.push_back(u"b.product");
    Host().Queue().ClearTrace();
    ExpectRefused([&](void* d) {
        return X().CatalogService_GetCatalogItemDetailsAsync(kUser, ids.data(), int32_t(ids.size()), &DeliverObject, d);
    });
    EXPECT_EQ(Sent(HaldenPlugin::CatalogItemDetailsResultEvent::Id), 0u);
    EXPECT_EQ(emu::MarketplaceCalls().back().texts.size(), ids.size()) << "refused by the service, not the plugin";
}

}  // namespace
}  // namespace velmora::test
