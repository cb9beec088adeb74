#!/usr/bin/env bash
# Builds a libFuzzer harness (tests/fuzz/) with clang, AddressSanitizer and UBSan, and fuzzes for a
# bounded time: the plugin's exports, from the seed corpus in tests/fuzz/corpus/, or the scenario
# loader, from the files in scenarios/ and tests/data/. New inputs go to build-fuzz/<harness>-corpus/,
# never into the repository. Any crash, leak, sanitizer report or finding of the harness stops the
# run with a non-zero exit and leaves the input in build-fuzz/findings/.
#
#   scripts/fuzz.sh [SECONDS] [exports|scenarios]    (default 60 s, the exports)
#
# VELMORA_BUILD_DIR overrides the build directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
harness=${2:-exports}
build=${VELMORA_BUILD_DIR:-$root/build-fuzz}

"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=address \
  -DVELMORA_BUILD_FUZZ=ON -DVELMORA_BUILD_BENCH=OFF >/dev/null
case "$harness" in
  exports)
    target=velmora_fuzz
    seeds=("$root/tests/fuzz/corpus")
    limits=(-timeout=20 -rss_limit_mb=4096 -max_len=4096)
    ;;
  scenarios)
    target=velmora_scenario_fuzz
    seeds=("$root/scenarios" "$root/tests/data")
    # A scenario is refused in milliseconds and a few MB whatever it holds: tight bounds are findings.
    limits=(-timeout=5 -rss_limit_mb=512 -max_len=65536 -dict="$root/tests/fuzz/scenario.dict")
    ;;
  *)
    echo "usage: scripts/fuzz.sh [SECONDS] [exports|scenarios]" >&2
    exit 2
    ;;
esac
cmake --build "$build" -j"$(nproc)" --target "$target"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
mkdir -p "$build/$harness-corpus" "$build/findings"
cd "$build"
# Replays every seed first, then mutates, in one process.
"$build/tests/fuzz/$target" -max_total_time="$seconds" "${limits[@]}" -print_final_stats=1 \
  -artifact_prefix="$build/findings/" "$build/$harness-corpus" "${seeds[@]}"
