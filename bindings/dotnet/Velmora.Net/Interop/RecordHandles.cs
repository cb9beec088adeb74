using System;
using static Velmora.Interop.NativeMethods;

namespace Velmora.Interop
{
    /// <summary>One page of a user's inventory, as the platform object.</summary>
    public sealed unsafe partial class InventoryItemsResultHandle : VelmoraHandle
    {
        /// <summary>The items of this page (a new collection at each read).</summary>
        public InventoryItemListHandle Items { get { int hr; return Value(InventoryItemListHandle.Wrap(VelmoraChecked_InventoryItemsResult_Items(Live, &hr)), hr); } }
        /// <summary>How many items the whole query matched.</summary>
        public uint TotalItems { get { int hr; return Value(VelmoraChecked_InventoryItemsResult_TotalItems(Live, &hr), hr); } }
    }

    /// <summary>The items of an inventory page.</summary>
    public sealed unsafe partial class InventoryItemListHandle : NativeListHandle<InventoryItemHandle>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_InventoryItemsResult_Items_Length(list, hr);
        private protected override InventoryItemHandle NativeGetAt(IntPtr list, uint index, int* hr) => InventoryItemHandle.Wrap(VelmoraChecked_InventoryItemsResult_Items_GetAt(list, index, hr));
    }

    /// <summary>An item a user owns, as the platform object; the operations that take an item take this handle.</summary>
    public sealed unsafe partial class InventoryItemHandle : VelmoraHandle
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
        public ContainerIdListHandle ContainerIds { get { int hr; return Value(ContainerIdListHandle.Wrap(VelmoraChecked_InventoryItem_ContainerIds(Live, &hr)), hr); } }
        /// <summary>When the user obtained the rights (UTC).</summary>
        public DateTime RightsObtainedDate { get { int hr; return Date(VelmoraChecked_InventoryItem_RightsObtainedDate(Live, &hr), hr); } }
        /// <summary>When the rights start (UTC).</summary>
        public DateTime StartDate { get { int hr; return Date(VelmoraChecked_InventoryItem_StartDate(Live, &hr), hr); } }
        /// <summary>When the rights end (UTC; <see cref="DateTime.MaxValue"/> when they do not end).</summary>
        public DateTime EndDate { get { int hr; return Date(VelmoraChecked_InventoryItem_EndDate(Live, &hr), hr); } }
        /// <summary>The consumable's address (absolute URI text).</summary>
        public string ConsumableUrl { get { int hr; return Text(VelmoraChecked_InventoryItem_ConsumableUrl(Live, &hr), hr); } }
        /// <summary>The consumable's remaining quantity.</summary>
        public uint ConsumableBalance { get { int hr; return Value(VelmoraChecked_InventoryItem_ConsumableBalance(Live, &hr), hr); } }

        internal IntPtr Pointer => Live;
    }

    /// <summary>The containers of an inventory item.</summary>
    public sealed unsafe partial class ContainerIdListHandle : NativeListHandle<string>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_InventoryItem_ContainerIds_Length(list, hr);
        private protected override string NativeGetAt(IntPtr list, uint index, int* hr) => Records.Copy(VelmoraChecked_InventoryItem_ContainerIds_GetAt(list, index, hr));
    }

    /// <summary>The outcome of a consumption, as the platform object.</summary>
    public sealed unsafe partial class ConsumeInventoryItemResultHandle : VelmoraHandle
    {
        /// <summary>The consumable's address (absolute URI text).</summary>
        public string ConsumableUrl { get { int hr; return Text(VelmoraChecked_ConsumeInventoryItemResult_ConsumableUrl(Live, &hr), hr); } }
        /// <summary>The quantity left.</summary>
        public uint ConsumableBalance { get { int hr; return Value(VelmoraChecked_ConsumeInventoryItemResult_ConsumableBalance(Live, &hr), hr); } }
        /// <summary>The transaction id the consumption was made under.</summary>
        public string TransactionId { get { int hr; return Text(VelmoraChecked_ConsumeInventoryItemResult_TransactionId(Live, &hr), hr); } }
    }

    /// <summary>One page of a catalog browse, as the platform object: a list of its items.</summary>
    public sealed unsafe partial class BrowseCatalogResultHandle : NativeListHandle<CatalogItemHandle>
    {
        /// <summary>How many items the whole browse matched.</summary>
        public uint TotalCount { get { int hr; return Value(VelmoraChecked_BrowseCatalogResult_TotalCount(Live, &hr), hr); } }

        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_BrowseCatalogResult_Items_Length(list, hr);
        private protected override CatalogItemHandle NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItemHandle.Wrap(VelmoraChecked_BrowseCatalogResult_Items_GetAt(list, index, hr));
    }

    /// <summary>The details a details query answered, as the platform's list.</summary>
    public sealed unsafe partial class CatalogItemDetailsListHandle : NativeListHandle<CatalogItemDetailsHandle>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemDetailsList_Length(list, hr);
        private protected override CatalogItemDetailsHandle NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItemDetailsHandle.Wrap(VelmoraChecked_CatalogItemDetailsList_GetAt(list, index, hr));
    }

    /// <summary>A catalog item as a browse lists it, as the platform object; <see cref="CatalogItem"/> says what each member holds.</summary>
    public sealed unsafe partial class CatalogItemHandle : VelmoraHandle
    {
        /// <summary>The item's catalog id.</summary>
        public string Id { get { int hr; return Text(VelmoraChecked_CatalogItem_Id(Live, &hr), hr); } }
        /// <summary>The item's name.</summary>
        public string Name { get { int hr; return Text(VelmoraChecked_CatalogItem_Name(Live, &hr), hr); } }
        /// <summary>The item's short name.</summary>
        public string ReducedName { get { int hr; return Text(VelmoraChecked_CatalogItem_ReducedName(Live, &hr), hr); } }
        /// <summary>The product id.</summary>
        public string ProductId { get { int hr; return Text(VelmoraChecked_CatalogItem_ProductId(Live, &hr), hr); } }
        /// <summary>The sandbox the item lives in.</summary>
        public string SandboxId { get { int hr; return Text(VelmoraChecked_CatalogItem_SandboxId(Live, &hr), hr); } }
        /// <summary>The item's media type.</summary>
        public MediaItemType MediaItemType { get { int hr; return (MediaItemType)Value(VelmoraChecked_CatalogItem_MediaItemType(Live, &hr), hr); } }
        /// <summary>The title the item belongs to.</summary>
        public uint TitleId { get { int hr; return Value(VelmoraChecked_CatalogItem_TitleId(Live, &hr), hr); } }
        /// <summary>The release date (UTC).</summary>
        public DateTime ReleaseDate { get { int hr; return Date(VelmoraChecked_CatalogItem_ReleaseDate(Live, &hr), hr); } }
        /// <summary>The item's images (a new collection at each read).</summary>
        public CatalogItemImageListHandle Images { get { int hr; return Value(CatalogItemImageListHandle.Wrap(VelmoraChecked_CatalogItem_Images(Live, &hr)), hr); } }
        /// <summary>The content ids of the item's offers (a new collection at each read).</summary>
        public AvailabilityContentIdListHandle AvailabilityContentIds { get { int hr; return Value(AvailabilityContentIdListHandle.Wrap(VelmoraChecked_CatalogItem_AvailabilityContentIds(Live, &hr)), hr); } }
    }

    /// <summary>The full description of a catalog item, as the platform object; <see cref="CatalogItemDetails"/> says what each member holds.</summary>
    public sealed unsafe partial class CatalogItemDetailsHandle : VelmoraHandle
    {
        /// <summary>The item's catalog id.</summary>
        public string Id { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_Id(Live, &hr), hr); } }
        /// <summary>The item's name.</summary>
        public string Name { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_Name(Live, &hr), hr); } }
        /// <summary>The item's short name.</summary>
        public string ReducedName { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_ReducedName(Live, &hr), hr); } }
        /// <summary>The item's description.</summary>
        public string Description { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_Description(Live, &hr), hr); } }
        /// <summary>The product id.</summary>
        public string ProductId { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_ProductId(Live, &hr), hr); } }
        /// <summary>The sandbox the item lives in.</summary>
        public string SandboxId { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_SandboxId(Live, &hr), hr); } }
        /// <summary>The item's media type.</summary>
        public MediaItemType MediaItemType { get { int hr; return (MediaItemType)Value(VelmoraChecked_CatalogItemDetails_MediaItemType(Live, &hr), hr); } }
        /// <summary>The title the item belongs to.</summary>
        public uint TitleId { get { int hr; return Value(VelmoraChecked_CatalogItemDetails_TitleId(Live, &hr), hr); } }
        /// <summary>The release date (UTC).</summary>
        public DateTime ReleaseDate { get { int hr; return Date(VelmoraChecked_CatalogItemDetails_ReleaseDate(Live, &hr), hr); } }
        /// <summary>The item's images (a new collection at each read).</summary>
        public CatalogItemDetailsImageListHandle Images { get { int hr; return Value(CatalogItemDetailsImageListHandle.Wrap(VelmoraChecked_CatalogItemDetails_Images(Live, &hr)), hr); } }
        /// <summary>The item's offers (a new collection at each read).</summary>
        public CatalogItemAvailabilityListHandle Availabilities { get { int hr; return Value(CatalogItemAvailabilityListHandle.Wrap(VelmoraChecked_CatalogItemDetails_Availabilities(Live, &hr)), hr); } }
    }

    /// <summary>An image of a catalog item, as the platform object.</summary>
    public sealed unsafe partial class CatalogItemImageHandle : VelmoraHandle
    {
        /// <summary>The image's id.</summary>
        public string Id { get { int hr; return Text(VelmoraChecked_CatalogItemImage_Id(Live, &hr), hr); } }
        /// <summary>The image's main purpose ("Logo", "BoxArt", ...).</summary>
        public string Purpose { get { int hr; return Text(VelmoraChecked_CatalogItemImage_Purpose(Live, &hr), hr); } }
        /// <summary>The address the image is fetched and resized from.</summary>
        public string ResizeUrl { get { int hr; return Text(VelmoraChecked_CatalogItemImage_ResizeUrl(Live, &hr), hr); } }
        /// <summary>The width in pixels.</summary>
        public uint Width { get { int hr; return Value(VelmoraChecked_CatalogItemImage_Width(Live, &hr), hr); } }
        /// <summary>The height in pixels.</summary>
        public uint Height { get { int hr; return Value(VelmoraChecked_CatalogItemImage_Height(Live, &hr), hr); } }
        /// <summary>Every purpose the image serves (a new collection at each read).</summary>
        public ImagePurposeListHandle Purposes { get { int hr; return Value(ImagePurposeListHandle.Wrap(VelmoraChecked_CatalogItemImage_Purposes(Live, &hr)), hr); } }
    }

    /// <summary>An offer of a catalog item, as the platform object; <see cref="CatalogItemAvailability"/> says what each member holds.</summary>
    public sealed unsafe partial class CatalogItemAvailabilityHandle : VelmoraHandle
    {
        /// <summary>The offer's content id.</summary>
        public string ContentId { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_ContentId(Live, &hr), hr); } }
        /// <summary>The offer's title.</summary>
        public string AvailabilityTitle { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_AvailabilityTitle(Live, &hr), hr); } }
        /// <summary>The offer's description.</summary>
        public string AvailabilityDescription { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_AvailabilityDescription(Live, &hr), hr); } }
        /// <summary>The currency of the prices (ISO 4217).</summary>
        public string CurrencyCode { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_CurrencyCode(Live, &hr), hr); } }
        /// <summary>The price as the store shows it.</summary>
        public string DisplayPrice { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_DisplayPrice(Live, &hr), hr); } }
        /// <summary>The list price as the store shows it.</summary>
        public string DisplayListPrice { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_DisplayListPrice(Live, &hr), hr); } }
        /// <summary>How the offer is distributed.</summary>
        public string DistributionType { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_DistributionType(Live, &hr), hr); } }
        /// <summary>The offer's promotional text.</summary>
        public string PromotionalText { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_PromotionalText(Live, &hr), hr); } }
        /// <summary>The signed offer a purchase screen takes.</summary>
        public string SignedOffer { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_SignedOffer(Live, &hr), hr); } }
        /// <summary>The offer's id.</summary>
        public string OfferId { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_OfferId(Live, &hr), hr); } }
        /// <summary>The offer's display data, as JSON text.</summary>
        public string OfferDisplayDataJson { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_OfferDisplayDataJson(Live, &hr), hr); } }
        /// <summary>Whether the offer can be bought.</summary>
        public bool IsPurchasable { get { int hr; return Flag(VelmoraChecked_CatalogItemAvailability_IsPurchasable(Live, &hr), hr); } }
        /// <summary>The price.</summary>
        public double Price { get { int hr; return Value(VelmoraChecked_CatalogItemAvailability_Price(Live, &hr), hr); } }
        /// <summary>The list price.</summary>
        public double ListPrice { get { int hr; return Value(VelmoraChecked_CatalogItemAvailability_ListPrice(Live, &hr), hr); } }
        /// <summary>The quantity a consumable offer grants.</summary>
        public uint ConsumableQuantity { get { int hr; return Value(VelmoraChecked_CatalogItemAvailability_ConsumableQuantity(Live, &hr), hr); } }
        /// <summary>The payment instruments the offer accepts (a new collection at each read).</summary>
        public PaymentInstrumentTypeListHandle AcceptablePaymentInstrumentTypes { get { int hr; return Value(PaymentInstrumentTypeListHandle.Wrap(VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes(Live, &hr)), hr); } }
    }

    /// <summary>The images of a catalog item.</summary>
    public sealed unsafe partial class CatalogItemImageListHandle : NativeListHandle<CatalogItemImageHandle>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItem_Images_Length(list, hr);
        private protected override CatalogItemImageHandle NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItemImageHandle.Wrap(VelmoraChecked_CatalogItem_Images_GetAt(list, index, hr));
    }

    /// <summary>The images of a catalog item's details.</summary>
    public sealed unsafe partial class CatalogItemDetailsImageListHandle : NativeListHandle<CatalogItemImageHandle>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemDetails_Images_Length(list, hr);
        private protected override CatalogItemImageHandle NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItemImageHandle.Wrap(VelmoraChecked_CatalogItemDetails_Images_GetAt(list, index, hr));
    }

    /// <summary>The offers of a catalog item's details.</summary>
    public sealed unsafe partial class CatalogItemAvailabilityListHandle : NativeListHandle<CatalogItemAvailabilityHandle>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemDetails_Availabilities_Length(list, hr);
        private protected override CatalogItemAvailabilityHandle NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItemAvailabilityHandle.Wrap(VelmoraChecked_CatalogItemDetails_Availabilities_GetAt(list, index, hr));
    }

    /// <summary>The content ids of a catalog item's offers.</summary>
    public sealed unsafe partial class AvailabilityContentIdListHandle : NativeListHandle<string>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItem_AvailabilityContentIds_Length(list, hr);
        private protected override string NativeGetAt(IntPtr list, uint index, int* hr) => Records.Copy(VelmoraChecked_CatalogItem_AvailabilityContentIds_GetAt(list, index, hr));
    }

    /// <summary>The purposes of a catalog image.</summary>
    public sealed unsafe partial class ImagePurposeListHandle : NativeListHandle<string>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemImage_Purposes_Length(list, hr);
        private protected override string NativeGetAt(IntPtr list, uint index, int* hr) => Records.Copy(VelmoraChecked_CatalogItemImage_Purposes_GetAt(list, index, hr));
    }

    /// <summary>The payment instruments an offer accepts.</summary>
    public sealed unsafe partial class PaymentInstrumentTypeListHandle : NativeListHandle<string>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes_Length(list, hr);
        private protected override string NativeGetAt(IntPtr list, uint index, int* hr) => Records.Copy(VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes_GetAt(list, index, hr));
    }

    /// <summary>What a purchase notification carries, as the platform object.</summary>
    public sealed unsafe partial class ProductPurchasedEventArgsHandle : VelmoraHandle
    {
        /// <summary>The purchase's receipt text.</summary>
        public string Receipt { get { int hr; return Text(VelmoraChecked_ProductPurchasedEventArgs_Receipt(Live, &hr), hr); } }
    }

    /// <summary>The packages a query found, as the platform's list.</summary>
    public sealed unsafe partial class DownloadableContentPackageListHandle : NativeListHandle<DownloadableContentPackageHandle>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_DLC_IDownloadableContentPackage_Length(list, hr);
        private protected override DownloadableContentPackageHandle NativeGetAt(IntPtr list, uint index, int* hr) => DownloadableContentPackageHandle.Wrap(VelmoraChecked_DLC_IDownloadableContentPackage_GetAt(list, index, hr));
    }

    /// <summary>An installed downloadable-content package, as the platform object; <see cref="DownloadableContentPackage"/> says what each member holds.</summary>
    public sealed unsafe partial class DownloadableContentPackageHandle : VelmoraHandle
    {
        /// <summary>The title the package belongs to, as the platform's text (hexadecimal).</summary>
        public string TitleId { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_TitleId(Live, &hr), hr); } }
        /// <summary>The package's content id.</summary>
        public string ContentId { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_ContentId(Live, &hr), hr); } }
        /// <summary>The catalog product the package is.</summary>
        public string ProductId { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_ProductId(Live, &hr), hr); } }
        /// <summary>The package's full name.</summary>
        public string PackageFullName { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_PackageFullName(Live, &hr), hr); } }
        /// <summary>Where the package's files are while it is mounted; empty otherwise.</summary>
        public string MountPath { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_MountPath(Live, &hr), hr); } }
        /// <summary>Whether the package is mounted.</summary>
        public bool IsMounted { get { int hr; return Flag(VelmoraChecked_IDownloadableContentPackage_IsMounted(Live, &hr), hr); } }
        /// <summary>The platform's content type value, passed through.</summary>
        public int ContentType { get { int hr; return Value(VelmoraChecked_IDownloadableContentPackage_ContentType(Live, &hr), hr); } }
        /// <summary>The name to show.</summary>
        public string DisplayName { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_DisplayName(Live, &hr), hr); } }
        /// <summary>The package's description.</summary>
        public string Description { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_Description(Live, &hr), hr); } }
        /// <summary>The publisher.</summary>
        public string Publisher { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_Publisher(Live, &hr), hr); } }
        /// <summary>The package's version text.</summary>
        public string Version { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_Version(Live, &hr), hr); } }

        /// <summary>Mounts the package and answers its mount path; a refused mount raises <see cref="VelmoraException"/>.</summary>
        public string Mount()
        {
            int hr;
            IntPtr path = VelmoraChecked_IDownloadableContentPackage_Mount(Live, &hr);
            if (hr >= 0 && path == IntPtr.Zero)
                throw VelmoraException.Refused("IDownloadableContentPackage_Mount", "the platform refused to mount " + PackageFullName);
            return Text(path, hr);
        }

        /// <summary>Unmounts the package.</summary>
        public void Unmount()
        {
            int hr;
            VelmoraChecked_IDownloadableContentPackage_Unmount(Live, &hr);
            Value(0, hr);
        }
    }

    /// <summary>What an install-completed notification with details carries, as the platform object.</summary>
    public sealed unsafe partial class InstallCompletedEventArgsHandle : VelmoraHandle
    {
        /// <summary>The installed content's id.</summary>
        public Guid ContentId { get { int hr; return Value(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_ContentId(Live, &hr), hr); } }
        /// <summary>What the installer did.</summary>
        public InstallOperationType OperationType { get { int hr; return (InstallOperationType)Value(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_OperationType(Live, &hr), hr); } }
        /// <summary>The installed package's full name.</summary>
        public string PackageFullName { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName(Live, &hr), hr); } }
    }
}
