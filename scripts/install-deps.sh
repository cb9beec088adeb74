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
# chromium, chromium-driver, python3-selenium: the control page's test in a headless browser;
# dpkg-dev: dpkg-source, which unpacks the HTTP library's source package (below).
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev clang libclang-rt-14-dev valgrind
          binutils time python3-jsonschema chromium chromium-driver python3-selenium dpkg-dev)
if [ "${1:-}" = demo ]; then
  # The plugin, the emulator (which reads scenarios with nlohmann-json and serves the control page
  # with cpp-httplib, below), the host and the demo.
  packages=(cmake g++ make nlohmann-json3-dev dpkg-dev)
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
# cpp-httplib, the control page's HTTP server (docs/control-page.md says why this library): its one
# header, from Debian's source package with Debian's patches applied. Debian's binary package
# (libcpp-httplib-dev) splits that header into a shared library linked with OpenSSL, zlib and
# brotli, which every program that loads the emulator would then need; the header alone needs none.
httplib_dir=${VELMORA_HTTPLIB_DIR:-/usr/local/src/cpp-httplib}
[ "${1:-}" = mono ] && httplib_dir=

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
need_httplib=false
[ -n "$httplib_dir" ] && [ ! -f "$httplib_dir/httplib.h" ] && need_httplib=true
[ ${#missing[@]} -eq 0 ] && [ $need_httplib = false ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "error: installing these needs root: ${missing[*]} $([ $need_httplib = true ] && echo "$httplib_dir/httplib.h")" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # Another installer holding dpkg's lock (a second script of ours, unattended upgrades) is waited for.
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}" >/dev/null
fi

if [ $need_httplib = true ]; then
  echo "Installing: cpp-httplib's header from Debian's source package into $httplib_dir"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/lists/partial" "$work/sources"
  # The machine's own Debian sources, as source-package entries, in a list of this script's own:
  # the system's apt configuration is left as it is.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" >"$work/sources/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^deb /deb-src /p' "$f" >>"$work/sources/system.list"
  done
  apt_src=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/sources"
           -o Dir::State::Lists="$work/lists" -o APT::Sandbox::User=root)
  apt-get "${apt_src[@]}" update -qq
  (cd "$work" && apt-get "${apt_src[@]}" source -qq cpp-httplib >/dev/null)
  install -D -m 644 "$work"/cpp-httplib-*/httplib.h "$httplib_dir/httplib.h"
fi
