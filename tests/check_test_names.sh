#!/usr/bin/env bash
# The test suite's names as CTest shows them: every parameterised case has a name of its own (not an
# index), every parameter prints as text (not a dump of its bytes), and no full name is longer than
# 116 characters, so no line of `ctest -N` or of a CTest run is wider than 160.
#
#   check_test_names.sh [RUNNER...] TEST_BINARY
set -euo pipefail
"$@" --gtest_list_tests | tr -d '\r' | awk '
  /^[^ ]/ { suite = $1; next }
  {
    name = $1; full = suite name
    if ($0 ~ /byte object </) { print "a parameter without a printer: " full; bad = 1 }
    if (name ~ /\/[0-9]+$/) { print "a case named by its index: " full; bad = 1 }
    if (length(full) > 116) { print "longer than 116 characters (" length(full) "): " full; bad = 1 }
    n++
  }
  END {
    if (n == 0) { print "no tests listed"; exit 1 }
    if (bad) exit 1
    print n " test names checked"
  }'
