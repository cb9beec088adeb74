using System;
using System.IO;
using System.Threading.Tasks;
using Velmora;
using Velmora.Testing;

namespace Velmora.PackageTest
{
    /// <summary>
    /// What a game's test does with the two packages, on .NET and on Mono: the natives found with no
    /// runtime identifier, the shipped scenarios, every service group, and three host cycles in one
    /// process, each ending with nothing leaked. Exit 0 when all holds; otherwise 1 and what did not.
    /// </summary>
    internal static class Program
    {
        private static int Main()
        {
            try
            {
                Check(File.Exists(Plugin.DefaultPath), "the plugin next to the program or in its runtimes folder: " + Plugin.DefaultPath);
                Check(File.Exists(Path.Combine(Emulator.ScenariosDirectory, "scenario.schema.json")), "the shipped scenarios in " + Emulator.ScenariosDirectory);
                for (int cycle = 1; cycle <= 3; cycle++) Cycle(cycle);
                Console.WriteLine("package test: three host cycles, every group, nothing leaked");
                return 0;
            }
            catch (Exception e)
            {
                Console.Error.WriteLine("package test failed: " + e);
                return 1;
            }
        }

        private static void Cycle(int cycle)
        {
            int purchases = 0;
            using (var host = new VelmoraHost())
            {
                host.LoadPlugin();
                // What the plugin's first uses make lives for the process (the platform subscription, the
                // package manager): made before the counts.
                Store.ProductPurchased += e => purchases++;
                Emulator.LoadScenarioFile(Path.Combine(Emulator.ScenariosDirectory, "default.json"));
                Emulator.LoadDefaultScenario();
                Check(DownloadableContent.FindPackages(DownloadableContentPackageFilter.AllRelatedPackages).Count > 0, "cycle " + cycle + ": packages found");
                Emulator.WaitIdle();
                host.Pump();
                long objects = Emulator.LiveObjects, strings = Emulator.LiveStrings;
                InventoryItemsResult owned = host.Run(InventoryService.GetInventoryItemsAsync(1, MediaItemType.All));
                BrowseCatalogResult page = host.Run(CatalogService.BrowseCatalogAsync(1, new BrowseCatalogRequest("9NAURSKIES01", MediaItemType.Game)));
                PrivilegeCheckResult privilege = host.Run(Store.CheckPrivilegeAsync(1, 254, false, null));
                Check(owned.Items.Count > 0 && page.Items.Count > 0, "cycle " + cycle + ": the inventory and the catalog answer");
                Emulator.RaisePurchase(1, "9NSKYGEMS105");
                Emulator.WaitIdle();
                while (host.Pump() > 0) { }
                Check(purchases == 1, "cycle " + cycle + ": one purchase delivered, not " + purchases);
                Check(Emulator.LiveObjects == objects && Emulator.LiveStrings == strings, "cycle " + cycle + ": nothing leaked (privilege " + privilege + "): objects " + objects + " -> " + Emulator.LiveObjects + ", strings " + strings + " -> " + Emulator.LiveStrings);
            }
            Check(!Plugin.IsBound, "the disposed host unbound the plugin");
        }

        private static void Check(bool holds, string what)
        {
            if (!holds) throw new InvalidOperationException(what);
        }
    }
}
