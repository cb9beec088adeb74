#!/usr/bin/env bash
# Runs the managed binding's tests against the C++ build in build/ (or $VELMORA_BUILD_DIR), which
# scripts/build.sh makes: the xunit suite on .NET, then the package as a user consumes it, packed
# into a folder feed and restored into a project of its own. scripts/test.sh calls this after CTest.
#
#   test-dotnet.sh           the suite and the package
#   test-dotnet.sh package   the package only; with the Windows build present (build-windows/bin, or
#                            $VELMORA_WINDOWS_NATIVE_DIR) it must carry the Windows libraries too
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

echo "== managed binding: the package from a folder feed"
feed=$build/nuget
rm -rf "$feed" "$dotnet_dir/Velmora.Net.PackageTest/obj" "$dotnet_dir/Velmora.Net.PackageTest/bin"
dotnet pack "$dotnet_dir/Velmora.Net" "${msbuild_args[@]}" -o "$feed"
contents=$(python3 -m zipfile -l "$feed"/Velmora.Net.*.nupkg | awk '/^(lib|runtimes)\//{print $1}')
echo "$contents" | sed 's/^/  /'
expected=(lib/netstandard2.0/Velmora.Net.dll runtimes/linux-x64/native/libVelmora.so runtimes/linux-x64/native/libvelmora_checked.so)
[ -f "$windows/Velmora.dll" ] && expected+=(runtimes/win-x64/native/Velmora.dll runtimes/win-x64/native/velmora_checked.dll)
for f in "${expected[@]}"; do
  grep -qx "$f" <<<"$contents" || { echo "error: the package lacks $f" >&2; exit 1; }
done
dotnet test "$dotnet_dir/Velmora.Net.PackageTest" "${msbuild_args[@]}" -p:VelmoraFeed="$feed"
