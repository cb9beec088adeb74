using System;
using System.Collections.Concurrent;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>
    /// Each test gets a host of its own, as a per-test fixture of a game would: a new VelmoraHost, the
    /// plugin bound again, the built-in scenario. It ends by proving that nothing leaked (the
    /// emulator's live objects and strings are where they began), that no operation is still pending,
    /// and that nothing was reported through Callbacks.HandlerFailed (where a second delivery of any
    /// operation would land), then disposes the host.
    /// </summary>
    public sealed class Fresh : IDisposable
    {
        private static readonly ConcurrentQueue<Exception> Reports = new ConcurrentQueue<Exception>();
        private static bool subscribedOnce;
        private readonly long objects;
        private readonly long strings;

        public Fresh()
        {
            Host = new VelmoraHost();
            try
            {
                Host.LoadPlugin();
                SubscribeOnce();
                Emulator.LoadDefaultScenario();
                Emulator.SetDefaultDelay(TimeSpan.Zero);
                Settle();
            }
            catch
            {
                Host.Dispose();  // the next test makes a host of its own
                throw;
            }
            while (Reports.TryDequeue(out _)) { }
            objects = Emulator.LiveObjects;
            strings = Emulator.LiveStrings;
        }

        public VelmoraHost Host { get; }

        /// <summary>What game handlers threw since the test began, as the binding reported it.</summary>
        public static ConcurrentQueue<Exception> HandlerFailures => Reports;

        public void Dispose()
        {
            try
            {
                Settle();
                Assert.Equal(0, Operations.Count);
                Assert.Empty(Reports);
                Assert.Equal(objects, Emulator.LiveObjects);
                Assert.Equal(strings, Emulator.LiveStrings);
            }
            finally
            {
                Host.Dispose();
                Emulator.ClearFaults();
                Emulator.ClearScripts();
            }
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

        // The platform subscriptions are made once per process, at the first registration: make them
        // before the first test counts, so that no test's live counts include them.
        private static void SubscribeOnce()
        {
            if (subscribedOnce) return;
            subscribedOnce = true;
            Callbacks.HandlerFailed += Reports.Enqueue;
            Action<ProductPurchasedEventArgs> purchase = _ => { };
            Action install = () => { };
            Action<InstallCompletedEventArgs> details = _ => { };
            Store.ProductPurchased += purchase;
            DownloadableContent.InstallCompleted += install;
            DownloadableContent.InstallCompletedWithDetails += details;
            Store.ProductPurchased -= purchase;
            DownloadableContent.InstallCompleted -= install;
            DownloadableContent.InstallCompletedWithDetails -= details;
        }
    }
}
