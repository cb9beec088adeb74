using System;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Threading.Tasks;
using Velmora;

// The binding's cost against the raw exports it calls, measured in one run on the emulator:
// accessors in ns per read (median of rounds), operations in CPU time per operation (all threads
// of the process: the emulator's platform threads included), allocations in bytes per operation.
internal static class Program
{
    private const int Rounds = 7;

    private static int Main(string[] args)
    {
        bool quick = args.Contains("--quick");
        int reads = quick ? 200_000 : 5_000_000;
        int operations = quick ? 2_000 : 50_000;
        using (var host = new VelmoraHost())
        {
            host.LoadPlugin();
            Emulator.LoadScenarioFile(Path.Combine(AppContext.BaseDirectory, "default.json"));
            Emulator.SetDefaultDelay(TimeSpan.Zero);
            using (InventoryItemsResult result = host.Run(InventoryService.GetInventoryItemsAsync(1, MediaItemType.All)))
            using (InventoryItemList items = result.Items)
            using (InventoryItem item = items[0])
            {
                IntPtr raw = item.DangerousGetHandle();
                double rawText = PerCall(reads, new RawText { Item = raw });
                double rawPointer = PerCall(reads, new RawPointer { Item = raw });
                double text = PerCall(reads, new BindingText { Item = item });
                double rawScalar = PerCall(reads, new RawScalar { Item = raw });
                double scalar = PerCall(reads, new BindingScalar { Item = item });
                double shim = PerCall(reads, new CheckedScalar { Item = raw });
                Console.WriteLine("accessor                    binding ns   raw ns   ratio   extra ns");
                Console.WriteLine("string (InventoryItem_ProductId) {0,8:F1} {1,8:F1} {2,7:F2} {3,9:F1}   (raw pointer read alone: {4:F1} ns)", text, rawText, text / rawText, text - rawText, rawPointer);
                Console.WriteLine("scalar (InventoryItem_TitleId)   {0,8:F1} {1,8:F1} {2,7:F2} {3,9:F1}   (the checked export alone: {4:F1} ns)", scalar, rawScalar, scalar / rawScalar, scalar - rawScalar, shim);
            }

            var (taskCpu, rawCpu, extraCpu) = CompareCpu(operations, () => host.Run(Store.CheckPrivilegeAsync(1, 254, false, null)), () => RawCheck(host));
            Console.WriteLine("operation (Store_CheckPrivilegeAsync)  Task: {0:F2} us CPU   raw callback: {1:F2} us CPU   extra: {2:F2} us", taskCpu, rawCpu, extraCpu);

            host.Run(Store.CheckPrivilegeAsync(1, 254, false, null));
            long before = GC.GetAllocatedBytesForCurrentThread();
            for (int i = 0; i < 1000; i++) host.Run(Store.CheckPrivilegeAsync(1, 254, false, null));
            double valueBytes = (GC.GetAllocatedBytesForCurrentThread() - before) / 1000.0;
            before = GC.GetAllocatedBytesForCurrentThread();
            for (int i = 0; i < 1000; i++) host.Run(InventoryService.GetInventoryItemsAsync(1, MediaItemType.All)).Dispose();
            double recordBytes = (GC.GetAllocatedBytesForCurrentThread() - before) / 1000.0;
            Console.WriteLine("allocations per awaited operation: privilege check {0:F0} bytes, inventory query {1:F0} bytes", valueBytes, recordBytes);
        }
        return 0;
    }

    // One reader per measurement, as a struct: each loop is compiled for its own reader, with no
    // shared delegate call site for the profile-guided JIT to specialize for the first one.
    private interface IRead
    {
        object Read();
    }

    private struct RawText : IRead { public IntPtr Item; public object Read() => Marshal.PtrToStringUni(Raw.InventoryItem_ProductId(Item)); }
    private struct RawPointer : IRead { public IntPtr Item; public object Read() { Raw.InventoryItem_ProductId(Item); return null; } }
    private struct BindingText : IRead { public InventoryItem Item; public object Read() => Item.ProductId; }
    private struct RawScalar : IRead { public IntPtr Item; public object Read() { Raw.InventoryItem_TitleId(Item); return null; } }
    private struct BindingScalar : IRead { public InventoryItem Item; public object Read() { uint id = Item.TitleId; return null; } }
    private struct CheckedScalar : IRead { public IntPtr Item; public object Read() { Raw.CheckedTitleId(Item); return null; } }

    private static double PerCall<TRead>(int calls, TRead reader) where TRead : struct, IRead
    {
        var rounds = new double[Rounds];
        for (int r = 0; r < Rounds; r++)
        {
            Stopwatch clock = Stopwatch.StartNew();
            for (int i = 0; i < calls; i++) reader.Read();
            rounds[r] = clock.Elapsed.TotalMilliseconds * 1e6 / calls;
        }
        Array.Sort(rounds);
        return rounds[Rounds / 2];
    }

    // CPU time per operation of the two ways, in alternating rounds so that both see the same
    // machine; the medians of each and of the per-round difference.
    private static (double, double, double) CompareCpu(int operations, Action binding, Action raw)
    {
        for (int i = 0; i < operations / 10; i++) { binding(); raw(); }
        var a = new double[Rounds];
        var b = new double[Rounds];
        var d = new double[Rounds];
        for (int r = 0; r < Rounds; r++)
        {
            a[r] = CpuPerOperation(operations / Rounds, binding);
            b[r] = CpuPerOperation(operations / Rounds, raw);
            d[r] = a[r] - b[r];
        }
        Array.Sort(a);
        Array.Sort(b);
        Array.Sort(d);
        return (a[Rounds / 2], b[Rounds / 2], d[Rounds / 2]);
    }

    private static double CpuPerOperation(int operations, Action run)
    {
        TimeSpan start = Process.GetCurrentProcess().TotalProcessorTime;
        for (int i = 0; i < operations; i++) run();
        return (Process.GetCurrentProcess().TotalProcessorTime - start).TotalMilliseconds * 1e3 / operations;
    }

    // The same operation through the raw export and a static callback, pumped the same way.
    private static volatile bool rawDone;

    private static void RawCheck(VelmoraHost host)
    {
        rawDone = false;
        if (!Raw.Store_CheckPrivilegeAsync(1, 254, 0, null, Raw.Callback, IntPtr.Zero)) throw new InvalidOperationException("not started");
        while (!rawDone) host.WaitAndPump(TimeSpan.FromMilliseconds(1));
    }

    private static class Raw
    {
        internal static readonly ValueCallback Callback = OnValue;

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate void ValueCallback(int hr, uint value, IntPtr userData);

        private static void OnValue(int hr, uint value, IntPtr userData) { rawDone = true; }

        [DllImport("Velmora", ExactSpelling = true)]
        internal static extern IntPtr InventoryItem_ProductId(IntPtr item);

        [DllImport("Velmora", ExactSpelling = true)]
        internal static extern uint InventoryItem_TitleId(IntPtr item);
        [DllImport("velmora_checked", ExactSpelling = true)]
        private static extern unsafe uint VelmoraChecked_InventoryItem_TitleId(IntPtr item, int* hr);

        internal static unsafe uint CheckedTitleId(IntPtr item)
        {
            int hr;
            return VelmoraChecked_InventoryItem_TitleId(item, &hr);
        }

        [DllImport("Velmora", ExactSpelling = true)]
        [return: MarshalAs(UnmanagedType.U1)]
        internal static extern bool Store_CheckPrivilegeAsync(uint userId, uint privilegeId, uint attemptResolution, [MarshalAs(UnmanagedType.LPWStr)] string friendlyDisplay, ValueCallback callback, IntPtr userData);
    }
}
