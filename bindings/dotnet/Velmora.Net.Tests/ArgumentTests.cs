using System;
using System.Collections.Generic;
using System.Linq;
using Velmora.Interop;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>Bad arguments are refused in managed code, naming the argument, before any native call.</summary>
    public class ArgumentTests
    {
        private static readonly InventoryItem Gems = null;

        public static IEnumerable<object[]> BadArguments()
        {
            var rows = new (string, Type, string, Action)[]
            {
                ("a null parent id", typeof(ArgumentNullException), "parentId", () => new BrowseCatalogRequest(null, MediaItemType.Game)),
                ("no browse request", typeof(ArgumentNullException), "request", () => CatalogService.BrowseCatalogAsync(1, null)),
                ("an undefined media type", typeof(ArgumentOutOfRangeException), "mediaItemType", () => InventoryService.GetInventoryItemsAsync(1, (MediaItemType)99)),
                ("an undefined media type for all users", typeof(ArgumentOutOfRangeException), "mediaItemType", () => InventoryService.GetInventoryItemsForAllUsersAsync(1, (MediaItemType)(-1))),
                ("an undefined state in a query", typeof(ArgumentOutOfRangeException), "query.ItemState", () => InventoryService.GetInventoryItemsAsync(1, new InventoryQuery { ItemState = (InventoryItemState)42 })),
                ("an undefined sort order", typeof(ArgumentOutOfRangeException), "request.SortOrder", () => CatalogService.BrowseCatalogAsync(1, new BrowseCatalogRequest("9NAURSKIES01", MediaItemType.Game) { SortOrder = (CatalogSortOrder)6 })),
                ("an undefined package filter", typeof(ArgumentOutOfRangeException), "filter", () => DownloadableContent.FindPackages((DownloadableContentPackageFilter)9)),
                ("no query", typeof(ArgumentNullException), "query", () => InventoryService.GetInventoryItemsAsync(1, (InventoryQuery)null)),
                ("an empty product id list", typeof(ArgumentException), "productIds", () => CatalogService.GetCatalogItemDetailsAsync(1, new string[0])),
                ("a null product id", typeof(ArgumentNullException), "productIds", () => CatalogService.GetCatalogItemDetailsAsync(1, new[] { "9NSTRMGLIDR2", null })),
                ("an empty privilege list", typeof(ArgumentException), "privilegeIds", () => Store.CheckPrivilegesAsync(1, new uint[0], false, null)),
                ("no item to refresh", typeof(ArgumentNullException), "item", () => InventoryService.GetInventoryItemAsync(1, Gems)),
                ("no item to consume", typeof(ArgumentNullException), "item", () => InventoryService.ConsumeInventoryItemAsync(1, Gems, 1, "t")),
                ("no item handle", typeof(ArgumentNullException), "item", () => NativeInventoryService.GetInventoryItemAsync(1, null)),
                ("no signed offer", typeof(ArgumentNullException), "signedOffer", () => Store.ShowPurchaseAsync(1, null)),
                ("no product to detail", typeof(ArgumentNullException), "productId", () => Store.ShowDetailsAsync(1, null)),
                ("no package to mount", typeof(ArgumentNullException), "package", () => DownloadableContent.Mount(null)),
                ("no call to fault", typeof(ArgumentNullException), "call", () => Emulator.InjectFault(null, HResults.Fail)),
                ("an undefined outcome kind", typeof(ArgumentOutOfRangeException), "kind", () => Emulator.ScriptOutcome("IInventoryService.GetInventoryItemsAsync", (OutcomeKind)42)),
            };
            return rows.Select(r => new object[] { r.Item1, r.Item2, r.Item3, r.Item4 });
        }

        [Theory]
        [MemberData(nameof(BadArguments))]
        public void IsRefusedNamingTheArgument(string what, Type exception, string parameter, Action call)
        {
            using (new Fresh())
            {
                ArgumentException e = Assert.Throws(exception, call) as ArgumentException;
                Assert.True(e != null && e.ParamName == parameter, what + ": " + e);
                Assert.Equal(0, Operations.Count);
            }
        }

        [Fact]
        public void AnUndefinedValueIsNamedWithTheValuesThatAre()
        {
            using (new Fresh())
            {
                var e = Assert.Throws<ArgumentOutOfRangeException>(() => { InventoryService.GetInventoryItemsAsync(1, (MediaItemType)99); });
                Assert.Contains("not a value of MediaItemType: use one of Unknown, Game,", e.Message);
                Assert.Equal((MediaItemType)99, e.ActualValue);
            }
        }
    }
}
