#!/usr/bin/env bash
# What the managed binding costs over the raw exports (bindings/dotnet/Velmora.Net.Bench, BenchmarkDotNet
# in process), against the C++ build in $1 (default build-release/, which scripts/bench.sh makes):
# BenchmarkDotNet's summary, then the figures docs/performance.md quotes. About five minutes.
# --quick: short iterations, about ten seconds, that only prove every benchmark runs (CI).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-release}" && pwd)
shift || true
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1
bench=$root/bindings/dotnet/Velmora.Net.Bench
if ! log=$(dotnet build "$bench" -c Release -nologo -v:q -p:VelmoraNativeDir="$build" 2>&1); then
  echo "$log" >&2
  exit 1
fi
dotnet "$bench/bin/Release/net10.0/Velmora.Net.Bench.dll" "$@"
