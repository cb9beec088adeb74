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
    public sealed partial class BrowseCatalogResult : NativeList<CatalogItem>
    {
        /// <summary>How many items the whole browse matched.</summary>
        public uint TotalCount => Value(VelmoraChecked_BrowseCatalogResult_TotalCount(Live, out int hr), hr);

        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_BrowseCatalogResult_Items_Length(list, out hr);
        private protected override CatalogItem NativeGetAt(IntPtr list, uint index, out int hr) => CatalogItem.Wrap(VelmoraChecked_BrowseCatalogResult_Items_GetAt(list, index, out hr));
    }

    /// <summary>The details a details query answered.</summary>
    public sealed partial class CatalogItemDetailsList : NativeList<CatalogItemDetails>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_CatalogItemDetailsList_Length(list, out hr);
        private protected override CatalogItemDetails NativeGetAt(IntPtr list, uint index, out int hr) => CatalogItemDetails.Wrap(VelmoraChecked_CatalogItemDetailsList_GetAt(list, index, out hr));
    }

    /// <summary>A catalog item as a browse lists it.</summary>
    public sealed partial class CatalogItem : VelmoraHandle
    {
#pragma warning disable CS1591 // the catalog's own member names
        public string Id => Text(VelmoraChecked_CatalogItem_Id(Live, out int hr), hr);
        public string Name => Text(VelmoraChecked_CatalogItem_Name(Live, out int hr), hr);
        public string ReducedName => Text(VelmoraChecked_CatalogItem_ReducedName(Live, out int hr), hr);
        public string ProductId => Text(VelmoraChecked_CatalogItem_ProductId(Live, out int hr), hr);
        public string SandboxId => Text(VelmoraChecked_CatalogItem_SandboxId(Live, out int hr), hr);
        public MediaItemType MediaItemType => (MediaItemType)Value(VelmoraChecked_CatalogItem_MediaItemType(Live, out int hr), hr);
        public uint TitleId => Value(VelmoraChecked_CatalogItem_TitleId(Live, out int hr), hr);
        public DateTime ReleaseDate => Date(VelmoraChecked_CatalogItem_ReleaseDate(Live, out int hr), hr);
        public CatalogItemImageList Images => Value(CatalogItemImageList.Wrap(VelmoraChecked_CatalogItem_Images(Live, out int hr)), hr);
        public AvailabilityContentIdList AvailabilityContentIds => Value(AvailabilityContentIdList.Wrap(VelmoraChecked_CatalogItem_AvailabilityContentIds(Live, out int hr)), hr);
#pragma warning restore CS1591
    }

    /// <summary>The full description of a catalog item.</summary>
    public sealed partial class CatalogItemDetails : VelmoraHandle
    {
#pragma warning disable CS1591 // the catalog's own member names
        public string Id => Text(VelmoraChecked_CatalogItemDetails_Id(Live, out int hr), hr);
        public string Name => Text(VelmoraChecked_CatalogItemDetails_Name(Live, out int hr), hr);
        public string ReducedName => Text(VelmoraChecked_CatalogItemDetails_ReducedName(Live, out int hr), hr);
        public string Description => Text(VelmoraChecked_CatalogItemDetails_Description(Live, out int hr), hr);
        public string ProductId => Text(VelmoraChecked_CatalogItemDetails_ProductId(Live, out int hr), hr);
        public string SandboxId => Text(VelmoraChecked_CatalogItemDetails_SandboxId(Live, out int hr), hr);
        public MediaItemType MediaItemType => (MediaItemType)Value(VelmoraChecked_CatalogItemDetails_MediaItemType(Live, out int hr), hr);
        public uint TitleId => Value(VelmoraChecked_CatalogItemDetails_TitleId(Live, out int hr), hr);
        public DateTime ReleaseDate => Date(VelmoraChecked_CatalogItemDetails_ReleaseDate(Live, out int hr), hr);
        public CatalogItemDetailsImageList Images => Value(CatalogItemDetailsImageList.Wrap(VelmoraChecked_CatalogItemDetails_Images(Live, out int hr)), hr);
        public CatalogItemAvailabilityList Availabilities => Value(CatalogItemAvailabilityList.Wrap(VelmoraChecked_CatalogItemDetails_Availabilities(Live, out int hr)), hr);
#pragma warning restore CS1591
    }

    /// <summary>An image of a catalog item.</summary>
    public sealed partial class CatalogItemImage : VelmoraHandle
    {
#pragma warning disable CS1591 // the catalog's own member names
        public string Id => Text(VelmoraChecked_CatalogItemImage_Id(Live, out int hr), hr);
        public string Purpose => Text(VelmoraChecked_CatalogItemImage_Purpose(Live, out int hr), hr);
        public string ResizeUrl => Text(VelmoraChecked_CatalogItemImage_ResizeUrl(Live, out int hr), hr);
        public uint Width => Value(VelmoraChecked_CatalogItemImage_Width(Live, out int hr), hr);
        public uint Height => Value(VelmoraChecked_CatalogItemImage_Height(Live, out int hr), hr);
        public ImagePurposeList Purposes => Value(ImagePurposeList.Wrap(VelmoraChecked_CatalogItemImage_Purposes(Live, out int hr)), hr);
#pragma warning restore CS1591
    }

    /// <summary>An offer of a catalog item: its prices and terms.</summary>
    public sealed partial class CatalogItemAvailability : VelmoraHandle
    {
#pragma warning disable CS1591 // the catalog's own member names
        public string ContentId => Text(VelmoraChecked_CatalogItemAvailability_ContentId(Live, out int hr), hr);
        public string AvailabilityTitle => Text(VelmoraChecked_CatalogItemAvailability_AvailabilityTitle(Live, out int hr), hr);
        public string AvailabilityDescription => Text(VelmoraChecked_CatalogItemAvailability_AvailabilityDescription(Live, out int hr), hr);
        public string CurrencyCode => Text(VelmoraChecked_CatalogItemAvailability_CurrencyCode(Live, out int hr), hr);
        public string DisplayPrice => Text(VelmoraChecked_CatalogItemAvailability_DisplayPrice(Live, out int hr), hr);
        public string DisplayListPrice => Text(VelmoraChecked_CatalogItemAvailability_DisplayListPrice(Live, out int hr), hr);
        public string DistributionType => Text(VelmoraChecked_CatalogItemAvailability_DistributionType(Live, out int hr), hr);
        public string PromotionalText => Text(VelmoraChecked_CatalogItemAvailability_PromotionalText(Live, out int hr), hr);
        public string SignedOffer => Text(VelmoraChecked_CatalogItemAvailability_SignedOffer(Live, out int hr), hr);
        public string OfferId => Text(VelmoraChecked_CatalogItemAvailability_OfferId(Live, out int hr), hr);
        public string OfferDisplayDataJson => Text(VelmoraChecked_CatalogItemAvailability_OfferDisplayDataJson(Live, out int hr), hr);
        public bool IsPurchasable => Flag(VelmoraChecked_CatalogItemAvailability_IsPurchasable(Live, out int hr), hr);
        public double Price => Value(VelmoraChecked_CatalogItemAvailability_Price(Live, out int hr), hr);
        public double ListPrice => Value(VelmoraChecked_CatalogItemAvailability_ListPrice(Live, out int hr), hr);
        public uint ConsumableQuantity => Value(VelmoraChecked_CatalogItemAvailability_ConsumableQuantity(Live, out int hr), hr);
        public PaymentInstrumentTypeList AcceptablePaymentInstrumentTypes => Value(PaymentInstrumentTypeList.Wrap(VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes(Live, out int hr)), hr);
#pragma warning restore CS1591
    }

#pragma warning disable CS1591 // collections named after what they hold
    public sealed partial class CatalogItemImageList : NativeList<CatalogItemImage>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_CatalogItem_Images_Length(list, out hr);
        private protected override CatalogItemImage NativeGetAt(IntPtr list, uint index, out int hr) => CatalogItemImage.Wrap(VelmoraChecked_CatalogItem_Images_GetAt(list, index, out hr));
    }

    public sealed partial class CatalogItemDetailsImageList : NativeList<CatalogItemImage>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_CatalogItemDetails_Images_Length(list, out hr);
        private protected override CatalogItemImage NativeGetAt(IntPtr list, uint index, out int hr) => CatalogItemImage.Wrap(VelmoraChecked_CatalogItemDetails_Images_GetAt(list, index, out hr));
    }

    public sealed partial class CatalogItemAvailabilityList : NativeList<CatalogItemAvailability>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_CatalogItemDetails_Availabilities_Length(list, out hr);
        private protected override CatalogItemAvailability NativeGetAt(IntPtr list, uint index, out int hr) => CatalogItemAvailability.Wrap(VelmoraChecked_CatalogItemDetails_Availabilities_GetAt(list, index, out hr));
    }

    public sealed partial class AvailabilityContentIdList : NativeList<string>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_CatalogItem_AvailabilityContentIds_Length(list, out hr);
        private protected override string NativeGetAt(IntPtr list, uint index, out int hr) => Copy(VelmoraChecked_CatalogItem_AvailabilityContentIds_GetAt(list, index, out hr));
    }

    public sealed partial class ImagePurposeList : NativeList<string>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_CatalogItemImage_Purposes_Length(list, out hr);
        private protected override string NativeGetAt(IntPtr list, uint index, out int hr) => Copy(VelmoraChecked_CatalogItemImage_Purposes_GetAt(list, index, out hr));
    }

    public sealed partial class PaymentInstrumentTypeList : NativeList<string>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes_Length(list, out hr);
        private protected override string NativeGetAt(IntPtr list, uint index, out int hr) => Copy(VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes_GetAt(list, index, out hr));
    }
#pragma warning restore CS1591
}
