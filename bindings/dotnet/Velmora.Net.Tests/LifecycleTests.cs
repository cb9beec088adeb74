using System;
using System.Collections.Generic;
using System.Linq;
using System.Threading.Tasks;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>What game code and test fixtures do to the host by routine or by accident: stop, start again, call after the end.</summary>
    public class LifecycleTests
    {
        private const uint User = 1;
        private const string Package = "{\"packageFullName\": \"AurelianSkies.Tempest_1.0.0.0_x64__5a3c19e4qpk1\", \"titleId\": \"5A3C19E4\", \"contentId\": \"0d4f6a52-9d4e-4bb1-9a3e-2f8c1d7e6b50\", \"productId\": \"9NCLDBRKOST9\", \"displayName\": \"Tempest\", \"contentGuid\": \"0D4F6A52-9D4E-4BB1-9A3E-2F8C1D7E6B50\", \"files\": {\"readme.txt\": \"storm\"}}";

        /// <summary>Every call of the binding that needs the plugin, as game code makes it.</summary>
        public static IEnumerable<object[]> CallsThatNeedThePlugin()
        {
            var calls = new Dictionary<string, Action>
            {
                ["subscribe to purchases"] = () => Store.ProductPurchased += _ => { },
                ["subscribe to installs"] = () => DownloadableContent.InstallCompleted += () => { },
                ["subscribe to installs with details"] = () => DownloadableContent.InstallCompletedWithDetails += _ => { },
                ["query the inventory"] = () => InventoryService.GetInventoryItemsAsync(User, MediaItemType.All),
                ["browse the catalog"] = () => CatalogService.BrowseCatalogAsync(User, new BrowseCatalogRequest("9NAURSKIES01", MediaItemType.Game)),
                ["read catalog details"] = () => CatalogService.GetCatalogItemDetailsAsync(User, new[] { "9NSTRMGLIDR2" }),
                ["check a privilege"] = () => Store.CheckPrivilegeAsync(User, 254, false, null),
                ["show a purchase screen"] = () => Store.ShowPurchaseAsync(User, "offer"),
                ["find packages"] = () => DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllRelatedPackages),
                ["read the plugin's version"] = () => { int v = Plugin.Version; },
            };
            return calls.Select(c => new object[] { c.Key, c.Value });
        }

        [Theory]
        [MemberData(nameof(CallsThatNeedThePlugin))]
        public void AfterTheHostIsDisposedACallSaysWhatToDoAndReachesNoNativeCode(string what, Action call)
        {
            using (new Fresh()) { }
            Emulator.InjectFault("IInventoryService.GetInventoryItemsAsync", HResults.AccessDenied);  // reached, it would answer
            try
            {
                var e = Assert.Throws<InvalidOperationException>(call);
                Assert.True(e.Message.Contains("(the VelmoraHost was disposed). Create a new VelmoraHost and call its LoadPlugin()"), what + ": " + e.Message);
                Assert.Equal(0, Operations.Count);
            }
            finally
            {
                Emulator.ClearFaults();
            }
        }

        [Theory]
        [MemberData(nameof(CallsThatNeedThePlugin))]
        public void BeforeThePluginIsLoadedACallSaysWhatToDo(string what, Action call)
        {
            using (new VelmoraHost())
            {
                var e = Assert.Throws<InvalidOperationException>(call);
                Assert.True(e.Message.StartsWith("Velmora: no plugin is bound"), what + ": " + e.Message);
            }
        }

        [Fact]
        public void OneHostAtATimeAndOnePluginFileForTheProcess()
        {
            using (var host = new VelmoraHost())
            {
                Assert.Contains("dispose it", Assert.Throws<InvalidOperationException>(() => new VelmoraHost()).Message);
                host.LoadPlugin();
                Assert.Contains("stays loaded for the life of the process", Assert.Throws<InvalidOperationException>(() => host.LoadPlugin("/tmp/libVelmora.so")).Message);
                host.Dispose();
                Assert.Throws<ObjectDisposedException>(() => host.Pump());
                Assert.Throws<ObjectDisposedException>(() => host.LoadPlugin());
                host.Dispose();
            }
        }

        /// <summary>
        /// An editor stopping and starting the game, or a per-test fixture: each cycle delivers every
        /// operation and notification of its own exactly once, to its own handlers only, and ends
        /// with the emulator's live counts where the cycle began.
        /// </summary>
        [Fact]
        public void TwentyHostsInOneProcessEachDeliverTheirOwnExactlyOnce()
        {
            var purchases = new List<int>();
            var installs = new List<int>();
            for (int cycle = 0; cycle < 20; cycle++)
            {
                int own = cycle;
                long objects, strings;
                using (var host = new VelmoraHost())
                {
                    host.LoadPlugin();
                    Emulator.LoadDefaultScenario();
                    Emulator.SetDefaultDelay(TimeSpan.Zero);
                    Emulator.WaitIdle();
                    host.Pump();
                    objects = Emulator.LiveObjects;
                    strings = Emulator.LiveStrings;
                    Assert.Contains(host.LogLines(), line => line.Text.StartsWith("PLUGIN INITIALIZED"));

                    Store.ProductPurchased += e => purchases.Add(own);
                    DownloadableContent.InstallCompletedWithDetails += e => installs.Add(own);
                    Task<InventoryItemsResult> inventory = InventoryService.GetInventoryItemsAsync(User, MediaItemType.All);
                    Task<BrowseCatalogResult> catalog = CatalogService.BrowseCatalogAsync(User, new BrowseCatalogRequest("9NAURSKIES01", MediaItemType.Game));
                    Task<PrivilegeCheckResult> privilege = Store.CheckPrivilegeAsync(User, 254, false, null);
                    Task screen = Store.ShowDetailsAsync(User, "9NSTRMGLIDR2");
                    Assert.NotEmpty(DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllDownloadableContentOnly));
                    Emulator.RaisePurchase(User, "9NSKYGEMS105");
                    Emulator.CompleteInstallation(Package);
                    host.Run(Task.WhenAll(inventory, catalog, privilege, screen));
                    Emulator.WaitIdle();
                    while (host.Pump() > 0) { }

                    Assert.NotEmpty(inventory.Result.Items);
                    Assert.NotEmpty(catalog.Result.Items);
                    Assert.Equal(Enumerable.Repeat(own, 1), purchases.Where(c => c == own));
                    Assert.Equal(Enumerable.Repeat(own, 1), installs.Where(c => c == own));
                    Assert.Equal(own + 1, purchases.Count);
                    Assert.Equal(own + 1, installs.Count);
                    Assert.Equal(0, Operations.Count);
                }
                Emulator.WaitIdle();
                Assert.Equal(objects, Emulator.LiveObjects);
                Assert.Equal(strings, Emulator.LiveStrings);
            }
        }

        /// <summary>
        /// Disposing the host ends every pending operation at once, as cancelled; the completions that
        /// still arrive are dropped with their results given back, and a call after the dispose raises.
        /// </summary>
        [Fact]
        public void DisposingEndsEveryPendingOperationAtOnceAndDropsTheirLateCompletions()
        {
            var host = new VelmoraHost();
            host.LoadPlugin();
            Emulator.LoadDefaultScenario();
            Emulator.WaitIdle();
            host.Pump();
            long objects = Emulator.LiveObjects, strings = Emulator.LiveStrings;
            Emulator.SetDefaultDelay(TimeSpan.FromMilliseconds(300));
            var tasks = new List<Task>();
            for (int i = 0; i < 3000; i++)
            {
                tasks.Add(Store.CheckPrivilegeAsync(User, 254, false, null));
                tasks.Add(InventoryService.GetInventoryItemsAsync(User, MediaItemType.All));
            }
            host.Dispose();
            Assert.All(tasks, t => Assert.True(t.IsCanceled));
            Assert.Throws<InvalidOperationException>(() => { InventoryService.GetInventoryItemsAsync(User, MediaItemType.All); });
            Assert.Equal(6000, Operations.Count);

            // The next host delivers the late completions: nothing is called, every result goes back.
            using (var next = new VelmoraHost())
            {
                next.LoadPlugin();
                Emulator.WaitIdle();
                while (next.Pump() > 0) { }
                Assert.Equal(0, Operations.Count);
                Assert.Equal(objects, Emulator.LiveObjects);
                Assert.Equal(strings, Emulator.LiveStrings);
            }
            Emulator.SetDefaultDelay(TimeSpan.Zero);
        }
    }
}
