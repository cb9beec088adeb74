using System;
using System.Threading.Tasks;
using static Velmora.NativeMethods;

namespace Velmora
{
    /// <summary>A user's Xbox Live inventory: queries and consumption. Each operation completes when the host delivers its event.</summary>
    public static class InventoryService
    {
        /// <summary>The user's items of one media type (null when cancelled or the platform had no result).</summary>
        public static Task<InventoryItemsResult> GetInventoryItemsAsync(uint userId, MediaItemType mediaItemType)
        {
            var op = new ObjectOperation<InventoryItemsResult>(InventoryItemsResult.Wrap, nameof(InventoryService_GetInventoryItemsAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(InventoryService_GetInventoryItemsAsync(userId, (int)mediaItemType, Operations.ObjectCallback, key), key, op.Task, nameof(InventoryService_GetInventoryItemsAsync));
        }

        /// <summary>The user's items, filtered by state, availability and container, at most maxItems of them.</summary>
        public static Task<InventoryItemsResult> GetInventoryItemsAsync(uint userId, MediaItemType mediaItemType, InventoryItemState itemState, InventoryItemAvailability availability, string containerId, uint maxItems)
        {
            var op = new ObjectOperation<InventoryItemsResult>(InventoryItemsResult.Wrap, nameof(InventoryService_GetInventoryItemsAsyncEx));
            IntPtr key = Operations.Add(op);
            return Operations.Started(InventoryService_GetInventoryItemsAsyncEx(userId, (int)mediaItemType, (int)itemState, (int)availability, containerId, maxItems, Operations.ObjectCallback, key), key, op.Task, nameof(InventoryService_GetInventoryItemsAsyncEx));
        }

        /// <summary>The items of every user signed in on the console.</summary>
        public static Task<InventoryItemsResult> GetInventoryItemsForAllUsersAsync(uint userId, MediaItemType mediaItemType)
        {
            var op = new ObjectOperation<InventoryItemsResult>(InventoryItemsResult.Wrap, nameof(InventoryService_GetInventoryItemsForAllUsersAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(InventoryService_GetInventoryItemsForAllUsersAsync(userId, (int)mediaItemType, Operations.ObjectCallback, key), key, op.Task, nameof(InventoryService_GetInventoryItemsForAllUsersAsync));
        }

        /// <summary>The items of every user signed in on the console, filtered.</summary>
        public static Task<InventoryItemsResult> GetInventoryItemsForAllUsersAsync(uint userId, MediaItemType mediaItemType, InventoryItemState itemState, InventoryItemAvailability availability, string containerId, uint maxItems)
        {
            var op = new ObjectOperation<InventoryItemsResult>(InventoryItemsResult.Wrap, nameof(InventoryService_GetInventoryItemsForAllUsersAsyncEx));
            IntPtr key = Operations.Add(op);
            return Operations.Started(InventoryService_GetInventoryItemsForAllUsersAsyncEx(userId, (int)mediaItemType, (int)itemState, (int)availability, containerId, maxItems, Operations.ObjectCallback, key), key, op.Task, nameof(InventoryService_GetInventoryItemsForAllUsersAsyncEx));
        }

        /// <summary>The item as the service has it now.</summary>
        public static Task<InventoryItem> GetInventoryItemAsync(uint userId, InventoryItem item)
        {
            if (item == null) throw new ArgumentNullException(nameof(item));
            var op = new ObjectOperation<InventoryItem>(InventoryItem.Wrap, nameof(InventoryService_GetInventoryItemAsync));
            IntPtr key = Operations.Add(op);
            bool started = InventoryService_GetInventoryItemAsync(userId, item.Pointer, Operations.ObjectCallback, key);
            GC.KeepAlive(item);
            return Operations.Started(started, key, op.Task, nameof(InventoryService_GetInventoryItemAsync));
        }

        /// <summary>Consumes quantity of a consumable item under the caller's transaction id.</summary>
        public static Task<ConsumeInventoryItemResult> ConsumeInventoryItemAsync(uint userId, InventoryItem item, uint quantity, string transactionId)
        {
            if (item == null) throw new ArgumentNullException(nameof(item));
            var op = new ObjectOperation<ConsumeInventoryItemResult>(ConsumeInventoryItemResult.Wrap, nameof(InventoryService_ConsumeInventoryItemAsync));
            IntPtr key = Operations.Add(op);
            bool started = InventoryService_ConsumeInventoryItemAsync(userId, item.Pointer, quantity, transactionId, Operations.ObjectCallback, key);
            GC.KeepAlive(item);
            return Operations.Started(started, key, op.Task, nameof(InventoryService_ConsumeInventoryItemAsync));
        }
    }

    /// <summary>One page of a user's inventory.</summary>
    public sealed unsafe partial class InventoryItemsResult : VelmoraHandle
    {
        /// <summary>The items of this page (a new collection at each read).</summary>
        public InventoryItemList Items { get { int hr; return Value(InventoryItemList.Wrap(VelmoraChecked_InventoryItemsResult_Items(Live, &hr)), hr); } }
        /// <summary>How many items the whole query matched.</summary>
        public uint TotalItems { get { int hr; return Value(VelmoraChecked_InventoryItemsResult_TotalItems(Live, &hr), hr); } }
    }

    /// <summary>The items of an inventory page.</summary>
    public sealed unsafe partial class InventoryItemList : NativeList<InventoryItem>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_InventoryItemsResult_Items_Length(list, hr);
        private protected override InventoryItem NativeGetAt(IntPtr list, uint index, int* hr) => InventoryItem.Wrap(VelmoraChecked_InventoryItemsResult_Items_GetAt(list, index, hr));
    }

    /// <summary>An item a user owns.</summary>
    public sealed unsafe partial class InventoryItem : VelmoraHandle
    {
        /// <summary>The item's address in the service (absolute URI text).</summary>
        public string Url { get { int hr; return Text(VelmoraChecked_InventoryItem_Url(Live, &hr), hr); } }
        /// <summary>The item's state.</summary>
        public InventoryItemState InventoryItemState { get { int hr; return (InventoryItemState)Value(VelmoraChecked_InventoryItem_InventoryItemState(Live, &hr), hr); } }
        /// <summary>The item's media type.</summary>
        public MediaItemType MediaItemType { get { int hr; return (MediaItemType)Value(VelmoraChecked_InventoryItem_MediaItemType(Live, &hr), hr); } }
        /// <summary>The catalog product the item is.</summary>
        public string ProductId { get { int hr; return Text(VelmoraChecked_InventoryItem_ProductId(Live, &hr), hr); } }
        /// <summary>The title the item belongs to.</summary>
        public uint TitleId { get { int hr; return Value(VelmoraChecked_InventoryItem_TitleId(Live, &hr), hr); } }
        /// <summary>The containers that hold the item (a new collection at each read).</summary>
        public ContainerIdList ContainerIds { get { int hr; return Value(ContainerIdList.Wrap(VelmoraChecked_InventoryItem_ContainerIds(Live, &hr)), hr); } }
        /// <summary>When the user obtained the rights.</summary>
        public DateTime RightsObtainedDate { get { int hr; return Date(VelmoraChecked_InventoryItem_RightsObtainedDate(Live, &hr), hr); } }
        /// <summary>When the rights start.</summary>
        public DateTime StartDate { get { int hr; return Date(VelmoraChecked_InventoryItem_StartDate(Live, &hr), hr); } }
        /// <summary>When the rights end.</summary>
        public DateTime EndDate { get { int hr; return Date(VelmoraChecked_InventoryItem_EndDate(Live, &hr), hr); } }
        /// <summary>The consumable's address (absolute URI text).</summary>
        public string ConsumableUrl { get { int hr; return Text(VelmoraChecked_InventoryItem_ConsumableUrl(Live, &hr), hr); } }
        /// <summary>The consumable's remaining quantity.</summary>
        public uint ConsumableBalance { get { int hr; return Value(VelmoraChecked_InventoryItem_ConsumableBalance(Live, &hr), hr); } }

        internal IntPtr Pointer => Live;
    }

    /// <summary>The containers of an inventory item.</summary>
    public sealed unsafe partial class ContainerIdList : NativeList<string>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_InventoryItem_ContainerIds_Length(list, hr);
        private protected override string NativeGetAt(IntPtr list, uint index, int* hr) => Copy(VelmoraChecked_InventoryItem_ContainerIds_GetAt(list, index, hr));
    }

    /// <summary>The outcome of a consumption.</summary>
    public sealed unsafe partial class ConsumeInventoryItemResult : VelmoraHandle
    {
        /// <summary>The consumable's address (absolute URI text).</summary>
        public string ConsumableUrl { get { int hr; return Text(VelmoraChecked_ConsumeInventoryItemResult_ConsumableUrl(Live, &hr), hr); } }
        /// <summary>The quantity left.</summary>
        public uint ConsumableBalance { get { int hr; return Value(VelmoraChecked_ConsumeInventoryItemResult_ConsumableBalance(Live, &hr), hr); } }
        /// <summary>The transaction id the consumption was made under.</summary>
        public string TransactionId { get { int hr; return Text(VelmoraChecked_ConsumeInventoryItemResult_TransactionId(Live, &hr), hr); } }
    }
}
