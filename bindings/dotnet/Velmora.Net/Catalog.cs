using System;
using System.Collections.Generic;
using System.Threading.Tasks;
using static Velmora.NativeMethods;

namespace Velmora
{
    /// <summary>The Xbox Live catalog: browsing and details. Each operation completes when the host delivers its event.</summary>
    public static class CatalogService
    {
        /// <summary>One page of the children of a catalog item, in the given order.</summary>
        public static Task<BrowseCatalogResult> BrowseCatalogAsync(uint userId, string parentId, MediaItemType parentMediaType, MediaItemType childMediaType, CatalogSortOrder sortOrder, uint skipItems, uint maxItems)
        {
            var op = new ObjectOperation<BrowseCatalogResult>(BrowseCatalogResult.Wrap, nameof(CatalogService_BrowseCatalogAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(CatalogService_BrowseCatalogAsync(userId, parentId, (int)parentMediaType, (int)childMediaType, (int)sortOrder, skipItems, maxItems, Operations.ObjectCallback, key), key, op.Task, nameof(CatalogService_BrowseCatalogAsync));
        }

        /// <summary>The details of the listed products, in the service's order.</summary>
        public static Task<CatalogItemDetailsList> GetCatalogItemDetailsAsync(uint userId, IReadOnlyList<string> productIds)
        {
            if (productIds == null) throw new ArgumentNullException(nameof(productIds));
            var ids = new string[productIds.Count];
            for (int i = 0; i < ids.Length; i++) ids[i] = productIds[i] ?? throw new ArgumentException("a product id is null", nameof(productIds));
            var op = new ObjectOperation<CatalogItemDetailsList>(CatalogItemDetailsList.Wrap, nameof(CatalogService_GetCatalogItemDetailsAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(CatalogService_GetCatalogItemDetailsAsync(userId, ids, ids.Length, Operations.ObjectCallback, key), key, op.Task, nameof(CatalogService_GetCatalogItemDetailsAsync));
        }
    }

    /// <summary>One page of a catalog browse: the page's items, and the count of all matches.</summary>
    public sealed unsafe partial class BrowseCatalogResult : NativeList<CatalogItem>
    {
        /// <summary>How many items the whole browse matched.</summary>
        public uint TotalCount { get { int hr; return Value(VelmoraChecked_BrowseCatalogResult_TotalCount(Live, &hr), hr); } }

        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_BrowseCatalogResult_Items_Length(list, hr);
        private protected override CatalogItem NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItem.Wrap(VelmoraChecked_BrowseCatalogResult_Items_GetAt(list, index, hr));
    }

    /// <summary>The details a details query answered.</summary>
    public sealed unsafe partial class CatalogItemDetailsList : NativeList<CatalogItemDetails>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemDetailsList_Length(list, hr);
        private protected override CatalogItemDetails NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItemDetails.Wrap(VelmoraChecked_CatalogItemDetailsList_GetAt(list, index, hr));
    }

    /// <summary>A catalog item as a browse lists it.</summary>
    public sealed unsafe partial class CatalogItem : VelmoraHandle
    {
#pragma warning disable CS1591 // the catalog's own member names
        public string Id { get { int hr; return Text(VelmoraChecked_CatalogItem_Id(Live, &hr), hr); } }
        public string Name { get { int hr; return Text(VelmoraChecked_CatalogItem_Name(Live, &hr), hr); } }
        public string ReducedName { get { int hr; return Text(VelmoraChecked_CatalogItem_ReducedName(Live, &hr), hr); } }
        public string ProductId { get { int hr; return Text(VelmoraChecked_CatalogItem_ProductId(Live, &hr), hr); } }
        public string SandboxId { get { int hr; return Text(VelmoraChecked_CatalogItem_SandboxId(Live, &hr), hr); } }
        public MediaItemType MediaItemType { get { int hr; return (MediaItemType)Value(VelmoraChecked_CatalogItem_MediaItemType(Live, &hr), hr); } }
        public uint TitleId { get { int hr; return Value(VelmoraChecked_CatalogItem_TitleId(Live, &hr), hr); } }
        public DateTime ReleaseDate { get { int hr; return Date(VelmoraChecked_CatalogItem_ReleaseDate(Live, &hr), hr); } }
        public CatalogItemImageList Images { get { int hr; return Value(CatalogItemImageList.Wrap(VelmoraChecked_CatalogItem_Images(Live, &hr)), hr); } }
        public AvailabilityContentIdList AvailabilityContentIds { get { int hr; return Value(AvailabilityContentIdList.Wrap(VelmoraChecked_CatalogItem_AvailabilityContentIds(Live, &hr)), hr); } }
#pragma warning restore CS1591
    }

    /// <summary>The full description of a catalog item.</summary>
    public sealed unsafe partial class CatalogItemDetails : VelmoraHandle
    {
#pragma warning disable CS1591 // the catalog's own member names
        public string Id { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_Id(Live, &hr), hr); } }
        public string Name { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_Name(Live, &hr), hr); } }
        public string ReducedName { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_ReducedName(Live, &hr), hr); } }
        public string Description { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_Description(Live, &hr), hr); } }
        public string ProductId { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_ProductId(Live, &hr), hr); } }
        public string SandboxId { get { int hr; return Text(VelmoraChecked_CatalogItemDetails_SandboxId(Live, &hr), hr); } }
        public MediaItemType MediaItemType { get { int hr; return (MediaItemType)Value(VelmoraChecked_CatalogItemDetails_MediaItemType(Live, &hr), hr); } }
        public uint TitleId { get { int hr; return Value(VelmoraChecked_CatalogItemDetails_TitleId(Live, &hr), hr); } }
        public DateTime ReleaseDate { get { int hr; return Date(VelmoraChecked_CatalogItemDetails_ReleaseDate(Live, &hr), hr); } }
        public CatalogItemDetailsImageList Images { get { int hr; return Value(CatalogItemDetailsImageList.Wrap(VelmoraChecked_CatalogItemDetails_Images(Live, &hr)), hr); } }
        public CatalogItemAvailabilityList Availabilities { get { int hr; return Value(CatalogItemAvailabilityList.Wrap(VelmoraChecked_CatalogItemDetails_Availabilities(Live, &hr)), hr); } }
#pragma warning restore CS1591
    }

    /// <summary>An image of a catalog item.</summary>
    public sealed unsafe partial class CatalogItemImage : VelmoraHandle
    {
#pragma warning disable CS1591 // the catalog's own member names
        public string Id { get { int hr; return Text(VelmoraChecked_CatalogItemImage_Id(Live, &hr), hr); } }
        public string Purpose { get { int hr; return Text(VelmoraChecked_CatalogItemImage_Purpose(Live, &hr), hr); } }
        public string ResizeUrl { get { int hr; return Text(VelmoraChecked_CatalogItemImage_ResizeUrl(Live, &hr), hr); } }
        public uint Width { get { int hr; return Value(VelmoraChecked_CatalogItemImage_Width(Live, &hr), hr); } }
        public uint Height { get { int hr; return Value(VelmoraChecked_CatalogItemImage_Height(Live, &hr), hr); } }
        public ImagePurposeList Purposes { get { int hr; return Value(ImagePurposeList.Wrap(VelmoraChecked_CatalogItemImage_Purposes(Live, &hr)), hr); } }
#pragma warning restore CS1591
    }

    /// <summary>An offer of a catalog item: its prices and terms.</summary>
    public sealed unsafe partial class CatalogItemAvailability : VelmoraHandle
    {
#pragma warning disable CS1591 // the catalog's own member names
        public string ContentId { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_ContentId(Live, &hr), hr); } }
        public string AvailabilityTitle { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_AvailabilityTitle(Live, &hr), hr); } }
        public string AvailabilityDescription { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_AvailabilityDescription(Live, &hr), hr); } }
        public string CurrencyCode { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_CurrencyCode(Live, &hr), hr); } }
        public string DisplayPrice { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_DisplayPrice(Live, &hr), hr); } }
        public string DisplayListPrice { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_DisplayListPrice(Live, &hr), hr); } }
        public string DistributionType { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_DistributionType(Live, &hr), hr); } }
        public string PromotionalText { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_PromotionalText(Live, &hr), hr); } }
        public string SignedOffer { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_SignedOffer(Live, &hr), hr); } }
        public string OfferId { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_OfferId(Live, &hr), hr); } }
        public string OfferDisplayDataJson { get { int hr; return Text(VelmoraChecked_CatalogItemAvailability_OfferDisplayDataJson(Live, &hr), hr); } }
        public bool IsPurchasable { get { int hr; return Flag(VelmoraChecked_CatalogItemAvailability_IsPurchasable(Live, &hr), hr); } }
        public double Price { get { int hr; return Value(VelmoraChecked_CatalogItemAvailability_Price(Live, &hr), hr); } }
        public double ListPrice { get { int hr; return Value(VelmoraChecked_CatalogItemAvailability_ListPrice(Live, &hr), hr); } }
        public uint ConsumableQuantity { get { int hr; return Value(VelmoraChecked_CatalogItemAvailability_ConsumableQuantity(Live, &hr), hr); } }
        public PaymentInstrumentTypeList AcceptablePaymentInstrumentTypes { get { int hr; return Value(PaymentInstrumentTypeList.Wrap(VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes(Live, &hr)), hr); } }
#pragma warning restore CS1591
    }

#pragma warning disable CS1591 // collections named after what they hold
    public sealed unsafe partial class CatalogItemImageList : NativeList<CatalogItemImage>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItem_Images_Length(list, hr);
        private protected override CatalogItemImage NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItemImage.Wrap(VelmoraChecked_CatalogItem_Images_GetAt(list, index, hr));
    }

    public sealed unsafe partial class CatalogItemDetailsImageList : NativeList<CatalogItemImage>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemDetails_Images_Length(list, hr);
        private protected override CatalogItemImage NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItemImage.Wrap(VelmoraChecked_CatalogItemDetails_Images_GetAt(list, index, hr));
    }

    public sealed unsafe partial class CatalogItemAvailabilityList : NativeList<CatalogItemAvailability>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemDetails_Availabilities_Length(list, hr);
        private protected override CatalogItemAvailability NativeGetAt(IntPtr list, uint index, int* hr) => CatalogItemAvailability.Wrap(VelmoraChecked_CatalogItemDetails_Availabilities_GetAt(list, index, hr));
    }

    public sealed unsafe partial class AvailabilityContentIdList : NativeList<string>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItem_AvailabilityContentIds_Length(list, hr);
        private protected override string NativeGetAt(IntPtr list, uint index, int* hr) => Copy(VelmoraChecked_CatalogItem_AvailabilityContentIds_GetAt(list, index, hr));
    }

    public sealed unsafe partial class ImagePurposeList : NativeList<string>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemImage_Purposes_Length(list, hr);
        private protected override string NativeGetAt(IntPtr list, uint index, int* hr) => Copy(VelmoraChecked_CatalogItemImage_Purposes_GetAt(list, index, hr));
    }

    public sealed unsafe partial class PaymentInstrumentTypeList : NativeList<string>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes_Length(list, hr);
        private protected override string NativeGetAt(IntPtr list, uint index, int* hr) => Copy(VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes_GetAt(list, index, hr));
    }
#pragma warning restore CS1591
}
