#!/usr/bin/env bash
# Measures grid_bench against the machine's own limits, side by side, in alternating pairs:
#  - a synced run (what Run does) vs dd bs=1M conv=fsync writing as many bytes;
#  - a synced run vs dd oflag=direct bs=4M, the disk's own floor;
#  - a run without sync vs dd bs=1M;
#  - the page cache a synced run leaves behind (fincore) and peak resident memory (GNU time);
# on the reference grid (4001 by 4001 points, 455 MB) and at 64 million points (1.5 GB).
# Each ratio is the median of the ratios of PAIRS pairs, with their smallest and largest.
# usage: bench/compare.sh [PAIRS] [--numpy]   (PAIRS at least 5; default 9)
# --numpy also times a numpy meshgrid + savetxt script writing the same reference file, once.
# The files are written in build/bench-work, on the same file system as the build.
extra_packages="time util-linux"
pairs=9
numpy=
for arg in "$@"; do
  case $arg in
    --numpy) numpy=1; extra_packages="$extra_packages python3-numpy" ;;
    *) pairs=$arg ;;
  esac
done
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

[ "$pairs" -ge 5 ] || { echo "PAIRS must be at least 5"; exit 2; }
bench="$build/bench/grid_bench"
work="$build/bench-work"
mkdir -p "$work"
cd "$work"
trap 'rm -f "$work/newgrid.txt" "$work/dd.out" "$work/numpy/newgrid.txt"' EXIT

reference=(500000 504000 4000000 4004000 1)  # 4001 x 4001 = 16,008,001 points
large=(0 8000 0 8000 1)                      # 8001 x 8001 = 64,016,001 points
wide=(0 32766 0 999 1)                       # 32767 columns of 1000 rows

# Starts every run alike: no file to replace, no dirty pages from the run before.
prepare() { rm -f newgrid.txt dd.out; sync; }
# Prints the wall-clock seconds COMMAND takes.
seconds() {
  local start=$EPOCHREALTIME
  "$@" 2>/dev/null || { echo "failed: $*" >&2; exit 1; }
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}
# Prints "median (min to max)" of the numbers on standard input.
summary() {
  sort -g | awk '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.3f (%.3f to %.3f)", m, v[1], v[NR] }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# compare GRID LABEL GRID_BENCH_OPTION DD_OPTIONS...: alternating pairs, grid_bench first in
# odd pairs and dd first in even ones, so that both meet the same state of the disk.
compare() {
  local -n values=$1
  local name=$1 label=$2 option=$3
  shift 3
  local bytes ratios=() grid_times=() dd_times=()
  prepare
  "$bench" --no-sync -- "${values[@]}" 2>"$work/summary.txt"
  bytes=$(awk '{ print $3 }' "$work/summary.txt")
  for ((i = 0; i < pairs; i++)); do
    local g d
    if ((i % 2 == 0)); then
      prepare; g=$(seconds "$bench" $option -- "${values[@]}")
      prepare; d=$(seconds dd if=/dev/zero of=dd.out iflag=count_bytes count="$bytes" status=none "$@")
    else
      prepare; d=$(seconds dd if=/dev/zero of=dd.out iflag=count_bytes count="$bytes" status=none "$@")
      prepare; g=$(seconds "$bench" $option -- "${values[@]}")
    fi
    grid_times+=("$g")
    dd_times+=("$d")
    ratios+=("$(awk -v a="$g" -v b="$d" 'BEGIN { printf "%.4f", a / b }')")
  done
  printf '%-9s %-28s grid_bench %s s, dd %s s, ratio %s\n' "$name" "$label" \
    "$(printf '%s\n' "${grid_times[@]}" | median)" "$(printf '%s\n' "${dd_times[@]}" | median)" \
    "$(printf '%s\n' "${ratios[@]}" | summary)"
}

echo "Machine: $(nproc) cores, $(df -h --output=fstype,avail . | tail -n 1 | xargs) free," \
  "mounted $(findmnt -no OPTIONS -T . | cut -c1-60); $pairs alternating pairs each"
echo
for grid in reference large; do
  compare "$grid" "synced vs dd conv=fsync" "" bs=1M conv=fsync
  compare "$grid" "synced vs dd oflag=direct" "" bs=4M oflag=direct
  compare "$grid" "no sync vs dd" "--no-sync" bs=1M
done
echo

for grid in reference large; do
  declare -n values=$grid
  prepare
  kb=$(/usr/bin/time -f '%M' "$bench" -- "${values[@]}" 2>&1 >/dev/null | tail -n 1)
  cached=$(fincore --bytes --noheadings --output RES newgrid.txt)
  printf '%-9s synced run: peak resident memory %.1f MB, %.1f MB of newgrid.txt left in the page cache\n' \
    "$grid" "$(awk -v k="$kb" 'BEGIN { print k * 1024 / 1e6 }')" \
    "$(awk -v b="$cached" 'BEGIN { print b / 1e6 }')"
done
prepare
kb=$(/usr/bin/time -f '%M' "$bench" --no-sync -- "${wide[@]}" 2>&1 >/dev/null | tail -n 1)
printf '%-9s peak resident memory %.1f MB\n' "wide" "$(awk -v k="$kb" 'BEGIN { print k * 1024 / 1e6 }')"

if [ -n "$numpy" ]; then
  # Debian's own python3, which has Debian's numpy.
  prepare
  "$bench" --no-sync -- "${reference[@]}" 2>/dev/null
  mkdir -p numpy
  rm -f numpy/newgrid.txt
  sync
  numpy_seconds=$(cd numpy && seconds /usr/bin/python3 "$root/bench/numpy_grid.py" "${reference[@]}")
  prepare
  grid_seconds=$(seconds "$bench" --no-sync -- "${reference[@]}")
  "$bench" --no-sync -- "${reference[@]}" 2>/dev/null
  same=$(cmp -s newgrid.txt numpy/newgrid.txt && echo "byte-identical" || echo "DIFFERENT")
  printf '%-9s numpy meshgrid + savetxt %.1f s, grid_bench --no-sync %.3f s: %.0f times slower, %s files\n' \
    "numpy" "$numpy_seconds" "$grid_seconds" \
    "$(awk -v a="$numpy_seconds" -v b="$grid_seconds" 'BEGIN { print a / b }')" "$same"
fi
