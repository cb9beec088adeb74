#!/usr/bin/env bash
# Builds the test suite with clang under a sanitizer and runs it through CTest. Any sanitizer
# report fails the run: the first report stops the process with a non-zero exit.
#
#   scripts/sanitize.sh address   AddressSanitizer + UndefinedBehaviorSanitizer (+ LeakSanitizer), in build-asan/
#   scripts/sanitize.sh thread    ThreadSanitizer, in build-tsan/
#
# VELMORA_BUILD_DIR overrides the build directory. The stress tests read VELMORA_STRESS_SCALE
# (docs/reliability.md); it defaults to half the load here, where every access is checked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-}
case "$kind" in
  address) default_dir=$root/build-asan ;;
  thread) default_dir=$root/build-tsan ;;
  *)
    echo "usage: $0 address|thread" >&2
    exit 2
    ;;
esac
build=${VELMORA_BUILD_DIR:-$default_dir}

"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE="$kind" \
  -DVELMORA_BUILD_BENCH=OFF -DVELMORA_BUILD_FUZZ=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target velmora_tests velmora-demo

# halt_on_error and a non-zero exit code make every report a failed test; abort_on_error is off so
# the report is printed whole before the process ends.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1:detect_odr_violation=2"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:history_size=4"
export VELMORA_STRESS_SCALE=${VELMORA_STRESS_SCALE:-0.5}

cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 600
