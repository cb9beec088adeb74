using System;

namespace Velmora
{
#pragma warning disable CS1591 // the platform's own enumerations; their members are the platform's names
    public enum MediaItemType
    {
        Unknown = 0, Game = 1, GameV2 = 2, Application = 3, GameContent = 4, GameConsumable = 5, Subscription = 6,
        Movie = 7, TelevisionShow = 8, TelevisionSeries = 9, TelevisionSeason = 10, ApplicationOrGameUnknown = 11,
        GameDemo = 12, WebVideo = 13, All = 14,
    }

    public enum InventoryItemState { Unknown = 0, All = 1, Enabled = 2, Suspended = 3, Expired = 4, Canceled = 5 }

    public enum InventoryItemAvailability { All = 0, Available = 1, Unavailable = 2 }

    public enum CatalogSortOrder
    {
        FreeAndPaidCountDaily = 0, PaidCountAllTime = 1, PaidCountDaily = 2, DigitalReleaseDate = 3, ReleaseDate = 4,
        UserRatings = 5,
    }

    [Flags]
    public enum PrivilegeCheckResult : uint { NoIssue = 0, PurchaseRequired = 1, Aborted = 2, Banned = 4, Restricted = 8 }

    [Flags]
    public enum ProductItemTypes : uint
    {
        None = 0, Game = 1, App = 2, GameContent = 4, GameConsumable = 8, Subscription = 16, All = 0xFFFFFFFF,
    }

    public enum DownloadableContentPackageFilter
    {
        AllDownloadableContentOnly = 0, AllRelatedPackages = 1, CurrentTitleOnly = 2, RelatedTitlesOnly = 3,
    }

    public enum InstallOperationType { Install = 0, Update = 1, Repair = 2 }
#pragma warning restore CS1591
}
