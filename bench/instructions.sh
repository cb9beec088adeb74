#!/usr/bin/env bash
# The instruction counts of the benchmarks that have them, under callgrind (independent of the
# machine's load): runs the accessor and hand-off benchmarks once with --velmora_instructions, which
# dumps the counts of 1000 calls of each accessor export and 1000 of its floor (the same platform
# calls inline), and of 1000 host hand-offs; prints one row per accessor rule and the line
# "host hand-off: N instructions".
#
#   bench/instructions.sh BENCH_BINARY
set -euo pipefail
bench=${1:?usage: instructions.sh BENCH_BINARY}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$out/cg.out" "$bench" --velmora_instructions \
  --benchmark_filter='^(Accessor|HandOff)/' --benchmark_min_time=0.001 >"$out/run.log" 2>&1 || {
  cat "$out/run.log" >&2
  exit 1
}
# Each dump names its calls in its "desc: Trigger: Client Request: <export|floor|handoff> <benchmark>"
# line and gives their cost in its "summary:" line.
for f in $(ls "$out"/cg.out.* | sort -V); do
  LC_ALL=C awk '/^desc: Trigger: Client Request: /{side=$5; name=$6} /^summary: /{print side, name, $2}' "$f"
done | awk -v calls=1000 '
  $1 == "handoff" { handoff = $3 / calls; next }
  { cost[$2, $1] = $3 / calls; if (!($2 in seen)) { seen[$2] = 1; order[n++] = $2 } }
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
  }'
