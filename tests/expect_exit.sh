#!/usr/bin/env bash
# expect_exit.sh STATUS TEXT COMMAND...: runs the command and passes when it exits with STATUS and
# its output (stdout and stderr) contains TEXT.
expected=$1 text=$2
shift 2
output=$("$@" 2>&1)
status=$?
if [ "$status" -ne "$expected" ] || ! grep -qF -- "$text" <<<"$output"; then
  printf '%s\n' "$output"
  echo "expected exit $expected and \"$text\"; got exit $status"
  exit 1
fi
