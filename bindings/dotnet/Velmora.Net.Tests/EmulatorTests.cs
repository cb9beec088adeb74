using System;
using System.Collections.Generic;
using System.IO;
using Velmora.Testing;
using Xunit;

namespace Velmora.Tests
{
    /// <summary>The test kit refuses what it does not know, so a typo fails a test instead of passing it silently.</summary>
    public class EmulatorTests
    {
        [Theory]
        [InlineData("IInventoryService.GetInventoryItemAsyn", "IInventoryService.GetInventoryItemAsync", true)]
        [InlineData("GetInventoryItemsAsync", "IInventoryService.GetInventoryItemsAsync", true)]
        [InlineData("IInventoryItem.get_ProductID", "IInventoryItem.get_ProductId", false)]
        public void AFaultOrScriptForACallNeverMadeIsRefusedWithTheClosestNames(string typo, string meant, bool startsAnOperation)
        {
            using (var fresh = new Fresh())
            {
                var refusals = new List<ArgumentException> { Assert.Throws<ArgumentException>(() => Emulator.InjectFault(typo, HResults.AccessDenied)) };
                // Only a call that starts an operation can have its outcome scripted.
                if (startsAnOperation) refusals.Add(Assert.Throws<ArgumentException>(() => Emulator.ScriptOutcome(typo, OutcomeKind.Fail, HResults.AccessDenied)));
                foreach (ArgumentException e in refusals)
                {
                    Assert.Equal("call", e.ParamName);
                    Assert.Contains("unknown call \"" + typo + "\"; did you mean \"" + meant + "\"", e.Message);
                }
                // Nothing was armed: the calls answer as the scenario says.
                InventoryItem item = fresh.Host.Run(InventoryService.GetInventoryItemsAsync(1, MediaItemType.All)).Items[0];
                Assert.Equal(item.ProductId, fresh.Host.Run(InventoryService.GetInventoryItemAsync(1, item)).ProductId);
            }
        }

        [Fact]
        public void TheBuiltInAndTheShippedScenariosLoad()
        {
            using (new Fresh())
            {
                Emulator.LoadDefaultScenario();
                Assert.Equal(new uint[] { 1, 2 }, Emulator.SignedInUsers);
                foreach (string name in new[] { "default.json", "faults.json" })
                    Emulator.LoadScenarioFile(Path.Combine(Emulator.ScenariosDirectory, name));
                Assert.True(File.Exists(Path.Combine(Emulator.ScenariosDirectory, "scenario.schema.json")));
                Emulator.LoadDefaultScenario();
            }
        }

        [Fact]
        public void ABadScenarioIsAClearErrorAndChangesNothing()
        {
            using (new Fresh())
            {
                var e = Assert.Throws<FormatException>(() => Emulator.LoadScenarioJson("{\"users\":[{\"id\":1e400}]}", "bad.json"));
                Assert.Contains("bad.json", e.Message);
                Assert.Contains("$.users[0].id", e.Message);
                Assert.Equal(new uint[] { 1, 2 }, Emulator.SignedInUsers);
                Assert.Throws<ArgumentException>(() => Emulator.RaisePurchase(7, "9NSKYGEMS105"));
                Assert.Throws<ArgumentException>(() => Emulator.SetDefaultDelay(TimeSpan.FromHours(2)));
            }
        }
    }
}
