#!/usr/bin/env bash
# scenario_limits.sh DEMO: feeds velmora-demo the hostile scenario files a user could write (a number
# beyond a double, 100,000 nested brackets, and a file one step past each limit) and reports, for
# each, the exit status, the wall time and the peak memory. Each must be refused with exit 2 and a
# message naming the problem, in under a second and under 100 MB; any that is not fails the run.
set -euo pipefail
demo=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

python3 - "$dir" <<'EOF'
import sys
d = sys.argv[1]
def write(name, text):
    with open(f"{d}/{name}", "w") as f:
        f.write(text)
offer = '{"catalog": [{"id": "c", "productId": "p", "mediaItemType": "Game", "availabilities": [{"offerDisplayDataJson": %s}]}]}'
write("number_overflow.json", '{"users": [{"id": 1e400, "gamertag": "A"}]}')
write("nested_100000.json", "[" * 100000 + "]" * 100000)
write("depth_65.json", offer % ("[" * 60 + "]" * 60))
write("array_100001.json", '{"title": {"relatedTitleIds": [' + ",".join(['"a"'] * 100001) + "]}}")
write("object_100001.json", '{"packages": [{"packageFullName": "P", "files": {' +
      ",".join(f'"f{i}": ""' for i in range(100001)) + "}}]}")
write("values_1000001.json", offer % ("[" + ",".join(["[" + ",".join(["0"] * 100000) + "]"] * 10) + "]"))
# Just under the size limit: the most a file below it can make the parser build before a limit stops it.
write("values_in_16MiB.json", offer % ("[" + ",".join(["[" + ",".join(["0"] * 100000) + "]"] * 40) + "]"))
with open(f"{d}/size_16MiB_plus_1.json", "w") as f:
    f.write("{}" + " " * (16 * 1024 * 1024 - 1))
EOF

status=0
printf '%-26s %5s %9s %8s  %s\n' file exit seconds "peak MB" message
for file in "$dir"/*.json; do
  set +e
  /usr/bin/time -f '%e %M' -o "$dir/time" "$demo" --scenario "$file" >"$dir/out" 2>&1
  code=$?
  set -e
  read -r seconds kb < <(tail -n1 "$dir/time")
  mb=$((kb / 1024))
  message=$(grep -m1 -F "$(basename "$file")" "$dir/out" | sed "s|$dir/||" | cut -c1-100)
  printf '%-26s %5s %9s %8s  %s\n' "$(basename "$file")" "$code" "$seconds" "$mb" "$message"
  if [ "$code" -ne 2 ] || [ -z "$message" ] || awk "BEGIN { exit !($seconds >= 1) }" || [ "$mb" -ge 100 ]; then
    echo "  not refused with exit 2 and a message in under 1 s and 100 MB" >&2
    status=1
  fi
done
exit $status
