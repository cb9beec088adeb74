using System;
using System.Collections.Generic;
using System.Linq;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>What each service group's records read through the idiomatic API, end to end on the default scenario.</summary>
    public class RecordTests
    {
        private const uint User = 1;

        [Fact]
        public void InventoryQueriedAndConsumed()
        {
            using (var fresh = new Fresh())
            using (InventoryItemsResult result = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.All)))
            using (InventoryItemList items = result.Items)
            {
                Assert.Equal((uint)items.Count, result.TotalItems);
                using (InventoryItem glider = items.Single(i => Keep(i, "9NSTRMGLIDR2")))
                {
                    Assert.Equal(MediaItemType.GameContent, glider.MediaItemType);
                    Assert.Equal(InventoryItemState.Enabled, glider.InventoryItemState);
                    Assert.Equal(1513888228u, glider.TitleId);
                    Assert.StartsWith("https://inventory.xboxlive.com/", glider.Url);
                    using (ContainerIdList containers = glider.ContainerIds) Assert.Equal(new[] { "9NAURSKIES01" }, containers);
                    Assert.Equal(new DateTime(2024, 6, 2, 18, 45, 12, DateTimeKind.Utc), glider.RightsObtainedDate);
                    Assert.Equal(DateTimeKind.Utc, glider.StartDate.Kind);
                    Assert.Equal(DateTime.MaxValue.Date, glider.EndDate.Date);
                    using (InventoryItem again = fresh.Host.Run(InventoryService.GetInventoryItemAsync(User, glider)))
                        Assert.Equal(glider.ProductId, again.ProductId);
                }
                using (InventoryItem gems = items.Single(i => Keep(i, "9NSKYGEMS105")))
                {
                    uint before = gems.ConsumableBalance;
                    using (ConsumeInventoryItemResult consumed = fresh.Host.Run(InventoryService.ConsumeInventoryItemAsync(User, gems, 1, "5f0c2b9e-4a7d-4d1e-9b3a-6c8e2f1a7d40")))
                    {
                        Assert.Equal(before - 1, consumed.ConsumableBalance);
                        Assert.Equal("5f0c2b9e-4a7d-4d1e-9b3a-6c8e2f1a7d40", consumed.TransactionId);
                        Assert.Equal(gems.ConsumableUrl, consumed.ConsumableUrl);
                    }
                }
            }
        }

        [Fact]
        public void CatalogBrowsedAndDetailed()
        {
            using (var fresh = new Fresh())
            {
                using (BrowseCatalogResult page = fresh.Host.Run(CatalogService.BrowseCatalogAsync(User, "9NAURSKIES01", MediaItemType.Game, MediaItemType.All, CatalogSortOrder.FreeAndPaidCountDaily, 0, 25)))
                {
                    Assert.True(page.TotalCount >= (uint)page.Count && page.Count > 0);
                    using (CatalogItem first = page[0])
                    using (CatalogItemImageList images = first.Images)
                    using (AvailabilityContentIdList contentIds = first.AvailabilityContentIds)
                    {
                        Assert.False(string.IsNullOrEmpty(first.Name));
                        Assert.NotEmpty(contentIds);
                        Assert.All(images, image => { using (image) Assert.True(image.Width > 0 && image.Height > 0); });
                    }
                }
                using (CatalogItemDetailsList details = fresh.Host.Run(CatalogService.GetCatalogItemDetailsAsync(User, new[] { "9NSTRMGLIDR2" })))
                using (CatalogItemDetails glider = Assert.Single(details))
                using (CatalogItemDetailsImageList images = glider.Images)
                using (CatalogItemImage logo = images[0])
                using (ImagePurposeList purposes = logo.Purposes)
                using (CatalogItemAvailabilityList offers = glider.Availabilities)
                using (CatalogItemAvailability offer = Assert.Single(offers))
                using (PaymentInstrumentTypeList payments = offer.AcceptablePaymentInstrumentTypes)
                {
                    Assert.Equal("嵐の翼 Stormrider Glider", glider.Name);
                    Assert.Equal(new DateTime(2024, 5, 1, 0, 0, 0, DateTimeKind.Utc), glider.ReleaseDate);
                    Assert.Equal(new[] { "Logo", "Tile" }, purposes);
                    Assert.True(offer.IsPurchasable);
                    Assert.Equal(4.99, offer.Price);
                    Assert.Equal("$4.99", offer.DisplayPrice);
                    Assert.Equal(new[] { "CreditCard", "PayPal", "StoredValue" }, payments);
                }
            }
        }

        [Fact]
        public void PackagesFoundMountedAndUnmounted()
        {
            using (new Fresh())
            using (DownloadableContentPackageList packages = DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllDownloadableContentOnly))
            using (DownloadableContentPackage glider = packages.Single(p => Keep(p, "9NSTRMGLIDR2")))
            {
                Assert.Equal("Lanternworks Studio", glider.Publisher);
                Assert.False(glider.IsMounted);
                string path = glider.Mount();
                Assert.True(glider.IsMounted);
                Assert.Equal(path, glider.MountPath);
                Assert.True(System.IO.File.Exists(System.IO.Path.Combine(path, "readme.txt")));
                glider.Unmount();
                Assert.False(glider.IsMounted);
            }
        }

        [Fact]
        public void IndexesAreCheckedBeforeAnyNativeCall()
        {
            using (var fresh = new Fresh())
            using (InventoryItemsResult result = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.All)))
            using (InventoryItemList items = result.Items)
            {
                int count = items.Count;
                // Were the index passed on, the armed fault would answer instead of the bounds check.
                Emulator.InjectFault("IVectorView.GetAt", unchecked((int)0x8000000B));
                Assert.Throws<ArgumentOutOfRangeException>(() => items[count]);
                Assert.Throws<ArgumentOutOfRangeException>(() => items[-1]);
                Emulator.ClearFaults();
            }
        }

        [Fact]
        public void ADisposedRecordRefusesReadsAndDisposesOnce()
        {
            using (var fresh = new Fresh())
            {
                InventoryItemsResult result = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(User, MediaItemType.All));
                result.Dispose();
                result.Dispose();
                Assert.Throws<ObjectDisposedException>(() => result.TotalItems);
            }
        }

        // Disposes the records a query does not keep.
        private static bool Keep(InventoryItem item, string productId) => KeepIf(item, item.ProductId == productId);
        private static bool Keep(DownloadableContentPackage package, string productId) => KeepIf(package, package.ProductId == productId);

        private static bool KeepIf(IDisposable record, bool keep)
        {
            if (!keep) record.Dispose();
            return keep;
        }
    }
}
