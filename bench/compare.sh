#!/usr/bin/env bash
# Measures grid_bench against the machine's own limits and prints the ratios:
#  - writing the reference grid vs dd writing as many bytes, with and without syncing
#    (alternating runs, medians);
#  - peak resident memory (GNU time) for the reference grid and a 32767 by 1000 grid;
#  - time per point for a grid four times the size;
#  - a straightforward numpy meshgrid + savetxt script writing the same file (hyperfine).
# usage: bench/compare.sh [RUNS]   (RUNS per command, at least 5; default 7)
# The files are written in build/bench-work, on the same file system as the build.
extra_packages="hyperfine time python3-numpy"
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

runs=${1:-7}
[ "$runs" -ge 5 ] || { echo "RUNS must be at least 5"; exit 2; }
bench="$build/bench/grid_bench"
work="$build/bench-work"
mkdir -p "$work"
cd "$work"
trap 'rm -f "$work/newgrid.txt" "$work/dd.out" "$work/numpy/newgrid.txt"' EXIT

reference=(500000 504000 4000000 4004000 1)      # 4001 x 4001 = 16,008,001 points
larger=(500000 508000 4000000 4008000 1)         # 8001 x 8001 = 64,016,001 points
wide=(0 32766 0 999 1)                           # 32767 columns of 1000 rows

# Starts every run alike: no file to replace, no dirty pages from the run before.
prepare() { rm -f newgrid.txt dd.out; sync; }
# Prints the wall-clock seconds COMMAND takes.
seconds() {
  local start=$EPOCHREALTIME
  "$@" 2>/dev/null || { echo "failed: $*" >&2; exit 1; }
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit) ? "ok" : "MISSED" }'; }

prepare
"$bench" --no-sync -- "${reference[@]}" 2>"$work/summary.txt"
bytes=$(awk '{ print $3 }' "$work/summary.txt")
echo "Reference grid: $(cat "$work/summary.txt")"
echo "Machine: $(nproc) cores, $(df -h --output=fstype,avail . | tail -n 1 | xargs) free; $runs alternating runs each"
echo

# Alternates grid_bench and dd, so that both meet the same state of the disk.
compare_with_dd() {  # compare_with_dd LABEL GRID_OPTION DD_OPTION
  local grid_times=() dd_times=()
  for ((i = 0; i < runs; i++)); do
    prepare
    grid_times+=("$(seconds "$bench" $2 -- "${reference[@]}")")
    prepare
    dd_times+=("$(seconds dd if=/dev/zero of=dd.out bs=1M iflag=count_bytes count="$bytes" $3 status=none)")
  done
  local grid dd
  grid=$(printf '%s\n' "${grid_times[@]}" | median)
  dd=$(printf '%s\n' "${dd_times[@]}" | median)
  local r
  r=$(ratio "$grid" "$dd")
  printf '%-10s grid_bench %.3f s, dd %.3f s: ratio %s (target <= 1.25) %s\n' \
    "$1" "$grid" "$dd" "$r" "$(verdict "$r" 1.25)"
}
compare_with_dd "no sync" "--no-sync" ""
compare_with_dd "sync" "" "conv=fsync"

for grid in reference wide; do
  declare -n values=$grid
  prepare
  kb=$(/usr/bin/time -f '%M' "$bench" --no-sync -- "${values[@]}" 2>&1 >/dev/null | tail -n 1)
  printf '%-10s peak resident memory %.1f MB (target <= 16 MB) %s\n' "$grid" \
    "$(awk -v k="$kb" 'BEGIN { print k * 1024 / 1e6 }')" \
    "$(verdict "$(awk -v k="$kb" 'BEGIN { print k * 1024 / 1e6 }')" 16)"
done

small_times=() large_times=()
for ((i = 0; i < 5; i++)); do
  prepare
  small_times+=("$(seconds "$bench" --no-sync -- "${reference[@]}")")
  prepare
  large_times+=("$(seconds "$bench" --no-sync -- "${larger[@]}")")
done
small=$(printf '%s\n' "${small_times[@]}" | median)
large=$(printf '%s\n' "${large_times[@]}" | median)
r=$(ratio "$large" "$small")
printf '%-10s 8001x8001 %.3f s vs 4001x4001 %.3f s: %s times (target <= 4.4) %s\n' "scaling" \
  "$large" "$small" "$r" "$(verdict "$r" 4.4)"

# Debian's own python3, which has Debian's numpy.
prepare
"$bench" --no-sync -- "${reference[@]}" 2>/dev/null
mkdir -p numpy
rm -f numpy/newgrid.txt
sync
(cd numpy && hyperfine --runs 1 --style none --export-json ../numpy.json \
  "/usr/bin/python3 $root/bench/numpy_grid.py ${reference[*]}" >/dev/null)
numpy=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["mean"])' numpy.json 2>/dev/null ||
  awk -F'"mean": ' '/"mean"/ { split($2, v, ","); print v[1]; exit }' numpy.json)
same=$(cmp -s newgrid.txt numpy/newgrid.txt && echo "byte-identical" || echo "DIFFERENT")
printf '%-10s numpy meshgrid + savetxt %.1f s (%.0f MB/s), grid_bench %.3f s (%.0f MB/s): %s files\n' \
  "numpy" "$numpy" "$(awk -v b="$bytes" -v s="$numpy" 'BEGIN { print b / s / 1e6 }')" "$small" \
  "$(awk -v b="$bytes" -v s="$small" 'BEGIN { print b / s / 1e6 }')" "$same"
