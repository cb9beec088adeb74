#!/usr/bin/env bash
# expect_saved_world.sh FILE SHOWN DEMO...: runs the demo with --save SHOWN (FILE as the demo names
# it: under Wine with its drive), then checks that the saved world loads (--check --scenario SHOWN)
# and holds what the walkthrough did: its ledger with the refund, and the clock it advanced.
set -uo pipefail
file=$1 shown=$2
shift 2
rm -f "$file"
if ! output=$("$@" --save "$shown" 2>&1); then
  printf '%s\n' "$output"
  echo "the demo with --save $file did not exit 0"
  exit 1
fi
if ! output=$("$@" --check --scenario "$shown" 2>&1); then
  printf '%s\n' "$output"
  echo "the saved world $file does not load"
  exit 1
fi
for text in '"source": "Refund"' '"refundOf": 1' '"clock": "2025-07-02T09:00:00Z"' '"state": "Expired"'; do
  if ! grep -qF -- "$text" "$file"; then
    echo "the saved world $file lacks $text"
    exit 1
  fi
done
