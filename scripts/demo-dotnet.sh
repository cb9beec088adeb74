#!/usr/bin/env bash
# Builds the managed demo (bindings/dotnet/demo) against the C++ build in build/ (or
# $VELMORA_BUILD_DIR), which scripts/build.sh makes, runs it under dotnet (net10.0) and under Mono
# (net48, with the very same netstandard2.0 Velmora.Net.dll; System.Text.Json comes from a package
# there), and fails unless both exit 0 (every step behaved as the scenario says, the second host's
# round in the same process included) and both transcripts are the same, byte for byte.
# $VELMORA_NATIVE_DIR, when set, names the folder of the native libraries instead of the build.
# Arguments go to both runs (--scenario FILE).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD_DIR:-$root/build}
demo=$root/bindings/dotnet/demo
out=$demo/bin/Release
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1

"$root/scripts/install-deps.sh" mono

native=${VELMORA_NATIVE_DIR:-$build}
if [ ! -f "$native/libVelmora.so" ] || [ ! -f "$native/libvelmora_checked.so" ]; then
  echo "error: no native libraries in $native; build them first with scripts/build.sh" >&2
  exit 1
fi
native=$(cd "$native" && pwd)
if [ -n "${VELMORA_NATIVE_DIR:-}" ]; then
  msbuild_args=(-p:VELMORA_NATIVE_DIR="$native")
else
  msbuild_args=(-p:VelmoraNativeDir="$native")
fi

echo "== managed demo: build (net10.0 for dotnet, net48 for Mono)"
dotnet build "$demo" -c Release "${msbuild_args[@]}" -nologo -v:q
if ! cmp -s "$out/net10.0/Velmora.Net.dll" "$out/net48/Velmora.Net.dll"; then
  echo "error: the two builds carry different Velmora.Net.dll files" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
run() {  # run NAME COMMAND...: the transcript goes to $work/NAME.txt; the demo exits 0 when all is as expected
  local name=$1 rc=0
  shift
  timeout 300 "$@" >"$work/$name.txt" || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "error: the demo under $name exited $rc, not 0 (every step as the scenario says)" >&2
    status=1
  fi
  return 0
}

echo "== managed demo: under dotnet"
run dotnet dotnet "$out/net10.0/Velmora.Demo.dll" "$@"
cat "$work/dotnet.txt"
echo "== managed demo: under Mono ($(mono --version 2>/dev/null | sed -n 1p))"
run mono mono "$out/net48/Velmora.Demo.exe" "$@"
[ "$status" -eq 0 ] || cat "$work/mono.txt"

if ! diff -u --label dotnet --label mono "$work/dotnet.txt" "$work/mono.txt"; then
  echo "error: the transcripts under dotnet and Mono differ" >&2
  exit 1
fi
[ "$status" -eq 0 ] || exit 1
echo "== the transcripts under dotnet and Mono are the same ($(wc -l <"$work/dotnet.txt") lines, $(wc -c <"$work/dotnet.txt") bytes)"
