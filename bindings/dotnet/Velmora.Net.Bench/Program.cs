using System;
using System.IO;
using System.Linq;
using BenchmarkDotNet.Columns;
using BenchmarkDotNet.Configs;
using BenchmarkDotNet.Diagnosers;
using BenchmarkDotNet.Jobs;
using BenchmarkDotNet.Loggers;
using BenchmarkDotNet.Reports;
using BenchmarkDotNet.Running;
using BenchmarkDotNet.Toolchains.InProcess.Emit;
using Perfolizer.Horology;

/// <summary>
/// The binding's cost against the raw exports it calls, in one run on the emulator: BenchmarkDotNet's
/// summary, then the figures docs/performance.md quotes. In this process, as the plugin, the host and
/// the emulator are process state. --quick: short iterations that only prove everything runs (CI).
/// Exit status 1 when a benchmark failed, never for a figure.
/// </summary>
internal static class Program
{
    private static int Main(string[] args)
    {
        bool quick = args.Contains("--quick");
        Session.Start();
        try
        {
            Summary[] summaries = BenchmarkRunner.Run(new[] { typeof(BrowseRead), typeof(Accessors), typeof(Operations) }, Config(quick));
            return Figures.Print(summaries.SelectMany(s => s.Reports).ToArray(), quick) ? 0 : 1;
        }
        finally
        {
            Session.Stop();
        }
    }

    private static IConfig Config(bool quick)
    {
        Job job = Job.Default.WithToolchain(InProcessEmitToolchain.Instance);
        if (quick) job = job.WithWarmupCount(1).WithIterationCount(3).WithIterationTime(TimeInterval.FromMilliseconds(40));
        return ManualConfig.CreateEmpty()
            .AddJob(job)
            .AddDiagnoser(MemoryDiagnoser.Default)
            .AddColumnProvider(DefaultColumnProviders.Instance)
            .AddLogger(ConsoleLogger.Default)
            .WithArtifactsPath(Path.Combine(AppContext.BaseDirectory, "BenchmarkDotNet.Artifacts"));
    }
}
