#!/usr/bin/env bash
# Builds what the demo needs (the plugin, the emulator, the reference host and velmora-demo; no
# tests, benchmarks or bindings, so only CMake, g++, make, nlohmann-json and the control page's HTTP
# library header are installed) and runs the demo on its built-in scenario. Arguments go to the
# demo (--scenario FILE, --verbose, --control [PORT]).
# It builds into build-demo/ (or $VELMORA_DEMO_BUILD_DIR), in Release without debug information,
# which compiles about a third faster than the test build's; scripts/build.sh keeps build/ with
# debug information, which the packages' symbol files come from.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_DEMO_BUILD_DIR:-$root/build-demo}
"$root/scripts/install-deps.sh" demo
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF \
  -DVELMORA_BUILD_CHECKED=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target velmora-demo
exec "$build/tools/velmora-demo" "$@"
