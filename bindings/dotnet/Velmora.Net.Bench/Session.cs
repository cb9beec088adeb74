using System;
using System.Linq;
using System.Text.Json;
using System.Threading.Tasks;
using Velmora;
using Velmora.Testing;

/// <summary>
/// What every benchmark shares, made once for the process: the host with the plugin loaded, and the
/// world it plays in: one user who owns two items, and 100 catalog items under one parent, each with
/// two images (two purposes each) and two offers, so one browse delivers 100 items.
/// </summary>
internal static class Session
{
    internal const uint User = 1;
    internal const string ParentId = "9NBENCHGAME0";
    internal const int Children = 100;

    internal static VelmoraHost Host { get; private set; }

    /// <summary>
    /// Velmora's own reader of a delivered browse: what the binding calls, on the host's delivery,
    /// with the result's reference, which it gives back (internal to Velmora.Net, which lets the
    /// benchmark see it).
    /// </summary>
    internal static Func<IntPtr, BrowseCatalogResult> PlainBrowseReader { get; private set; }

    internal static BrowseCatalogRequest Browse => new BrowseCatalogRequest(ParentId, MediaItemType.Game) { MaxItems = Children };

    internal static void Start()
    {
        PlainBrowseReader = BrowseCatalogResult.Take;
        Host = new VelmoraHost();
        Host.LoadPlugin();
        Emulator.LoadScenarioJson(ScenarioJson(), "the benchmark's scenario");
        BrowseCatalogResult check = Host.Run(CatalogService.BrowseCatalogAsync(User, Browse));
        if (check.Items.Count != Children) throw new InvalidOperationException("the browse delivered " + check.Items.Count + " items, not " + Children);
    }

    /// <summary>Pumps until the task completes, as a game's frame loop does, and answers its result; allocates nothing of its own.</summary>
    internal static T Await<T>(Task<T> task)
    {
        while (!task.IsCompleted) Host.WaitAndPump(TimeSpan.FromMilliseconds(1));
        return task.GetAwaiter().GetResult();
    }

    internal static void Stop()
    {
        Emulator.WaitIdle();
        while (Host.Pump() > 0) { }
        Host.Dispose();
    }

    private static string ScenarioJson()
    {
        var catalog = new[] { Item(0, new string[0]) }.Concat(Enumerable.Range(1, Children).Select(i => Item(i, new[] { ParentId })));
        var scenario = new
        {
            defaultDelayMs = 0,
            users = new[] { new { id = User, gamertag = "LanternBencher" } },
            catalog,
            inventories = new[]
            {
                new
                {
                    userId = User,
                    items = new object[]
                    {
                        new { productId = ProductId(1), mediaItemType = "GameContent", titleId = 1513888228, url = "https://inventory.example/items/1" },
                        new { productId = ProductId(2), mediaItemType = "GameConsumable", titleId = 1513888228, url = "https://inventory.example/items/2", consumableUrl = "https://inventory.example/consumables/2", consumableBalance = 250 },
                    },
                },
            },
        };
        return JsonSerializer.Serialize(scenario);
    }

    private static string ProductId(int i) => i == 0 ? ParentId : "9NBENCH" + i.ToString("D5");

    // Names mix scripts and emoji, as the shipped scenarios do: strings of a real store's sizes.
    private static object Item(int i, string[] parentIds) => new
    {
        id = "7a0071a9-3b4e-4972-8c21-" + i.ToString("D12"),
        productId = ProductId(i),
        mediaItemType = i == 0 ? "Game" : "GameContent",
        name = "嵐の翼 Lantern Sail \U0001F48E No. " + i,
        reducedName = "Lantern Sail " + i,
        description = "A sail stitched from storm silk, for island-hopping in high winds.",
        sandboxId = "RETAIL",
        titleId = 1513888228,
        releaseDate = "2024-05-01T16:30:00Z",
        parentIds,
        freeAndPaidCountDaily = 10000 - i,
        images = new[] { Image(i, "BoxArt", "Tile"), Image(i, "Screenshot", "Hero") },
        availabilities = new[] { Offer(i, 1), Offer(i, 2) },
    };

    private static object Image(int i, string purpose, string other) => new
    {
        id = "8698e95f-b8d0-48ea-97da-" + i.ToString("D10") + purpose.Length.ToString("D2"),
        purpose,
        purposes = new[] { purpose, other },
        resizeUrl = "https://store-images.lantern.example/" + ProductId(i).ToLowerInvariant() + "/" + purpose.ToLowerInvariant() + ".png",
        width = 1920,
        height = 1080,
    };

    private static object Offer(int i, int n) => new
    {
        contentId = "6762b34f-4e26-4a8e-a032-" + (i * 10 + n).ToString("D12"),
        title = "Lantern Sail " + i,
        currencyCode = "USD",
        displayPrice = "$4.99",
        price = 4.99,
    };
}
