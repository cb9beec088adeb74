using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Runtime.InteropServices;
using System.Threading.Tasks;

namespace Velmora
{
    /// <summary>
    /// The reference host: what a game engine does for the plugin, for tests, tools and the demo. It
    /// loads the plugin, keeps its event queue and delivers the events when pumped, once per frame,
    /// on the pumping thread: every task of the binding completes there, and every notification
    /// handler runs there. One host may exist at a time.
    /// </summary>
    public sealed class VelmoraHost : IDisposable
    {
        private const string Library = "velmora_host";
        private readonly HostHandle host;

        /// <summary>A new host; with synchronousDelivery, events are delivered inside the plugin's send, on whatever thread sent them.</summary>
        public VelmoraHost(bool synchronousDelivery = false)
        {
            host = velmora_host_create(synchronousDelivery ? 1 : 0);
            if (host.IsInvalid) throw Failure("cannot create the host");
        }

        /// <summary>Loads the plugin (by default <see cref="Plugin.DefaultPath"/>) and binds the checked exports to it.</summary>
        public void LoadPlugin(string path = null)
        {
            path = path ?? Plugin.DefaultPath;
            if (velmora_host_load(host, Utf8.Bytes(path), 0) == 0) throw Failure("cannot load " + path);
            Plugin.Bind(path);
        }

        /// <summary>Delivers the events queued now; answers how many.</summary>
        public int Pump() { return checked((int)velmora_host_pump(host).ToUInt64()); }

        /// <summary>Waits up to the timeout for an event, then pumps; true when events were delivered.</summary>
        public bool WaitAndPump(TimeSpan timeout)
        {
            return velmora_host_wait_and_pump(host, (uint)Math.Max(0, Math.Min(uint.MaxValue, timeout.TotalMilliseconds))) != 0;
        }

        /// <summary>Pumps until the task completes (at most the timeout, 10 s by default), then answers its result or raises its failure.</summary>
        public T Run<T>(Task<T> task, TimeSpan? timeout = null)
        {
            Run((Task)task, timeout);
            return task.GetAwaiter().GetResult();
        }

        /// <summary>Pumps until the task completes (at most the timeout, 10 s by default), then raises its failure if it failed.</summary>
        public void Run(Task task, TimeSpan? timeout = null)
        {
            if (task == null) throw new ArgumentNullException(nameof(task));
            TimeSpan limit = timeout ?? TimeSpan.FromSeconds(10);
            Stopwatch clock = Stopwatch.StartNew();
            while (!task.IsCompleted)
            {
                if (clock.Elapsed > limit) throw new TimeoutException("the operation did not complete within " + limit);
                WaitAndPump(TimeSpan.FromMilliseconds(1));
            }
            task.GetAwaiter().GetResult();
        }

        /// <summary>The lines the plugin logged, oldest first.</summary>
        public IReadOnlyList<LogLine> LogLines()
        {
            var lines = new List<LogLine>();
            ulong count = velmora_host_log_line_count(host).ToUInt64();
            for (ulong i = 0; i < count; i++)
                lines.Add(new LogLine(Read(velmora_host_log_tag, new UIntPtr(i)), Read(velmora_host_log_line, new UIntPtr(i))));
            return lines;
        }

        private delegate UIntPtr LogField(HostHandle host, UIntPtr index, byte[] buffer, UIntPtr capacity);

        private string Read(LogField field, UIntPtr index)
        {
            ulong length = field(host, index, null, UIntPtr.Zero).ToUInt64();
            var buffer = new byte[length + 1];
            field(host, index, buffer, new UIntPtr((ulong)buffer.Length));
            return System.Text.Encoding.UTF8.GetString(buffer, 0, (int)length);
        }

        /// <summary>Unloads the plugin and destroys the host.</summary>
        public void Dispose() { host.Dispose(); }

        private static VelmoraException Failure(string what)
        {
            return new VelmoraException(what + ": " + Utf8.Text(velmora_host_last_error()), VelmoraException.UnspecifiedFailure, null);
        }

        private sealed class HostHandle : SafeHandle
        {
            private HostHandle() : base(IntPtr.Zero, true) { }

            public override bool IsInvalid => handle == IntPtr.Zero;

            protected override bool ReleaseHandle()
            {
                velmora_host_destroy(handle);
                return true;
            }
        }

#pragma warning disable IDE1006 // the C interface's own names
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern HostHandle velmora_host_create(int delivery);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern void velmora_host_destroy(IntPtr host);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_host_load(HostHandle host, byte[] path, int freshCopy);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern UIntPtr velmora_host_pump(HostHandle host);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_host_wait_and_pump(HostHandle host, uint timeoutMs);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern UIntPtr velmora_host_log_line_count(HostHandle host);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern UIntPtr velmora_host_log_line(HostHandle host, UIntPtr index, byte[] buffer, UIntPtr capacity);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern UIntPtr velmora_host_log_tag(HostHandle host, UIntPtr index, byte[] buffer, UIntPtr capacity);
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
