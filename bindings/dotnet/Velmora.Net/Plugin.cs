using System;
using System.IO;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text;

namespace Velmora
{
    /// <summary>
    /// The native plugin as managed code finds it. The host engine loads the plugin; before the first
    /// property read the binding's checked-exports shim must be bound to that same library with
    /// <see cref="Bind"/> (<see cref="VelmoraHost.LoadPlugin"/> does it for the reference host).
    /// </summary>
    public static class Plugin
    {
        /// <summary>The plugin's file name on this system.</summary>
        public static string FileName =>
            RuntimeInformation.IsOSPlatform(OSPlatform.Windows) ? "Velmora.dll" : "libVelmora.so";

        /// <summary>
        /// The plugin next to this assembly, or in its package's native folder for this runtime;
        /// the bare file name when neither exists.
        /// </summary>
        public static string DefaultPath
        {
            get
            {
                string directory = Path.GetDirectoryName(typeof(Plugin).GetTypeInfo().Assembly.Location) ?? ".";
                string rid = RuntimeInformation.IsOSPlatform(OSPlatform.Windows) ? "win-x64" : "linux-x64";
                foreach (string candidate in new[] { Path.Combine(directory, FileName), Path.Combine(directory, "runtimes", rid, "native", FileName) })
                    if (File.Exists(candidate)) return candidate;
                return FileName;
            }
        }

        /// <summary>Binds the checked-exports shim to the plugin library at <paramref name="path"/>, loaded already by the host.</summary>
        public static void Bind(string path)
        {
            if (path == null) throw new ArgumentNullException(nameof(path));
            if (VelmoraChecked_Bind(Utf8.Bytes(path)) == 0)
                throw new VelmoraException("cannot bind the checked exports: " + Utf8.Text(VelmoraChecked_LastError()), VelmoraException.UnspecifiedFailure, null);
        }

        /// <summary>The plugin's own version number.</summary>
        public static int Version => NativeMethods.GetPluginVersion();

        /// <summary>True once the plugin has its user manager and log.</summary>
        public static bool IsFullyInitialized => NativeMethods.AmFullyInitialized();

        [DllImport(NativeMethods.Checked, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int VelmoraChecked_Bind(byte[] path);

        [DllImport(NativeMethods.Checked, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern IntPtr VelmoraChecked_LastError();
    }

    /// <summary>UTF-8 texts of the project's C interfaces, by hand: netstandard2.0 has no UTF-8 marshalling of its own.</summary>
    internal static class Utf8
    {
        internal static byte[] Bytes(string text)
        {
            if (text == null) return null;
            var bytes = new byte[Encoding.UTF8.GetByteCount(text) + 1];
            Encoding.UTF8.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

        internal static string Text(IntPtr text)
        {
            if (text == IntPtr.Zero) return null;
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0) length++;
            var bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }
    }
}
