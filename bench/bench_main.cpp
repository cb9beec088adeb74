// The benchmark binary: Google Benchmark's flags, plus --velmora_smoke (small batch sizes, for a
// run that only proves every benchmark works) and --velmora_instructions (the accessors' instruction
// counts, for a run under callgrind). After the usual report it prints a summary: for
// every benchmark and counter, the median, minimum and maximum over the repetitions. The exit code
// is 1 when a benchmark reported an error, so the smoke run can stand as a test.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

class SummaryReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            if (run.error_occurred) failed_ = true;
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            auto& series = rows_[run.benchmark_name()];
            for (const auto& [name, counter] : run.counters) series[name].push_back(counter.value);
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::FILE* out = stdout;
        std::fflush(out);
        std::fprintf(out, "\nSummary: median [min - max] over n runs\n");
        std::fprintf(out, "| benchmark | counter | median | min | max | n |\n|---|---|---|---|---|---|\n");
        for (auto& [benchmark, counters] : rows_) {
            for (auto& [counter, values] : counters) {
                std::sort(values.begin(), values.end());
                const size_t n = values.size();
                const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
                std::fprintf(out, "| %s | %s | %.4g | %.4g | %.4g | %zu |\n", benchmark.c_str(), counter.c_str(),
                             median, values.front(), values.back(), n);
            }
        }
        std::fflush(out);
    }

    // True when a benchmark reported an error (SkipWithError).
    bool Failed() const { return failed_; }

private:
    bool failed_ = false;
    std::map<std::string, std::map<std::string, std::vector<double>>> rows_;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    bool smoke = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--velmora_smoke") == 0) {
            smoke = true;
        } else if (i > 0 && std::strcmp(argv[i], "--velmora_instructions") == 0) {
            velmora::bench::Config().countInstructions = true;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    if (smoke) velmora::bench::UseSmokeSizes();

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    velmora::bench::ReleaseHost();
    benchmark::Shutdown();
    return reporter.Failed() ? 1 : 0;
}
