#!/usr/bin/env bash
# Builds Velmora and runs the whole test suite through CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" "$@"
cd "$build"
ctest --output-on-failure -j2 --timeout 300
