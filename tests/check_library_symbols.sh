#!/usr/bin/env bash
# Reads the plugin library's own symbol tables (ELF with nm, PE with objdump) and checks them
# against the export list itself, not against our headers:
# - the exported names are exactly the names of include/velmora/exports.inc;
# - what the library imports is the system runtime's flat functions (strings and activation) and
#   the C and C++ runtime, nothing from the emulator or any other library of ours.
#
#   check_library_symbols.sh LIBRARY EXPORTS_INC
set -euo pipefail
library=$1
list=$2
runtime='^(WindowsCreateString|WindowsDuplicateString|WindowsDeleteString|WindowsGetStringRawBuffer|RoGetActivationFactory)$'

expected=$(sed -n 's/^VELMORA_EXPORT([^,]*, *\([A-Za-z0-9_]*\),.*/\1/p' "$list" | sort)
problems=()

case "$library" in
  *.dll)
    dump=$(x86_64-w64-mingw32-objdump -p "$library")
    # Export names stand in the "[Ordinal/Name Pointer] Table" as "[  n] Name".
    exported=$(awk '/\[Ordinal\/Name Pointer\] Table/ {t = 1; next} t && /^\t\[ *[0-9]+\]/ {print $NF; next} t && !/^\t\[/ {t = 0}' \
      <<<"$dump" | sort)
    # Imports: "DLL Name: X" then one "hint name" line per function.
    imports=$(awk '/DLL Name:/ {dll = $3; next} dll != "" && /^\t +[0-9a-f]+ +[0-9]+ +[A-Za-z_]/ {print dll, $3} /^$/ {dll = ""}' <<<"$dump")
    while read -r dll name; do
      [ -n "$dll" ] || continue
      case "${dll,,}" in
        kernel32.dll | msvcrt.dll) ;;
        combase.dll | api-ms-win-core-winrt-l1-1-0.dll | api-ms-win-core-winrt-string-l1-1-0.dll)
          [[ $name =~ $runtime ]] || problems+=("imports $name from $dll, which is not a runtime function the plugin uses") ;;
        *) problems+=("imports $name from $dll") ;;
      esac
    done <<<"$imports"
    ;;
  *)
    exported=$(nm -D --defined-only "$library" | awk '{print $NF}' | grep -v -E '^_ZT[IS]F' | sort)
    # Versioned names come from the C and C++ runtime; weak ones may stay unresolved; the
    # sanitizer builds call their runtime. Everything else must be a runtime function.
    while read -r type name; do
      case "$type:$name" in
        w:* | v:* | *:*@* | *:__asan_* | *:__ubsan_* | *:__tsan_* | *:__sanitizer_* | *:__lsan_*) ;;
        *) [[ $name =~ $runtime ]] || problems+=("imports $name") ;;
      esac
    done < <(nm -D --undefined-only --with-symbol-versions "$library" | awk '{print $(NF-1), $NF}')
    ;;
esac

if [ "$exported" != "$expected" ]; then
  problems+=("the exported names differ from the export list (< list, > library):")
  problems+=("$(diff <(echo "$expected") <(echo "$exported") | grep '^[<>]' || true)")
fi
if [ "${#problems[@]}" -gt 0 ]; then
  for problem in "${problems[@]}"; do echo "$library: $problem" >&2; done
  exit 1
fi
echo "$library: exports exactly the $(wc -l <<<"$expected") names of the export list; imports only the runtime's functions"
