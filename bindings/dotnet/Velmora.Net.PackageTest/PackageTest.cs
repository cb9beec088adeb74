using System;
using System.IO;
using Velmora;
using Xunit;

namespace Velmora.PackageTest
{
    public class PackageTest
    {
        private const string Scenario = @"{
  ""users"": [{""id"": 7, ""gamertag"": ""PackageUser"", ""xboxUserId"": ""2814639000000007""}],
  ""privileges"": [{""userId"": 7, ""privilegeId"": 254, ""result"": [""Restricted""]}]
}";

        [Fact]
        public void ThePackagesNativeLibrariesServeAnOperation()
        {
            // The plugin comes from the package's native folder for this runtime.
            Assert.Contains(Path.Combine("runtimes", "linux-x64", "native"), Plugin.DefaultPath);
            using (var host = new VelmoraHost())
            {
                host.LoadPlugin();
                Emulator.LoadScenarioJson(Scenario, "package.json");
                long objects = Emulator.LiveObjects, strings = Emulator.LiveStrings;
                Assert.Equal(PrivilegeCheckResult.Restricted, host.Run(Store.CheckPrivilegeAsync(7, 254, false, null)));
                Emulator.WaitIdle();
                host.Pump();
                Assert.Equal(objects, Emulator.LiveObjects);
                Assert.Equal(strings, Emulator.LiveStrings);
            }
        }
    }
}
