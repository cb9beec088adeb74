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
    public sealed partial class InventoryItemsResult : VelmoraHandle
    {
        /// <summary>The items of this page (a new collection at each read).</summary>
        public InventoryItemList Items => Value(InventoryItemList.Wrap(VelmoraChecked_InventoryItemsResult_Items(Live, out int hr)), hr);
        /// <summary>How many items the whole query matched.</summary>
        public uint TotalItems => Value(VelmoraChecked_InventoryItemsResult_TotalItems(Live, out int hr), hr);
    }

    /// <summary>The items of an inventory page.</summary>
    public sealed partial class InventoryItemList : NativeList<InventoryItem>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_InventoryItemsResult_Items_Length(list, out hr);
        private protected override InventoryItem NativeGetAt(IntPtr list, uint index, out int hr) => InventoryItem.Wrap(VelmoraChecked_InventoryItemsResult_Items_GetAt(list, index, out hr));
    }

    /// <summary>An item a user owns.</summary>
    public sealed partial class InventoryItem : VelmoraHandle
    {
        /// <summary>The item's address in the service (absolute URI text).</summary>
        public string Url => Text(VelmoraChecked_InventoryItem_Url(Live, out int hr), hr);
        /// <summary>The item's state.</summary>
        public InventoryItemState InventoryItemState => (InventoryItemState)Value(VelmoraChecked_InventoryItem_InventoryItemState(Live, out int hr), hr);
        /// <summary>The item's media type.</summary>
        public MediaItemType MediaItemType => (MediaItemType)Value(VelmoraChecked_InventoryItem_MediaItemType(Live, out int hr), hr);
        /// <summary>The catalog product the item is.</summary>
        public string ProductId => Text(VelmoraChecked_InventoryItem_ProductId(Live, out int hr), hr);
        /// <summary>The title the item belongs to.</summary>
        public uint TitleId => Value(VelmoraChecked_InventoryItem_TitleId(Live, out int hr), hr);
        /// <summary>The containers that hold the item (a new collection at each read).</summary>
        public ContainerIdList ContainerIds => Value(ContainerIdList.Wrap(VelmoraChecked_InventoryItem_ContainerIds(Live, out int hr)), hr);
        /// <summary>When the user obtained the rights.</summary>
        public DateTime RightsObtainedDate => Date(VelmoraChecked_InventoryItem_RightsObtainedDate(Live, out int hr), hr);
        /// <summary>When the rights start.</summary>
        public DateTime StartDate => Date(VelmoraChecked_InventoryItem_StartDate(Live, out int hr), hr);
        /// <summary>When the rights end.</summary>
        public DateTime EndDate => Date(VelmoraChecked_InventoryItem_EndDate(Live, out int hr), hr);
        /// <summary>The consumable's address (absolute URI text).</summary>
        public string ConsumableUrl => Text(VelmoraChecked_InventoryItem_ConsumableUrl(Live, out int hr), hr);
        /// <summary>The consumable's remaining quantity.</summary>
        public uint ConsumableBalance => Value(VelmoraChecked_InventoryItem_ConsumableBalance(Live, out int hr), hr);

        internal IntPtr Pointer => Live;
    }

    /// <summary>The containers of an inventory item.</summary>
    public sealed partial class ContainerIdList : NativeList<string>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_InventoryItem_ContainerIds_Length(list, out hr);
        private protected override string NativeGetAt(IntPtr list, uint index, out int hr) => Copy(VelmoraChecked_InventoryItem_ContainerIds_GetAt(list, index, out hr));
    }

    /// <summary>The outcome of a consumption.</summary>
    public sealed partial class ConsumeInventoryItemResult : VelmoraHandle
    {
        /// <summary>The consumable's address (absolute URI text).</summary>
        public string ConsumableUrl => Text(VelmoraChecked_ConsumeInventoryItemResult_ConsumableUrl(Live, out int hr), hr);
        /// <summary>The quantity left.</summary>
        public uint ConsumableBalance => Value(VelmoraChecked_ConsumeInventoryItemResult_ConsumableBalance(Live, out int hr), hr);
        /// <summary>The transaction id the consumption was made under.</summary>
        public string TransactionId => Text(VelmoraChecked_ConsumeInventoryItemResult_TransactionId(Live, out int hr), hr);
    }
}
