#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Velmora. Packages already present
# are left alone, so this needs no network on a machine that has them.
#
#   install-deps.sh           the Linux build, its sanitizer, fuzz and benchmark builds
#   install-deps.sh demo      only what the demo's build needs (scripts/demo.sh)
#   install-deps.sh windows   and the Windows x64 cross build, run under Wine (scripts/test-windows.sh)
#   install-deps.sh mono      only Mono, which runs the managed demo's .NET Framework build (scripts/demo-dotnet.sh)
set -euo pipefail

# libclang-rt-14-dev: the sanitizer and libFuzzer runtimes of clang (scripts/sanitize.sh, scripts/fuzz.sh).
# time: peak memory of the scenario-limit benchmark; python3-jsonschema: the scenario schema test.
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev clang libclang-rt-14-dev valgrind
          binutils time python3-jsonschema)
if [ "${1:-}" = demo ]; then
  # The plugin, the emulator (which reads scenarios with nlohmann-json), the host and the demo.
  packages=(cmake g++ make nlohmann-json3-dev)
fi
if [ "${1:-}" = windows ]; then
  # The posix thread model of mingw-w64 (std::thread, std::mutex), its objdump for the export
  # check, GoogleTest's sources to build with it, and Wine's 64-bit loader and runtime.
  packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine64 util-linux)
fi
if [ "${1:-}" = mono ]; then
  # The runtime, and the one Debian package with Mono's facade assemblies (/usr/lib/mono/4.5/Facades),
  # whose netstandard.dll a netstandard2.0 library such as Velmora.Net.dll needs to load on Mono.
  # The demo is compiled by the .NET SDK, so Mono's compiler (mcs, which mono-devel brings) goes unused.
  packages=(mono-runtime mono-devel)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "error: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Another installer holding dpkg's lock (a second script of ours, unattended upgrades) is waited for.
apt-get -o DPkg::Lock::Timeout=600 update -qq
apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}" >/dev/null
