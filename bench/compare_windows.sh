#!/usr/bin/env bash
# Measures the Windows build under Wine against the Linux build, in alternating pairs, writing
# the reference grid (4001 by 4001 points, 455 MB) without sync: Wine maps file writes onto the
# same system calls, so the ratio shows how well the Windows side writes. Two ratios, each the
# median of PAIRS pairs' ratios with the smallest and largest: the run's own time, as grid_bench
# reports it, and the wall-clock time of the whole process, Wine's start included.
# usage: bench/compare_windows.sh [PAIRS]   (PAIRS at least 5; default 9)
# Builds both first (scripts/setup.sh, scripts/build-windows). The files are written in
# build/bench-work.
set -euo pipefail
pairs=${1:-9}
[ "$pairs" -ge 5 ] || { echo "PAIRS must be at least 5"; exit 2; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/setup.sh" >/dev/null
"$root/scripts/build-windows" >/dev/null
linux="$root/build/bench/grid_bench"
windows="$root/build-windows/bench/grid_bench.exe"
wine=("$root/cmake/wine_run.sh" "$root/build-windows/wine" /usr/lib/wine/wine64)
work="$root/build/bench-work"
mkdir -p "$work"
cd "$work"
trap 'rm -f "$work/newgrid.txt" "$work/err.txt"' EXIT
reference=(500000 504000 4000000 4004000 1)

# Prints "RUN_SECONDS WALL_SECONDS" for one run of COMMAND on the reference grid.
measure() {
  rm -f newgrid.txt
  sync
  local start=$EPOCHREALTIME
  "$@" --no-sync -- "${reference[@]}" 2>err.txt || { cat err.txt >&2; exit 1; }
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" '{ print $5, b - a }' err.txt
}

"${wine[@]}" "$windows" --no-sync -- 0 0 0 0 1 2>/dev/null  # Wine's server is up before the first pair
run_ratios=()
wall_ratios=()
for i in $(seq "$pairs"); do
  read -r linux_run linux_wall < <(measure "$linux")
  read -r windows_run windows_wall < <(measure "${wine[@]}" "$windows")
  printf 'pair %d: Linux %.3f s (%.3f s wall), Windows under Wine %.3f s (%.3f s wall)\n' \
    "$i" "$linux_run" "$linux_wall" "$windows_run" "$windows_wall"
  run_ratios+=("$(awk -v w="$windows_run" -v l="$linux_run" 'BEGIN { print w / l }')")
  wall_ratios+=("$(awk -v w="$windows_wall" -v l="$linux_wall" 'BEGIN { print w / l }')")
done

summary() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    printf "%.2f (%.2f to %.2f)\n", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[1], v[NR] }'
}
echo "Windows under Wine / Linux, grid_bench --no-sync, reference grid:"
echo "  the run's own time: $(summary "${run_ratios[@]}")"
echo "  wall-clock time:    $(summary "${wall_ratios[@]}")"
