#!/usr/bin/env bash
# The mutation check: applies each fault of scripts/mutants.txt to a scratch copy of the tree,
# builds the plugin, runs the suite and prints one line per mutant (killed by which test, or
# SURVIVED) and a final count. Exit status 0 only when every mutant was killed.
#
#   scripts/mutants.sh                 every mutant
#   scripts/mutants.sh NAME...         the named ones (CI runs a sample this way)
#   scripts/mutants.sh --list          the names and what each fault is
#
# The scratch copy and its build live in $VELMORA_MUTANTS_DIR (default build-mutants/); the
# first run builds everything once, later mutants rebuild only the plugin.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
list=$root/scripts/mutants.txt
work=${VELMORA_MUTANTS_DIR:-$root/build-mutants}

# The list's parser and the editor: `names`, `describe`, `files NAME`, `apply NAME DIR`.
mutants() {
  python3 - "$list" "$@" <<'EOF'
import sys

def parse(path):
    mutants, current, block = {}, None, None
    for number, line in enumerate(open(path, encoding="utf-8").read().split("\n"), 1):
        if line.startswith("== "):
            current = {"name": line[3:].strip(), "why": None, "edits": [], "line": number}
            if current["name"] in mutants:
                sys.exit(f"{path}:{number}: a second mutant named {current['name']}")
            mutants[current["name"]] = current
        elif current is None or (line.startswith("#") and block is None):
            continue
        elif current["why"] is None:
            current["why"] = line.strip()
        elif line.startswith("@@ "):
            block = {"file": line[3:].strip(), "find": [], "replace": []}
            current["edits"].append(block)
        elif line.startswith("-") and block is not None and not block["replace"]:
            block["find"].append(line[1:])
        elif line.startswith("+") and block is not None:
            block["replace"].append(line[1:])
        elif line.strip() == "":
            block = None
        else:
            sys.exit(f"{path}:{number}: expected a '-' line, a '+' line or '@@ file', not: {line}")
    for m in mutants.values():
        if not m["edits"] or any(not e["find"] for e in m["edits"]):
            sys.exit(f"{path}:{m['line']}: mutant {m['name']} has no lines to replace")
    return mutants

args = sys.argv[1:]
mutants = parse(args[0])
verb = args[1]
if verb == "names":
    print("\n".join(mutants))
elif verb == "describe":
    for m in mutants.values():
        print(f"{m['name']}: {m['why']}")
else:
    name = args[2]
    if name not in mutants:
        sys.exit(f"no mutant named {name} in {args[0]}")
    m = mutants[name]
    if verb == "files":
        print("\n".join(sorted({e["file"] for e in m["edits"]})))
    elif verb == "apply":
        for e in m["edits"]:
            path = f"{args[3]}/{e['file']}"
            text = open(path, encoding="utf-8").read()
            find, replace = "\n".join(e["find"]) + "\n", "\n".join(e["replace"]) + "\n"
            if text.count(find) != 1:
                sys.exit(f"mutant {name}: the lines to replace occur {text.count(find)} times in {e['file']}, not once")
            open(path, "w", encoding="utf-8").write(text.replace(find, replace))
EOF
}

if [ "${1:-}" = "--list" ]; then mutants describe; exit 0; fi
names=("$@")
[ ${#names[@]} -gt 0 ] || mapfile -t names < <(mutants names)

# The scratch copy: the tree as it stands, committed or not, without build output.
src=$work/src
build=$work/build
stage=$work/stage
rm -rf "$stage"
mkdir -p "$src" "$stage"
(cd "$root" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) | tar -xf - -C "$stage"
# Only the files that differ are copied, stamped now, so that the build redoes exactly what changed,
# a fault an earlier or interrupted run left compiled in included.
(cd "$stage" && find . -type f) | while read -r f; do
  cmp -s "$stage/$f" "$src/$f" || { mkdir -p "$(dirname "$src/$f")" && cp "$stage/$f" "$src/$f"; }
done
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(Velmora velmora_tests velmora-demo)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; echo "the unmutated tree does not build" >&2; exit 1; }

# The suite as the mutants meet it: every test of the plugin (stress included), stopping at the
# first failure, then the CTest checks of the library's symbols, the demo and the schema.
suite() {
  { timeout 300 "$build/tests/velmora_tests" --gtest_fail_fast >"$work/suite.log" 2>&1; } 2>/dev/null || return 1
  (cd "$build" && ctest -R '^(plugin|demo|scenario)\.' --stop-on-failure >"$work/ctest.log" 2>&1)
}
# Names the test that failed: gtest's failure line, the test a crash or hang stopped in, or the
# CTest check.
killer() {
  local failed
  failed=$(grep -m1 -oP '^\[  FAILED  \] \K[^ ,]+' "$work/suite.log" || true)
  if [ -n "$failed" ]; then echo "$failed"; return; fi
  if [ -s "$work/ctest.log" ] && grep -q 'tests failed' "$work/ctest.log"; then
    grep -m1 -oP '^\s+\d+ - \K\S+' "$work/ctest.log"
    return
  fi
  echo "$(grep -oP '^\[ RUN      \] \K\S+' "$work/suite.log" | tail -1) (stopped: crash or timeout)"
}

restore() { for f in "$@"; do cp "$root/$f" "$src/$f"; done; }

suite || { cat "$work/suite.log" "$work/ctest.log" 2>/dev/null; echo "the unmutated suite fails" >&2; exit 1; }

killed=0 survived=0 broken=0 start=$(date +%s)
for name in "${names[@]}"; do
  mapfile -t files < <(mutants files "$name")
  if ! mutants apply "$name" "$src"; then
    restore "${files[@]}"
    echo "$name: DOES NOT APPLY"; broken=$((broken + 1)); continue
  fi
  rm -f "$work/suite.log" "$work/ctest.log"
  if ! cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >"$work/build.log" 2>&1; then
    echo "$name: DOES NOT BUILD (see $work/build.log)"; broken=$((broken + 1))
    cp "$work/build.log" "$work/build-$name.log"
  elif suite; then
    echo "$name: SURVIVED"; survived=$((survived + 1))
  else
    echo "$name: killed by $(killer)"; killed=$((killed + 1))
  fi
  restore "${files[@]}"
done
echo "${#names[@]} mutants: $killed killed, $survived survived, $broken not applicable; $(($(date +%s) - start)) s"
[ "$killed" -eq "${#names[@]}" ]
