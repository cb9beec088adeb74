#!/usr/bin/env bash
# The instruction counts of the benchmarks that have them, under callgrind (independent of the
# machine's load), in two runs of the benchmark binary with --velmora_instructions:
# - the accessor and hand-off benchmarks, on the calling thread alone: each dumps the counts of
#   1000 calls of an accessor export and 1000 of its floor (the same platform calls inline), or of
#   1000 host hand-offs, each after zeroing the counts;
# - the emulated round trip, whose work spans the host thread and the platform threads: that run
#   starts with instrumentation off and the benchmark turns it on for its counted trips only, so
#   the dump holds every thread's instructions of those trips.
# Prints one row per accessor rule and the lines "host hand-off: N instructions" and
# "emulated round trip: N instructions".
#
#   bench/instructions.sh BENCH_BINARY
set -euo pipefail
bench=${1:?usage: instructions.sh BENCH_BINARY}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {  # run NAME VALGRIND_OPTION FILTER
  valgrind --tool=callgrind "$2" --callgrind-out-file="$out/$1.out" "$bench" --velmora_instructions \
    --benchmark_filter="$3" --benchmark_min_time=0.001 >"$out/$1.log" 2>&1 || {
    cat "$out/$1.log" >&2
    exit 1
  }
}
run calls --instr-atstart=yes '^(Accessor|HandOff)/'
run trips --instr-atstart=no '^RoundTrip/'
# Each dump names its calls in its line
# "desc: Trigger: Client Request: <export|floor|handoff|roundtrip> <benchmark> [<calls>]"
# (1000 calls unless it says) and gives their cost in its "summary:" line; in the run that starts
# with instrumentation off the summary reads 0, and the cost is the dump's "totals:" line.
for f in $(ls "$out"/calls.out.* "$out"/trips.out.* | sort -V); do
  LC_ALL=C awk '/^desc: Trigger: Client Request: /{side=$5; name=$6; calls=$7 ? $7 : 1000}
                /^summary: /{summary=$2} /^totals: /{print side, name, (summary ? summary : $2) / calls}' "$f"
done | awk '
  $1 == "handoff" { handoff = $3; next }
  $1 == "roundtrip" { roundtrip = $3; next }
  { cost[$2, $1] = $3; if (!($2 in seen)) { seen[$2] = 1; order[n++] = $2 } }
  END {
    print "accessor exports over their inline floors:"
    print "| rule | export instructions | floor instructions | overhead | within 8 |"
    print "|---|---|---|---|---|"
    worst = -1e9
    for (i = 0; i < n; i++) {
      r = order[i]; e = cost[r, "export"]; f = cost[r, "floor"]; d = e - f
      if (d > worst) worst = d
      printf "| %s | %.1f | %.1f | %+.1f | %s |\n", r, e, f, d, d <= 8 ? "yes" : "no"
    }
    printf "largest overhead: %+.1f instructions per call\n", worst
    printf "host hand-off: %d instructions\n", handoff + 0.5
    printf "emulated round trip: %d instructions\n", roundtrip + 0.5
  }'
