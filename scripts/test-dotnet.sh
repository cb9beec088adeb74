#!/usr/bin/env bash
# Runs the managed binding's tests against the C++ build in build/ (or $VELMORA_BUILD_DIR), which
# scripts/build.sh makes: the xunit suite on .NET, then the package as a user consumes it, packed
# into a folder feed and restored into a project of its own. scripts/test.sh calls this after CTest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD_DIR:-$root/build}
dotnet_dir=$root/bindings/dotnet
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
msbuild_args=(-c Release -p:VelmoraNativeDir="$build" -nologo -v:q)

echo "== managed binding: xunit suite"
dotnet test "$dotnet_dir/Velmora.Net.Tests" "${msbuild_args[@]}"

echo "== managed binding: the package from a folder feed"
feed=$build/nuget
rm -rf "$feed" "$dotnet_dir/Velmora.Net.PackageTest/obj" "$dotnet_dir/Velmora.Net.PackageTest/bin"
dotnet pack "$dotnet_dir/Velmora.Net" "${msbuild_args[@]}" -o "$feed"
python3 -m zipfile -l "$feed"/Velmora.Net.*.nupkg | awk '/^(lib|runtimes)\//{print "  " $1}'
dotnet test "$dotnet_dir/Velmora.Net.PackageTest" "${msbuild_args[@]}" -p:VelmoraFeed="$feed"
