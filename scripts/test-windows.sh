#!/usr/bin/env bash
# Cross-builds Velmora for Windows x64 (mingw-w64) into build-windows/ (or $VELMORA_WINDOWS_BUILD_DIR)
# and runs the whole test suite under wine64 through CTest, in a fresh Wine prefix inside the build
# directory, headless. The prefix's wineserver is stopped when the run ends, however it ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_WINDOWS_BUILD_DIR:-$root/build-windows}

"$root/scripts/install-deps.sh" windows
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_BENCH=OFF >/dev/null

export WINEPREFIX=$build/wineprefix
stop_wine() { /usr/lib/wine/wineserver64 -k 2>/dev/null || true; }
trap stop_wine EXIT
stop_wine
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"

# Building runs the test programs once (test discovery), which makes the prefix.
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j2 --timeout 300
