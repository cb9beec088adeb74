#!/usr/bin/env bash
# Builds what the demo needs (the plugin, the emulator, the reference host and velmora-demo; no
# tests, benchmarks or bindings, so only CMake, g++, make, nlohmann-json and the control page's HTTP
# library header are installed) into build/ (or $VELMORA_BUILD_DIR) and runs the demo on its
# built-in scenario. Arguments go to the demo (--scenario FILE, --verbose, --control [PORT]).
# scripts/build.sh later turns the same directory into the full build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" demo
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF \
  -DVELMORA_BUILD_CHECKED=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target velmora-demo
exec "$build/tools/velmora-demo" "$@"
