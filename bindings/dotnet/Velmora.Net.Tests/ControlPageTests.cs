using System;
using System.Net;
using System.Net.Http;
using System.Net.Http.Headers;
using System.Text;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>The emulator's control page from C#: started on a free port, reached with its token only, kept by a scenario load, stopped.</summary>
    public class ControlPageTests
    {
        [Fact]
        public void ThePageAnswersItsTokenOnlyAndWhatItArmsTheGameMeets()
        {
            using (var fresh = new Fresh())
            {
                string address = Emulator.StartControlPage();
                try
                {
                    Assert.Matches(@"^http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{32}$", address);
                    Assert.Equal(address, Emulator.ControlPageAddress);
                    string token = address.Substring(address.IndexOf("token=", StringComparison.Ordinal) + 6);
                    using (var http = new HttpClient { BaseAddress = new Uri(new Uri(address).GetLeftPart(UriPartial.Authority)) })
                    {
                        Assert.Equal(HttpStatusCode.Unauthorized, http.GetAsync("/api/users").Result.StatusCode);

                        var read = new HttpRequestMessage(HttpMethod.Get, "/api/inventories?userId=1");
                        read.Headers.Authorization = new AuthenticationHeaderValue("Bearer", token);
                        HttpResponseMessage inventory = http.SendAsync(read).Result;
                        Assert.Equal(HttpStatusCode.OK, inventory.StatusCode);
                        Assert.Contains("\"9NSKYGEMS105\"", inventory.Content.ReadAsStringAsync().Result);

                        // An outcome scripted from the page is the one the game's next query meets.
                        var arm = new HttpRequestMessage(HttpMethod.Post, "/api/outcomes")
                        {
                            Content = new StringContent("{\"call\":\"IInventoryService.GetInventoryItemsAsync\",\"kind\":\"Fail\",\"hresult\":\"0x80070005\"}",
                                                        Encoding.UTF8, "application/json"),
                        };
                        arm.Headers.Authorization = new AuthenticationHeaderValue("Bearer", token);
                        Assert.Equal(HttpStatusCode.OK, http.SendAsync(arm).Result.StatusCode);
                        var e = Assert.Throws<VelmoraException>(() => fresh.Host.Run(InventoryService.GetInventoryItemsAsync(1, MediaItemType.All)));
                        Assert.Equal(HResults.AccessDenied, e.HResult);
                    }

                    // A scenario load resets the emulator and keeps the page; a second start is refused.
                    Emulator.LoadDefaultScenario();
                    Assert.Equal(address, Emulator.ControlPageAddress);
                    Assert.Contains("runs already", Assert.Throws<InvalidOperationException>(() => Emulator.StartControlPage()).Message);
                    Assert.Throws<ArgumentOutOfRangeException>(() => Emulator.StartControlPage(70000));
                }
                finally
                {
                    Emulator.StopControlPage();
                }
                Assert.Null(Emulator.ControlPageAddress);
            }
        }

        [Fact]
        public void ABuyOutsideTheGameGrantsIsInTheLedgerAndIsAnnounced()
        {
            using (var fresh = new Fresh())
            {
                var receipts = new System.Collections.Generic.List<string>();
                Action<ProductPurchasedEventArgs> heard = args => receipts.Add(args.Receipt);
                Store.ProductPurchased += heard;
                try
                {
                    Emulator.Buy(1, "9NCLDTREASR3");
                    Emulator.WaitIdle();
                    fresh.Host.Pump();
                    Assert.Contains(fresh.Host.Run(InventoryService.GetInventoryItemsAsync(1, MediaItemType.All)).Items, i => i.ProductId == "9NCLDTREASR3");
                    Transaction bought = Emulator.Transactions[Emulator.Transactions.Count - 1];
                    Assert.Equal(TransactionSource.Purchase, bought.Source);
                    Assert.Equal(TransactionOutcome.Granted, bought.Outcome);
                    Assert.Contains(receipts, r => r.Contains("Source=\"Purchase\" ProductId=\"9NCLDTREASR3\""));

                    int entries = Emulator.Transactions.Count;
                    Assert.Contains("no signed-in user has the id 7", Assert.Throws<ArgumentException>(() => Emulator.Buy(7, "9NCLDTREASR3")).Message);
                    Assert.Contains("the catalog has no product", Assert.Throws<ArgumentException>(() => Emulator.Buy(1, "9NNOSUCHTHNG")).Message);
                    Emulator.WaitIdle();
                    Assert.Equal(entries, Emulator.Transactions.Count);
                }
                finally
                {
                    Store.ProductPurchased -= heard;
                }
            }
        }
    }
}
