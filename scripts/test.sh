#!/usr/bin/env bash
# Builds Velmora and runs the whole test suite: every C++ test through CTest, then the managed
# binding's tests on .NET (scripts/test-dotnet.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" "$@"
cd "$build"
ctest --output-on-failure -j2 --timeout 300
VELMORA_BUILD_DIR=$build "$root/scripts/test-dotnet.sh"
