using System;
using System.Collections.Generic;
using System.Threading.Tasks;
using static Velmora.Interop.NativeMethods;

namespace Velmora.Interop
{
    /// <summary>
    /// The inventory operations at the level of platform objects: each result is a
    /// <see cref="System.Runtime.InteropServices.SafeHandle"/> that holds the plugin's reference until
    /// disposed. For game code, <see cref="InventoryService"/> answers plain data instead. Outcomes
    /// follow the same model: a failure faults the task, no result cancels it.
    /// </summary>
    public static class NativeInventoryService
    {
        /// <summary>The user's items of one media type.</summary>
        public static Task<InventoryItemsResultHandle> GetInventoryItemsAsync(uint userId, MediaItemType mediaItemType) => GetItems(userId, mediaItemType, InventoryItemsResultHandle.Wrap);

        /// <summary>The user's items that a query selects.</summary>
        public static Task<InventoryItemsResultHandle> GetInventoryItemsAsync(uint userId, InventoryQuery query) => GetItems(userId, query, false, InventoryItemsResultHandle.Wrap);

        /// <summary>The items of every user signed in on the console.</summary>
        public static Task<InventoryItemsResultHandle> GetInventoryItemsForAllUsersAsync(uint userId, MediaItemType mediaItemType) => GetItemsForAllUsers(userId, mediaItemType, InventoryItemsResultHandle.Wrap);

        /// <summary>The items of every user signed in on the console that a query selects.</summary>
        public static Task<InventoryItemsResultHandle> GetInventoryItemsForAllUsersAsync(uint userId, InventoryQuery query) => GetItems(userId, query, true, InventoryItemsResultHandle.Wrap);

        /// <summary>The item as the service has it now.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="item"/> is null.</exception>
        public static Task<InventoryItemHandle> GetInventoryItemAsync(uint userId, InventoryItemHandle item) => GetItem(userId, item, InventoryItemHandle.Wrap);

        /// <summary>Consumes quantity of a consumable item under the caller's transaction id.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="item"/> or <paramref name="transactionId"/> is null.</exception>
        public static Task<ConsumeInventoryItemResultHandle> ConsumeInventoryItemAsync(uint userId, InventoryItemHandle item, uint quantity, string transactionId) =>
            Consume(userId, item, quantity, transactionId, ConsumeInventoryItemResultHandle.Wrap);

        // One starter per export, shared by this level and the plain one; `take` owns the result's reference.
        internal static Task<T> GetItems<T>(uint userId, MediaItemType mediaItemType, Func<IntPtr, T> take) where T : class
        {
            Arguments.Defined(mediaItemType, nameof(mediaItemType));
            var op = new ObjectOperation<T>(take, Disposers.InventoryItemsResult, nameof(InventoryService_GetInventoryItemsAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(InventoryService_GetInventoryItemsAsync(userId, (int)mediaItemType, Operations.ObjectCallback, key), key, op.Task, userId, nameof(InventoryService_GetInventoryItemsAsync));
        }

        internal static Task<T> GetItemsForAllUsers<T>(uint userId, MediaItemType mediaItemType, Func<IntPtr, T> take) where T : class
        {
            Arguments.Defined(mediaItemType, nameof(mediaItemType));
            var op = new ObjectOperation<T>(take, Disposers.InventoryItemsResult, nameof(InventoryService_GetInventoryItemsForAllUsersAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(InventoryService_GetInventoryItemsForAllUsersAsync(userId, (int)mediaItemType, Operations.ObjectCallback, key), key, op.Task, userId, nameof(InventoryService_GetInventoryItemsForAllUsersAsync));
        }

        internal static Task<T> GetItems<T>(uint userId, InventoryQuery query, bool forAllUsers, Func<IntPtr, T> take) where T : class
        {
            Arguments.NotNull(query, nameof(query));
            query.Check(nameof(query));
            // The query is read now: a caller may change it once the call has returned.
            int type = (int)query.MediaItemType, state = (int)query.ItemState, availability = (int)query.Availability;
            string container = query.ContainerId;
            uint max = query.MaxItems;
            string export = forAllUsers ? nameof(InventoryService_GetInventoryItemsForAllUsersAsyncEx) : nameof(InventoryService_GetInventoryItemsAsyncEx);
            var op = new ObjectOperation<T>(take, Disposers.InventoryItemsResult, export);
            IntPtr key = Operations.Add(op);
            bool started = forAllUsers
                ? InventoryService_GetInventoryItemsForAllUsersAsyncEx(userId, type, state, availability, container, max, Operations.ObjectCallback, key)
                : InventoryService_GetInventoryItemsAsyncEx(userId, type, state, availability, container, max, Operations.ObjectCallback, key);
            return Operations.Started(started, key, op.Task, userId, export);
        }

        internal static Task<T> GetItem<T>(uint userId, InventoryItemHandle item, Func<IntPtr, T> take) where T : class
        {
            Arguments.NotNull(item, nameof(item));
            var op = new ObjectOperation<T>(take, Disposers.InventoryItem, nameof(InventoryService_GetInventoryItemAsync));
            IntPtr key = Operations.Add(op);
            bool started = InventoryService_GetInventoryItemAsync(userId, item.Pointer, Operations.ObjectCallback, key);
            GC.KeepAlive(item);
            return Operations.Started(started, key, op.Task, userId, nameof(InventoryService_GetInventoryItemAsync));
        }

        internal static Task<T> Consume<T>(uint userId, InventoryItemHandle item, uint quantity, string transactionId, Func<IntPtr, T> take) where T : class
        {
            Arguments.NotNull(item, nameof(item));
            Arguments.NotNull(transactionId, nameof(transactionId));
            var op = new ObjectOperation<T>(take, Disposers.ConsumeInventoryItemResult, nameof(InventoryService_ConsumeInventoryItemAsync));
            IntPtr key = Operations.Add(op);
            bool started = InventoryService_ConsumeInventoryItemAsync(userId, item.Pointer, quantity, transactionId, Operations.ObjectCallback, key);
            GC.KeepAlive(item);
            return Operations.Started(started, key, op.Task, userId, nameof(InventoryService_ConsumeInventoryItemAsync));
        }
    }

    /// <summary>
    /// The catalog operations at the level of platform objects; for game code, <see cref="CatalogService"/>
    /// answers plain data instead.
    /// </summary>
    public static class NativeCatalogService
    {
        /// <summary>One page of the children of a catalog item, as the request says.</summary>
        public static Task<BrowseCatalogResultHandle> BrowseCatalogAsync(uint userId, BrowseCatalogRequest request) => Browse(userId, request, BrowseCatalogResultHandle.Wrap);

        /// <summary>The details of the listed products, in the service's order.</summary>
        public static Task<CatalogItemDetailsListHandle> GetCatalogItemDetailsAsync(uint userId, IReadOnlyList<string> productIds) => Details(userId, productIds, CatalogItemDetailsListHandle.Wrap);

        internal static Task<T> Browse<T>(uint userId, BrowseCatalogRequest request, Func<IntPtr, T> take) where T : class
        {
            Arguments.NotNull(request, nameof(request));
            request.Check(nameof(request));
            string parent = request.ParentId;
            int parentType = (int)request.ParentMediaType, childType = (int)request.ChildMediaType, order = (int)request.SortOrder;
            uint skip = request.SkipItems, max = request.MaxItems;
            var op = new ObjectOperation<T>(take, Disposers.BrowseCatalogResult, nameof(CatalogService_BrowseCatalogAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(CatalogService_BrowseCatalogAsync(userId, parent, parentType, childType, order, skip, max, Operations.ObjectCallback, key), key, op.Task, userId, nameof(CatalogService_BrowseCatalogAsync));
        }

        internal static Task<T> Details<T>(uint userId, IReadOnlyList<string> productIds, Func<IntPtr, T> take) where T : class
        {
            string[] ids = Arguments.NotEmpty(productIds, nameof(productIds), "product");
            var op = new ObjectOperation<T>(take, Disposers.CatalogItemDetailsList, nameof(CatalogService_GetCatalogItemDetailsAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(CatalogService_GetCatalogItemDetailsAsync(userId, ids, ids.Length, Operations.ObjectCallback, key), key, op.Task, userId, nameof(CatalogService_GetCatalogItemDetailsAsync));
        }
    }

    /// <summary>
    /// Package discovery at the level of platform objects: the packages stay the platform's own, so
    /// mounting one changes what its handle reads. For game code, <see cref="DownloadableContent"/>
    /// answers plain data instead.
    /// </summary>
    public static unsafe class NativeDownloadableContent
    {
        /// <summary>The installed packages the filter selects.</summary>
        /// <exception cref="ArgumentOutOfRangeException"><paramref name="filter"/> is not a value of <see cref="DownloadableContentPackageFilter"/>.</exception>
        /// <exception cref="VelmoraException">The platform refused the query.</exception>
        public static DownloadableContentPackageListHandle FindPackages(DownloadableContentPackageFilter filter)
        {
            Arguments.Defined(filter, nameof(filter));
            Plugin.EnsureBound();
            int hr;
            IntPtr list = VelmoraChecked_DLC_FindPackages((int)filter, &hr);
            if (hr < 0) throw VelmoraException.FromHResult(hr, nameof(DLC_FindPackages));
            return DownloadableContentPackageListHandle.Wrap(list) ?? throw VelmoraException.Refused(nameof(DLC_FindPackages), "the platform answered no package list");
        }
    }
}
