#!/usr/bin/env bash
# How much of the code is tests: non-blank lines of the committed C++ and C# files under tests/,
# named *_test.*, or in the binding's test project, against all committed C++ and C# files. A
# second line counts the shell and Python scripts too.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {  # count EXTENSION-REGEX: prints "tests code"
  git ls-files | grep -E "\.($1)\$" | while read -r f; do
    n=$(grep -c '[^[:space:]]' "$f" || true)
    case "$f" in
      tests/* | *_test.* | *Tests/*) echo "t $n" ;;
      *) echo "c $n" ;;
    esac
  done | awk '{s[$1] += $2} END {printf "%d %d\n", s["t"], s["c"]}'
}

report() {
  read -r tests code < <(count "$2")
  awk -v t="$tests" -v c="$code" -v what="$1" \
    'BEGIN {printf "%s: tests %d of %d non-blank lines (%.1f%%)\n", what, t, t + c, 100 * t / (t + c)}'
}

report "C++ and C#" "cpp|h|cs"
report "C++, C# and scripts" "cpp|h|cs|sh|py"
