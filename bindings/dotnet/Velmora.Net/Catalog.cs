using System;
using System.Collections.Generic;
using System.Threading.Tasks;
using Velmora.Interop;
using static Velmora.Interop.NativeMethods;

namespace Velmora
{
    /// <summary>
    /// The Xbox Live catalog: browsing and details. Each operation completes when the host delivers
    /// its event, with plain data read whole at that moment. A task that ends without an answer (the
    /// platform cancelled the operation, or answered no result) is cancelled: awaiting it raises
    /// <see cref="TaskCanceledException"/>.
    /// </summary>
    public static class CatalogService
    {
        /// <summary>One page of the children of a catalog item, as the request says. Cancelled when the platform cancels the browse or answers no result.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="request"/> or its <see cref="BrowseCatalogRequest.ParentId"/> is null.</exception>
        /// <exception cref="ArgumentOutOfRangeException">A member of the request is not a value of its enumeration.</exception>
        /// <exception cref="VelmoraException">The browse did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<BrowseCatalogResult> BrowseCatalogAsync(uint userId, BrowseCatalogRequest request)
        {
            return NativeCatalogService.Browse(userId, request, BrowseCatalogResult.Take);
        }

        /// <summary>The details of the listed products, in the service's order. Cancelled when the platform cancels the query or answers no result.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="productIds"/> or one of its elements is null.</exception>
        /// <exception cref="ArgumentException"><paramref name="productIds"/> is empty.</exception>
        /// <exception cref="VelmoraException">The query did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<IReadOnlyList<CatalogItemDetails>> GetCatalogItemDetailsAsync(uint userId, IReadOnlyList<string> productIds)
        {
            return NativeCatalogService.Details(userId, productIds, CatalogItemDetails.TakeList);
        }
    }

    /// <summary>What a catalog browse asks for: the parent item and its media type, then which children, in which order, which page.</summary>
    public sealed class BrowseCatalogRequest
    {
        /// <summary>A request for the children of one catalog item.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="parentId"/> is null.</exception>
        public BrowseCatalogRequest(string parentId, MediaItemType parentMediaType)
        {
            ParentId = parentId ?? throw new ArgumentNullException(nameof(parentId), "name the catalog item whose children to browse (its product id)");
            ParentMediaType = parentMediaType;
        }

        /// <summary>The catalog item whose children are browsed (its product id).</summary>
        public string ParentId { get; }
        /// <summary>The parent's media type.</summary>
        public MediaItemType ParentMediaType { get; }
        /// <summary>The children's media type (default <see cref="MediaItemType.All"/>).</summary>
        public MediaItemType ChildMediaType { get; set; } = MediaItemType.All;
        /// <summary>The order of the children (default <see cref="CatalogSortOrder.FreeAndPaidCountDaily"/>).</summary>
        public CatalogSortOrder SortOrder { get; set; } = CatalogSortOrder.FreeAndPaidCountDaily;
        /// <summary>How many children to skip: the page's first index (default 0).</summary>
        public uint SkipItems { get; set; }
        /// <summary>The page's size at most (default 25).</summary>
        public uint MaxItems { get; set; } = 25;

        internal void Check(string name)
        {
            Arguments.Defined(ParentMediaType, name + "." + nameof(ParentMediaType));
            Arguments.Defined(ChildMediaType, name + "." + nameof(ChildMediaType));
            Arguments.Defined(SortOrder, name + "." + nameof(SortOrder));
        }
    }

    /// <summary>One page of a catalog browse, read whole when the host delivered it.</summary>
    public sealed class BrowseCatalogResult
    {
        private BrowseCatalogResult(IReadOnlyList<CatalogItem> items, uint totalCount)
        {
            Items = items;
            TotalCount = totalCount;
        }

        /// <summary>The items of this page.</summary>
        public IReadOnlyList<CatalogItem> Items { get; }
        /// <summary>How many items the whole browse matched.</summary>
        public uint TotalCount { get; }

        internal static readonly Func<IntPtr, BrowseCatalogResult> Take = p => Records.Owned(p, q => Read(q), Disposers.BrowseCatalogResult);

        private static unsafe BrowseCatalogResult Read(IntPtr p)
        {
            int hr;
            return new BrowseCatalogResult(
                Records.Elements(p, Collections.BrowseCatalogResult_Items, CatalogItem.Take, "BrowseCatalogResult.Items"),
                Records.Value(VelmoraChecked_BrowseCatalogResult_TotalCount(p, &hr), hr, "BrowseCatalogResult.TotalCount"));
        }
    }

    /// <summary>A catalog item as a browse lists it, read whole when the host delivered it.</summary>
    public sealed class CatalogItem
    {
        private CatalogItem(string id, string name, string reducedName, string productId, string sandboxId, MediaItemType mediaItemType, uint titleId,
                            DateTime releaseDate, IReadOnlyList<CatalogItemImage> images, IReadOnlyList<string> availabilityContentIds)
        {
            Id = id;
            Name = name;
            ReducedName = reducedName;
            ProductId = productId;
            SandboxId = sandboxId;
            MediaItemType = mediaItemType;
            TitleId = titleId;
            ReleaseDate = releaseDate;
            Images = images;
            AvailabilityContentIds = availabilityContentIds;
        }

        /// <summary>The item's catalog id.</summary>
        public string Id { get; }
        /// <summary>The item's name.</summary>
        public string Name { get; }
        /// <summary>The item's short name.</summary>
        public string ReducedName { get; }
        /// <summary>The product id: what inventory items, packages and purchase screens name.</summary>
        public string ProductId { get; }
        /// <summary>The sandbox the item lives in.</summary>
        public string SandboxId { get; }
        /// <summary>The item's media type; a value the binding does not name is kept as the platform gave it.</summary>
        public MediaItemType MediaItemType { get; }
        /// <summary>The title the item belongs to.</summary>
        public uint TitleId { get; }
        /// <summary>The release date (UTC).</summary>
        public DateTime ReleaseDate { get; }
        /// <summary>The item's images.</summary>
        public IReadOnlyList<CatalogItemImage> Images { get; }
        /// <summary>The content ids of the item's offers (<see cref="CatalogItemAvailability.ContentId"/>).</summary>
        public IReadOnlyList<string> AvailabilityContentIds { get; }

        /// <summary>The product id and name.</summary>
        public override string ToString() => ProductId + " " + Name;

        internal static readonly Func<IntPtr, CatalogItem> Take = p => Records.Owned(p, q => Read(q), Disposers.CatalogItem);

        private static unsafe CatalogItem Read(IntPtr p)
        {
            int hr;
            return new CatalogItem(
                Records.Text(VelmoraChecked_CatalogItem_Id(p, &hr), hr, "CatalogItem.Id"),
                Records.Text(VelmoraChecked_CatalogItem_Name(p, &hr), hr, "CatalogItem.Name"),
                Records.Text(VelmoraChecked_CatalogItem_ReducedName(p, &hr), hr, "CatalogItem.ReducedName"),
                Records.Text(VelmoraChecked_CatalogItem_ProductId(p, &hr), hr, "CatalogItem.ProductId"),
                Records.Text(VelmoraChecked_CatalogItem_SandboxId(p, &hr), hr, "CatalogItem.SandboxId"),
                (MediaItemType)Records.Value(VelmoraChecked_CatalogItem_MediaItemType(p, &hr), hr, "CatalogItem.MediaItemType"),
                Records.Value(VelmoraChecked_CatalogItem_TitleId(p, &hr), hr, "CatalogItem.TitleId"),
                Records.Date(VelmoraChecked_CatalogItem_ReleaseDate(p, &hr), hr, "CatalogItem.ReleaseDate"),
                Records.OwnedElements(VelmoraChecked_CatalogItem_Images(p, &hr), hr, "CatalogItem.Images", Collections.CatalogItem_Images, CatalogItemImage.Take),
                Records.OwnedElements(VelmoraChecked_CatalogItem_AvailabilityContentIds(p, &hr), hr, "CatalogItem.AvailabilityContentIds", Collections.CatalogItem_AvailabilityContentIds, Records.CopyText));
        }
    }

    /// <summary>The full description of a catalog item, read whole when the host delivered it.</summary>
    public sealed class CatalogItemDetails
    {
        private CatalogItemDetails(string id, string name, string reducedName, string description, string productId, string sandboxId, MediaItemType mediaItemType,
                                   uint titleId, DateTime releaseDate, IReadOnlyList<CatalogItemImage> images, IReadOnlyList<CatalogItemAvailability> availabilities)
        {
            Id = id;
            Name = name;
            ReducedName = reducedName;
            Description = description;
            ProductId = productId;
            SandboxId = sandboxId;
            MediaItemType = mediaItemType;
            TitleId = titleId;
            ReleaseDate = releaseDate;
            Images = images;
            Availabilities = availabilities;
        }

        /// <summary>The item's catalog id.</summary>
        public string Id { get; }
        /// <summary>The item's name.</summary>
        public string Name { get; }
        /// <summary>The item's short name.</summary>
        public string ReducedName { get; }
        /// <summary>The item's description.</summary>
        public string Description { get; }
        /// <summary>The product id: what inventory items, packages and purchase screens name.</summary>
        public string ProductId { get; }
        /// <summary>The sandbox the item lives in.</summary>
        public string SandboxId { get; }
        /// <summary>The item's media type; a value the binding does not name is kept as the platform gave it.</summary>
        public MediaItemType MediaItemType { get; }
        /// <summary>The title the item belongs to.</summary>
        public uint TitleId { get; }
        /// <summary>The release date (UTC).</summary>
        public DateTime ReleaseDate { get; }
        /// <summary>The item's images.</summary>
        public IReadOnlyList<CatalogItemImage> Images { get; }
        /// <summary>The item's offers: prices, terms, and the signed offer a purchase screen takes.</summary>
        public IReadOnlyList<CatalogItemAvailability> Availabilities { get; }

        /// <summary>The product id and name.</summary>
        public override string ToString() => ProductId + " " + Name;

        internal static readonly Func<IntPtr, IReadOnlyList<CatalogItemDetails>> TakeList =
            p => Records.Owned(p, q => Records.Elements(q, Collections.CatalogItemDetailsList, Take, "CatalogItemDetailsList"), Disposers.CatalogItemDetailsList);

        private static readonly Func<IntPtr, CatalogItemDetails> Take = p => Records.Owned(p, q => Read(q), Disposers.CatalogItemDetails);

        private static unsafe CatalogItemDetails Read(IntPtr p)
        {
            int hr;
            return new CatalogItemDetails(
                Records.Text(VelmoraChecked_CatalogItemDetails_Id(p, &hr), hr, "CatalogItemDetails.Id"),
                Records.Text(VelmoraChecked_CatalogItemDetails_Name(p, &hr), hr, "CatalogItemDetails.Name"),
                Records.Text(VelmoraChecked_CatalogItemDetails_ReducedName(p, &hr), hr, "CatalogItemDetails.ReducedName"),
                Records.Text(VelmoraChecked_CatalogItemDetails_Description(p, &hr), hr, "CatalogItemDetails.Description"),
                Records.Text(VelmoraChecked_CatalogItemDetails_ProductId(p, &hr), hr, "CatalogItemDetails.ProductId"),
                Records.Text(VelmoraChecked_CatalogItemDetails_SandboxId(p, &hr), hr, "CatalogItemDetails.SandboxId"),
                (MediaItemType)Records.Value(VelmoraChecked_CatalogItemDetails_MediaItemType(p, &hr), hr, "CatalogItemDetails.MediaItemType"),
                Records.Value(VelmoraChecked_CatalogItemDetails_TitleId(p, &hr), hr, "CatalogItemDetails.TitleId"),
                Records.Date(VelmoraChecked_CatalogItemDetails_ReleaseDate(p, &hr), hr, "CatalogItemDetails.ReleaseDate"),
                Records.OwnedElements(VelmoraChecked_CatalogItemDetails_Images(p, &hr), hr, "CatalogItemDetails.Images", Collections.CatalogItemDetails_Images, CatalogItemImage.Take),
                Records.OwnedElements(VelmoraChecked_CatalogItemDetails_Availabilities(p, &hr), hr, "CatalogItemDetails.Availabilities", Collections.CatalogItemDetails_Availabilities, CatalogItemAvailability.Take));
        }
    }

    /// <summary>An image of a catalog item, read whole when the host delivered it.</summary>
    public sealed class CatalogItemImage
    {
        private CatalogItemImage(string id, string purpose, string resizeUrl, uint width, uint height, IReadOnlyList<string> purposes)
        {
            Id = id;
            Purpose = purpose;
            ResizeUrl = resizeUrl;
            Width = width;
            Height = height;
            Purposes = purposes;
        }

        /// <summary>The image's id.</summary>
        public string Id { get; }
        /// <summary>The image's main purpose ("Logo", "BoxArt", ...).</summary>
        public string Purpose { get; }
        /// <summary>The address the image is fetched and resized from.</summary>
        public string ResizeUrl { get; }
        /// <summary>The width in pixels.</summary>
        public uint Width { get; }
        /// <summary>The height in pixels.</summary>
        public uint Height { get; }
        /// <summary>Every purpose the image serves.</summary>
        public IReadOnlyList<string> Purposes { get; }

        internal static readonly Func<IntPtr, CatalogItemImage> Take = p => Records.Owned(p, q => Read(q), Disposers.CatalogItemImage);

        private static unsafe CatalogItemImage Read(IntPtr p)
        {
            int hr;
            return new CatalogItemImage(
                Records.Text(VelmoraChecked_CatalogItemImage_Id(p, &hr), hr, "CatalogItemImage.Id"),
                Records.Text(VelmoraChecked_CatalogItemImage_Purpose(p, &hr), hr, "CatalogItemImage.Purpose"),
                Records.Text(VelmoraChecked_CatalogItemImage_ResizeUrl(p, &hr), hr, "CatalogItemImage.ResizeUrl"),
                Records.Value(VelmoraChecked_CatalogItemImage_Width(p, &hr), hr, "CatalogItemImage.Width"),
                Records.Value(VelmoraChecked_CatalogItemImage_Height(p, &hr), hr, "CatalogItemImage.Height"),
                Records.OwnedElements(VelmoraChecked_CatalogItemImage_Purposes(p, &hr), hr, "CatalogItemImage.Purposes", Collections.CatalogItemImage_Purposes, Records.CopyText));
        }
    }

    /// <summary>An offer of a catalog item: its prices and terms, read whole when the host delivered it.</summary>
    public sealed class CatalogItemAvailability
    {
        private CatalogItemAvailability(string contentId, string availabilityTitle, string availabilityDescription, string currencyCode, string displayPrice,
                                        string displayListPrice, string distributionType, string promotionalText, string signedOffer, string offerId,
                                        string offerDisplayDataJson, bool isPurchasable, double price, double listPrice, uint consumableQuantity,
                                        IReadOnlyList<string> acceptablePaymentInstrumentTypes)
        {
            ContentId = contentId;
            AvailabilityTitle = availabilityTitle;
            AvailabilityDescription = availabilityDescription;
            CurrencyCode = currencyCode;
            DisplayPrice = displayPrice;
            DisplayListPrice = displayListPrice;
            DistributionType = distributionType;
            PromotionalText = promotionalText;
            SignedOffer = signedOffer;
            OfferId = offerId;
            OfferDisplayDataJson = offerDisplayDataJson;
            IsPurchasable = isPurchasable;
            Price = price;
            ListPrice = listPrice;
            ConsumableQuantity = consumableQuantity;
            AcceptablePaymentInstrumentTypes = acceptablePaymentInstrumentTypes;
        }

        /// <summary>The offer's content id.</summary>
        public string ContentId { get; }
        /// <summary>The offer's title.</summary>
        public string AvailabilityTitle { get; }
        /// <summary>The offer's description.</summary>
        public string AvailabilityDescription { get; }
        /// <summary>The currency of the prices (ISO 4217).</summary>
        public string CurrencyCode { get; }
        /// <summary>The price as the store shows it.</summary>
        public string DisplayPrice { get; }
        /// <summary>The list price as the store shows it.</summary>
        public string DisplayListPrice { get; }
        /// <summary>How the offer is distributed.</summary>
        public string DistributionType { get; }
        /// <summary>The offer's promotional text.</summary>
        public string PromotionalText { get; }
        /// <summary>The signed offer <see cref="Store.ShowPurchaseAsync"/> takes.</summary>
        public string SignedOffer { get; }
        /// <summary>The offer's id.</summary>
        public string OfferId { get; }
        /// <summary>The offer's display data, as JSON text.</summary>
        public string OfferDisplayDataJson { get; }
        /// <summary>Whether the offer can be bought.</summary>
        public bool IsPurchasable { get; }
        /// <summary>The price.</summary>
        public double Price { get; }
        /// <summary>The list price.</summary>
        public double ListPrice { get; }
        /// <summary>The quantity a consumable offer grants.</summary>
        public uint ConsumableQuantity { get; }
        /// <summary>The payment instruments the offer accepts.</summary>
        public IReadOnlyList<string> AcceptablePaymentInstrumentTypes { get; }

        internal static readonly Func<IntPtr, CatalogItemAvailability> Take = p => Records.Owned(p, q => Read(q), Disposers.CatalogItemAvailability);

        private static unsafe CatalogItemAvailability Read(IntPtr p)
        {
            int hr;
            return new CatalogItemAvailability(
                Records.Text(VelmoraChecked_CatalogItemAvailability_ContentId(p, &hr), hr, "CatalogItemAvailability.ContentId"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_AvailabilityTitle(p, &hr), hr, "CatalogItemAvailability.AvailabilityTitle"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_AvailabilityDescription(p, &hr), hr, "CatalogItemAvailability.AvailabilityDescription"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_CurrencyCode(p, &hr), hr, "CatalogItemAvailability.CurrencyCode"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_DisplayPrice(p, &hr), hr, "CatalogItemAvailability.DisplayPrice"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_DisplayListPrice(p, &hr), hr, "CatalogItemAvailability.DisplayListPrice"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_DistributionType(p, &hr), hr, "CatalogItemAvailability.DistributionType"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_PromotionalText(p, &hr), hr, "CatalogItemAvailability.PromotionalText"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_SignedOffer(p, &hr), hr, "CatalogItemAvailability.SignedOffer"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_OfferId(p, &hr), hr, "CatalogItemAvailability.OfferId"),
                Records.Text(VelmoraChecked_CatalogItemAvailability_OfferDisplayDataJson(p, &hr), hr, "CatalogItemAvailability.OfferDisplayDataJson"),
                Records.Flag(VelmoraChecked_CatalogItemAvailability_IsPurchasable(p, &hr), hr, "CatalogItemAvailability.IsPurchasable"),
                Records.Value(VelmoraChecked_CatalogItemAvailability_Price(p, &hr), hr, "CatalogItemAvailability.Price"),
                Records.Value(VelmoraChecked_CatalogItemAvailability_ListPrice(p, &hr), hr, "CatalogItemAvailability.ListPrice"),
                Records.Value(VelmoraChecked_CatalogItemAvailability_ConsumableQuantity(p, &hr), hr, "CatalogItemAvailability.ConsumableQuantity"),
                Records.OwnedElements(VelmoraChecked_CatalogItemAvailability_AcceptablePaymentInstrumentTypes(p, &hr), hr, "CatalogItemAvailability.AcceptablePaymentInstrumentTypes",
                                      Collections.CatalogItemAvailability_AcceptablePaymentInstrumentTypes, Records.CopyText));
        }
    }
}
