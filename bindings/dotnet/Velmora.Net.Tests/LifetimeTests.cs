using System;
using System.Linq;
using System.Runtime.CompilerServices;
using System.Threading;
using System.Threading.Tasks;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>The garbage collector and many threads against the binding's callbacks and handles.</summary>
    public class LifetimeTests
    {
        [Fact]
        public void TenThousandPendingOperationsSurviveACollectionAndCompleteOnce()
        {
            using (var fresh = new Fresh())
            {
                var tasks = new Task<PrivilegeCheckResult>[10000];
                for (int i = 0; i < tasks.Length; i++) tasks[i] = Store.CheckPrivilegeAsync(1, 254, false, null);
                GC.Collect();
                GC.WaitForPendingFinalizers();
                GC.Collect();
                Emulator.WaitIdle();
                fresh.Host.Run(Task.WhenAll(tasks), TimeSpan.FromSeconds(60));
                Assert.All(tasks, t => Assert.Equal(PrivilegeCheckResult.NoIssue, t.Result));
                // A second completion of any of them would have been reported by the fixture.
            }
        }

        [Fact]
        public void ARecordNeverDisposedIsReleasedByItsFinalizer()
        {
            using (var fresh = new Fresh())
            {
                long before = Emulator.LiveObjects;
                DropRecords(fresh.Host);
                Assert.True(Emulator.LiveObjects > before);
                GC.Collect();
                GC.WaitForPendingFinalizers();
                Assert.Equal(before, Emulator.LiveObjects);
            }
        }

        [MethodImpl(MethodImplOptions.NoInlining)]
        private static void DropRecords(VelmoraHost host)
        {
            InventoryItemsResult result = host.Run(InventoryService.GetInventoryItemsAsync(1, MediaItemType.All));
            InventoryItemList items = result.Items;
            GC.KeepAlive(items[0]);
        }

        [Fact]
        public void StartsFromManyThreadsAtOnceEachCompleteOnce()
        {
            using (var fresh = new Fresh())
            {
                const int threads = 8, each = 250;
                var tasks = new Task<InventoryItemsResult>[threads * each];
                using (var go = new Barrier(threads))
                {
                    var starters = Enumerable.Range(0, threads).Select(t => new Thread(() =>
                    {
                        go.SignalAndWait();
                        for (int i = 0; i < each; i++) tasks[t * each + i] = InventoryService.GetInventoryItemsAsync(1, MediaItemType.All);
                    })).ToList();
                    starters.ForEach(s => s.Start());
                    // The host pumps while the threads start, as a game's frame loop would.
                    while (starters.Any(s => s.IsAlive)) fresh.Host.Pump();
                }
                fresh.Host.Run(Task.WhenAll(tasks), TimeSpan.FromSeconds(60));
                Assert.All(tasks, t => { Assert.NotNull(t.Result); t.Result.Dispose(); });
            }
        }
    }
}
