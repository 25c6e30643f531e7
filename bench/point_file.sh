#!/usr/bin/env bash
# The point file's speed against the grid's, byte for byte: tessaplan-grid --no-sync writes the
# grid of an extent (newgrid.txt) and its point file (--format=pnezd, p.csv), in PAIRS
# alternating pairs, grid first in odd pairs and point file first in even ones. For each pair the
# ratio of the point file's bytes a second to the grid's; prints the median ratio with the
# smallest and largest, the median times and each file's peak resident memory (GNU time).
# usage: bench/point_file.sh [PAIRS]   (PAIRS at least 5; default 7)
# The extent is 5000 by 5000 points (578 MB of grid, 767 MB of point file); the files are written
# in build/bench-work, on the same file system as the build.
extra_packages="time"
pairs=${1:-7}
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

[ "$pairs" -ge 5 ] || { echo "PAIRS must be at least 5"; exit 2; }
grid="$build/src/console/tessaplan-grid"
work="$build/bench-work"
mkdir -p "$work"
cd "$work"
trap 'rm -f "$work/newgrid.txt" "$work/p.csv"' EXIT
extent=(0 4999 0 4999 1)
point_file=(--format=pnezd --output=p.csv)

prepare() { rm -f newgrid.txt p.csv; sync; }
# Prints the wall-clock seconds tessaplan-grid takes with these options.
seconds() {
  local start=$EPOCHREALTIME
  "$grid" --no-sync "$@" -- "${extent[@]}" 2>/dev/null || { echo "failed: $*" >&2; exit 1; }
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
bytes_of() { "$grid" --dry-run "$@" -- "${extent[@]}" | sed -nE '1s/.* ([0-9]+) bytes.*/\1/p'; }

grid_bytes=$(bytes_of)
point_bytes=$(bytes_of "${point_file[@]}")
ratios=() grid_times=() point_times=()
for ((i = 0; i < pairs; i++)); do
  if ((i % 2 == 0)); then
    prepare; g=$(seconds)
    prepare; p=$(seconds "${point_file[@]}")
  else
    prepare; p=$(seconds "${point_file[@]}")
    prepare; g=$(seconds)
  fi
  grid_times+=("$g")
  point_times+=("$p")
  ratios+=("$(awk -v g="$g" -v p="$p" -v gb="$grid_bytes" -v pb="$point_bytes" \
    'BEGIN { printf "%.4f", (pb / p) / (gb / g) }')")
done
[ "$(wc -c <p.csv)" -eq "$point_bytes" ] || { echo "the point file is not the size --dry-run says"; exit 1; }

peak() { /usr/bin/time -f '%M' "$grid" --no-sync "$@" -- "${extent[@]}" 2>&1 >/dev/null | tail -n 1; }
prepare
grid_kb=$(peak)
prepare
point_kb=$(peak "${point_file[@]}")

g=$(printf '%s\n' "${grid_times[@]}" | median)
p=$(printf '%s\n' "${point_times[@]}" | median)
echo "Machine: $(nproc) cores, $(df -h --output=fstype . | tail -n 1 | xargs); $pairs alternating pairs, --no-sync"
printf 'grid        %d bytes: %.3f s, %.2f GB/s, peak resident memory %.1f MB\n' "$grid_bytes" "$g" \
  "$(awk -v b="$grid_bytes" -v t="$g" 'BEGIN { print b / t / 1e9 }')" "$(awk -v k="$grid_kb" 'BEGIN { print k * 1024 / 1e6 }')"
printf 'point file  %d bytes: %.3f s, %.2f GB/s, peak resident memory %.1f MB\n' "$point_bytes" "$p" \
  "$(awk -v b="$point_bytes" -v t="$p" 'BEGIN { print b / t / 1e9 }')" "$(awk -v k="$point_kb" 'BEGIN { print k * 1024 / 1e6 }')"
printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END {
  m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
  printf "point file / grid, bytes a second: %.2f (%.2f to %.2f)\n", m, v[1], v[NR] }'
