using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Threading;
using System.Threading.Tasks;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>
    /// The emulator as a store test kit, the way a StoreKit-style test session uses it: a purchase
    /// from outside the game, a purchase screen held open and approved while the game pumps, a
    /// refund, a subscription expired by moving the clock, and the world saved and loaded back; and
    /// each bad input refused with the argument named, changing nothing.
    /// </summary>
    public class TestKitTests
    {
        private const uint Player = 1;
        private const string Expansion = "9NCLDTREASR3";
        private const string Lantern = "9NDSRTLANTN4";
        private const string Pass = "9NAURELPASS8";
        private static readonly DateTime June1st = new DateTime(2025, 6, 1, 9, 0, 0, DateTimeKind.Utc);
        private static readonly InventoryQuery EveryState = new InventoryQuery();

        [Fact]
        public void AWholeStoreSessionThroughTheTestKit()
        {
            using (var fresh = new Fresh())
            {
                VelmoraHost host = fresh.Host;
                Assert.True(Emulator.ClockIsFixed, "the built-in scenario starts its clock fixed");
                Assert.Equal(June1st, Emulator.Now);
                var receipts = new List<string>();
                Action<ProductPurchasedEventArgs> onPurchase = e => receipts.Add(e.Receipt);
                Store.ProductPurchased += onPurchase;
                try
                {
                    // Bought from outside the game: the notification comes, the ledger names it.
                    Emulator.RaisePurchase(Player, Lantern);
                    fresh.Settle();
                    Transaction raised = Emulator.Transactions.Last();
                    Assert.Equal(TransactionSource.Raised, raised.Source);
                    Assert.Equal(TransactionOutcome.Notified, raised.Outcome);
                    Assert.Equal(Lantern, raised.ProductId);
                    Assert.Equal(June1st, raised.Time);
                    Assert.Contains("TransactionId=\"" + raised.TransactionId + "\"", Assert.Single(receipts));

                    // A purchase screen held open while the game pumps, then approved.
                    Emulator.HoldScreens();
                    string offer = host.Run(CatalogService.GetCatalogItemDetailsAsync(Player, new[] { Expansion }))[0].Availabilities[0].SignedOffer;
                    Task screen = Store.ShowPurchaseAsync(Player, offer);
                    for (int frame = 0; frame < 30; frame++)
                    {
                        host.Pump();
                        Thread.Sleep(1);
                    }
                    Assert.False(screen.IsCompleted, "the screen waits for a decision");
                    OpenScreen open = Assert.Single(Emulator.OpenScreens);
                    Assert.Equal(Player, open.UserId);
                    Assert.Equal(ScreenKind.Purchase, open.Kind);
                    Assert.Equal(Expansion, open.ProductId);
                    Assert.Equal(offer, open.Offer);
                    Emulator.DecideScreen(open.Id, ScreenDecision.Purchase);
                    host.Run(screen);
                    fresh.Settle();
                    Assert.Empty(Emulator.OpenScreens);
                    Transaction bought = Emulator.Transactions.Last();
                    Assert.Equal(TransactionSource.Purchase, bought.Source);
                    Assert.Equal(TransactionOutcome.Granted, bought.Outcome);
                    Assert.Equal(Expansion, bought.ProductId);
                    Assert.Equal(2, receipts.Count);
                    Assert.Contains(Expansion, Owned(host));

                    // Refunded: the next query no longer finds it.
                    Transaction refund = Emulator.Refund(bought.Id);
                    Assert.Equal(TransactionSource.Refund, refund.Source);
                    Assert.Equal(TransactionOutcome.Refunded, refund.Outcome);
                    Assert.Equal(bought.Id, refund.RefundOf);
                    Assert.DoesNotContain(Expansion, Owned(host));

                    // A subscription (the privilege's resolution buys the pass) expired by the clock.
                    Emulator.HoldScreens(false);
                    Assert.Equal(PrivilegeCheckResult.NoIssue, host.Run(Store.CheckPrivilegeAsync(Player, 247, true, "")));
                    InventoryItem pass = host.Run(InventoryService.GetInventoryItemsAsync(Player, MediaItemType.Subscription)).Items.Single();
                    Assert.Equal(June1st.AddDays(30), pass.EndDate);
                    Emulator.AdvanceClock(TimeSpan.FromDays(31));
                    Assert.Equal(June1st.AddDays(31), Emulator.Now);
                    Assert.DoesNotContain(Pass, Owned(host));
                    Assert.Equal(InventoryItemState.Expired, PassOf(host).InventoryItemState);

                    // The world saved and loaded back: the same ledger, clock and inventory.
                    IReadOnlyList<Transaction> ledger = Emulator.Transactions;
                    string path = Path.Combine(Path.GetTempPath(), "velmora-world-" + Guid.NewGuid().ToString("N") + ".json");
                    try
                    {
                        Emulator.SaveWorld(path);
                        Emulator.LoadScenarioFile(path);
                    }
                    finally
                    {
                        File.Delete(path);
                    }
                    Assert.Equal(ledger.Select(t => t.ToString() + " " + t.Time.Ticks + " " + t.TransactionId),
                                 Emulator.Transactions.Select(t => t.ToString() + " " + t.Time.Ticks + " " + t.TransactionId));
                    Assert.Equal(June1st.AddDays(31), Emulator.Now);
                    Assert.Equal(InventoryItemState.Expired, PassOf(host).InventoryItemState);
                    Assert.DoesNotContain(Expansion, Owned(host));
                    Assert.Equal(0UL, Emulator.TransactionsDropped);
                }
                finally
                {
                    Store.ProductPurchased -= onPurchase;
                    Emulator.HoldScreens(false);
                }
            }
        }

        private static List<string> Owned(VelmoraHost host)
        {
            return host.Run(InventoryService.GetInventoryItemsAsync(Player, MediaItemType.All)).Items.Select(i => i.ProductId).ToList();
        }

        private static InventoryItem PassOf(VelmoraHost host)
        {
            return host.Run(InventoryService.GetInventoryItemsAsync(Player, EveryState)).Items.Single(i => i.ProductId == Pass);
        }

        // ---- bad input

        private static readonly Dictionary<string, Action> Mistakes = new Dictionary<string, Action>
        {
            ["an unknown transaction"] = () => Emulator.Refund(99),
            ["a second refund"] = () => Emulator.Refund(1),
            ["a refund of a refund"] = () => Emulator.Refund(2),
            ["a clock set back"] = () => Emulator.SetClock(June1st.AddSeconds(-1)),
            ["a negative advance"] = () => Emulator.AdvanceClock(TimeSpan.FromSeconds(-1)),
            ["a decision for a screen not open"] = () => Emulator.DecideScreen(42, ScreenDecision.Purchase),
            ["a failure without a failure code"] = () => Emulator.DecideScreen(1, ScreenDecision.Fail, 0),
            ["a purchase with a code"] = () => Emulator.DecideScreen(1, ScreenDecision.Purchase, HResults.Fail),
            ["a decision of no kind"] = () => Emulator.DecideScreen(1, (ScreenDecision)9),
            ["a save path that is a folder"] = () => Emulator.SaveWorld(Path.GetTempPath()),
            ["a save path in no folder"] = () => Emulator.SaveWorld(Path.Combine(Path.GetTempPath(), "velmora-no-such-folder", "w.json")),
            ["no save path"] = () => Emulator.SaveWorld(null),
        };

        [Theory]
        [InlineData("an unknown transaction", "transactionId", "no transaction 99 in the ledger (it holds 1 to 2)")]
        [InlineData("a second refund", "transactionId", "transaction 1 (Purchase, Granted) was refunded already, by transaction 2")]
        [InlineData("a refund of a refund", "transactionId", "transaction 2 (Refund, Refunded) granted nothing to take back")]
        [InlineData("a clock set back", "time", "the clock does not go back: it reads 2025-06-01T09:00:00Z, and 2025-06-01T08:59:59Z is earlier")]
        [InlineData("a negative advance", "by", "a clock advance of -1000000 us; the clock only moves forwards")]
        [InlineData("a decision for a screen not open", "screenId", "no open screen 42; the open screens are 1")]
        [InlineData("a failure without a failure code", "hr", "a screen decided as Fail needs a failure code")]
        [InlineData("a purchase with a code", "hr", "a screen decided as Purchase ends as its own work says")]
        [InlineData("a decision of no kind", "decision", "not a value of ScreenDecision")]
        [InlineData("a save path that is a folder", "path", "a directory, not a file")]
        [InlineData("a save path in no folder", "path", "the file cannot be opened for writing")]
        [InlineData("no save path", "path", "")]
        public void ABadInputIsRefusedNamingTheArgumentAndChangesNothing(string mistake, string argument, string problem)
        {
            using (var fresh = new Fresh())
            {
                VelmoraHost host = fresh.Host;
                // One purchase refunded, and one screen open.
                string offer = host.Run(CatalogService.GetCatalogItemDetailsAsync(Player, new[] { Expansion }))[0].Availabilities[0].SignedOffer;
                host.Run(Store.ShowPurchaseAsync(Player, offer));
                Emulator.Refund(1);
                Emulator.HoldScreens();
                Task screen = Store.ShowPurchaseAsync(Player, offer);
                try
                {
                    string ledger = string.Join("\n", Emulator.Transactions);
                    DateTime now = Emulator.Now;
                    ArgumentException refused = Assert.ThrowsAny<ArgumentException>(Mistakes[mistake]);
                    Assert.Equal(argument, refused.ParamName);
                    Assert.Contains(problem, refused.Message);
                    Assert.Equal(ledger, string.Join("\n", Emulator.Transactions));
                    Assert.Equal(now, Emulator.Now);
                    Assert.Equal(1UL, Assert.Single(Emulator.OpenScreens).Id);
                    Assert.False(screen.IsCompleted);
                }
                finally
                {
                    Emulator.HoldScreens(false);
                    Emulator.DecideScreen(1, ScreenDecision.Cancel);
                    Assert.ThrowsAny<OperationCanceledException>(() => host.Run(screen));
                }
            }
        }
    }
}
