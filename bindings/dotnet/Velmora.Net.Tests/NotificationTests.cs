using System;
using System.Collections.Generic;
using System.Threading;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>Purchase and install notifications as C# events.</summary>
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
                try
                {
                    Emulator.RaisePurchase(1, "9NSKYGEMS105", 2);
                    fresh.Settle();
                }
                finally
                {
                    Store.ProductPurchased -= first;
                    Store.ProductPurchased -= throwing;
                    Store.ProductPurchased -= last;
                }
                Assert.Equal(2, receipts.Count);
                Assert.Contains("9NSKYGEMS105", receipts[0]);
                Assert.Equal(receipts[0], receipts[1]);
                Assert.Equal(new[] { Thread.CurrentThread.ManagedThreadId }, threads);
                Assert.True(Fresh.HandlerFailures.TryDequeue(out Exception reported));
                Assert.Equal("game code failed", reported.Message);
            }
        }

        [Fact]
        public void AnInstallationRaisesBothNotifications()
        {
            using (var fresh = new Fresh())
            {
                int completed = 0;
                var details = new List<(Guid, InstallOperationType, string)>();
                Action onCompleted = () => completed++;
                Action<InstallCompletedEventArgs> onDetails = args => details.Add((args.ContentId, args.OperationType, args.PackageFullName));
                DownloadableContent.InstallCompleted += onCompleted;
                DownloadableContent.InstallCompletedWithDetails += onDetails;
                try
                {
                    Emulator.CompleteInstallation(Package, InstallOperationType.Update);
                    fresh.Settle();
                }
                finally
                {
                    DownloadableContent.InstallCompleted -= onCompleted;
                    DownloadableContent.InstallCompletedWithDetails -= onDetails;
                }
                Assert.Equal(1, completed);
                Assert.Equal(new[] { (new Guid("0D4F6A52-9D4E-4BB1-9A3E-2F8C1D7E6B50"), InstallOperationType.Update, "AurelianSkies.Tempest_1.0.0.0_x64__5a3c19e4qpk1") }, details);
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
                fresh.Settle();
                Emulator.RaisePurchase(1, "9NSKYGEMS105");
                fresh.Settle();
                Assert.Equal(0, calls);
            }
        }
    }
}
