#!/usr/bin/env bash
# Builds the libFuzzer harness (tests/fuzz/) with clang, AddressSanitizer and UBSan, and fuzzes the
# plugin's exports for a bounded time, starting from the seed corpus in tests/fuzz/corpus/. New
# inputs go to build-fuzz/corpus/, never into the repository. Any crash, leak, sanitizer report or
# unexpected exception stops the run with a non-zero exit and leaves the input in build-fuzz/.
#
#   scripts/fuzz.sh [SECONDS]    (default 60)
#
# VELMORA_BUILD_DIR overrides the build directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${VELMORA_BUILD_DIR:-$root/build-fuzz}

"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=address \
  -DVELMORA_BUILD_FUZZ=ON -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target velmora_fuzz

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
mkdir -p "$build/corpus" "$build/findings"
cd "$build"
# Replays every seed first, then mutates; one process, the plugin loaded once.
"$build/tests/fuzz/velmora_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=4096 \
  -print_final_stats=1 -artifact_prefix="$build/findings/" "$build/corpus" "$root/tests/fuzz/corpus"
