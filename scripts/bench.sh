#!/usr/bin/env bash
# Builds Velmora in Release into build-release/ (or $VELMORA_BENCH_BUILD_DIR) and runs the
# benchmarks: five repetitions of each, every repetition reported, then the summary table
# (median [min - max] of every figure) that docs/performance.md quotes. Extra arguments go to the
# benchmark binary, e.g. --benchmark_filter=Accessor, or --velmora_smoke --benchmark_min_time=0.01
# for a run of a few seconds that only proves every benchmark works. First, the time and memory that
# hostile scenario files cost before they are refused (bench/scenario_limits.sh), the instruction
# counts (bench/instructions.sh, under callgrind: each accessor rule's export over its floor, and
# the line "host hand-off: N instructions"), and what the managed binding costs over the raw
# exports (scripts/bench-dotnet.sh).
#
#   scripts/bench.sh --instructions-only   the instruction counts alone, in a few minutes
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BENCH_BUILD_DIR:-$root/build-release}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=ON >/dev/null
if [ "${1:-}" = --instructions-only ]; then
  cmake --build "$build" -j"$(nproc)" --target velmora_bench
  echo "instructions (callgrind, independent of load):"
  exec "$root/bench/instructions.sh" "$build/bench/velmora_bench"
fi
cmake --build "$build" -j"$(nproc)" --target velmora_bench velmora-demo velmora_checked

echo "hostile scenario files, each refused by velmora-demo:"
"$root/bench/scenario_limits.sh" "$build/tools/velmora-demo"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')," \
     "$(c++ --version | head -1), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "instructions (callgrind, independent of load):"
"$root/bench/instructions.sh" "$build/bench/velmora_bench"
echo "the managed binding against the raw exports:"
"$root/scripts/bench-dotnet.sh" "$build"
exec "$build/bench/velmora_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=false "$@"
