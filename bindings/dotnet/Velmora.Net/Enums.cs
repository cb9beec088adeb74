using System;

namespace Velmora
{
    /// <summary>The media type of an inventory or catalog item.</summary>
    public enum MediaItemType
    {
        /// <summary>Not known.</summary>
        Unknown = 0,
        /// <summary>A game.</summary>
        Game = 1,
        /// <summary>A game of the current generation.</summary>
        GameV2 = 2,
        /// <summary>An application.</summary>
        Application = 3,
        /// <summary>Durable content of a game: an expansion, an item.</summary>
        GameContent = 4,
        /// <summary>A consumable of a game: a balance that is spent.</summary>
        GameConsumable = 5,
        /// <summary>A subscription.</summary>
        Subscription = 6,
        /// <summary>A movie.</summary>
        Movie = 7,
        /// <summary>A television show.</summary>
        TelevisionShow = 8,
        /// <summary>A television series.</summary>
        TelevisionSeries = 9,
        /// <summary>A television season.</summary>
        TelevisionSeason = 10,
        /// <summary>An application or a game, not known which.</summary>
        ApplicationOrGameUnknown = 11,
        /// <summary>A game's demo.</summary>
        GameDemo = 12,
        /// <summary>A web video.</summary>
        WebVideo = 13,
        /// <summary>Every type (in queries).</summary>
        All = 14,
    }

    /// <summary>The state of an inventory item.</summary>
    public enum InventoryItemState
    {
        /// <summary>Not known.</summary>
        Unknown = 0,
        /// <summary>Every state (in queries).</summary>
        All = 1,
        /// <summary>The user may use the item.</summary>
        Enabled = 2,
        /// <summary>The rights are suspended.</summary>
        Suspended = 3,
        /// <summary>The rights ended (a subscription past its end).</summary>
        Expired = 4,
        /// <summary>The rights were cancelled.</summary>
        Canceled = 5,
    }

    /// <summary>Whether inventory items are available now (in queries).</summary>
    public enum InventoryItemAvailability
    {
        /// <summary>Available or not.</summary>
        All = 0,
        /// <summary>Available items only.</summary>
        Available = 1,
        /// <summary>Unavailable items only.</summary>
        Unavailable = 2,
    }

    /// <summary>The order of a catalog browse.</summary>
    public enum CatalogSortOrder
    {
        /// <summary>Free and paid acquisitions of the day.</summary>
        FreeAndPaidCountDaily = 0,
        /// <summary>Paid acquisitions of all time.</summary>
        PaidCountAllTime = 1,
        /// <summary>Paid acquisitions of the day.</summary>
        PaidCountDaily = 2,
        /// <summary>The digital release date.</summary>
        DigitalReleaseDate = 3,
        /// <summary>The release date.</summary>
        ReleaseDate = 4,
        /// <summary>The users' ratings.</summary>
        UserRatings = 5,
    }

    /// <summary>The answer of a privilege check: the issues found, combined.</summary>
    [Flags]
    public enum PrivilegeCheckResult : uint
    {
        /// <summary>No issue (also what a cancelled check answers).</summary>
        NoIssue = 0,
        /// <summary>A purchase would grant the privilege.</summary>
        PurchaseRequired = 1,
        /// <summary>The check was aborted.</summary>
        Aborted = 2,
        /// <summary>The user is banned.</summary>
        Banned = 4,
        /// <summary>The user is restricted (by family settings, say).</summary>
        Restricted = 8,
    }

    /// <summary>Kinds of product, for the marketplace screen.</summary>
    [Flags]
    public enum ProductItemTypes : uint
    {
        /// <summary>None.</summary>
        None = 0,
        /// <summary>Games.</summary>
        Game = 1,
        /// <summary>Applications.</summary>
        App = 2,
        /// <summary>Durable game content.</summary>
        GameContent = 4,
        /// <summary>Game consumables.</summary>
        GameConsumable = 8,
        /// <summary>Subscriptions.</summary>
        Subscription = 16,
        /// <summary>Every kind.</summary>
        All = 0xFFFFFFFF,
    }

    /// <summary>Which installed packages a package query finds.</summary>
    public enum DownloadableContentPackageFilter
    {
        /// <summary>The downloadable content of the title and its related titles.</summary>
        AllDownloadableContentOnly = 0,
        /// <summary>Every package related to the title.</summary>
        AllRelatedPackages = 1,
        /// <summary>The current title's packages only.</summary>
        CurrentTitleOnly = 2,
        /// <summary>The related titles' packages only.</summary>
        RelatedTitlesOnly = 3,
    }

    /// <summary>What the console's installer did.</summary>
    public enum InstallOperationType
    {
        /// <summary>Installed a package.</summary>
        Install = 0,
        /// <summary>Updated a package.</summary>
        Update = 1,
        /// <summary>Repaired a package.</summary>
        Repair = 2,
    }
}
