#!/usr/bin/env bash
# What the managed binding costs over the raw exports (bindings/dotnet/Velmora.Net.Bench), against
# the C++ build in $1 (default build-release/, which scripts/bench.sh makes). --quick: a run of a few
# seconds that only proves the benchmark works.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-release}" && pwd)
shift || true
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1
bench=$root/bindings/dotnet/Velmora.Net.Bench
dotnet build "$bench" -c Release -nologo -v:q -p:VelmoraNativeDir="$build" >/dev/null
dotnet "$bench/bin/Release/net10.0/Velmora.Net.Bench.dll" "$@"
