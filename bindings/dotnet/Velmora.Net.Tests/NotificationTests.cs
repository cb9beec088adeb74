using System;
using System.Collections.Generic;
using System.Threading;
using System.Threading.Tasks;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>Purchase and install notifications as C# events with plain arguments.</summary>
    public class NotificationTests
    {
        private const string Package = "{\"packageFullName\": \"AurelianSkies.Tempest_1.0.0.0_x64__5a3c19e4qpk1\", \"titleId\": \"5A3C19E4\", \"contentId\": \"0d4f6a52-9d4e-4bb1-9a3e-2f8c1d7e6b50\", \"productId\": \"9NCLDBRKOST9\", \"displayName\": \"Tempest\", \"contentGuid\": \"0D4F6A52-9D4E-4BB1-9A3E-2F8C1D7E6B50\", \"files\": {\"readme.txt\": \"storm\"}}";

        [Fact]
        public void APurchaseReachesEveryHandlerOnThePumpingThread()
        {
            using (var fresh = new Fresh())
            {
                var receipts = new List<string>();
                var threads = new List<int>();
                Action<ProductPurchasedEventArgs> first = args => { receipts.Add(args.Receipt); threads.Add(Thread.CurrentThread.ManagedThreadId); };
                Action<ProductPurchasedEventArgs> throwing = args => throw new InvalidOperationException("game code failed");
                Action<ProductPurchasedEventArgs> last = args => receipts.Add(args.Receipt);
                Store.ProductPurchased += first;
                Store.ProductPurchased += throwing;
                Store.ProductPurchased += last;
                Emulator.RaisePurchase(1, "9NSKYGEMS105", 2);
                fresh.Settle();
                Store.ProductPurchased -= first;
                Store.ProductPurchased -= throwing;
                Store.ProductPurchased -= last;
                Assert.Equal(2, receipts.Count);
                Assert.Contains("9NSKYGEMS105", receipts[0]);
                Assert.Equal(receipts[0], receipts[1]);
                Assert.Equal(new[] { Thread.CurrentThread.ManagedThreadId }, threads);
                Assert.True(Fresh.HandlerFailures.TryDequeue(out Exception reported));
                Assert.Equal("game code failed", reported.Message);
            }
        }

        /// <summary>The arguments are plain data: an async handler reads them after its await, on another thread, with nothing disposed under it.</summary>
        [Fact]
        public void AnAsyncHandlerReadsItsArgumentsAfterAnAwait()
        {
            using (var fresh = new Fresh())
            {
                var read = new TaskCompletionSource<string>();
                Action<ProductPurchasedEventArgs> handler = async args =>
                {
                    await Task.Delay(10);
                    read.SetResult(args.Receipt);
                };
                Store.ProductPurchased += handler;
                Emulator.RaisePurchase(1, "9NSKYGEMS105");
                fresh.Settle();
                Store.ProductPurchased -= handler;
                Assert.True(read.Task.Wait(TimeSpan.FromSeconds(10)));
                Assert.Contains("9NSKYGEMS105", read.Task.Result);
            }
        }

        [Fact]
        public void AnInstallationRaisesBothNotifications()
        {
            using (var fresh = new Fresh())
            {
                int completed = 0;
                var details = new List<InstallCompletedEventArgs>();
                Action onCompleted = () => completed++;
                Action<InstallCompletedEventArgs> onDetails = details.Add;
                DownloadableContent.InstallCompleted += onCompleted;
                DownloadableContent.InstallCompletedWithDetails += onDetails;
                Emulator.CompleteInstallation(Package, InstallOperationType.Update);
                fresh.Settle();
                DownloadableContent.InstallCompleted -= onCompleted;
                DownloadableContent.InstallCompletedWithDetails -= onDetails;
                Assert.Equal(1, completed);
                InstallCompletedEventArgs installed = Assert.Single(details);
                Assert.Equal(InstallOperationType.Update, installed.OperationType);
                Assert.Equal("AurelianSkies.Tempest_1.0.0.0_x64__5a3c19e4qpk1", installed.PackageFullName);
                // One content id type across groups: the installed package's, as the query reads it.
                Assert.Equal("0d4f6a52-9d4e-4bb1-9a3e-2f8c1d7e6b50", installed.ContentId);
                Assert.Contains(DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllRelatedPackages), p => p.ContentId == installed.ContentId);
            }
        }

        [Fact]
        public void ANotificationAfterUnsubscribeCallsNothing()
        {
            using (var fresh = new Fresh())
            {
                int calls = 0;
                Action<ProductPurchasedEventArgs> purchase = _ => calls++;
                Action install = () => calls++;
                Action<InstallCompletedEventArgs> details = _ => calls++;
                Store.ProductPurchased += purchase;
                DownloadableContent.InstallCompleted += install;
                DownloadableContent.InstallCompletedWithDetails += details;
                // Raised while subscribed, delivered after: the handlers are gone by then.
                Emulator.RaisePurchase(1, "9NSKYGEMS105");
                Emulator.CompleteInstallation(Package);
                Emulator.WaitIdle();
                Store.ProductPurchased -= purchase;
                DownloadableContent.InstallCompleted -= install;
                DownloadableContent.InstallCompletedWithDetails -= details;
                // A new subscription does not receive what the old one left queued.
                Action<ProductPurchasedEventArgs> later = _ => calls += 100;
                Store.ProductPurchased += later;
                fresh.Settle();
                Store.ProductPurchased -= later;
                Emulator.RaisePurchase(1, "9NSKYGEMS105");
                fresh.Settle();
                Assert.Equal(0, calls);
            }
        }
    }
}
