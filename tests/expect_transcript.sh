#!/usr/bin/env bash
# expect_transcript.sh GOLDEN COMMAND...: runs the command and passes when it exits 0 and prints
# GOLDEN, line for line. Line ends (CRLF on Windows) and the one path that depends on the
# machine, where a package was mounted, are compared without their difference.
set -uo pipefail
golden=$1
shift
output=$("$@" 2>&1)
status=$?
normalized=$(tr -d '\r' <<<"$output" | sed -E 's/^( *mounted at ).*/\1<mount path>/')
if [ "$status" -ne 0 ] || ! diff -u "$golden" <(printf '%s\n' "$normalized"); then
  echo "expected exit 0 and the transcript $golden (diff above, - expected + printed); got exit $status"
  exit 1
fi
