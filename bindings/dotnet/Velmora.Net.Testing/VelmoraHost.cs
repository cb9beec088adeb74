using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Runtime.InteropServices;
using System.Threading.Tasks;

namespace Velmora.Testing
{
    /// <summary>
    /// The reference host: what a game engine does for the plugin, for tests, tools and the demo. It
    /// loads the plugin, keeps its event queue and delivers the events when pumped, once per frame, on
    /// the pumping thread: every task of the binding completes there, and every notification handler
    /// runs there. One host may be alive at a time.
    /// <para>
    /// The plugin keeps the first queue it was given for the life of the process, so the native host
    /// behind this class is made once and outlives every <see cref="VelmoraHost"/>: a new one attaches
    /// to it, and its <see cref="LoadPlugin"/> binds the plugin loaded the first time. Disposing a
    /// host unbinds the plugin (every pending operation ends at once as cancelled, every notification
    /// handler goes) and delivers what is queued, which only gives references back. Create, load,
    /// play, dispose: as often as an editor or a test fixture needs.
    /// </para>
    /// </summary>
    public sealed class VelmoraHost : IDisposable
    {
        private const string Library = "velmora_host";
        private static readonly object Gate = new object();
        private static IntPtr native;
        private static string loadedPath;
        private static VelmoraHost current;
        private bool disposed;

        /// <summary>A new host; with <paramref name="synchronousDelivery"/>, events are delivered inside the plugin's send, on whatever thread sent them.</summary>
        /// <exception cref="InvalidOperationException">Another host is alive.</exception>
        public VelmoraHost(bool synchronousDelivery = false)
        {
            int delivery = synchronousDelivery ? 1 : 0;
            lock (Gate)
            {
                if (current != null) throw new InvalidOperationException("a VelmoraHost is alive already: dispose it before creating another (one host at a time, as one engine)");
                if (native == IntPtr.Zero)
                {
                    native = velmora_host_create(delivery);
                    if (native == IntPtr.Zero) throw Failure("cannot create the host");
                }
                else if (velmora_host_set_delivery(native, delivery) == 0)
                {
                    throw Failure("cannot set the delivery mode");
                }
                current = this;
            }
            Emulator.TellTheBindingWhoIsSignedIn();
        }

        /// <summary>
        /// Loads the plugin (by default <see cref="Plugin.DefaultPath"/>) and binds the binding to it.
        /// The first host of the process loads it; a later host binds the same plugin again.
        /// </summary>
        /// <exception cref="InvalidOperationException">The host was disposed, or a plugin from another path was loaded before.</exception>
        /// <exception cref="VelmoraException">The plugin does not load.</exception>
        public void LoadPlugin(string path = null)
        {
            EnsureAlive();
            path = Path.GetFullPath(path ?? Plugin.DefaultPath);
            lock (Gate)
            {
                if (loadedPath == null)
                {
                    if (velmora_host_load(native, Utf8.Bytes(path), 0) == 0) throw Failure("cannot load " + path);
                    loadedPath = path;
                }
                else if (loadedPath != path)
                {
                    throw new InvalidOperationException("the plugin was loaded from " + loadedPath + " and stays loaded for the life of the process: load that same file, not " + path);
                }
            }
            Plugin.Bind(path);
        }

        /// <summary>Delivers the events queued now; answers how many.</summary>
        public int Pump()
        {
            EnsureAlive();
            return checked((int)velmora_host_pump(native).ToUInt64());
        }

        /// <summary>Waits up to the timeout for an event, then pumps; true when events were delivered.</summary>
        public bool WaitAndPump(TimeSpan timeout)
        {
            EnsureAlive();
            return velmora_host_wait_and_pump(native, (uint)Math.Max(0, Math.Min(uint.MaxValue, timeout.TotalMilliseconds))) != 0;
        }

        /// <summary>Pumps until the task completes (at most the timeout, 10 s by default), then answers its result or raises its failure.</summary>
        /// <exception cref="TimeoutException">The task did not complete in time.</exception>
        public T Run<T>(Task<T> task, TimeSpan? timeout = null)
        {
            Run((Task)task, timeout);
            return task.GetAwaiter().GetResult();
        }

        /// <summary>Pumps until the task completes (at most the timeout, 10 s by default), then raises its failure if it failed.</summary>
        /// <exception cref="TimeoutException">The task did not complete in time.</exception>
        public void Run(Task task, TimeSpan? timeout = null)
        {
            if (task == null) throw new ArgumentNullException(nameof(task));
            TimeSpan limit = timeout ?? TimeSpan.FromSeconds(10);
            Stopwatch clock = Stopwatch.StartNew();
            while (!task.IsCompleted)
            {
                if (clock.Elapsed > limit) throw new TimeoutException("the operation did not complete within " + limit + ": is it scripted to wait, or held by a fault?");
                WaitAndPump(TimeSpan.FromMilliseconds(1));
            }
            task.GetAwaiter().GetResult();
        }

        /// <summary>The lines the plugin logged in this process, oldest first (it logs one line, when it is first loaded).</summary>
        public IReadOnlyList<LogLine> LogLines()
        {
            EnsureAlive();
            var lines = new List<LogLine>();
            ulong count = velmora_host_log_line_count(native).ToUInt64();
            for (ulong i = 0; i < count; i++)
                lines.Add(new LogLine(Read(velmora_host_log_tag, new UIntPtr(i)), Read(velmora_host_log_line, new UIntPtr(i))));
            return lines;
        }

        private delegate UIntPtr LogField(IntPtr host, UIntPtr index, byte[] buffer, UIntPtr capacity);

        private static string Read(LogField field, UIntPtr index)
        {
            ulong length = field(native, index, null, UIntPtr.Zero).ToUInt64();
            var buffer = new byte[length + 1];
            field(native, index, buffer, new UIntPtr((ulong)buffer.Length));
            return System.Text.Encoding.UTF8.GetString(buffer, 0, (int)length);
        }

        /// <summary>
        /// Unbinds the plugin (every pending operation ends at once as cancelled, every notification
        /// handler is removed) and delivers what is queued, which only gives references back. The
        /// plugin stays loaded for the next host. A second call does nothing.
        /// </summary>
        public void Dispose()
        {
            if (disposed) return;
            disposed = true;
            Plugin.UnbindBecause("the VelmoraHost was disposed");
            while (velmora_host_pump(native).ToUInt64() > 0) { }
            lock (Gate) current = null;
        }

        private void EnsureAlive()
        {
            if (disposed) throw new ObjectDisposedException(nameof(VelmoraHost), "this host was disposed: create a new VelmoraHost and call its LoadPlugin()");
        }

        private static VelmoraException Failure(string what)
        {
            return new VelmoraException(what + ": " + Utf8.Text(velmora_host_last_error()), HResults.Fail, null);
        }

#pragma warning disable IDE1006 // the C interface's own names
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern IntPtr velmora_host_create(int delivery);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_host_set_delivery(IntPtr host, int delivery);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_host_load(IntPtr host, byte[] path, int freshCopy);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern UIntPtr velmora_host_pump(IntPtr host);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_host_wait_and_pump(IntPtr host, uint timeoutMs);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern UIntPtr velmora_host_log_line_count(IntPtr host);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern UIntPtr velmora_host_log_line(IntPtr host, UIntPtr index, byte[] buffer, UIntPtr capacity);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern UIntPtr velmora_host_log_tag(IntPtr host, UIntPtr index, byte[] buffer, UIntPtr capacity);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern IntPtr velmora_host_last_error();
#pragma warning restore IDE1006
    }

    /// <summary>One line of the plugin's log: the tag it was written under, and its text.</summary>
    public sealed class LogLine
    {
        internal LogLine(string tag, string text)
        {
            Tag = tag;
            Text = text;
        }

        /// <summary>The tag ("Velmora").</summary>
        public string Tag { get; }

        /// <summary>The text, formatted.</summary>
        public string Text { get; }

        /// <summary>"[tag] text", as the host prints it.</summary>
        public override string ToString() => "[" + Tag + "] " + Text;
    }
}
