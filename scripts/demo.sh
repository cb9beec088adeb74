#!/usr/bin/env bash
# Builds Velmora and runs the demo on its built-in scenario. Arguments go to the demo
# (--scenario FILE, --verbose).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" -DVELMORA_BUILD_BENCH=OFF
exec "$build/tools/velmora-demo" "$@"
