using System;
using System.Runtime.InteropServices;
using BenchmarkDotNet.Attributes;
using BenchmarkDotNet.Configs;
using Velmora;
using Velmora.Interop;

/// <summary>
/// Reading a delivered 100-item browse into plain data: Velmora's reader (what the binding runs in
/// the host's delivery) against the same reads through the raw exports. Each invocation reads a
/// result of its own, delivered by the host before the iteration, and gives its reference back.
/// </summary>
[MemoryDiagnoser]
[InvocationCount(Invocations, 1)]
public class BrowseRead
{
    internal const int Invocations = 32;
    private readonly IntPtr[] results = new IntPtr[Invocations];
    private int next;

    [IterationSetup]
    public void Deliver()
    {
        for (int i = 0; i < Invocations; i++) results[i] = Raw.DeliveredBrowse();
        next = 0;
    }

    [IterationCleanup]
    public void ReleaseUnread()
    {
        while (next < Invocations) Raw.BrowseCatalogResult_Dispose(results[next++]);
    }

    [Benchmark(Baseline = true)]
    public object RawExports() => Raw.ReadBrowse(results[next++]);

    [Benchmark]
    public object Velmora() => Session.PlainBrowseReader(results[next++]);
}

/// <summary>A property of the handle-level API (Velmora.Interop) against a raw P/Invoke of the same export.</summary>
[MemoryDiagnoser]
[GroupBenchmarksBy(BenchmarkLogicalGroupRule.ByCategory)]
[CategoriesColumn]
public class Accessors
{
    private InventoryItemsResultHandle result;
    private InventoryItemListHandle items;
    private InventoryItemHandle item;
    private IntPtr raw;

    [GlobalSetup]
    public void Query()
    {
        result = Session.Await(NativeInventoryService.GetInventoryItemsAsync(Session.User, MediaItemType.All));
        items = result.Items;
        item = items[0];
        raw = item.DangerousGetHandle();
    }

    [GlobalCleanup]
    public void Release()
    {
        item.Dispose();
        items.Dispose();
        result.Dispose();
    }

    [Benchmark(Baseline = true), BenchmarkCategory("string")]
    public string RawProductId() => Marshal.PtrToStringUni(Raw.InventoryItem_ProductId(raw));

    [Benchmark, BenchmarkCategory("string")]
    public string HandleProductId() => item.ProductId;

    [Benchmark(Baseline = true), BenchmarkCategory("scalar")]
    public uint RawTitleId() => Raw.InventoryItem_TitleId(raw);

    [Benchmark, BenchmarkCategory("scalar")]
    public uint HandleTitleId() => item.TitleId;
}

/// <summary>
/// Whole operations, started and pumped until the host delivers them, one at a time: the binding's
/// Task against the raw export with a static callback, pumped the same way.
/// </summary>
[MemoryDiagnoser]
[GroupBenchmarksBy(BenchmarkLogicalGroupRule.ByCategory)]
[CategoriesColumn]
public class Operations
{
    [Benchmark(Baseline = true), BenchmarkCategory("privilege check")]
    public void RawPrivilegeCheck() => Raw.CheckPrivilege();

    [Benchmark, BenchmarkCategory("privilege check")]
    public PrivilegeCheckResult PrivilegeCheck() => Session.Await(Store.CheckPrivilegeAsync(Session.User, 254, false, null));

    [Benchmark, BenchmarkCategory("inventory query")]
    public InventoryItemsResult InventoryQuery() => Session.Await(InventoryService.GetInventoryItemsAsync(Session.User, MediaItemType.All));
}
