using System;
using System.Globalization;
using System.IO;
using System.Text;
using System.Threading;
using Velmora.Testing;

namespace Velmora.Demo
{
    /// <summary>
    /// The managed demo: the walkthrough of velmora-demo through the binding's API, on a reference
    /// host, on the scenario next to the program or a scenario file; then, as an editor that stops and
    /// starts the game does, the host is disposed and a second one plays a short round in the same
    /// process. Exit status 0 when every step behaved as the scenario says and nothing leaked, 1 when
    /// something did not, 2 when the scenario does not load (or the plugin does not) or the arguments
    /// are wrong.
    /// </summary>
    internal static class Program
    {
        private const string Name = "Velmora.Demo";
        private const string DefaultScenario = "scenarios/default.json";

        private static int Main(string[] args)
        {
            // One transcript on every runtime and machine: UTF-8 with '\n', numbers in the invariant culture.
            CultureInfo.DefaultThreadCurrentCulture = CultureInfo.InvariantCulture;
            Thread.CurrentThread.CurrentCulture = CultureInfo.InvariantCulture;
            var encoding = new UTF8Encoding(false);
            var stdout = new StreamWriter(Console.OpenStandardOutput(), encoding) { NewLine = "\n" };
            var stderr = new StreamWriter(Console.OpenStandardError(), encoding) { NewLine = "\n", AutoFlush = true };
            try
            {
                return Run(args, stdout, stderr);
            }
            finally
            {
                stdout.Flush();
            }
        }

        private static int Run(string[] args, TextWriter stdout, TextWriter stderr)
        {
            bool check = false;
            string scenarioFile = null;
            for (int i = 0; i < args.Length; i++)
            {
                if (args[i] == "--check")
                {
                    check = true;
                }
                else if (args[i] == "--scenario" && i + 1 < args.Length)
                {
                    scenarioFile = args[++i];
                }
                else
                {
                    stderr.WriteLine("usage: " + Name + " [--scenario FILE] [--check]");
                    return 2;
                }
            }
            string shownName = scenarioFile ?? DefaultScenario;
            string path = scenarioFile ?? Path.Combine(AppDomain.CurrentDomain.BaseDirectory, DefaultScenario);

            Walkthrough walkthrough;
            try
            {
                Emulator.LoadScenarioFile(path);
                walkthrough = Walkthrough.Read(path, shownName);
            }
            catch (VelmoraException e)
            {
                stderr.WriteLine(Name + ": " + (scenarioFile == null ? e.Message.Replace(path, shownName) : e.Message));
                return 2;
            }
            catch (FormatException e)
            {
                Emulator.Reset();
                stderr.WriteLine(Name + ": " + e.Message);
                return 2;
            }
            if (check)
            {
                // A scenario checked, for editors and build scripts; nothing runs.
                Emulator.Reset();
                stdout.WriteLine(shownName + ": the scenario loads");
                return 0;
            }

            var transcript = new Transcript(stdout);
            long[] baseline;
            LeftoverHandlers leftover = null;
            transcript.Title("Velmora managed demo: scenario " + (scenarioFile == null ? "default (" + DefaultScenario + ")" : scenarioFile));
            using (var host = new VelmoraHost())
            {
                try
                {
                    host.LoadPlugin();
                }
                catch (VelmoraException e)
                {
                    stdout.Flush();
                    stderr.WriteLine(Name + ": " + e.Message);
                    return 2;
                }
                while (host.Pump() > 0) { }
                baseline = Baseline(path);
                if (walkthrough != null)
                {
                    new Demo(host, walkthrough, transcript).Run();
                    leftover = LeftoverHandlers.Subscribe();
                }
                else
                {
                    transcript.Line("the scenario has no walkthrough");
                }
                Emulator.WaitIdle();
                while (host.Pump() > 0) { }
                Emulator.Reset();
            }
            if (walkthrough != null)
            {
                // The plugin stays loaded; a new host re-attaches to it, as after an editor's stop and play.
                using (var host = new VelmoraHost())
                {
                    host.LoadPlugin();
                    Emulator.LoadScenarioFile(path);
                    new Demo(host, walkthrough, transcript).Restart(leftover);
                    Emulator.WaitIdle();
                    while (host.Pump() > 0) { }
                    Emulator.Reset();
                }
            }
            Emulator.WaitIdle();
            long objects = Emulator.LiveObjects - baseline[0], strings = Emulator.LiveStrings - baseline[1];
            bool clean = objects == 0 && strings == 0;
            stdout.WriteLine();
            stdout.WriteLine(transcript.AllAsExpected
                ? "Every step behaved as the scenario says."
                : transcript.Mismatches.ToString(CultureInfo.InvariantCulture) + " step(s) did not behave as the scenario says.");
            if (!clean)
                stdout.WriteLine("Leak: " + objects.ToString(CultureInfo.InvariantCulture) + " emulator objects and " +
                                 strings.ToString(CultureInfo.InvariantCulture) + " strings still alive.");
            return transcript.AllAsExpected && clean ? 0 : 1;
        }

        // What the process keeps alive whatever the walkthrough does: managed code subscribes to the
        // platform's notifications once, at the first registration, and those subscriptions outlive
        // every reset of the emulator. Makes them, counts what is alive with no scenario applied, and
        // applies the scenario again; at the end, anything beyond these counts is a leak.
        private static long[] Baseline(string scenario)
        {
            Action<ProductPurchasedEventArgs> purchase = _ => { };
            Action install = () => { };
            Action<InstallCompletedEventArgs> details = _ => { };
            Store.ProductPurchased += purchase;
            DownloadableContent.InstallCompleted += install;
            DownloadableContent.InstallCompletedWithDetails += details;
            Store.ProductPurchased -= purchase;
            DownloadableContent.InstallCompleted -= install;
            DownloadableContent.InstallCompletedWithDetails -= details;
            Emulator.Reset();
            Emulator.WaitIdle();
            long[] counts = { Emulator.LiveObjects, Emulator.LiveStrings };
            Emulator.LoadScenarioFile(scenario);
            return counts;
        }
    }
}
