#!/usr/bin/env bash
# Runs the managed binding's tests against the C++ build in build/ (or $VELMORA_BUILD_DIR), which
# scripts/build.sh makes: the xunit suite on .NET, then the two packages as a user consumes them,
# packed into a folder feed and restored into a program of its own, run under dotnet (net10.0) and
# Mono (net48). scripts/test.sh calls this after CTest.
#
#   test-dotnet.sh           the suite and the packages
#   test-dotnet.sh package   the packages only; with the Windows build present (build-windows/bin, or
#                            $VELMORA_WINDOWS_NATIVE_DIR) they must carry the Windows libraries too
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD_DIR:-$root/build}
windows=${VELMORA_WINDOWS_NATIVE_DIR:-$root/build-windows/bin}
dotnet_dir=$root/bindings/dotnet
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
msbuild_args=(-c Release -p:VelmoraNativeDir="$build" -p:VelmoraWindowsNativeDir="$windows" -nologo -v:q)

if [ "${1:-}" != package ]; then
  echo "== managed binding: xunit suite"
  dotnet test "$dotnet_dir/Velmora.Net.Tests" "${msbuild_args[@]}"
fi

echo "== managed binding: the packages from a folder feed"
"$root/scripts/install-deps.sh" mono
feed=$build/nuget
test_dir=$dotnet_dir/Velmora.Net.PackageTest
rm -rf "$feed" "$test_dir/obj" "$test_dir/bin"
for package in Velmora.Net Velmora.Net.Testing; do dotnet pack "$dotnet_dir/$package" "${msbuild_args[@]}" -o "$feed"; done

# contains PACKAGE PATH...: every path is in the package; lacks PACKAGE PATH...: none is.
listing() { python3 -m zipfile -l "$feed/$1".[0-9]*.nupkg | awk 'NR > 1 {print $1}'; }
contains() {
  local package=$1 f
  shift
  for f in "$@"; do listing "$package" | grep -qx "$f" || { echo "error: $package lacks $f" >&2; exit 1; }; done
}
lacks() {
  local package=$1 f
  shift
  for f in "$@"; do ! listing "$package" | grep -q "$f" || { echo "error: $package must not carry $f" >&2; exit 1; }; done
}
plugin=(lib/netstandard2.0/Velmora.Net.dll lib/netstandard2.0/Velmora.Net.xml README.md build/Velmora.Net.targets
        runtimes/linux-x64/native/libVelmora.so runtimes/linux-x64/native/libvelmora_checked.so)
testing=(lib/netstandard2.0/Velmora.Net.Testing.dll lib/netstandard2.0/Velmora.Net.Testing.xml README.md
         build/Velmora.Net.Testing.targets runtimes/linux-x64/native/libvelmora_host.so
         runtimes/linux-x64/native/libvelmora_emulator.so contentFiles/any/any/scenarios/default.json
         contentFiles/any/any/scenarios/faults.json contentFiles/any/any/scenarios/scenario.schema.json)
if [ -f "$windows/Velmora.dll" ]; then
  plugin+=(runtimes/win-x64/native/Velmora.dll runtimes/win-x64/native/velmora_checked.dll)
  testing+=(runtimes/win-x64/native/velmora_host.dll runtimes/win-x64/native/velmora_emulator.dll)
fi
contains Velmora.Net "${plugin[@]}"
lacks Velmora.Net velmora_host velmora_emulator
contains Velmora.Net.Testing "${testing[@]}"
lacks Velmora.Net.Testing libVelmora.so Velmora.dll
# What ships is stripped; the debug information waits in $feed/debug, linked by .gnu_debuglink.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
python3 -m zipfile -e "$feed"/Velmora.Net.[0-9]*.nupkg "$unpacked"
for lib in "$unpacked"/runtimes/*/native/*; do
  if objdump -h "$lib" | grep -q '\.debug_info'; then echo "error: $(basename "$lib") in the package has debug information" >&2; exit 1; fi
done
for f in "$feed"/*.nupkg; do echo "  $(basename "$f"): $(du -k "$f" | cut -f1) KiB"; done
echo "  debug information: $(du -sk "$feed/debug" | cut -f1) KiB in $feed/debug"

dotnet build "$test_dir" "${msbuild_args[@]}" -p:VelmoraFeed="$feed"
echo "== the package test under dotnet"
dotnet "$test_dir/bin/Release/net10.0/Velmora.Net.PackageTest.dll"
echo "== the package test under Mono (net48, built without a runtime identifier)"
mono "$test_dir/bin/Release/net48/Velmora.Net.PackageTest.exe"
