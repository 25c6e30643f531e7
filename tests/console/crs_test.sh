#!/usr/bin/env bash
# --crs as GIS programs see it, with PROJ's database and GDAL as the references. For EPSG:32615,
# 2227 (US survey feet), 6339, 25832 and 7855, and a seeded draw of 50 projected systems from
# PROJ's database among those GDAL identifies back to themselves: --dry-run names the system
# and its unit as the database does; NAME.prj is the ESRI WKT GDAL writes and names the code
# again; copied to another folder with the grid, NAME.vrt and the grid itself (through NAME.csvt
# and NAME.prj) open as points in the system, as many as --dry-run counts, over the grid's
# extent; the grid's bytes are those of a run without --crs. Then where the files go (beside a
# link, not its target) and their transaction, with a real other user for a folder it may not
# write and a real signal; and the warning about files an earlier run left.
# usage: crs_test.sh TESSAPLAN_GRID SEED SLOW_DISK
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
grid=$(realpath "$1")
seed=$2
database=/usr/share/proj/proj.db
scratch_folder work
slow_disk="$work/bin/$(basename "$3")"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir made copied elsewhere

ask() { sqlite3 -batch -noheader "$database" "$1"; }
# The first line gdalsrsinfo -e gives: the code GDAL identifies, "EPSG:N".
identified() { gdalsrsinfo -e "$1" 2>/dev/null | grep -m1 '^EPSG:'; }
# The system an ogrinfo summary reports, identified by GDAL.
reported_system() {
  sed -n '/^Layer SRS WKT:/,/^Data axis/{/^Layer SRS WKT:/d;/^Data axis/d;p}' "$1" >"$1.wkt"
  identified "$1.wkt"
}
texts="500000 500400 4000000 4000300 100"
# shellcheck disable=SC2086
(cd made && "$grid" --no-sync -- $texts && mv newgrid.txt plain.txt)

# The checks for one code; fails (for the draw to pass over) when GDAL does not identify its .prj
# as the same code.
check_system() {
  local code=$1
  rm -f made/newgrid.* copied/*
  # shellcheck disable=SC2086
  (cd made && "$grid" --no-sync --crs="EPSG:$code" -- $texts &&
    "$grid" --dry-run --crs="epsg:$code" -- $texts >dry-run.txt)
  [ "$(identified made/newgrid.prj)" = "EPSG:$code" ] || return 1
  local name unit
  name=$(ask "SELECT name FROM projected_crs WHERE auth_name = 'EPSG' AND code = '$code'")
  unit=$(ask "SELECT u.name FROM projected_crs p JOIN axis a
    ON a.coordinate_system_auth_name = p.coordinate_system_auth_name AND a.coordinate_system_code = p.coordinate_system_code
    JOIN unit_of_measure u ON u.auth_name = a.uom_auth_name AND u.code = a.uom_code
    WHERE p.auth_name = 'EPSG' AND p.code = '$code' ORDER BY a.coordinate_system_order LIMIT 1")
  check "EPSG:$code: --dry-run names it" grep -qxF "coordinate system EPSG:$code, $name, $unit" made/dry-run.txt
  check "EPSG:$code: the .prj is GDAL's ESRI WKT" cmp -s made/newgrid.prj <(gdalsrsinfo -o wkt_esri --single-line "EPSG:$code" | tr -d '\n')
  check "EPSG:$code: the grid as without --crs" cmp -s made/newgrid.txt made/plain.txt
  check "EPSG:$code: the .csvt" test "$(cat made/newgrid.csvt)" = $'"CoordX","CoordY","String"\r'
  cp made/newgrid.txt made/newgrid.prj made/newgrid.csvt made/newgrid.vrt copied/
  local points
  points=$(grep -o '^[0-9]* points' made/dry-run.txt)
  for source in copied/newgrid.vrt CSV:copied/newgrid.txt; do
    (cd elsewhere && ogrinfo -ro -so -al "${source/copied/../copied}" >info.txt 2>&1)
    check "EPSG:$code, $source: points" grep -qx 'Geometry: Point' elsewhere/info.txt
    check "EPSG:$code, $source: as many as --dry-run counts" grep -qx "Feature Count: ${points% points}" elsewhere/info.txt
    check "EPSG:$code, $source: over the grid's extent" grep -qxF 'Extent: (500000.000000, 4000000.000000) - (500400.000000, 4000300.000000)' elsewhere/info.txt
    check "EPSG:$code, $source: in the system" test "$(reported_system elsewhere/info.txt)" = "EPSG:$code"
  done
}

for code in 32615 2227 6339 25832 7855; do
  check "EPSG:$code: identified" check_system "$code"
done
drawn=0
tried=0
while [ "$drawn" -lt 50 ] && [ "$tried" -lt 100 ] && read -r code; do
  tried=$((tried + 1))
  if check_system "$code" 2>/dev/null; then
    drawn=$((drawn + 1))
  fi
done < <(ask "SELECT code FROM projected_crs WHERE auth_name = 'EPSG' AND deprecated = 0" |
  shuf --random-source=<(yes "$seed"))
echo "$drawn drawn systems identified of $tried tried"
check "50 drawn systems identified" test "$drawn" -eq 50

# Beside the name given: beside a link, not its target, with the layer over the name given.
mkdir real linked
ln -s ../real/target.txt linked/grid.txt
"$grid" --no-sync --crs=EPSG:32615 --output=linked/grid.txt -- 0 400 0 300 100
check "a link: the files beside it" test -f linked/grid.prj -a -f linked/grid.csvt -a -f linked/grid.vrt
check "a link: the grid in its target, alone" test "$(ls real)" = target.txt
check "a link: the layer over the link" grep -qF '<SrcDataSource relativeToVRT="1">CSV:grid.txt</SrcDataSource>' linked/grid.vrt
check "a link: GDAL reads it" eval "ogrinfo -ro -so -al linked/grid.vrt | grep -qx 'Feature Count: 20'"

# A file others may write in a folder they may not (as root, the runs are nobody's): the grid is
# written in place, and the files beside it, where they cannot be made, refuse the run before the
# grid's first byte; where they can be written in place too, they are.
chmod 755 "$work"
shared="$work/shared"
mkdir -p "$shared" "$work/bin"
cp "$grid" "$3" "$work/bin/"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi
printf 'the previous grid' >"$shared/newgrid.txt"
chmod 666 "$shared/newgrid.txt"
chmod 555 "$shared"
(cd "$shared" && "${as_user[@]}" "$work/bin/tessaplan-grid" --crs=EPSG:32615 -- $texts 2>"$work/err.txt")
check "in place, nothing beside it: status 1" test $? -eq 1
check "in place, nothing beside it: says why" grep -q "^Run-time error 5: File error: .*(the folder $shared)" "$work/err.txt"
check "in place, nothing beside it: the grid as it was" test "$(cat "$shared/newgrid.txt")" = 'the previous grid'
check "in place, nothing beside it: nothing made" test "$(ls "$shared")" = newgrid.txt
chmod 755 "$shared"
for extension in prj csvt vrt; do
  printf 'earlier' >"$shared/newgrid.$extension"
  chmod 666 "$shared/newgrid.$extension"
done
chmod 555 "$shared"
(cd "$shared" && "${as_user[@]}" "$work/bin/tessaplan-grid" --crs=EPSG:32615 -- $texts 2>"$work/err.txt")
check "in place, all four: status 0" test $? -eq 0
check "in place, all four: the grid" cmp -s "$shared/newgrid.txt" made/plain.txt
(cd made && rm -f newgrid.* && "$grid" --no-sync --crs=EPSG:32615 -- $texts)
for extension in prj csvt vrt; do
  check "in place, all four: the .$extension" cmp -s "$shared/newgrid.$extension" "made/newgrid.$extension"
done
# Cancelled in place, the four files, all written over, are left empty, and the message says so.
# Each write of a file takes 1.5 s longer (a slow disk, stood in for): the signal comes once the
# grid's own first write has begun, after one write of each file beside it.
mkdir -m 1777 "$work/logs"
(cd "$shared" && exec "${as_user[@]}" env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_WRITE_DELAY_MS=1500 \
  TESSAPLAN_TEST_CALL_LOG="$work/logs/calls.txt" "$work/bin/tessaplan-grid" --crs=EPSG:32615 -- $texts 2>"$work/err.txt") &
run=$!
stalls() { test "$(cat "$work/logs/calls.txt" 2>/dev/null | grep -c stall)" -ge "$1"; }
check "in place, cancelled: the grid's first write begun" within 60 stalls 4
kill -TERM "$run"
wait "$run"
check "in place, cancelled: status 143" test $? -eq 143
check "in place, cancelled: says so" test "$(cat "$work/err.txt")" = "Cancelled by signal 15; newgrid.txt is now empty; $shared/newgrid.prj, $shared/newgrid.csvt and $shared/newgrid.vrt, written in place, are now empty."
check "in place, cancelled: all four empty" test -z "$(cat "$shared"/newgrid.*)"
chmod 755 "$shared"

# A run without --crs says which files an earlier run left beside the grid; not with --quiet.
cd made || exit 1
rm newgrid.csvt
"$grid" --no-sync -- 0 1 0 1 1 2>err.txt
check "left files: said" test "$(cat err.txt)" = "warning: newgrid.prj and newgrid.vrt are from an earlier run and may no longer describe newgrid.txt: run with --crs to write them anew, or remove them"
rm newgrid.vrt
"$grid" --no-sync -- 0 1 0 1 1 2>err.txt
check "a left file: said" test "$(cat err.txt)" = "warning: newgrid.prj is from an earlier run and may no longer describe newgrid.txt: run with --crs to write it anew, or remove it"
"$grid" --no-sync --quiet -- 0 1 0 1 1 2>err.txt
check "left files, --quiet: not said" test ! -s err.txt
rm newgrid.prj
"$grid" --no-sync -- 0 1 0 1 1 2>err.txt
check "none left: nothing said" test ! -s err.txt
finish
