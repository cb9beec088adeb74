using System;
using System.Runtime.InteropServices;
using Velmora;
using Velmora.Testing;

/// <summary>
/// The floor the binding is measured against: P/Invoke straight to the plugin's exports, with no
/// check of a platform failure, strings copied with Marshal.PtrToStringUni, lists walked with
/// _Length and _GetAt, every reference released; results kept in the plainest classes that hold them.
/// </summary>
internal static class Raw
{
    internal sealed class BrowseResult
    {
        public Item[] Items;
        public uint TotalCount;
    }

    internal sealed class Item
    {
        public string Id, Name, ReducedName, ProductId, SandboxId;
        public int MediaItemType;
        public uint TitleId;
        public DateTime ReleaseDate;
        public Image[] Images;
        public string[] AvailabilityContentIds;
    }

    internal sealed class Image
    {
        public string Id, Purpose, ResizeUrl;
        public uint Width, Height;
        public string[] Purposes;
    }

    /// <summary>Reads a browse result whole and gives its reference back, as the binding's reader does.</summary>
    internal static BrowseResult ReadBrowse(IntPtr result)
    {
        uint count = BrowseCatalogResult_Items_Length(result);
        var items = new Item[count];
        for (uint i = 0; i < count; i++)
        {
            IntPtr item = BrowseCatalogResult_Items_GetAt(result, i);
            items[i] = ReadItem(item);
            CatalogItem_Dispose(item);
        }
        var read = new BrowseResult { Items = items, TotalCount = BrowseCatalogResult_TotalCount(result) };
        BrowseCatalogResult_Dispose(result);
        return read;
    }

    private static Item ReadItem(IntPtr item)
    {
        var read = new Item
        {
            Id = Text(CatalogItem_Id(item)),
            Name = Text(CatalogItem_Name(item)),
            ReducedName = Text(CatalogItem_ReducedName(item)),
            ProductId = Text(CatalogItem_ProductId(item)),
            SandboxId = Text(CatalogItem_SandboxId(item)),
            MediaItemType = CatalogItem_MediaItemType(item),
            TitleId = CatalogItem_TitleId(item),
            ReleaseDate = Date(CatalogItem_ReleaseDate(item)),
        };
        IntPtr images = CatalogItem_Images(item);
        read.Images = new Image[CatalogItem_Images_Length(images)];
        for (uint i = 0; i < read.Images.Length; i++)
        {
            IntPtr image = CatalogItem_Images_GetAt(images, i);
            read.Images[i] = ReadImage(image);
            CatalogItemImage_Dispose(image);
        }
        CatalogItem_Images_Dispose(images);
        IntPtr ids = CatalogItem_AvailabilityContentIds(item);
        read.AvailabilityContentIds = new string[CatalogItem_AvailabilityContentIds_Length(ids)];
        for (uint i = 0; i < read.AvailabilityContentIds.Length; i++) read.AvailabilityContentIds[i] = Text(CatalogItem_AvailabilityContentIds_GetAt(ids, i));
        CatalogItem_AvailabilityContentIds_Dispose(ids);
        return read;
    }

    private static Image ReadImage(IntPtr image)
    {
        var read = new Image
        {
            Id = Text(CatalogItemImage_Id(image)),
            Purpose = Text(CatalogItemImage_Purpose(image)),
            ResizeUrl = Text(CatalogItemImage_ResizeUrl(image)),
            Width = CatalogItemImage_Width(image),
            Height = CatalogItemImage_Height(image),
        };
        IntPtr purposes = CatalogItemImage_Purposes(image);
        read.Purposes = new string[CatalogItemImage_Purposes_Length(purposes)];
        for (uint i = 0; i < read.Purposes.Length; i++) read.Purposes[i] = Text(CatalogItemImage_Purposes_GetAt(purposes, i));
        CatalogItemImage_Purposes_Dispose(purposes);
        return read;
    }

    private static string Text(IntPtr text) => Marshal.PtrToStringUni(text);

    // The plugin answers managed ticks; past DateTime's range, its bounds.
    private static DateTime Date(long ticks) =>
        ticks <= 0 ? DateTime.MinValue : ticks >= DateTime.MaxValue.Ticks ? DateTime.MaxValue : new DateTime(ticks, DateTimeKind.Utc);

    // ---- operations started through the raw exports, delivered by the host like the binding's

    private static readonly ObjectCallback KeepBrowse = OnBrowseKept;
    private static readonly ObjectCallback ReadBrowseDelivered = OnBrowseRead;
    private static readonly ValueCallback PrivilegeDelivered = OnPrivilege;
    private static volatile bool delivered;
    private static IntPtr kept;
    private static int keptHr;

    /// <summary>A browse of the 100 items, delivered by the host: its result, with the one reference it carries.</summary>
    internal static IntPtr DeliveredBrowse()
    {
        StartBrowse(KeepBrowse);
        if (keptHr < 0 || kept == IntPtr.Zero) throw new InvalidOperationException("the browse delivered " + HResults.Describe(keptHr) + " and no result");
        return kept;
    }

    /// <summary>A browse of the 100 items, read whole through the raw exports in the host's delivery.</summary>
    internal static void BrowseAndRead() { StartBrowse(ReadBrowseDelivered); }

    /// <summary>A privilege check through the raw export and a static callback, pumped as the binding's task is.</summary>
    internal static void CheckPrivilege()
    {
        delivered = false;
        if (!Store_CheckPrivilegeAsync(Session.User, 254, 0, null, PrivilegeDelivered, IntPtr.Zero)) throw new InvalidOperationException("the privilege check did not start");
        Pump();
    }

    private static void StartBrowse(ObjectCallback callback)
    {
        delivered = false;
        if (!CatalogService_BrowseCatalogAsync(Session.User, Session.ParentId, (int)MediaItemType.Game, (int)MediaItemType.All, 0, 0, Session.Children, callback, IntPtr.Zero))
            throw new InvalidOperationException("the browse did not start");
        Pump();
    }

    private static void Pump()
    {
        VelmoraHost host = Session.Host;
        while (!delivered) host.WaitAndPump(TimeSpan.FromMilliseconds(1));
    }

    private static void OnBrowseKept(int hr, IntPtr result, IntPtr userData)
    {
        keptHr = hr;
        kept = result;
        delivered = true;
    }

    private static void OnBrowseRead(int hr, IntPtr result, IntPtr userData)
    {
        if (result != IntPtr.Zero) GC.KeepAlive(ReadBrowse(result));
        delivered = true;
    }

    private static void OnPrivilege(int hr, uint value, IntPtr userData) { delivered = true; }

    // ---- the exports

    private const string Plugin = "Velmora";

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void ObjectCallback(int hr, IntPtr result, IntPtr userData);

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void ValueCallback(int hr, uint value, IntPtr userData);

#pragma warning disable IDE1006 // the exports' own names
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    private static extern bool CatalogService_BrowseCatalogAsync(uint userId, [MarshalAs(UnmanagedType.LPWStr)] string parentId, int parentMediaType, int childMediaType,
                                                                 int sortOrder, uint skipItems, uint maxItems, ObjectCallback callback, IntPtr userData);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    private static extern bool Store_CheckPrivilegeAsync(uint userId, uint privilegeId, uint attemptResolution, [MarshalAs(UnmanagedType.LPWStr)] string friendlyDisplay,
                                                         ValueCallback callback, IntPtr userData);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern uint BrowseCatalogResult_TotalCount(IntPtr result);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern uint BrowseCatalogResult_Items_Length(IntPtr result);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr BrowseCatalogResult_Items_GetAt(IntPtr result, uint index);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    internal static extern void BrowseCatalogResult_Dispose(IntPtr result);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItem_Id(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItem_Name(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItem_ReducedName(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItem_ProductId(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItem_SandboxId(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern int CatalogItem_MediaItemType(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern uint CatalogItem_TitleId(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern long CatalogItem_ReleaseDate(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItem_Images(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern uint CatalogItem_Images_Length(IntPtr images);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItem_Images_GetAt(IntPtr images, uint index);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern void CatalogItem_Images_Dispose(IntPtr images);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItem_AvailabilityContentIds(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern uint CatalogItem_AvailabilityContentIds_Length(IntPtr ids);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItem_AvailabilityContentIds_GetAt(IntPtr ids, uint index);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern void CatalogItem_AvailabilityContentIds_Dispose(IntPtr ids);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern void CatalogItem_Dispose(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItemImage_Id(IntPtr image);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItemImage_Purpose(IntPtr image);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItemImage_ResizeUrl(IntPtr image);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern uint CatalogItemImage_Width(IntPtr image);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern uint CatalogItemImage_Height(IntPtr image);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItemImage_Purposes(IntPtr image);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern uint CatalogItemImage_Purposes_Length(IntPtr purposes);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern IntPtr CatalogItemImage_Purposes_GetAt(IntPtr purposes, uint index);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern void CatalogItemImage_Purposes_Dispose(IntPtr purposes);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    private static extern void CatalogItemImage_Dispose(IntPtr image);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    internal static extern IntPtr InventoryItem_ProductId(IntPtr item);
    [DllImport(Plugin, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
    internal static extern uint InventoryItem_TitleId(IntPtr item);
#pragma warning restore IDE1006
}
