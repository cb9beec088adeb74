#!/usr/bin/env bash
# Configures and builds all of Velmora (tests, benchmarks and the checked-exports shim included) into
# build/ (or $VELMORA_BUILD_DIR). Extra arguments go to cmake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=ON -DVELMORA_BUILD_BENCH=ON \
  -DVELMORA_BUILD_CHECKED=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
