using System;
using System.Collections.Generic;
using System.Threading.Tasks;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>Every asynchronous export, through its Task: one row per export, one column per way an operation ends.</summary>
    public class OperationTests
    {
        private const uint User = 1;
        private const int AccessDenied = unchecked((int)0x80070005);
        private const string GemsOffer = "eyJ2IjoxLCJza3UiOiI5TlNUUk1HTElEUjIiLCJvZmZlciI6InN0YW5kYXJkIiwibWFya2V0IjoiVVMiLCJzaWciOiI3Yjk5NGUxNjE1MGU1NjUxYjhkOTZhZmQwNTRiN2VlZiJ9";

        public enum Result { Record, Privilege, Screen }

        public sealed class Row
        {
            public Row(string call, Result result, Func<uint, Task> start) : this(call, result, (host, user) => start(user)) { }
            public Row(string call, Result result, Func<VelmoraHost, uint, Task> start) { Call = call; Kind = result; Start = start; }
            public string Call { get; }
            public Result Kind { get; }
            public Func<VelmoraHost, uint, Task> Start { get; }
            public override string ToString() => Call;
        }

        private static readonly Row[] Rows =
        {
            new Row("IInventoryService.GetInventoryItemsAsync", Result.Record, u => InventoryService.GetInventoryItemsAsync(u, MediaItemType.All)),
            new Row("IInventoryService.GetInventoryItemsWithFiltersAsync", Result.Record, u => InventoryService.GetInventoryItemsAsync(u, MediaItemType.All, InventoryItemState.All, InventoryItemAvailability.All, null, 10)),
            new Row("IInventoryService.GetInventoryItemsForAllUsersAsync", Result.Record, u => InventoryService.GetInventoryItemsForAllUsersAsync(u, MediaItemType.All)),
            new Row("IInventoryService.GetInventoryItemsForAllUsersWithFiltersAsync", Result.Record, u => InventoryService.GetInventoryItemsForAllUsersAsync(u, MediaItemType.All, InventoryItemState.All, InventoryItemAvailability.All, "", 10)),
            new Row("IInventoryService.GetInventoryItemAsync", Result.Record, (host, u) => WithGems(host, gems => InventoryService.GetInventoryItemAsync(u, gems))),
            new Row("IInventoryService.ConsumeInventoryItemAsync", Result.Record, (host, u) => WithGems(host, gems => InventoryService.ConsumeInventoryItemAsync(u, gems, 1, "c0ffee00-0000-4000-8000-000000000001"))),
            new Row("ICatalogService.BrowseCatalogAsync", Result.Record, u => CatalogService.BrowseCatalogAsync(u, "9NAURSKIES01", MediaItemType.Game, MediaItemType.All, CatalogSortOrder.FreeAndPaidCountDaily, 0, 25)),
            new Row("ICatalogService.GetCatalogItemDetailsAsync", Result.Record, u => CatalogService.GetCatalogItemDetailsAsync(u, new[] { "9NSTRMGLIDR2", "9NCLDTREASR3" })),
            new Row("IProductStatics.CheckPrivilegeAsync", Result.Privilege, u => Store.CheckPrivilegeAsync(u, 254, false, "Multiplayer")),
            new Row("IProductStatics.CheckPrivilegesAsync", Result.Privilege, u => Store.CheckPrivilegesAsync(u, new uint[] { 254, 247 }, false, null)),
            new Row("IProductStatics.ShowDetailsAsync", Result.Screen, u => Store.ShowDetailsAsync(u, "9NSTRMGLIDR2")),
            new Row("IProductStatics.ShowMarketplaceAsync", Result.Screen, u => Store.ShowMarketplaceAsync(u, ProductItemTypes.GameContent, null, ProductItemTypes.All)),
            new Row("IProductStatics.ShowPurchaseAsync", Result.Screen, u => Store.ShowPurchaseAsync(u, GemsOffer)),
            new Row("IProductStatics.ShowRedeemCodeAsync", Result.Screen, u => Store.ShowRedeemCodeAsync(u, "AURL-SKY5-GEMS-0550")),
            new Row("IProductStatics.ShowSubscriptionAsync", Result.Screen, u => Store.ShowSubscriptionAsync(u, "9NAURELPASS8", 247)),
        };

        // Starts an operation on user 1's consumable, read from a query the row's script does not touch.
        private static Task WithGems(VelmoraHost host, Func<InventoryItem, Task> start)
        {
            using (InventoryItemsResult owned = host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.GameConsumable)))
            using (InventoryItemList items = owned.Items)
            using (InventoryItem gems = items[0])
                return start(gems);
        }

        public static IEnumerable<object[]> Exports()
        {
            foreach (Row row in Rows) yield return new object[] { row };
        }

        [Theory]
        [MemberData(nameof(Exports))]
        public void SucceedsWithItsResult(Row row)
        {
            using (var fresh = new Fresh())
            {
                Task task = row.Start(fresh.Host, User);
                fresh.Host.Run(task);
                if (row.Kind == Result.Record)
                {
                    var record = (VelmoraHandle)((dynamic)task).Result;
                    Assert.NotNull(record);
                    record.Dispose();
                }
            }
        }

        [Theory]
        [MemberData(nameof(Exports))]
        public void FailsWithTheHResultAndItsKind(Row row)
        {
            using (var fresh = new Fresh())
            {
                Emulator.ScriptOutcome(row.Call, OutcomeKind.Fail, AccessDenied);
                var e = Assert.Throws<VelmoraException>(() => fresh.Host.Run(row.Start(fresh.Host, User)));
                Assert.Equal(AccessDenied, e.HResult);
                Assert.Equal("AccessDeniedException", e.Kind);
            }
        }

        [Theory]
        [MemberData(nameof(Exports))]
        public void CancelledAsDocumented(Row row)
        {
            using (var fresh = new Fresh())
            {
                Emulator.ScriptOutcome(row.Call, OutcomeKind.Cancel);
                Task task = row.Start(fresh.Host, User);
                switch (row.Kind)
                {
                    case Result.Screen:
                        Assert.Throws<TaskCanceledException>(() => fresh.Host.Run(task));
                        break;
                    case Result.Privilege:
                        Assert.Equal(PrivilegeCheckResult.NoIssue, fresh.Host.Run((Task<PrivilegeCheckResult>)task));
                        break;
                    default:
                        fresh.Host.Run(task);
                        Assert.Null(((dynamic)task).Result);
                        break;
                }
            }
        }

        [Theory]
        [MemberData(nameof(Exports))]
        public void NotStartedThrowsAtOnceAndNothingFollows(Row row)
        {
            using (var fresh = new Fresh())
            {
                Emulator.ScriptOutcome(row.Call, OutcomeKind.FailStart, AccessDenied);
                var refused = Assert.Throws<VelmoraException>(() => Start(fresh.Host, row, User));
                Assert.Null(refused.Kind);
                var unknownUser = Assert.Throws<VelmoraException>(() => Start(fresh.Host, row, 999));
                Assert.Contains("did not start", unknownUser.Message);
            }
        }

        // The refusal comes from the call itself, not from its task.
        private static void Start(VelmoraHost host, Row row, uint user) { row.Start(host, user); }

        [Fact]
        public void ContinuationsNeverRunInsideTheNativeCallback()
        {
            using (var fresh = new Fresh())
            {
                int pumping = Environment.CurrentManagedThreadId, continued = 0;
                Task<PrivilegeCheckResult> check = Store.CheckPrivilegeAsync(User, 254, false, null);
                Task after = check.ContinueWith(_ => continued = Environment.CurrentManagedThreadId, TaskContinuationOptions.ExecuteSynchronously);
                fresh.Host.Run(check);
                fresh.Host.Run(after);
                Assert.NotEqual(pumping, continued);
            }
        }
    }
}
