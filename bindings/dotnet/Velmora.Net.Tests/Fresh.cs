using System;
using System.Collections.Concurrent;
using System.IO;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>
    /// One host and one plugin load for the process, as in a game: the plugin's state is process-wide,
    /// and the binding's raw layer is bound to the one plugin module. Each test starts from a fresh
    /// emulator scenario and ends by proving nothing leaked and nothing was delivered twice.
    /// </summary>
    public sealed class Fresh : IDisposable
    {
        private static readonly Lazy<VelmoraHost> SharedHost = new Lazy<VelmoraHost>(Start);
        private static readonly ConcurrentQueue<Exception> Reports = new ConcurrentQueue<Exception>();
        private readonly long objects;
        private readonly long strings;

        public Fresh(string scenario = "default.json")
        {
            Host = SharedHost.Value;
            Emulator.LoadScenarioFile(Path.Combine(AppContext.BaseDirectory, scenario));
            Emulator.SetDefaultDelay(TimeSpan.Zero);
            Settle();
            while (Reports.TryDequeue(out _)) { }
            objects = Emulator.LiveObjects;
            strings = Emulator.LiveStrings;
        }

        public VelmoraHost Host { get; }

        /// <summary>What game handlers threw since the test began, as the binding reported it.</summary>
        public static ConcurrentQueue<Exception> HandlerFailures => Reports;

        public void Dispose()
        {
            Settle();
            Assert.Equal(0, Operations.Count);
            Assert.Empty(Reports);
            Assert.Equal(objects, Emulator.LiveObjects);
            Assert.Equal(strings, Emulator.LiveStrings);
        }

        /// <summary>Finalizes what the test dropped and delivers everything the emulator still has in flight.</summary>
        public void Settle()
        {
            for (int i = 0; i < 2; i++)
            {
                GC.Collect();
                GC.WaitForPendingFinalizers();
                Emulator.WaitIdle();
                while (Host.Pump() > 0) { }
            }
        }

        private static VelmoraHost Start()
        {
            var host = new VelmoraHost();
            host.LoadPlugin();
            Callbacks.HandlerFailed += Reports.Enqueue;
            // The platform subscriptions are made once per process, at the first registration: make
            // them here so that no test's live counts include them.
            Action<ProductPurchasedEventArgs> purchase = _ => { };
            Action install = () => { };
            Action<InstallCompletedEventArgs> details = _ => { };
            Store.ProductPurchased += purchase;
            DownloadableContent.InstallCompleted += install;
            DownloadableContent.InstallCompletedWithDetails += details;
            Store.ProductPurchased -= purchase;
            DownloadableContent.InstallCompleted -= install;
            DownloadableContent.InstallCompletedWithDetails -= details;
            return host;
        }
    }
}
