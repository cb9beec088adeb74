using System;
using System.Collections.Generic;
using System.Threading.Tasks;
using Velmora.Interop;
using static Velmora.Interop.NativeMethods;

namespace Velmora
{
    /// <summary>
    /// A user's Xbox Live inventory: queries and consumption. Each operation completes when the host
    /// delivers its event, with plain data read whole at that moment. A task that ends without an
    /// answer (the platform cancelled the operation, or answered no result) is cancelled: awaiting it
    /// raises <see cref="TaskCanceledException"/>, so a cancelled query never reads as an empty inventory.
    /// </summary>
    public static class InventoryService
    {
        /// <summary>The user's items of one media type. Cancelled when the platform cancels the query or answers no result.</summary>
        /// <exception cref="ArgumentOutOfRangeException">The media type is not a value of <see cref="MediaItemType"/>.</exception>
        /// <exception cref="VelmoraException">The query did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<InventoryItemsResult> GetInventoryItemsAsync(uint userId, MediaItemType mediaItemType)
        {
            return NativeInventoryService.GetItems(userId, mediaItemType, InventoryItemsResult.Take);
        }

        /// <summary>The user's items that a query selects (media type, state, availability, container, at most how many). Cancelled when the platform cancels the query or answers no result.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="query"/> is null.</exception>
        /// <exception cref="ArgumentOutOfRangeException">A member of the query is not a value of its enumeration.</exception>
        /// <exception cref="VelmoraException">The query did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<InventoryItemsResult> GetInventoryItemsAsync(uint userId, InventoryQuery query)
        {
            return NativeInventoryService.GetItems(userId, query, false, InventoryItemsResult.Take);
        }

        /// <summary>The items of every user signed in on the console. Cancelled when the platform cancels the query or answers no result.</summary>
        /// <exception cref="ArgumentOutOfRangeException">The media type is not a value of <see cref="MediaItemType"/>.</exception>
        /// <exception cref="VelmoraException">The query did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<InventoryItemsResult> GetInventoryItemsForAllUsersAsync(uint userId, MediaItemType mediaItemType)
        {
            return NativeInventoryService.GetItemsForAllUsers(userId, mediaItemType, InventoryItemsResult.Take);
        }

        /// <summary>The items of every user signed in on the console that a query selects. Cancelled when the platform cancels the query or answers no result.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="query"/> is null.</exception>
        /// <exception cref="ArgumentOutOfRangeException">A member of the query is not a value of its enumeration.</exception>
        /// <exception cref="VelmoraException">The query did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<InventoryItemsResult> GetInventoryItemsForAllUsersAsync(uint userId, InventoryQuery query)
        {
            return NativeInventoryService.GetItems(userId, query, true, InventoryItemsResult.Take);
        }

        /// <summary>
        /// The item as the service has it now. The platform takes its own item object, so the binding
        /// first finds the item again (same product id) in a query of the user's items of its media
        /// type, then asks for it: two operations, each delivered by the host. Cancelled when either
        /// is cancelled; fails with E_NOT_FOUND when the user no longer owns the product.
        /// </summary>
        /// <exception cref="ArgumentNullException"><paramref name="item"/> is null.</exception>
        /// <exception cref="VelmoraException">The query did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<InventoryItem> GetInventoryItemAsync(uint userId, InventoryItem item)
        {
            if (item == null) throw new ArgumentNullException(nameof(item));
            return WithPlatformItem(userId, item, (native, key) => InventoryService_GetInventoryItemAsync(userId, native, Operations.ObjectCallback, key),
                                    InventoryItem.Take, Disposers.InventoryItem, nameof(InventoryService_GetInventoryItemAsync));
        }

        /// <summary>
        /// Consumes <paramref name="quantity"/> of a consumable item under the caller's transaction id
        /// (a new GUID text per consumption: the service refuses a second use of one). Like
        /// <see cref="GetInventoryItemAsync"/>, the binding first finds the item again in a query of
        /// the user's items. Cancelled when either operation is cancelled.
        /// </summary>
        /// <exception cref="ArgumentNullException"><paramref name="item"/> or <paramref name="transactionId"/> is null.</exception>
        /// <exception cref="VelmoraException">The query did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<ConsumeInventoryItemResult> ConsumeInventoryItemAsync(uint userId, InventoryItem item, uint quantity, string transactionId)
        {
            if (item == null) throw new ArgumentNullException(nameof(item));
            if (transactionId == null) throw new ArgumentNullException(nameof(transactionId), "a consumption needs a transaction id: a new GUID text, such as Guid.NewGuid().ToString()");
            return WithPlatformItem(userId, item, (native, key) => InventoryService_ConsumeInventoryItemAsync(userId, native, quantity, transactionId, Operations.ObjectCallback, key),
                                    ConsumeInventoryItemResult.Take, Disposers.ConsumeInventoryItemResult, nameof(InventoryService_ConsumeInventoryItemAsync));
        }

        // The lookup query starts now, so a refused start raises here; the operation itself starts when
        // the host delivers the lookup, and completes the task when the host delivers it in turn.
        private static Task<T> WithPlatformItem<T>(uint userId, InventoryItem item, Func<IntPtr, IntPtr, bool> start, Func<IntPtr, T> take, Records.DisposeExport dispose, string export) where T : class
        {
            var lookup = new ItemLookup<T>(userId, item, start, take, dispose, export);
            IntPtr key = Operations.Add(lookup);
            return Operations.Started(InventoryService_GetInventoryItemsAsync(userId, (int)item.MediaItemType, Operations.ObjectCallback, key), key, lookup.Task, userId, nameof(InventoryService_GetInventoryItemsAsync));
        }

        /// <summary>The first step of an operation on an item: the user's items, in which the platform's own item object is found.</summary>
        private sealed class ItemLookup<T> : Operation<T> where T : class
        {
            private readonly uint userId;
            private readonly InventoryItem item;
            private readonly Func<IntPtr, IntPtr, bool> start;
            private readonly Func<IntPtr, T> take;
            private readonly Records.DisposeExport dispose;
            private readonly string export;

            internal ItemLookup(uint userId, InventoryItem item, Func<IntPtr, IntPtr, bool> start, Func<IntPtr, T> take, Records.DisposeExport dispose, string export)
                : base(nameof(InventoryService_GetInventoryItemsAsync), null)
            {
                this.userId = userId;
                this.item = item;
                this.start = start;
                this.take = take;
                this.dispose = dispose;
                this.export = export;
            }

            protected override void Release(IntPtr result)
            {
                if (result != IntPtr.Zero) Disposers.InventoryItemsResult(result);
            }

            protected override void CompleteObject(int hr, IntPtr result)
            {
                if (hr < 0 || result == IntPtr.Zero)
                {
                    Release(result);
                    if (hr < 0) Fail(hr);
                    else Cancel();
                    return;
                }
                IntPtr found = IntPtr.Zero;
                try
                {
                    try
                    {
                        found = Find(result);
                    }
                    finally
                    {
                        Disposers.InventoryItemsResult(result);
                    }
                    if (found == IntPtr.Zero)
                        throw new VelmoraException("user " + userId + " owns no item of product " + item.ProductId + " (" + item.MediaItemType + ") any more: query the inventory again", HResults.NotFound, null);
                    var step = new ObjectOperation<T>(take, dispose, export, this);
                    IntPtr key = Operations.Add(step);
                    Operations.Started(start(found, key), key, step, userId, export);
                }
                catch (Exception e) when (e is VelmoraException || e is InvalidOperationException)
                {
                    Fail(e);
                }
                finally
                {
                    if (found != IntPtr.Zero) Disposers.InventoryItem(found);
                }
            }

            // The item of the same product, with a reference of its own; every other reference goes back.
            private unsafe IntPtr Find(IntPtr result)
            {
                int hr;
                const string Items = "InventoryItemsResult.Items";
                IntPtr items = Records.Value(VelmoraChecked_InventoryItemsResult_Items(result, &hr), hr, Items);
                if (items == IntPtr.Zero) return IntPtr.Zero;
                try
                {
                    uint count = Records.Value(VelmoraChecked_InventoryItemsResult_Items_Length(items, &hr), hr, Items);
                    for (uint i = 0; i < count; i++)
                    {
                        IntPtr candidate = Records.Value(VelmoraChecked_InventoryItemsResult_Items_GetAt(items, i, &hr), hr, Items);
                        bool same = false;
                        try
                        {
                            same = Records.Text(VelmoraChecked_InventoryItem_ProductId(candidate, &hr), hr, "InventoryItem.ProductId") == item.ProductId;
                        }
                        finally
                        {
                            if (!same) Disposers.InventoryItem(candidate);
                        }
                        if (same) return candidate;
                    }
                    return IntPtr.Zero;
                }
                finally
                {
                    Disposers.InventoryItemsResult_Items(items);
                }
            }
        }
    }

    /// <summary>What an inventory query selects; every member has a default that selects everything.</summary>
    public sealed class InventoryQuery
    {
        /// <summary>The media type (default <see cref="MediaItemType.All"/>).</summary>
        public MediaItemType MediaItemType { get; set; } = MediaItemType.All;
        /// <summary>The state (default <see cref="InventoryItemState.All"/>).</summary>
        public InventoryItemState ItemState { get; set; } = InventoryItemState.All;
        /// <summary>The availability (default <see cref="InventoryItemAvailability.All"/>).</summary>
        public InventoryItemAvailability Availability { get; set; } = InventoryItemAvailability.All;
        /// <summary>Only items in this container (default null: any container).</summary>
        public string ContainerId { get; set; }
        /// <summary>At most this many items (default 0: as many as the service answers).</summary>
        public uint MaxItems { get; set; }

        internal void Check(string name)
        {
            Arguments.Defined(MediaItemType, name + "." + nameof(MediaItemType));
            Arguments.Defined(ItemState, name + "." + nameof(ItemState));
            Arguments.Defined(Availability, name + "." + nameof(Availability));
        }
    }

    /// <summary>One page of a user's inventory, read whole when the host delivered it.</summary>
    public sealed class InventoryItemsResult
    {
        internal InventoryItemsResult(IReadOnlyList<InventoryItem> items, uint totalItems)
        {
            Items = items;
            TotalItems = totalItems;
        }

        /// <summary>The items of this page.</summary>
        public IReadOnlyList<InventoryItem> Items { get; }
        /// <summary>How many items the whole query matched (more than <see cref="Items"/> holds when the query set a maximum).</summary>
        public uint TotalItems { get; }

        internal static readonly Func<IntPtr, InventoryItemsResult> Take = p => Records.Owned(p, q => Read(q), Disposers.InventoryItemsResult);

        private static unsafe InventoryItemsResult Read(IntPtr p)
        {
            int hr;
            return new InventoryItemsResult(
                Records.OwnedElements(VelmoraChecked_InventoryItemsResult_Items(p, &hr), hr, "InventoryItemsResult.Items", Collections.InventoryItemsResult_Items, InventoryItem.Take),
                Records.Value(VelmoraChecked_InventoryItemsResult_TotalItems(p, &hr), hr, "InventoryItemsResult.TotalItems"));
        }
    }

    /// <summary>An item a user owns, read whole when the host delivered it.</summary>
    public sealed class InventoryItem
    {
        private InventoryItem(string url, InventoryItemState state, MediaItemType mediaItemType, string productId, uint titleId, IReadOnlyList<string> containerIds,
                              DateTime rightsObtainedDate, DateTime startDate, DateTime endDate, string consumableUrl, uint consumableBalance)
        {
            Url = url;
            InventoryItemState = state;
            MediaItemType = mediaItemType;
            ProductId = productId;
            TitleId = titleId;
            ContainerIds = containerIds;
            RightsObtainedDate = rightsObtainedDate;
            StartDate = startDate;
            EndDate = endDate;
            ConsumableUrl = consumableUrl;
            ConsumableBalance = consumableBalance;
        }

        /// <summary>The item's address in the service (absolute URI text).</summary>
        public string Url { get; }
        /// <summary>The item's state; a value the binding does not name is kept as the platform gave it.</summary>
        public InventoryItemState InventoryItemState { get; }
        /// <summary>The item's media type; a value the binding does not name is kept as the platform gave it.</summary>
        public MediaItemType MediaItemType { get; }
        /// <summary>The catalog product the item is.</summary>
        public string ProductId { get; }
        /// <summary>The title the item belongs to.</summary>
        public uint TitleId { get; }
        /// <summary>The containers that hold the item.</summary>
        public IReadOnlyList<string> ContainerIds { get; }
        /// <summary>When the user obtained the rights (UTC).</summary>
        public DateTime RightsObtainedDate { get; }
        /// <summary>When the rights start (UTC).</summary>
        public DateTime StartDate { get; }
        /// <summary>When the rights end (UTC; <see cref="DateTime.MaxValue"/> when they do not end).</summary>
        public DateTime EndDate { get; }
        /// <summary>The consumable's address (absolute URI text); empty for an item that is not consumable.</summary>
        public string ConsumableUrl { get; }
        /// <summary>The consumable's remaining quantity.</summary>
        public uint ConsumableBalance { get; }

        /// <summary>The product id and media type.</summary>
        public override string ToString() => ProductId + " (" + MediaItemType + ")";

        internal static readonly Func<IntPtr, InventoryItem> Take = p => Records.Owned(p, q => Read(q), Disposers.InventoryItem);

        private static unsafe InventoryItem Read(IntPtr p)
        {
            int hr;
            return new InventoryItem(
                Records.Text(VelmoraChecked_InventoryItem_Url(p, &hr), hr, "InventoryItem.Url"),
                (InventoryItemState)Records.Value(VelmoraChecked_InventoryItem_InventoryItemState(p, &hr), hr, "InventoryItem.InventoryItemState"),
                (MediaItemType)Records.Value(VelmoraChecked_InventoryItem_MediaItemType(p, &hr), hr, "InventoryItem.MediaItemType"),
                Records.Text(VelmoraChecked_InventoryItem_ProductId(p, &hr), hr, "InventoryItem.ProductId"),
                Records.Value(VelmoraChecked_InventoryItem_TitleId(p, &hr), hr, "InventoryItem.TitleId"),
                Records.OwnedElements(VelmoraChecked_InventoryItem_ContainerIds(p, &hr), hr, "InventoryItem.ContainerIds", Collections.InventoryItem_ContainerIds, Records.CopyText),
                Records.Date(VelmoraChecked_InventoryItem_RightsObtainedDate(p, &hr), hr, "InventoryItem.RightsObtainedDate"),
                Records.Date(VelmoraChecked_InventoryItem_StartDate(p, &hr), hr, "InventoryItem.StartDate"),
                Records.Date(VelmoraChecked_InventoryItem_EndDate(p, &hr), hr, "InventoryItem.EndDate"),
                Records.Text(VelmoraChecked_InventoryItem_ConsumableUrl(p, &hr), hr, "InventoryItem.ConsumableUrl"),
                Records.Value(VelmoraChecked_InventoryItem_ConsumableBalance(p, &hr), hr, "InventoryItem.ConsumableBalance"));
        }
    }

    /// <summary>The outcome of a consumption, read whole when the host delivered it.</summary>
    public sealed class ConsumeInventoryItemResult
    {
        private ConsumeInventoryItemResult(string consumableUrl, uint consumableBalance, string transactionId)
        {
            ConsumableUrl = consumableUrl;
            ConsumableBalance = consumableBalance;
            TransactionId = transactionId;
        }

        /// <summary>The consumable's address (absolute URI text).</summary>
        public string ConsumableUrl { get; }
        /// <summary>The quantity left.</summary>
        public uint ConsumableBalance { get; }
        /// <summary>The transaction id the consumption was made under.</summary>
        public string TransactionId { get; }

        internal static readonly Func<IntPtr, ConsumeInventoryItemResult> Take = p => Records.Owned(p, q => Read(q), Disposers.ConsumeInventoryItemResult);

        private static unsafe ConsumeInventoryItemResult Read(IntPtr p)
        {
            int hr;
            return new ConsumeInventoryItemResult(
                Records.Text(VelmoraChecked_ConsumeInventoryItemResult_ConsumableUrl(p, &hr), hr, "ConsumeInventoryItemResult.ConsumableUrl"),
                Records.Value(VelmoraChecked_ConsumeInventoryItemResult_ConsumableBalance(p, &hr), hr, "ConsumeInventoryItemResult.ConsumableBalance"),
                Records.Text(VelmoraChecked_ConsumeInventoryItemResult_TransactionId(p, &hr), hr, "ConsumeInventoryItemResult.TransactionId"));
        }
    }
}
