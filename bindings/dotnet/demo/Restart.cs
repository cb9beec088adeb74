using System;
using System.Threading;
using System.Threading.Tasks;
using Velmora.Testing;

namespace Velmora.Demo
{
    /// <summary>
    /// Handlers that game code leaves subscribed when its host goes, as an editor leaving play mode
    /// does: disposing the host removes them, so no later host's notification may reach them.
    /// </summary>
    internal sealed class LeftoverHandlers
    {
        private int calls;

        private LeftoverHandlers() { }

        /// <summary>How many notifications reached these handlers.</summary>
        public int Calls => Volatile.Read(ref calls);

        public static LeftoverHandlers Subscribe()
        {
            var left = new LeftoverHandlers();
            Store.ProductPurchased += _ => Interlocked.Increment(ref left.calls);
            DownloadableContent.InstallCompleted += () => Interlocked.Increment(ref left.calls);
            DownloadableContent.InstallCompletedWithDetails += _ => Interlocked.Increment(ref left.calls);
            return left;
        }
    }

    internal sealed partial class Demo
    {
        /// <summary>
        /// The step of a second host in the same process, after the first was disposed: one operation
        /// of each group as the walkthrough's steps say (the scenario was loaded again, so they end as
        /// they did the first time), and both notifications raised once, each delivered exactly once,
        /// to this host's handlers and never to those the first host's game code left behind.
        /// </summary>
        public void Restart(LeftoverHandlers firstHost)
        {
            Reporting(() => Step(() =>
            {
                t.Step("restart");
                t.Line("the first host disposed; a new host loaded the plugin and the scenario again");
                if (w.Browse != null) Browse(w.Browse, "catalog: browse \"" + w.Browse.ParentId + "\"");
                else if (w.Details != null) WithDetails(w.Details.ProductIds, w.Details.Expect, _ => { }, "catalog: details of " + Number(w.Details.ProductIds.Count) + " ids");
                InventoryStep inventory = w.Inventory ?? new InventoryStep();
                WithInventory(inventory.MediaItemType, inventory.Expect, _ => { }, "inventory: user " + Number(w.UserId) + " owns");
                if (w.Privilege != null) CheckPrivilege(w.Privilege);
                ListPackages((w.Dlc ?? new DlcStep()).Filter, print: false);
                RaiseBoth();
                t.Line("the first host's handlers, left subscribed at its dispose: " + Number(firstHost.Calls) + " calls");
                t.Check(firstHost.Calls == 0, "no notification for the handlers the first host's dispose removed");
            }));
        }

        // Raises a purchase and an installation, and counts what this host's handlers receive.
        private void RaiseBoth()
        {
            int purchases = 0, plain = 0, details = 0;
            bool onHostThread = true;
            var purchased = new TaskCompletionSource<bool>();
            var installed = new TaskCompletionSource<bool>();
            Action<ProductPurchasedEventArgs> onPurchase = _ =>
            {
                purchases++;
                onHostThread &= IsHostThread;
                purchased.TrySetResult(true);
            };
            Action onInstall = () =>
            {
                plain++;
                onHostThread &= IsHostThread;
                if (details > 0) installed.TrySetResult(true);
            };
            Action<InstallCompletedEventArgs> onDetails = _ =>
            {
                details++;
                onHostThread &= IsHostThread;
                if (plain > 0) installed.TrySetResult(true);
            };
            Store.ProductPurchased += onPurchase;
            DownloadableContent.InstallCompleted += onInstall;
            DownloadableContent.InstallCompletedWithDetails += onDetails;
            try
            {
                string product = w.Purchase?.ProductId ?? w.Consume?.ProductId;
                string package = w.Dlc?.InstallJson;
                if (product != null)
                {
                    Emulator.RaisePurchase(w.UserId, product);
                    t.Check(Await(purchased.Task), "a purchase notification");
                }
                if (package != null)
                {
                    Emulator.CompleteInstallation(package, InstallOperationType.Install);
                    t.Check(Await(installed.Task), "both install-completed notifications");
                }
                // A second delivery of either would be queued by now.
                Emulator.WaitIdle();
                while (host.Pump() > 0) { }
                t.Line("notifications: " + Number(purchases) + " purchase, " + Number(plain) + " plain and " + Number(details) +
                       " detailed installation" + Mark(onHostThread));
                int once = package != null ? 1 : 0;
                t.Check(purchases == (product != null ? 1 : 0) && plain == once && details == once, "each notification delivered exactly once");
            }
            finally
            {
                Store.ProductPurchased -= onPurchase;
                DownloadableContent.InstallCompleted -= onInstall;
                DownloadableContent.InstallCompletedWithDetails -= onDetails;
            }
        }
    }
}
