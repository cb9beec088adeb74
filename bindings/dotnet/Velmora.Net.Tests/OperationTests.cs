using System;
using System.Collections.Generic;
using System.Linq;
using System.Threading.Tasks;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>Every asynchronous export, through its Task: one row per export, one test per way an operation ends.</summary>
    public class OperationTests
    {
        private const uint User = 1;
        private const string GemsOffer = "eyJ2IjoxLCJza3UiOiI5TlNUUk1HTElEUjIiLCJvZmZlciI6InN0YW5kYXJkIiwibWFya2V0IjoiVVMiLCJzaWciOiI3Yjk5NGUxNjE1MGU1NjUxYjhkOTZhZmQwNTRiN2VlZiJ9";

        public enum Result { Record, Privilege, Screen }

        public sealed class Row
        {
            public Row(string call, Result result, Func<VelmoraHost, uint, Task> start) { Call = call; Kind = result; Start = start; }
            public string Call { get; }
            public Result Kind { get; }
            public Func<VelmoraHost, uint, Task> Start { get; }
            public override string ToString() => Call;
        }

        private static readonly Row[] Rows =
        {
            new Row("IInventoryService.GetInventoryItemsAsync", Result.Record, (h, u) => InventoryService.GetInventoryItemsAsync(u, MediaItemType.All)),
            new Row("IInventoryService.GetInventoryItemsWithFiltersAsync", Result.Record, (h, u) => InventoryService.GetInventoryItemsAsync(u, new InventoryQuery { MaxItems = 10 })),
            new Row("IInventoryService.GetInventoryItemsForAllUsersAsync", Result.Record, (h, u) => InventoryService.GetInventoryItemsForAllUsersAsync(u, MediaItemType.All)),
            new Row("IInventoryService.GetInventoryItemsForAllUsersWithFiltersAsync", Result.Record, (h, u) => InventoryService.GetInventoryItemsForAllUsersAsync(u, new InventoryQuery { ContainerId = "" })),
            new Row("IInventoryService.GetInventoryItemAsync", Result.Record, (h, u) => InventoryService.GetInventoryItemAsync(u, Gems(h))),
            new Row("IInventoryService.ConsumeInventoryItemAsync", Result.Record, (h, u) => InventoryService.ConsumeInventoryItemAsync(u, Gems(h), 1, Guid.NewGuid().ToString())),
            new Row("ICatalogService.BrowseCatalogAsync", Result.Record, (h, u) => CatalogService.BrowseCatalogAsync(u, new BrowseCatalogRequest("9NAURSKIES01", MediaItemType.Game))),
            new Row("ICatalogService.GetCatalogItemDetailsAsync", Result.Record, (h, u) => CatalogService.GetCatalogItemDetailsAsync(u, new[] { "9NSTRMGLIDR2", "9NCLDTREASR3" })),
            new Row("IProductStatics.CheckPrivilegeAsync", Result.Privilege, (h, u) => Store.CheckPrivilegeAsync(u, 254, false, "Multiplayer")),
            new Row("IProductStatics.CheckPrivilegesAsync", Result.Privilege, (h, u) => Store.CheckPrivilegesAsync(u, new uint[] { 254, 247 }, false, null)),
            new Row("IProductStatics.ShowDetailsAsync", Result.Screen, (h, u) => Store.ShowDetailsAsync(u, "9NSTRMGLIDR2")),
            new Row("IProductStatics.ShowMarketplaceAsync", Result.Screen, (h, u) => Store.ShowMarketplaceAsync(u, ProductItemTypes.GameContent, null, ProductItemTypes.All)),
            new Row("IProductStatics.ShowPurchaseAsync", Result.Screen, (h, u) => Store.ShowPurchaseAsync(u, GemsOffer)),
            new Row("IProductStatics.ShowRedeemCodeAsync", Result.Screen, (h, u) => Store.ShowRedeemCodeAsync(u, "AURL-SKY5-GEMS-0550")),
            new Row("IProductStatics.ShowSubscriptionAsync", Result.Screen, (h, u) => Store.ShowSubscriptionAsync(u, "9NAURELPASS8", 247)),
        };

        // User 1's consumable, from a query that the row's script does not touch.
        private static InventoryItem Gems(VelmoraHost host)
        {
            return host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.GameConsumable)).Items[0];
        }

        public static IEnumerable<object[]> Exports() => Rows.Select(row => new object[] { row });

        [Theory]
        [MemberData(nameof(Exports))]
        public void SucceedsWithItsResult(Row row)
        {
            using (var fresh = new Fresh())
            {
                Task task = row.Start(fresh.Host, User);
                fresh.Host.Run(task);
                if (row.Kind == Result.Record) Assert.NotNull(((dynamic)task).Result);
            }
        }

        [Theory]
        [MemberData(nameof(Exports))]
        public void FailsWithTheHResultItsNameAndItsKind(Row row)
        {
            using (var fresh = new Fresh())
            {
                Emulator.ScriptOutcome(row.Call, OutcomeKind.Fail, HResults.AccessDenied);
                var e = Assert.Throws<VelmoraException>(() => fresh.Host.Run(row.Start(fresh.Host, User)));
                Assert.Equal(HResults.AccessDenied, e.HResult);
                Assert.Equal("E_ACCESSDENIED", e.HResultName);
                Assert.Equal("AccessDeniedException", e.Kind);
                Assert.Contains("E_ACCESSDENIED (0x80070005): access denied", e.Message);
                Assert.Equal(StartFailure.None, e.StartFailure);
            }
        }

        /// <summary>
        /// One model: a task that ends without an answer is cancelled. A record operation the platform
        /// cancels, or answers with no result, cancels its task (never an empty result); a screen's
        /// cancel cancels its task; a cancelled privilege check answers NoIssue, as the platform does.
        /// </summary>
        [Theory]
        [MemberData(nameof(Exports))]
        public void AnOperationWithoutAnAnswerIsCancelled(Row row)
        {
            foreach (OutcomeKind outcome in new[] { OutcomeKind.Cancel, OutcomeKind.NullResult })
            {
                using (var fresh = new Fresh())
                {
                    Emulator.ScriptOutcome(row.Call, outcome);
                    Task task = row.Start(fresh.Host, User);
                    if (row.Kind == Result.Privilege) Assert.Equal(PrivilegeCheckResult.NoIssue, fresh.Host.Run((Task<PrivilegeCheckResult>)task));
                    else if (row.Kind == Result.Record || outcome == OutcomeKind.Cancel) Assert.Throws<TaskCanceledException>(() => fresh.Host.Run(task));
                    else fresh.Host.Run(task);
                }
            }
        }

        [Theory]
        [MemberData(nameof(Exports))]
        public void ARefusedStartSaysWhy(Row row)
        {
            using (var fresh = new Fresh())
            {
                Emulator.ScriptOutcome(row.Call, OutcomeKind.FailStart, HResults.AccessDenied);
                VelmoraException refused = Refusal(fresh.Host, row, User);
                Assert.Equal(StartFailure.PlatformRefused, refused.StartFailure);
                Assert.Contains("the platform refused the call (user 1 is signed in)", refused.Message);
                Assert.Null(refused.Kind);

                // An unknown user is refused by the first call, at once (for the item rows, by the query that finds the item).
                var unknown = Assert.Throws<VelmoraException>(() => { row.Start(fresh.Host, 7); });
                Assert.Equal(StartFailure.UserNotSignedIn, unknown.StartFailure);
                Assert.Contains("user 7 is not signed in; signed in: 1, 2", unknown.Message);

                Emulator.Reset();
                var nobody = Assert.Throws<VelmoraException>(() => { row.Start(fresh.Host, User); });
                Assert.Contains("user 1 is not signed in; no user is: load a scenario", nobody.Message);
                Emulator.LoadDefaultScenario();
            }
        }

        // A refused start raises from the call itself; only the rows that first find the item again
        // have started that query, so their operation's refusal comes through the task.
        private static VelmoraException Refusal(VelmoraHost host, Row row, uint user)
        {
            Task task = null;
            Exception e = Record.Exception(() => { task = row.Start(host, user); });
            bool findsItemFirst = row.Call.EndsWith(".GetInventoryItemAsync") || row.Call.EndsWith(".ConsumeInventoryItemAsync");
            Assert.Equal(findsItemFirst, e == null);
            return Assert.IsType<VelmoraException>(e ?? Record.Exception(() => host.Run(task)));
        }

        /// <summary>Every task completes on the thread that pumps the host, the two-step item operations included.</summary>
        [Theory]
        [MemberData(nameof(Exports))]
        public void CompletesOnThePumpingThread(Row row)
        {
            using (var fresh = new Fresh())
            {
                Task task = row.Start(fresh.Host, User);
                var witness = new CompletingThread();
                Task seen = task.ContinueWith(_ => { }, System.Threading.CancellationToken.None, TaskContinuationOptions.None, witness);
                fresh.Host.Run(task);
                Assert.Equal(Environment.CurrentManagedThreadId, witness.Thread);
            }
        }

        /// <summary>A continuation is queued to its scheduler by the thread that completes the task: this one notes which.</summary>
        private sealed class CompletingThread : TaskScheduler
        {
            public int Thread { get; private set; }

            protected override void QueueTask(Task task)
            {
                Thread = Environment.CurrentManagedThreadId;
                TryExecuteTask(task);
            }

            protected override bool TryExecuteTaskInline(Task task, bool taskWasPreviouslyQueued) => false;

            protected override IEnumerable<Task> GetScheduledTasks() => new Task[0];
        }

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
