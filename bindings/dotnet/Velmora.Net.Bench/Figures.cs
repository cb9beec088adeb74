using System;
using System.Collections.ObjectModel;
using System.Diagnostics;
using System.Linq;
using BenchmarkDotNet.Reports;
using Velmora;

/// <summary>The figures docs/performance.md quotes, from BenchmarkDotNet's reports of this run and two measurements of its own.</summary>
internal static class Figures
{
    private const int Rounds = 7;

    internal static bool Print(BenchmarkReport[] reports, bool quick)
    {
        string[] failed = new[]
        {
            nameof(BrowseRead.Velmora), nameof(BrowseRead.RawExports),
            nameof(Accessors.HandleProductId), nameof(Accessors.RawProductId), nameof(Accessors.HandleTitleId), nameof(Accessors.RawTitleId),
            nameof(Operations.PrivilegeCheck), nameof(Operations.RawPrivilegeCheck), nameof(Operations.InventoryQuery),
        }.Where(name => Find(reports, name)?.ResultStatistics == null).ToArray();
        if (failed.Length > 0)
        {
            Console.Error.WriteLine("error: no result for " + string.Join(", ", failed) + " (see BenchmarkDotNet's log above)");
            return false;
        }

        Console.WriteLine();
        Console.WriteLine("== figures" + (quick ? " (--quick: they only prove the benchmark runs)" : ""));
        double plain = Median(reports, nameof(BrowseRead.Velmora)), raw = Median(reports, nameof(BrowseRead.RawExports));
        Console.WriteLine("browse read into plain data, {0} items with images and content ids: Velmora {1:F1} us, raw exports {2:F1} us: {3:F2}x (target at most 1.3x)",
                          Session.Children, plain / 1e3, raw / 1e3, plain / raw);
        long plainBytes = Bytes(reports, nameof(BrowseRead.Velmora)), rawBytes = Bytes(reports, nameof(BrowseRead.RawExports)), wrapper = WrapperBytes();
        int lists = ListsIn(Session.PlainBrowseReader(Raw.DeliveredBrowse()));
        Console.WriteLine("  allocated per read: Velmora {0:N0} bytes, raw exports {1:N0} bytes; Velmora answers {2} lists behind read-only wrappers of {3} bytes, so {4:N0} bytes went to anything but its answer",
                          plainBytes, rawBytes, lists, wrapper, plainBytes - rawBytes - lists * wrapper);

        Console.WriteLine("accessor (Velmora.Interop handle)   binding ns   raw ns   ratio   extra ns");
        Accessor(reports, "string (InventoryItem_ProductId)", nameof(Accessors.HandleProductId), nameof(Accessors.RawProductId));
        Accessor(reports, "scalar (InventoryItem_TitleId)  ", nameof(Accessors.HandleTitleId), nameof(Accessors.RawTitleId));

        var (taskCpu, rawCpu, extraCpu) = CompareCpu(quick ? 2_000 : 50_000, () => new Operations().PrivilegeCheck(), Raw.CheckPrivilege);
        Console.WriteLine("operation (Store_CheckPrivilegeAsync)  Task: {0:F2} us CPU   raw callback: {1:F2} us CPU   extra: {2:F2} us", taskCpu, rawCpu, extraCpu);
        BrowseCatalogRequest browse = Session.Browse;
        var (plainCpu, rawBrowseCpu, extraBrowseCpu) = CompareCpu(quick ? 140 : 2_100, () => Session.Await(CatalogService.BrowseCatalogAsync(Session.User, browse)), Raw.BrowseAndRead);
        Console.WriteLine("browse of {0} items, delivered and read  Task: {1:F1} us CPU   raw callback: {2:F1} us CPU   extra: {3:F1} us ({4:F2}x)",
                          Session.Children, plainCpu, rawBrowseCpu, extraBrowseCpu, plainCpu / rawBrowseCpu);
        Console.WriteLine("allocations per awaited operation: privilege check {0:N0} bytes, inventory query {1:N0} bytes (its plain result of 2 items included)",
                          Bytes(reports, nameof(Operations.PrivilegeCheck)), Bytes(reports, nameof(Operations.InventoryQuery)));
        return true;
    }

    private static BenchmarkReport Find(BenchmarkReport[] reports, string method) =>
        reports.FirstOrDefault(r => r.BenchmarkCase.Descriptor.WorkloadMethod.Name == method);

    private static double Median(BenchmarkReport[] reports, string method) => Find(reports, method).ResultStatistics.Median;

    private static long Bytes(BenchmarkReport[] reports, string method)
    {
        BenchmarkReport report = Find(reports, method);
        return report.GcStats.GetBytesAllocatedPerOperation(report.BenchmarkCase) ?? -1;
    }

    private static void Accessor(BenchmarkReport[] reports, string what, string binding, string raw)
    {
        double b = Median(reports, binding), r = Median(reports, raw);
        Console.WriteLine("{0}     {1,8:F1} {2,8:F1} {3,7:F2} {4,9:F1}", what, b, r, b / r, b - r);
    }

    // The raw reader keeps its answer in classes of the same fields as Velmora's and in bare arrays;
    // Velmora answers each list behind a read-only wrapper. What it allocates beyond the raw reader
    // and those wrappers is what it allocates beyond its answer.
    private static int ListsIn(BrowseCatalogResult answer) => 1 + answer.Items.Sum(item => 2 + item.Images.Count);

    private static long WrapperBytes()
    {
        var list = new string[1];
        long before = GC.GetAllocatedBytesForCurrentThread();
        var wrapper = new ReadOnlyCollection<string>(list);
        long bytes = GC.GetAllocatedBytesForCurrentThread() - before;
        GC.KeepAlive(wrapper);
        return bytes;
    }

    // CPU time of the whole process (the emulator's platform threads included) per operation, in
    // alternating rounds so that both see the same machine: the medians of each and of the difference.
    private static (double, double, double) CompareCpu(int operations, Action binding, Action raw)
    {
        for (int i = 0; i < operations / 10; i++)
        {
            binding();
            raw();
        }
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
}
