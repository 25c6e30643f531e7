#!/usr/bin/env bash
# What the progress line costs: tessaplan-grid, drawing it on a pseudo-terminal, against
# grid_bench, which draws none, both run by `script` on a pseudo-terminal of their own, writing
# the reference grid (4001 by 4001 points, 455 MB) with --no-sync into a tmpfs folder, in PAIRS
# alternating pairs. Prints each pair and the median of the pairs' ratios of wall-clock time,
# with the smallest and largest.
# usage: bench/compare_console.sh [PAIRS]   (PAIRS at least 5; default 9)
# Builds first (scripts/setup.sh); writes in a folder of its own under /dev/shm.
set -euo pipefail
pairs=${1:-9}
[ "$pairs" -ge 5 ] || { echo "PAIRS must be at least 5"; exit 2; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/setup.sh" >/dev/null
grid="$root/build/src/console/tessaplan-grid"
bench="$root/build/bench/grid_bench"
work=$(mktemp -d -p /dev/shm)
trap 'rm -rf "$work"' EXIT
cd "$work"
[ "$(stat -f -c %T .)" = tmpfs ] || { echo "/dev/shm is not a tmpfs here"; exit 1; }
reference="--no-sync -- 500000 504000 4000000 4004000 1"
# shellcheck disable=SC2086
bytes=$("$grid" --dry-run $reference | sed -E 's/.* ([0-9]+) bytes.*/\1/')

# Prints the wall-clock seconds of PROGRAM on the reference grid, on a pseudo-terminal.
measure() {
  rm -f newgrid.txt
  local start=$EPOCHREALTIME
  script -qfec "'$1' $reference" /dev/null >terminal.txt
  local end=$EPOCHREALTIME
  test "$(wc -c <newgrid.txt)" -eq "$bytes" || { echo "$1 wrote no reference grid"; exit 1; }
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

ratios=()
for i in $(seq "$pairs"); do
  bench_seconds=$(measure "$bench")
  grid_seconds=$(measure "$grid")
  grep -Eq '[0-9]+% of [0-9.]+ MB' terminal.txt || { echo "tessaplan-grid drew no progress line"; exit 1; }
  printf 'pair %d: grid_bench %.3f s, tessaplan-grid with its progress line %.3f s\n' \
    "$i" "$bench_seconds" "$grid_seconds"
  ratios+=("$(awk -v g="$grid_seconds" -v b="$bench_seconds" 'BEGIN { print g / b }')")
done
printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END {
  printf "tessaplan-grid / grid_bench: %.3f (%.3f to %.3f)\n",
         (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[1], v[NR] }'
