using System;
using System.Collections.Generic;
using System.Linq;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>A failing platform call under an accessor raises our exception with its HRESULT, and the process lives: one row per conversion rule.</summary>
    public class FailureTests
    {
        public sealed class Row
        {
            public Row(string fault, Func<InventoryItem, object> read) { Fault = fault; Read = read; }
            public string Fault { get; }
            public Func<InventoryItem, object> Read { get; }
            public override string ToString() => Fault;
        }

        private static readonly Row[] Rows =
        {
            new Row("IInventoryItem.get_ProductId", i => i.ProductId),        // text
            new Row("IInventoryItem.get_TitleId", i => i.TitleId),            // scalar
            new Row("IInventoryItem.get_MediaItemType", i => i.MediaItemType),// enumeration
            new Row("IInventoryItem.get_EndDate", i => i.EndDate),            // date
            new Row("IInventoryItem.get_ContainerIds", i => i.ContainerIds),  // collection
            new Row("IUriRuntimeClass.get_AbsoluteUri", i => i.Url),          // text of a platform object
            new Row("IVectorView.get_Size", i => { using (var ids = i.ContainerIds) return ids.Count; }),
            new Row("IVectorView.GetAt", i => { using (var ids = i.ContainerIds) return ids[0]; }),
        };

        public static IEnumerable<object[]> Accessors() => Rows.Select(r => new object[] { r });

        [Theory]
        [MemberData(nameof(Accessors))]
        public void RaisesTheHResultAndTheKind(Row row)
        {
            using (var fresh = new Fresh())
            using (InventoryItemsResult result = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(1, MediaItemType.All)))
            using (InventoryItemList items = result.Items)
            using (InventoryItem item = items[0])
            {
                foreach (int hr in new[] { unchecked((int)0x80070005), unchecked((int)0x80004005), unchecked((int)0x887A0005) })
                {
                    Emulator.InjectFault(row.Fault, hr, 1);
                    var e = Assert.Throws<VelmoraException>(() => row.Read(item));
                    Assert.Equal(hr, e.HResult);
                    Assert.Equal(hr == unchecked((int)0x887A0005) ? "COMException" : hr == unchecked((int)0x80070005) ? "AccessDeniedException" : "FailureException", e.Kind);
                    Assert.Contains(string.Format("0x{0:X8}", hr), e.Message);
                }
                // The next read, with no fault armed, answers as usual.
                object value = row.Read(item);
                Assert.NotNull(value);
                (value as IDisposable)?.Dispose();
            }
        }

        [Fact]
        public void ARefusedMountRaisesOurException()
        {
            using (new Fresh())
            using (DownloadableContentPackageList packages = DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllDownloadableContentOnly))
            using (DownloadableContentPackage package = packages[0])
            {
                Emulator.InjectFault("IDownloadableContentPackage.Mount", unchecked((int)0x80070005), 1);
                var e = Assert.Throws<VelmoraException>(() => package.Mount());
                Assert.Contains(package.PackageFullName, e.Message);
                Emulator.InjectFault("IDownloadableContentPackageManager.FindPackages", unchecked((int)0x80070005), 1);
                Assert.Equal(unchecked((int)0x80070005), Assert.Throws<VelmoraException>(() => DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllRelatedPackages)).HResult);
            }
        }

        [Fact]
        public void ABadScenarioIsAClearError()
        {
            using (new Fresh())
            {
                var e = Assert.Throws<VelmoraException>(() => Emulator.LoadScenarioJson("{\"users\":[{\"id\":1e400}]}", "bad.json"));
                Assert.Contains("bad.json", e.Message);
                Assert.Contains("$.users[0].id", e.Message);
                Assert.Throws<VelmoraException>(() => Emulator.ScriptOutcome("IInventoryService.GetInventoryItemsAsync", (OutcomeKind)42));
                Emulator.LoadScenarioFile(System.IO.Path.Combine(AppContext.BaseDirectory, "default.json"));
                Emulator.SetDefaultDelay(TimeSpan.Zero);
            }
        }
    }
}
