// The seventeen handler objects: what each answers for its event id and its reserved query, and
// the order in which each group's first use registers them.
#include "core/event_types.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

using namespace HaldenPlugin;

class HandlersTest : public PluginTest {};

TEST_F(HandlersTest, EveryHandlerAnswersItsEventIdAndZero) {
    // First use of each group; the answers do not matter.
    X().InventoryService_GetInventoryItemsAsync(99, 14, nullptr, nullptr);
    X().CatalogService_BrowseCatalogAsync(99, u"p", 1, 1, 0, 0, 0, nullptr, nullptr);
    X().Store_UnRegisterForPurchaseEvents();
    X().Store_ShowDetailsAsync(99, u"p", nullptr, nullptr);
    X().DLC_UnRegisterForDLCCompletedEvent();
    const std::vector<EventId> expected = {
        OnUserManagerRequested::Id,
        OnIHaldenPluginLogRequested::Id,
        OnIHaldenPluginLogRequested::Id,
        ConsumeInventoryItemResultEvent::Id,
        InventoryItemEvent::Id,
        InventoryItemsResultEvent::Id,
        BrowseCatalogResultEvent::Id,
        CatalogItemDetailsResultEvent::Id,
        PrivilegeCheckResultEvent::Id,
        ShowDetailsAsyncEvent::Id,
        ShowMarketplaceAsyncEvent::Id,
        ShowPurchaseAsyncEvent::Id,
        ShowRedeemCodeAsyncEvent::Id,
        ShowSubscriptionAsyncEvent::Id,
        ProductPurchasedEventArgsEvent::Id,
        DownloadableContentPackageInstallCompletedEvent::Id,
        IDownloadableContentPackageInstallCompletedEventArgsEvent::Id,
    };
    const auto handlers = Host().Queue().GuestHandlers();
    ASSERT_EQ(handlers.size(), expected.size()) << "each group registers once, in order";
    for (size_t i = 0; i < handlers.size(); ++i) {
        EXPECT_EQ(handlers[i]->GetEventId(), expected[i]) << i;
        EXPECT_EQ(handlers[i]->ReservedQuery(), 0) << i;
    }
}

}  // namespace
}  // namespace velmora::test
