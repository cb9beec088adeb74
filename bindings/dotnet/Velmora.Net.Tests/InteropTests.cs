using System;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;
using Velmora.Interop;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>The handle-level API, the raw layer and the plugin's path.</summary>
    public class InteropTests
    {
        private const uint User = 1;

        /// <summary>A failing platform call under a handle's property raises our exception with its HRESULT, and the process lives: one row per conversion rule.</summary>
        [Theory]
        [InlineData("IInventoryItem.get_ProductId", "ProductId")]
        [InlineData("IInventoryItem.get_TitleId", "TitleId")]
        [InlineData("IInventoryItem.get_MediaItemType", "MediaItemType")]
        [InlineData("IInventoryItem.get_EndDate", "EndDate")]
        [InlineData("IInventoryItem.get_ContainerIds", "ContainerIds")]
        [InlineData("IUriRuntimeClass.get_AbsoluteUri", "Url")]
        public void AFailingReadRaisesTheHResultAndTheKind(string fault, string property)
        {
            using (var fresh = new Fresh())
            using (InventoryItemsResultHandle result = fresh.Host.Run(NativeInventoryService.GetInventoryItemsAsync(User, MediaItemType.All)))
            using (InventoryItemListHandle items = result.Items)
            using (InventoryItemHandle item = items[0])
            {
                PropertyInfo read = typeof(InventoryItemHandle).GetProperty(property);
                foreach (int hr in new[] { HResults.AccessDenied, HResults.Fail, unchecked((int)0x887A0005) })
                {
                    Emulator.InjectFault(fault, hr, 1);
                    var e = Assert.IsType<VelmoraException>(Assert.Throws<TargetInvocationException>(() => read.GetValue(item)).InnerException);
                    Assert.Equal(hr, e.HResult);
                    Assert.Equal(hr == HResults.AccessDenied ? "AccessDeniedException" : hr == HResults.Fail ? "FailureException" : "COMException", e.Kind);
                    Assert.StartsWith("InventoryItemHandle." + property + " failed: ", e.Message);
                }
                (read.GetValue(item) as IDisposable)?.Dispose();
            }
        }

        [Fact]
        public void IndexesAreCheckedBeforeAnyNativeCallAndADisposedHandleRefusesReads()
        {
            using (var fresh = new Fresh())
            {
                InventoryItemsResultHandle result = fresh.Host.Run(NativeInventoryService.GetInventoryItemsAsync(User, MediaItemType.All));
                using (InventoryItemListHandle items = result.Items)
                {
                    // Were the index passed on, the armed fault would answer instead of the bounds check.
                    Emulator.InjectFault("IVectorView.GetAt", HResults.Bounds);
                    Assert.Throws<ArgumentOutOfRangeException>(() => items[items.Count]);
                    Assert.Throws<ArgumentOutOfRangeException>(() => items[-1]);
                    Emulator.ClearFaults();
                }
                result.Dispose();
                result.Dispose();
                Assert.Throws<ObjectDisposedException>(() => result.TotalItems);
            }
        }

        [Fact]
        public void AHandleNeverDisposedIsReleasedByItsFinalizer()
        {
            using (var fresh = new Fresh())
            {
                long before = Emulator.LiveObjects;
                DropHandles(fresh.Host);
                Assert.True(Emulator.LiveObjects > before);
                GC.Collect();
                GC.WaitForPendingFinalizers();
                Assert.Equal(before, Emulator.LiveObjects);
            }
        }

        [MethodImpl(MethodImplOptions.NoInlining)]
        private static void DropHandles(VelmoraHost host)
        {
            InventoryItemsResultHandle result = host.Run(NativeInventoryService.GetInventoryItemsAsync(User, MediaItemType.All));
            InventoryItemListHandle items = result.Items;
            GC.KeepAlive(items[0]);
        }

        /// <summary>Every P/Invoke of both assemblies names a function the native libraries export.</summary>
        [Fact]
        public void EveryImportResolves()
        {
            using (new Fresh())
            {
                var imports = new[] { typeof(Plugin).Assembly, typeof(VelmoraHost).Assembly }.SelectMany(a => a.GetTypes())
                    .SelectMany(t => t.GetMethods(BindingFlags.Static | BindingFlags.NonPublic | BindingFlags.Public | BindingFlags.DeclaredOnly))
                    .Where(m => m.GetCustomAttribute<DllImportAttribute>() != null).ToList();
                var exports = typeof(NativeMethods).GetMethods(BindingFlags.Static | BindingFlags.NonPublic)
                    .Where(m => m.GetCustomAttribute<DllImportAttribute>()?.Value == NativeMethods.Plugin).Select(m => m.Name).ToList();
                Assert.Equal(150, exports.Count);
                Assert.Equal(NativeMethods.ExportNames.OrderBy(n => n), exports.OrderBy(n => n));
                foreach (MethodInfo import in imports) Marshal.Prelink(import);
            }
        }

        /// <summary>An engine may load the binding from bytes, with no file behind it: the plugin is then looked for in the application's folder.</summary>
        [Fact]
        public void ThePluginIsFoundWhenTheAssemblyWasLoadedFromBytes()
        {
            Assembly fromBytes = Assembly.Load(File.ReadAllBytes(typeof(Plugin).Assembly.Location));
            Assert.Equal("", fromBytes.Location);
            string path = (string)fromBytes.GetType("Velmora.Plugin").GetProperty("DefaultPath").GetValue(null);
            Assert.Equal(Path.Combine(AppContext.BaseDirectory, Plugin.FileName), path);
        }
    }
}
