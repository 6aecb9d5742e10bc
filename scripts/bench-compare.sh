#!/usr/bin/env bash
# Times the folder listing of two builds of the benchmark suite on the same
# generated folders, in fresh processes, the contenders alternating round by
# round: this build's listing, the other build's listing, and the bare loop
# (readdir + each .shp's 100-byte header). Prints min and median per size and
# contender, the ratios to the bare loop, and the machine's load at the start
# and the end. For "before and after" figures of a change on a busy machine:
#
#   scripts/bench-compare.sh OTHER_BUILD [ROUNDS] [SIZES]
#   e.g. scripts/bench-compare.sh /tmp/before/build 15 1000,10000,100000
#
# OTHER_BUILD and MARBROOK_BUILD_DIR (default build) are build folders with
# bench/bench_suite built (scripts/test.sh builds it). The data goes under
# MARBROOK_BENCH_DIR (default the temporary folder) and is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

other=${1:?usage: scripts/bench-compare.sh OTHER_BUILD [ROUNDS] [SIZES]}
rounds=${2:-15}
sizes=${3:-1000,10000,100000}
this_suite="$PWD/${MARBROOK_BUILD_DIR:-build}/bench/bench_suite"
other_suite="$(cd "$other" && pwd)/bench/bench_suite"
for s in "$this_suite" "$other_suite"; do
  [ -x "$s" ] || { echo "bench-compare: no $s (build it first)" >&2; exit 2; }
done

work=$(mktemp -d "${MARBROOK_BENCH_DIR:-${TMPDIR:-/tmp}}/marbrook-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT
export MARBROOK_HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$MARBROOK_HOME" "$XDG_CONFIG_HOME"

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
"$this_suite" --child templates "$work/templates" >/dev/null
IFS=, read -r -a ns <<<"$sizes"
for n in "${ns[@]}"; do
  echo "generating a folder of $n entries ..." >&2
  MARBROOK_BENCH_ENTRIES=$n MARBROOK_BENCH_TEMPLATES="$work/templates" \
    "$this_suite" --child folder-data "$work/f$n" >/dev/null
done
# A folder changed a moment ago is read afresh at every look: let it settle.
sleep 4

# One line per run: n contender milliseconds count
runs="$work/runs"
: >"$runs"
run() { # n contender suite child
  local out
  out=$("$3" --child "$4" "$work/f$1" | sed -n 's/^RESULT //p')
  echo "$1 $2 $out" | awk '{ printf "%s %s %.4f %s\n", $1, $2, $3 * 1000, $4 }' >>"$runs"
}
for ((r = 0; r < rounds; r++)); do
  for n in "${ns[@]}"; do
    if ((r % 2 == 0)); then
      run "$n" this "$this_suite" folder-ours; run "$n" other "$other_suite" folder-ours; run "$n" bare "$this_suite" folder-base
    else
      run "$n" bare "$this_suite" folder-base; run "$n" other "$other_suite" folder-ours; run "$n" this "$this_suite" folder-ours
    fi
  done
done

printf '\n%8s %-6s %8s %10s %10s %10s %10s\n' n build listed "min ms" "median ms" "min ratio" "med ratio"
for n in "${ns[@]}"; do
  for who in bare other this; do
    sort -k3,3g <(awk -v n="$n" -v w="$who" '$1 == n && $2 == w' "$runs") |
      awk -v n="$n" -v w="$who" '{ t[NR] = $3; c = $4 } END {
        med = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        printf "%s %s %s %.3f %.3f\n", n, w, c, t[1], med }'
  done
done | awk '$2 == "bare" { bmin[$1] = $4; bmed[$1] = $5 }
            { printf "%8s %-6s %8s %10.2f %10.2f %10.2f %10.2f\n", $1, $2, $3, $4, $5, $4 / bmin[$1], $5 / bmed[$1] }'
echo
echo "rounds: $rounds; this: $this_suite; other: $other_suite"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
