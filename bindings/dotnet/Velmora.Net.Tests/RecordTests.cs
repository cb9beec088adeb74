using System;
using System.Collections.Generic;
using System.Linq;
using System.Threading;
using System.Threading.Tasks;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>What each service group's results read as plain data, end to end on the built-in scenario.</summary>
    public class RecordTests
    {
        private const uint User = 1;
        private static readonly DateTime NoEnd = DateTime.SpecifyKind(DateTime.MaxValue, DateTimeKind.Utc);

        [Fact]
        public void InventoryQueriedAndConsumed()
        {
            using (var fresh = new Fresh())
            {
                InventoryItemsResult result = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.All));
                Assert.Equal((uint)result.Items.Count, result.TotalItems);
                InventoryItem glider = result.Items.Single(i => i.ProductId == "9NSTRMGLIDR2");
                Assert.Equal(MediaItemType.GameContent, glider.MediaItemType);
                Assert.Equal(InventoryItemState.Enabled, glider.InventoryItemState);
                Assert.Equal(1513888228u, glider.TitleId);
                Assert.StartsWith("https://inventory.xboxlive.com/", glider.Url);
                Assert.Equal(new[] { "9NAURSKIES01" }, glider.ContainerIds);
                Assert.Equal(new DateTime(2024, 6, 2, 18, 45, 12, DateTimeKind.Utc), glider.RightsObtainedDate);
                Assert.Equal(DateTimeKind.Utc, glider.RightsObtainedDate.Kind);
                Assert.Equal(NoEnd, glider.EndDate);
                Assert.Equal(DateTimeKind.Utc, glider.EndDate.Kind);
                Assert.Equal(glider.ProductId, fresh.Host.Run(InventoryService.GetInventoryItemAsync(User, glider)).ProductId);

                InventoryItem gems = result.Items.Single(i => i.ProductId == "9NSKYGEMS105");
                ConsumeInventoryItemResult consumed = fresh.Host.Run(InventoryService.ConsumeInventoryItemAsync(User, gems, 1, "5f0c2b9e-4a7d-4d1e-9b3a-6c8e2f1a7d40"));
                Assert.Equal(gems.ConsumableBalance - 1, consumed.ConsumableBalance);
                Assert.Equal("5f0c2b9e-4a7d-4d1e-9b3a-6c8e2f1a7d40", consumed.TransactionId);
                Assert.Equal(gems.ConsumableUrl, consumed.ConsumableUrl);
                Assert.Equal(gems.ConsumableBalance, result.Items.Single(i => i.ProductId == "9NSKYGEMS105").ConsumableBalance);
            }
        }

        [Fact]
        public void AQueryReadsAsItsFilterSays()
        {
            using (var fresh = new Fresh())
            {
                var query = new InventoryQuery { MediaItemType = MediaItemType.GameContent, MaxItems = 1 };
                InventoryItemsResult page = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(User, query));
                Assert.All(page.Items, i => Assert.Equal(MediaItemType.GameContent, i.MediaItemType));
                Assert.Single(page.Items);
            }
        }

        [Fact]
        public void AnItemNoLongerOwnedIsNotFound()
        {
            using (var fresh = new Fresh())
            {
                InventoryItem gems = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(2, MediaItemType.All)).Items.FirstOrDefault()
                                     ?? fresh.Host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.GameConsumable)).Items[0];
                Emulator.LoadScenarioJson("{\"users\": [{\"id\": 1, \"gamertag\": \"Empty\", \"xboxUserId\": \"1\"}]}", "empty.json");
                var e = Assert.Throws<VelmoraException>(() => fresh.Host.Run(InventoryService.GetInventoryItemAsync(User, gems)));
                Assert.Equal("E_NOT_FOUND", e.HResultName);
                Assert.Contains("owns no item of product " + gems.ProductId, e.Message);
                Emulator.LoadDefaultScenario();
            }
        }

        [Fact]
        public void CatalogBrowsedAndDetailed()
        {
            using (var fresh = new Fresh())
            {
                BrowseCatalogResult page = fresh.Host.Run(CatalogService.BrowseCatalogAsync(User, new BrowseCatalogRequest("9NAURSKIES01", MediaItemType.Game) { MaxItems = 3 }));
                Assert.Equal(3, page.Items.Count);
                Assert.True(page.TotalCount > 3);
                CatalogItem first = page.Items[0];
                Assert.False(string.IsNullOrEmpty(first.Name));
                Assert.NotEmpty(first.AvailabilityContentIds);
                Assert.All(first.Images, image => Assert.True(image.Width > 0 && image.Height > 0));

                CatalogItemDetails glider = Assert.Single(fresh.Host.Run(CatalogService.GetCatalogItemDetailsAsync(User, new[] { "9NSTRMGLIDR2" })));
                Assert.Equal("嵐の翼 Stormrider Glider", glider.Name);
                Assert.Equal(new DateTime(2024, 5, 1, 0, 0, 0, DateTimeKind.Utc), glider.ReleaseDate);
                Assert.Equal(new[] { "Logo", "Tile" }, glider.Images[0].Purposes);
                CatalogItemAvailability offer = Assert.Single(glider.Availabilities);
                Assert.True(offer.IsPurchasable);
                Assert.Equal(4.99, offer.Price);
                Assert.Equal("$4.99", offer.DisplayPrice);
                Assert.Equal(new[] { "CreditCard", "PayPal", "StoredValue" }, offer.AcceptablePaymentInstrumentTypes);
            }
        }

        [Fact]
        public void PackagesFoundMountedAndUnmountedWithOneTitleIdAndContentIdType()
        {
            using (var fresh = new Fresh())
            {
                IReadOnlyList<DownloadableContentPackage> packages = DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllDownloadableContentOnly);
                DownloadableContentPackage glider = packages.Single(p => p.ProductId == "9NSTRMGLIDR2");
                Assert.Equal("Lanternworks Studio", glider.Publisher);
                Assert.False(glider.IsMounted);
                // The package's title id is the number the inventory item carries.
                InventoryItem owned = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.All)).Items.Single(i => i.ProductId == "9NSTRMGLIDR2");
                Assert.Equal(owned.TitleId, glider.TitleId);

                DownloadableContentPackage mounted = DownloadableContent.Mount(glider);
                Assert.True(mounted.IsMounted);
                Assert.False(glider.IsMounted);  // a record read before stays as it was read
                Assert.True(System.IO.File.Exists(System.IO.Path.Combine(mounted.MountPath, "readme.txt")));
                DownloadableContentPackage unmounted = DownloadableContent.Unmount(mounted);
                Assert.False(unmounted.IsMounted);
                Assert.Equal("", unmounted.MountPath);
            }
        }

        [Fact]
        public void AMountRefusedOrOfAPackageGoneSaysSo()
        {
            using (var fresh = new Fresh())
            {
                DownloadableContentPackage glider = DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllDownloadableContentOnly).First();
                Emulator.InjectFault("IDownloadableContentPackage.Mount", HResults.AccessDenied, 1);
                Assert.Contains(glider.PackageFullName, Assert.Throws<VelmoraException>(() => DownloadableContent.Mount(glider)).Message);
                Emulator.InjectFault("IDownloadableContentPackageManager.FindPackages", HResults.AccessDenied, 1);
                Assert.Equal(HResults.AccessDenied, Assert.Throws<VelmoraException>(() => DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllRelatedPackages)).HResult);
                Emulator.Reset();
                Assert.Equal("E_NOT_FOUND", Assert.Throws<VelmoraException>(() => DownloadableContent.Mount(glider)).HResultName);
                Emulator.LoadDefaultScenario();
            }
        }

        /// <summary>
        /// Results are plain data: the native references are back before the task completes, so
        /// LINQ, another thread and time change nothing, with no collection in between.
        /// </summary>
        [Fact]
        public void ResultsAreSafeToKeepQueryAndShareWithoutACollection()
        {
            using (var fresh = new Fresh())
            {
                long objects = Emulator.LiveObjects, strings = Emulator.LiveStrings;
                InventoryItemsResult result = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.All));
                IReadOnlyList<CatalogItemDetails> details = fresh.Host.Run(CatalogService.GetCatalogItemDetailsAsync(User, new[] { "9NSTRMGLIDR2", "9NCLDTREASR3" }));
                // A platform thread may still hold a finished operation, and its result, a moment after the task completed.
                Emulator.WaitIdle();
                Assert.Equal(objects, Emulator.LiveObjects);
                Assert.Equal(strings, Emulator.LiveStrings);

                List<string> ids = result.Items.Select(i => i.ProductId).ToList();
                string onAnotherThread = Task.Run(() => string.Join(",", details.SelectMany(d => d.Availabilities).Select(a => a.DisplayPrice))).Result;
                Assert.Contains("9NSTRMGLIDR2", ids);
                Assert.Equal("$4.99", onAnotherThread.Split(',')[0]);
                Assert.Throws<NotSupportedException>(() => ((IList<InventoryItem>)result.Items).Add(null));
                Assert.Equal(objects, Emulator.LiveObjects);
                Assert.Equal(strings, Emulator.LiveStrings);
            }
        }

        /// <summary>A failing read while the host delivers fails the task with the member's name, and gives every reference back.</summary>
        [Theory]
        [InlineData("IInventoryItem.get_ProductId", "InventoryItem.ProductId")]
        [InlineData("IInventoryItem.get_EndDate", "InventoryItem.EndDate")]
        [InlineData("IInventoryItem.get_ContainerIds", "InventoryItem.ContainerIds")]
        [InlineData("IUriRuntimeClass.get_AbsoluteUri", "InventoryItem.Url")]
        [InlineData("IVectorView.GetAt", "InventoryItemsResult.Items")]
        public void AFailingReadFailsTheTaskAndNamesTheMember(string fault, string member)
        {
            using (var fresh = new Fresh())
            {
                Emulator.InjectFault(fault, unchecked((int)0x887A0005), 1);
                var e = Assert.Throws<VelmoraException>(() => fresh.Host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.All)));
                Assert.StartsWith(member + " failed: 0x887A0005", e.Message);
                Assert.Equal("COMException", e.Kind);
                Assert.Null(e.HResultName);
            }
        }
    }
}
