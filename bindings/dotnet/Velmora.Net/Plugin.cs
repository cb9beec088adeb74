using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;
using Velmora.Interop;

namespace Velmora
{
    /// <summary>
    /// The native plugin as managed code finds it. The host engine loads the plugin once for the
    /// process; the binding is then bound to it with <see cref="Bind"/> and, when the game stops
    /// (an editor leaving play mode, a test fixture's end), unbound with <see cref="Unbind"/>, which
    /// ends every pending operation at once. A later <see cref="Bind"/> starts again on the same
    /// plugin. While no plugin is bound, every call that needs it raises
    /// <see cref="InvalidOperationException"/> and never reaches native code.
    /// (<c>VelmoraHost</c> of Velmora.Net.Testing binds and unbinds for tests.)
    /// </summary>
    public static class Plugin
    {
        private static string boundPath;
        private static string unboundBecause;

        /// <summary>The plugin's file name on this system.</summary>
        public static string FileName =>
            RuntimeInformation.IsOSPlatform(OSPlatform.Windows) ? "Velmora.dll" : "libVelmora.so";

        /// <summary>
        /// The plugin next to this assembly, or in its package's native folder for this runtime; the
        /// application's base directory stands for the assembly's when the assembly was loaded from
        /// bytes. The bare file name when neither exists.
        /// </summary>
        public static string DefaultPath
        {
            get
            {
                string location = typeof(Plugin).Assembly.Location;
                string directory = string.IsNullOrEmpty(location) ? AppContext.BaseDirectory : Path.GetDirectoryName(location);
                string rid = RuntimeInformation.IsOSPlatform(OSPlatform.Windows) ? "win-x64" : "linux-x64";
                foreach (string candidate in new[] { Path.Combine(directory, FileName), Path.Combine(directory, "runtimes", rid, "native", FileName) })
                    if (File.Exists(candidate)) return candidate;
                return FileName;
            }
        }

        /// <summary>Whether the binding is bound to a loaded plugin.</summary>
        public static bool IsBound => Operations.Bound;

        /// <summary>
        /// Binds the binding to the plugin library at <paramref name="path"/>, which the host has
        /// loaded already. Binding again to the same plugin after <see cref="Unbind"/> starts afresh;
        /// the plugin stays loaded for the process, so another path is refused.
        /// </summary>
        /// <exception cref="ArgumentNullException"><paramref name="path"/> is null.</exception>
        /// <exception cref="InvalidOperationException">Another plugin file was bound before in this process.</exception>
        /// <exception cref="VelmoraException">The file is not the plugin, or lacks an export.</exception>
        public static void Bind(string path)
        {
            if (path == null) throw new ArgumentNullException(nameof(path));
            string full = Path.GetFullPath(path);
            if (boundPath != null && boundPath != full)
                throw new InvalidOperationException("the plugin was bound from " + boundPath + " in this process and stays loaded for its life: bind that same file, not " + full);
            if (VelmoraChecked_Bind(Utf8.Bytes(path)) == 0)
                throw new VelmoraException("cannot bind the checked exports to " + path + ": " + Utf8.Text(VelmoraChecked_LastError()), HResults.Fail, null);
            boundPath = full;
            Operations.Bind();
        }

        /// <summary>
        /// Unbinds the binding: every pending operation ends at once as cancelled (a completion that
        /// arrives for it later is dropped, its result given back), every notification handler is
        /// removed, and every later call raises <see cref="InvalidOperationException"/> until the next
        /// <see cref="Bind"/>. Does nothing when no plugin is bound.
        /// </summary>
        public static void Unbind() { UnbindBecause("Plugin.Unbind was called"); }

        internal static void UnbindBecause(string because)
        {
            if (!Operations.Bound) return;
            unboundBecause = because;
            Operations.Unbind();
            Notifications.RemoveAll();
        }

        /// <summary>The plugin's own version number.</summary>
        public static int Version
        {
            get
            {
                EnsureBound();
                return NativeMethods.GetPluginVersion();
            }
        }

        /// <summary>True once a host has loaded the plugin (it then has its user manager and log, or will).</summary>
        public static bool IsFullyInitialized
        {
            get
            {
                EnsureBound();
                return NativeMethods.AmFullyInitialized();
            }
        }

        internal static void EnsureBound() { EnsureBound(Operations.Bound); }

        internal static void EnsureBound(bool bound)
        {
            if (bound) return;
            throw new InvalidOperationException(unboundBecause == null
                ? "Velmora: no plugin is bound. In a game, call Plugin.Bind(path) once the engine has loaded the plugin; in a test, create a VelmoraHost (Velmora.Net.Testing) and call its LoadPlugin() first."
                : "Velmora: no plugin is bound (" + unboundBecause + "). Create a new VelmoraHost and call its LoadPlugin(), or call Plugin.Bind(path) again, before using the services.");
        }

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
