using System;
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Linq;
using System.Text;
using System.Threading;
using System.Threading.Tasks;
using Velmora.Testing;

namespace Velmora.Demo
{
    /// <summary>How an asynchronous step ended, as the demo saw it through its task.</summary>
    internal sealed class Outcome
    {
        /// <summary>False when the start raised: the export answered false and no callback will come.</summary>
        public bool Started { get; set; }

        /// <summary>The argument the binding refused before any native call, or null.</summary>
        public string Refused { get; set; }

        /// <summary>True once the task completed, whichever way.</summary>
        public bool Completed { get; set; }

        /// <summary>The failure's HRESULT, or 0.</summary>
        public int HResult { get; set; }

        /// <summary>True when the task was cancelled: a screen the user cancelled, or an operation that ended with no result.</summary>
        public bool Cancelled { get; set; }

        /// <summary>The task's result: a record, a value, or null.</summary>
        public object Result { get; set; }

        public bool OnHostThread { get; set; }
    }

    /// <summary>
    /// The walkthrough, step by step, through the binding's API: every operation is a task the host
    /// pumps to completion, every notification a C# event, every result plain data.
    /// </summary>
    internal sealed partial class Demo
    {
        private readonly VelmoraHost host;
        private readonly Walkthrough w;
        private readonly Transcript t;
        private readonly int hostThread = Thread.CurrentThread.ManagedThreadId;
        private readonly List<Exception> handlerFailures = new List<Exception>();

        public Demo(VelmoraHost host, Walkthrough walkthrough, Transcript transcript)
        {
            this.host = host;
            w = walkthrough;
            t = transcript;
        }

        /// <summary>The steps the scenario names, in this order.</summary>
        public void Run()
        {
            Reporting(() =>
            {
                Step(StartUp);
                if (w.Browse != null) Step(() => Browse(w.Browse));
                if (w.Details != null) Step(() => Details(w.Details));
                if (w.Inventory != null) Step(() => Inventory(w.Inventory));
                if (w.Purchase != null) Step(() => Purchase(w.Purchase));
                if (w.Consume != null) Step(() => Consume(w.Consume));
                if (w.Refund != null) Step(() => Refund(w.Refund));
                if (w.Privilege != null) Step(() => Privilege(w.Privilege));
                if (w.Clock != null) Step(() => Clock(w.Clock));
                if (w.Dlc != null) Step(() => Packages(w.Dlc));
            });
        }

        // Runs steps while collecting what the binding catches from the demo's own handlers.
        private void Reporting(Action steps)
        {
            Action<Exception> report = e => { lock (handlerFailures) handlerFailures.Add(e); };
            Callbacks.HandlerFailed += report;
            try
            {
                steps();
            }
            finally
            {
                Callbacks.HandlerFailed -= report;
            }
        }

        // Runs one step, then reports what the binding caught from the demo's own handlers.
        private void Step(Action step)
        {
            step();
            lock (handlerFailures)
            {
                foreach (Exception e in handlerFailures) t.Check(false, "a notification handler threw " + e.GetType().Name + ": " + e.Message);
                handlerFailures.Clear();
            }
        }

        private bool IsHostThread => Thread.CurrentThread.ManagedThreadId == hostThread;

        private static string Mark(bool onHostThread)
        {
            return onHostThread ? "  [callback on host thread]" : "  [callback NOT on host thread]";
        }

        private static string Number(long value) { return value.ToString(CultureInfo.InvariantCulture); }

        // ---- operations

        private Outcome Start<T>(Func<Task<T>> start)
        {
            return Start(() => start(), task => ((Task<T>)task).Result);
        }

        private Outcome Start(Func<Task> start)
        {
            return Start(start, task => null);
        }

        // Starts an operation and pumps the host until its task completes (at most 10 s).
        private Outcome Start(Func<Task> start, Func<Task, object> result)
        {
            var outcome = new Outcome();
            Task task;
            try
            {
                task = start();
            }
            catch (VelmoraException e) when (e.StartFailure != StartFailure.None)
            {
                return outcome;  // the export answered false: nothing started
            }
            catch (ArgumentException e)
            {
                // A walkthrough may name a value that does not exist; the binding refuses it before any native call.
                outcome.Refused = e.ParamName;
                return outcome;
            }
            outcome.Started = true;
            CompletionWitness witness = CompletionWitness.Watch(task);
            try
            {
                host.Run(task);
                outcome.Completed = true;
                outcome.Result = result(task);
            }
            catch (VelmoraException e)
            {
                outcome.Completed = true;
                outcome.HResult = e.HResult;
            }
            catch (OperationCanceledException)
            {
                outcome.Completed = true;
                outcome.Cancelled = true;
            }
            catch (TimeoutException)
            {
                // Completed stays false.
            }
            outcome.OnHostThread = witness.OnHostThread;
            return outcome;
        }

        // Pumps until a notification's task completes; false after 10 s.
        private bool Await(Task notified)
        {
            try
            {
                host.Run(notified);
                return true;
            }
            catch (TimeoutException)
            {
                return false;
            }
        }

        // Checks a started step against its expectation. True when there is a callback to read.
        private bool Finish(StepExpectation expect, Outcome o, string what, bool screen = false)
        {
            if (!o.Started)
            {
                t.Line(what + (o.Refused == null ? ": not started (the export answered false)" : ": not started (the binding refused " + o.Refused + ")"));
                t.Check(!expect.Started, "the operation was expected to start");
                return false;
            }
            t.Check(expect.Started, "the export was expected to answer false");
            if (!o.Completed)
            {
                t.Check(false, "no callback within 10 s");
                return false;
            }
            t.Check(o.OnHostThread, "the callback ran on the host thread");
            // A cancelled screen's task does not carry the action's error code; any other cancelled task had S_OK and no result.
            if (!(screen && o.Cancelled)) t.Check(o.HResult == expect.HResult, "callback HRESULT " + Transcript.HResultText(expect.HResult));
            if (expect.NullResult.HasValue)
                t.Check((o.Result == null) == expect.NullResult.Value,
                        expect.NullResult.Value ? "no result in the callback" : "a result in the callback");
            return true;
        }

        // Prints the outcome of a callback that brought no result; true when there is one to read.
        private bool Usable(Outcome o, string what)
        {
            if (o.HResult != 0)
            {
                t.Line(what + ": failed " + Transcript.HResultText(o.HResult) + Mark(o.OnHostThread));
                return false;
            }
            if (o.Result == null)
            {
                t.Line(what + ": no result (cancelled)" + Mark(o.OnHostThread));
                return false;
            }
            return true;
        }

        // ---- the steps

        private void StartUp()
        {
            t.Step("start-up");
            IReadOnlyList<LogLine> lines = host.LogLines();
            foreach (LogLine line in lines) t.Line(line.ToString());
            t.Detail("plugin version " + Number(Plugin.Version) + "; initialized: " + (Plugin.IsFullyInitialized ? "yes" : "no"));
            t.Check(lines.Count == 1, "one initialization line");
        }

        private void Browse(BrowseStep b)
        {
            t.Step("catalog");
            string what = "browse \"" + b.ParentId + "\"";
            BrowseCatalogResult result = Browse(b, what);
            if (result == null) return;
            foreach (CatalogItem item in result.Items)
                t.Detail(Transcript.Pad(item.Name, 36) + Transcript.Pad(item.MediaItemType.ToString(), 16) + item.ProductId);
        }

        // Browses as the step says and prints the count; null when there is no result to read.
        private BrowseCatalogResult Browse(BrowseStep b, string what)
        {
            Outcome o = Start(() => CatalogService.BrowseCatalogAsync(w.UserId, new BrowseCatalogRequest(b.ParentId, b.ParentMediaType)
            {
                ChildMediaType = b.ChildMediaType,
                SortOrder = b.SortOrder,
                SkipItems = b.Skip,
                MaxItems = b.Max,
            }));
            if (!Finish(b.Expect, o, what) || !Usable(o, what)) return null;
            var result = (BrowseCatalogResult)o.Result;
            t.Line(what + ": " + Number(result.Items.Count) + " of " + Number(result.TotalCount) + " items" + Mark(o.OnHostThread));
            return result;
        }

        // Reads the details of the given products; calls each for every details record.
        private bool WithDetails(IReadOnlyList<string> ids, StepExpectation expect, Action<CatalogItemDetails> each, string what, bool print = true)
        {
            Outcome o = Start(() => CatalogService.GetCatalogItemDetailsAsync(w.UserId, ids));
            if (!Finish(expect, o, what) || !Usable(o, what)) return false;
            var list = (IReadOnlyList<CatalogItemDetails>)o.Result;
            if (print) t.Line(what + ": " + Number(list.Count) + " products" + Mark(o.OnHostThread));
            foreach (CatalogItemDetails details in list) each(details);
            return true;
        }

        private void Details(DetailsStep s)
        {
            t.Step("details");
            WithDetails(s.ProductIds, s.Expect, d =>
            {
                string line = Transcript.Pad(d.Name, 36);
                if (d.Availabilities.Count > 0)
                {
                    CatalogItemAvailability a = d.Availabilities[0];
                    line += Transcript.Pad(a.DisplayPrice, 10) + a.Price.ToString("F2", CultureInfo.InvariantCulture) + " " + a.CurrencyCode;
                }
                t.Detail(line);
                if (d.Images.Count > 0)
                {
                    CatalogItemImage image = d.Images[0];
                    t.Detail("  image: " + image.Purpose + " " + Number(image.Width) + "x" + Number(image.Height) + " " + image.ResizeUrl);
                }
            }, "details of " + Number(s.ProductIds.Count) + " ids");
        }

        // Queries the inventory; calls each for every item. False when there is no list.
        private bool WithInventory(MediaItemType mediaItemType, StepExpectation expect, Action<InventoryItem> each, string what, bool print = true)
        {
            Outcome o = Start(() => InventoryService.GetInventoryItemsAsync(w.UserId, mediaItemType));
            if (!Finish(expect, o, what) || !Usable(o, what)) return false;
            IReadOnlyList<InventoryItem> items = ((InventoryItemsResult)o.Result).Items;
            if (print) t.Line(what + ": " + Number(items.Count) + " items" + Mark(o.OnHostThread));
            foreach (InventoryItem item in items) each(item);
            return true;
        }

        private static string ItemLine(InventoryItem item)
        {
            string line = Transcript.Pad(item.ProductId, 16) + Transcript.Pad(item.MediaItemType.ToString(), 16) + item.InventoryItemState;
            if (!string.IsNullOrEmpty(item.ConsumableUrl)) line += ", balance " + Number(item.ConsumableBalance);
            return line;
        }

        private void Inventory(InventoryStep s)
        {
            t.Step("inventory");
            WithInventory(s.MediaItemType, s.Expect, item => t.Detail(ItemLine(item)), "user " + Number(w.UserId) + " owns");
        }

        private void Purchase(PurchaseStep s)
        {
            t.Step("purchase");
            // The signed offer of the product's first availability that carries one.
            string offer = "";
            WithDetails(new[] { s.ProductId }, new StepExpectation(), d =>
            {
                foreach (CatalogItemAvailability a in d.Availabilities)
                    if (offer.Length == 0) offer = a.SignedOffer;
            }, "offer of \"" + s.ProductId + "\"", false);
            t.Line("buying \"" + s.ProductId + "\" with its signed offer");

            var purchased = new TaskCompletionSource<bool>();
            string receipt = null;
            bool purchaseOnHostThread = false;
            Action<ProductPurchasedEventArgs> onPurchase = args =>
            {
                receipt = args.Receipt;
                purchaseOnHostThread = IsHostThread;
                purchased.TrySetResult(true);
            };
            Store.ProductPurchased += onPurchase;
            try
            {
                Outcome screen = Start(() => Store.ShowPurchaseAsync(w.UserId, offer));
                if (!Finish(s.Expect, screen, "purchase screen", screen: true)) return;
                // The task answers the screen's status: it completes (1), is cancelled (2) or fails (3).
                uint status = screen.Cancelled ? 2u : screen.HResult != 0 ? 3u : 1u;
                string error = screen.Cancelled ? "not carried by a cancelled task" : Transcript.HResultText(screen.HResult);
                t.Line("purchase screen: status " + Number(status) + ", error " + error + Mark(screen.OnHostThread));
                if (s.Expect.Status.HasValue) t.Check(status == s.Expect.Status.Value, "screen status " + Number(s.Expect.Status.Value));
                if (status != 1) return;

                t.Check(Await(purchased.Task), "a purchase notification");
                if (receipt != null)
                {
                    t.Line("purchase notification, receipt:" + Mark(purchaseOnHostThread));
                    t.Detail(receipt);
                }
                bool owned = false;
                WithInventory(MediaItemType.All, new StepExpectation(), item => owned |= item.ProductId == s.ProductId, "inventory", false);
                t.Line(owned ? "the inventory now holds \"" + s.ProductId + "\"" : "the product is not in the inventory");
                t.Check(owned, "the purchased product in the inventory");
            }
            finally
            {
                Store.ProductPurchased -= onPurchase;
                host.Pump();
            }
        }

        private void Consume(ConsumeStep s)
        {
            t.Step("consume");
            Outcome inventory = Start(() => InventoryService.GetInventoryItemsAsync(w.UserId, MediaItemType.All));
            if (!inventory.Completed || inventory.Result == null)
            {
                t.Check(false, "the inventory to find the consumable in");
                return;
            }
            InventoryItem found = ((InventoryItemsResult)inventory.Result).Items.FirstOrDefault(item => item.ProductId == s.ProductId);
            t.Check(found != null, "the consumable in the inventory");
            if (found == null) return;
            t.Line("before: " + ItemLine(found));

            Outcome o = Start(() => InventoryService.ConsumeInventoryItemAsync(w.UserId, found, s.Quantity, s.TransactionId));
            string what = "consume " + Number(s.Quantity);
            if (!Finish(s.Expect, o, what) || !Usable(o, what)) return;
            var consumed = (ConsumeInventoryItemResult)o.Result;
            t.Line(what + ": balance now " + Number(consumed.ConsumableBalance) + ", transaction \"" + consumed.TransactionId + "\"" + Mark(o.OnHostThread));
        }

        // A date as velmora-demo shows it: ISO-8601 UTC, with the fraction of a second only when there is one.
        private static string Iso(DateTime time)
        {
            string text = time.ToString("yyyy-MM-dd'T'HH:mm:ss", CultureInfo.InvariantCulture);
            long fraction = time.Ticks % TimeSpan.TicksPerSecond;
            if (fraction != 0) text += "." + fraction.ToString("D7", CultureInfo.InvariantCulture).TrimEnd('0');
            return text + "Z";
        }

        private static string EntryLine(Transaction e)
        {
            string line = Transcript.Pad("#" + Number((long)e.Id), 4) + Iso(e.Time) + "  " + Transcript.Pad(e.Source.ToString(), 20) +
                          Transcript.Pad(e.ProductId, 14) + Transcript.Pad("x" + Number(e.Quantity), 5) + e.Outcome;
            if (e.HResult != 0) line += " " + Transcript.HResultText(e.HResult);
            if (e.RefundOf != 0) line += " (of #" + Number((long)e.RefundOf) + ")";
            return line;
        }

        // The user's item of the product as the plugin answers it: the game's query (Enabled and available
        // items), or every state and availability; null when there is none.
        private InventoryItem OwnedItem(string productId, bool anyState)
        {
            Outcome o = anyState
                ? Start(() => InventoryService.GetInventoryItemsAsync(w.UserId, new InventoryQuery()))
                : Start(() => InventoryService.GetInventoryItemsAsync(w.UserId, MediaItemType.All));
            if (!Finish(new StepExpectation(), o, "inventory") || !Usable(o, "inventory")) return null;
            return ((InventoryItemsResult)o.Result).Items.FirstOrDefault(item => item.ProductId == productId);
        }

        private void Refund(RefundStep s)
        {
            t.Step("refund");
            IReadOnlyList<Transaction> ledger = Emulator.Transactions;
            t.Line("ledger: " + Number(ledger.Count) + " transactions");
            foreach (Transaction e in ledger) t.Detail(EntryLine(e));
            // The newest grant of the product to the user that no refund took back.
            Transaction granted = ledger.LastOrDefault(e => e.UserId == w.UserId && e.ProductId == s.ProductId &&
                                                            e.Outcome == TransactionOutcome.Granted && !ledger.Any(r => r.RefundOf == e.Id));
            t.Check(granted != null, "a granted transaction of \"" + s.ProductId + "\" to refund");
            if (granted == null) return;
            Transaction refund;
            try
            {
                refund = Emulator.Refund(granted.Id);
            }
            catch (ArgumentException e)
            {
                t.Line("refund refused: " + e.Message);
                t.Check(false, "the refund");
                return;
            }
            t.Line("refunded #" + Number((long)granted.Id) + ", recorded as #" + Number((long)refund.Id));
            InventoryItem item = OwnedItem(s.ProductId, false);
            bool consumable = granted.Quantity > 1 || (item != null && item.ConsumableBalance > 0);
            if (item == null || !consumable)
            {
                t.Line(item != null ? "the inventory still holds \"" + s.ProductId + "\"" : "the inventory no longer holds \"" + s.ProductId + "\"");
                t.Check(item == null, "the refunded product gone from the inventory");
            }
            else
            {
                t.Line("\"" + s.ProductId + "\" balance now " + Number(item.ConsumableBalance));
            }
        }

        private void Clock(ClockStep s)
        {
            t.Step("clock");
            DateTime before = Emulator.Now;
            try
            {
                Emulator.AdvanceClock(s.Advance);
            }
            catch (ArgumentException e)
            {
                t.Line("the clock refused: " + e.Message);
                t.Check(false, "the clock advance");
                return;
            }
            t.Line("the clock moved from " + Iso(before) + " to " + Iso(Emulator.Now));
            if (string.IsNullOrEmpty(s.ProductId)) return;
            InventoryItem item = OwnedItem(s.ProductId, true);
            if (item != null)
            {
                t.Line(Transcript.Pad(s.ProductId, 16) + Transcript.Pad(item.MediaItemType.ToString(), 16) + item.InventoryItemState + ", ends " + Iso(item.EndDate));
                if (s.ExpectedState.HasValue) t.Check(item.InventoryItemState == s.ExpectedState.Value, "state " + s.ExpectedState.Value);
            }
            t.Check(item != null, "\"" + s.ProductId + "\" in the inventory, in any state");
        }

        private void Privilege(PrivilegeStep s)
        {
            t.Step("privilege");
            CheckPrivilege(s);
        }

        private void CheckPrivilege(PrivilegeStep s)
        {
            Outcome o = Start(() => Store.CheckPrivilegeAsync(w.UserId, s.PrivilegeId, s.AttemptResolution, ""));
            string what = "privilege " + Number(s.PrivilegeId);
            if (!Finish(s.Expect, o, what)) return;
            if (o.HResult != 0)
            {
                t.Line(what + ": failed " + Transcript.HResultText(o.HResult) + Mark(o.OnHostThread));
                return;
            }
            uint value = (uint)(PrivilegeCheckResult)o.Result;
            var names = new StringBuilder();
            foreach (PrivilegeCheckResult flag in new[] { PrivilegeCheckResult.PurchaseRequired, PrivilegeCheckResult.Aborted, PrivilegeCheckResult.Banned, PrivilegeCheckResult.Restricted })
            {
                if ((value & (uint)flag) != 0) names.Append(names.Length == 0 ? "" : "|").Append(flag);
            }
            t.Line(what + ": result " + Number(value) + " (" + (names.Length == 0 ? "NoIssue" : names.ToString()) + ")" + Mark(o.OnHostThread));
            t.Check(value == (uint)s.ExpectedResult, "privilege result " + Number((uint)s.ExpectedResult));
        }

        private void Packages(DlcStep s)
        {
            t.Step("dlc");
            int plainCalls = 0, detailsCalls = 0;
            bool plainOnHostThread = false, detailsOnHostThread = false;
            string detailsLine = null, contentIdLine = null;
            var both = new TaskCompletionSource<bool>();
            Action onInstall = () =>
            {
                plainCalls++;
                plainOnHostThread = IsHostThread;
                if (detailsCalls > 0) both.TrySetResult(true);
            };
            Action<InstallCompletedEventArgs> onDetails = args =>
            {
                detailsCalls++;
                detailsOnHostThread = IsHostThread;
                detailsLine = "details notification: operation " + Number((int)args.OperationType) + ", " + args.PackageFullName;
                contentIdLine = "content id {" + args.ContentId.ToUpperInvariant() + "}";
                if (plainCalls > 0) both.TrySetResult(true);
            };
            DownloadableContent.InstallCompleted += onInstall;
            DownloadableContent.InstallCompletedWithDetails += onDetails;
            try
            {
                ListPackages(s.Filter);
                if (s.InstallJson == null) return;
                Emulator.CompleteInstallation(s.InstallJson, InstallOperationType.Install);
                t.Check(Await(both.Task), "both install-completed notifications");
                if (plainCalls > 0) t.Line("installation completed: plain notification" + Mark(plainOnHostThread));
                if (detailsLine != null)
                {
                    t.Line(detailsLine + Mark(detailsOnHostThread));
                    t.Detail(contentIdLine);
                }
                MountAndRead(s.Filter, s.InstallPackageFullName, s.ReadFile);
            }
            finally
            {
                DownloadableContent.InstallCompleted -= onInstall;
                DownloadableContent.InstallCompletedWithDetails -= onDetails;
            }
        }

        private void ListPackages(DownloadableContentPackageFilter filter, bool print = true)
        {
            IReadOnlyList<DownloadableContentPackage> list = DownloadableContent.FindPackages(filter);
            t.Line(Number(list.Count) + " packages installed (filter " + Number((int)filter) + ")");
            if (!print) return;
            foreach (DownloadableContentPackage package in list)
                t.Detail(Transcript.Pad(package.DisplayName, 36) + package.PackageFullName + " v" + package.Version);
        }

        private void MountAndRead(DownloadableContentPackageFilter filter, string fullName, string file)
        {
            DownloadableContentPackage package = DownloadableContent.FindPackages(filter).FirstOrDefault(p => p.PackageFullName == fullName);
            t.Check(package != null, "the installed package in the list");
            if (package == null) return;
            DownloadableContentPackage mounted;
            try
            {
                mounted = DownloadableContent.Mount(package);
            }
            catch (VelmoraException)
            {
                t.Line("mount refused");
                t.Check(false, "the package mounted");
                return;
            }
            t.Line("mounted at " + Shown(mounted.MountPath));
            if (!string.IsNullOrEmpty(file))
            {
                string first = null;
                try
                {
                    using (var reader = new StreamReader(Path.Combine(mounted.MountPath, file), new UTF8Encoding(false))) first = reader.ReadLine();
                }
                catch (IOException)
                {
                }
                catch (UnauthorizedAccessException)
                {
                }
                t.Detail(file + ": \"" + first + "\"");
                t.Check(first != null, "the package's file readable");
            }
            DownloadableContentPackage unmounted = DownloadableContent.Unmount(mounted);
            t.Line("unmounted; mounted now: " + (unmounted.IsMounted ? "yes" : "no"));
        }

        // A mount folder as the transcript shows it: the same on every run, so the temporary
        // directory and the folder's random suffix are masked.
        private static string Shown(string path)
        {
            string temp = Path.GetTempPath().TrimEnd('/');
            if (temp.Length > 0 && path.StartsWith(temp + "/", StringComparison.Ordinal)) path = "<temp>" + path.Substring(temp.Length);
            const string Folder = "velmora-package-";
            int at = path.IndexOf(Folder, StringComparison.Ordinal);
            return at < 0 ? path : path.Substring(0, at + Folder.Length) + "\u2026";
        }
    }
}
