#!/usr/bin/env bash
# A GeoPackage of the grid, two ways, side by side: tessaplan-grid --format=gpkg, and GDAL's
# ogr2ogr -f GPKG of the same grid's .vrt (what users ran before), neither synced (ogr2ogr does
# not sync). At 1,002,001 points RUNS alternating runs (each way first in turn), then at
# 16,000,000 points one run each. For each: the median seconds with the smallest and largest,
# the file's bytes and the peak resident memory (GNU time).
# usage: bench/geopackage.sh [RUNS]   (RUNS at least 1; default 3)
# The files are written in build/bench-work, on the same file system as the build.
extra_packages="time gdal-bin"
runs=${1:-3}
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

grid="$build/src/console/tessaplan-grid"
work="$build/bench-work"
mkdir -p "$work"
cd "$work"
trap 'rm -f "$work"/newgrid.* "$work"/*.gpkg "$work"/time.txt' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
range() { sort -g | awk 'NR == 1 { a = $1 } { b = $1 } END { printf "%s to %s", a, b }'; }
# Runs the command, prints its seconds and peak resident kB.
timed() {
  /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  cat time.txt
}

for extent in "0 1000 0 1000 1" "0 3999 0 3999 1"; do
  # shellcheck disable=SC2086
  "$grid" --no-sync --crs=EPSG:32615 -- $extent 2>/dev/null
  n=$runs
  [ "$extent" = "0 1000 0 1000 1" ] || n=1
  ours=() theirs=()
  for ((i = 0; i < n; i++)); do
    for way in $( ((i % 2 == 0)) && echo "ours theirs" || echo "theirs ours"); do
      rm -f "$way.gpkg"
      if [ "$way" = ours ]; then
        # shellcheck disable=SC2086
        ours+=("$(timed "$grid" --no-sync --format=gpkg --output=ours.gpkg -- $extent)")
      else
        theirs+=("$(timed ogr2ogr -f GPKG theirs.gpkg newgrid.vrt)")
      fi
    done
  done
  points=$(ogrinfo -so ours.gpkg ours | sed -n 's/Feature Count: //p')
  echo "$points points:"
  for way in ours theirs; do
    declare -n figures=$way
    seconds=$(printf '%s\n' "${figures[@]}" | cut -d' ' -f1)
    memory=$(printf '%s\n' "${figures[@]}" | cut -d' ' -f2 | median)
    label=$([ "$way" = ours ] && echo "tessaplan-grid --format=gpkg" || echo "ogr2ogr -f GPKG")
    printf '  %-30s %6.2f s (%s), %s bytes, peak %s kB\n' "$label" "$(median <<<"$seconds")" \
      "$(range <<<"$seconds")" "$(wc -c <"$way.gpkg")" "$memory"
  done
  awk -v a="$(printf '%s\n' "${ours[@]}" | cut -d' ' -f1 | median)" \
    -v b="$(printf '%s\n' "${theirs[@]}" | cut -d' ' -f1 | median)" \
    'BEGIN { printf "  tessaplan-grid is %.1f times as fast\n", b / a }'
done
