using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using Xunit;

namespace Velmora.Tests
{
    public class RawLayerTests
    {
        /// <summary>Every P/Invoke of the binding names a function the native libraries export.</summary>
        [Fact]
        public void EveryImportResolves()
        {
            using (new Fresh())
            {
                var imports = typeof(VelmoraHost).Assembly.GetTypes()
                    .SelectMany(t => t.GetMethods(BindingFlags.Static | BindingFlags.NonPublic | BindingFlags.Public | BindingFlags.DeclaredOnly))
                    .Where(m => m.GetCustomAttribute<DllImportAttribute>() != null).ToList();
                var exports = typeof(NativeMethods).GetMethods(BindingFlags.Static | BindingFlags.NonPublic)
                    .Where(m => m.GetCustomAttribute<DllImportAttribute>()?.Value == NativeMethods.Plugin).Select(m => m.Name).ToList();
                Assert.Equal(NativeMethods.ExportCount, exports.Count);
                Assert.Equal(NativeMethods.ExportNames.OrderBy(n => n), exports.OrderBy(n => n));
                foreach (MethodInfo import in imports) Marshal.Prelink(import);
            }
        }
    }
}
