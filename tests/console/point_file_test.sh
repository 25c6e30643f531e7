#!/usr/bin/env bash
# --format=pnezd and --format=penzd as the tools that read them see it: each file, loaded with
# sqlite3's CSV import, joins newgrid.txt on the description, point for point in the grid's order,
# with numerically equal coordinates, numbered from --first-point without a gap, with the
# elevation given, its size and last number as --dry-run tells them; GDAL reads the PNEZD file as
# points over the grid's extent.
# usage: point_file_test.sh TESSAPLAN_GRID
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
grid=$(realpath "$1")
scratch_folder work
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# What sqlite3 answers for the query, with the three files as tables g, p (PNEZD) and e (PENZD).
ask() {
  sqlite3 -batch -noheader :memory: \
    "CREATE TABLE g(easting, northing, id)" \
    "CREATE TABLE p(number, northing, easting, elevation, description)" \
    "CREATE TABLE e(number, easting, northing, elevation, description)" \
    ".import --csv --skip 1 newgrid.txt g" ".import --csv pnezd.txt p" ".import --csv penzd.txt e" \
    "$1"
}

# Each coordinate is the grid's text written out in plain digits, byte for byte: no exponent, no
# full stop without decimals after it (Python's decimal module is the reference).
written_out='
import csv, decimal, sys
grid = list(csv.reader(open("newgrid.txt", newline="")))[1:]
plain = lambda text: format(decimal.Decimal(text), "f")
for name, easting, northing in (("pnezd.txt", 2, 1), ("penzd.txt", 1, 2)):
    for (e, n, _), line in zip(grid, csv.reader(open(name, newline=""))):
        if (line[easting], line[northing]) != (plain(e), plain(n)):
            sys.exit(f"{name}: {line} for {e}, {n}")
'
# Each row: the texts, the first point's number, the elevation option's text and as written (the
# elevations of the third and the last two rows make lines longer than a grid line's room; the
# last, its longest lines over fifteen buffers, meets each buffer's end, where a sanitizer sees a
# line that was given too little room).
while IFS='|' read -r texts first elevation written; do
  # shellcheck disable=SC2086
  "$grid" --no-sync -- $texts
  # shellcheck disable=SC2086
  "$grid" --no-sync --format=pnezd --output=pnezd.txt --first-point="$first" ${elevation:+--elevation=$elevation} -- $texts
  # shellcheck disable=SC2086
  "$grid" --no-sync --format=penzd --output=penzd.txt --first-point="$first" ${elevation:+--elevation=$elevation} -- $texts
  # shellcheck disable=SC2086
  "$grid" --dry-run --format=penzd --output=penzd.txt --first-point="$first" ${elevation:+--elevation=$elevation} -- $texts >dry-run.txt
  points=$(ask "SELECT count(*) FROM g")
  check "$texts: --dry-run's bytes and last number" grep -q "^$points points\? (.*), $(wc -c <penzd.txt) bytes, last point .*, number $((first + points - 1))\$" dry-run.txt
  check "$texts: every point" test "$points" -gt 0 -a "$(ask "SELECT count(*) FROM p")" -eq "$points" -a "$(ask "SELECT count(*) FROM e")" -eq "$points"
  for file in p e; do
    check "$texts ($file): the grid's order and coordinates" test "$(ask "SELECT count(*) FROM g JOIN $file ON $file.rowid = g.rowid
      WHERE $file.description = trim(g.id, '\"') AND CAST($file.easting AS REAL) = CAST(g.easting AS REAL)
        AND CAST($file.northing AS REAL) = CAST(g.northing AS REAL)")" -eq "$points"
    check "$texts ($file): numbered from $first, no gap" test "$(ask "SELECT count(*) FROM $file
      WHERE CAST(number AS INTEGER) = $first + rowid - 1 AND number NOT GLOB '*[^0-9]*'")" -eq "$points"
    check "$texts ($file): elevation '$written'" test "$(ask "SELECT count(*) FROM $file WHERE elevation = '$written'")" -eq "$points"
  done
  # No header: the first line is the first point's (the numbering above); no exponent.
  check "$texts: CR LF lines" test "$(grep -c $'\r$' pnezd.txt)" -eq "$points"
  check "$texts: the grid's values, written out" python3 -c "$written_out"
done <<CASES
500000 500400 4000000 4000300 100|1001||
2000000 2000005 13100000 13100012 3|1|12.50|12.5
1 5 -4 -2 1|3|$(printf '9%.0s' $(seq 100)).|$(printf '9%.0s' $(seq 100))
-0.00012 0.00003 -1e-5 1e-5 1|999999999999999|1e2|100
0 2 0 1 1|7|-123456789012345678901234567890.25|-123456789012345678901234567890.25
0 999 0 99 1|999999999000000|$(printf '9%.0s' $(seq 99)).5|$(printf '9%.0s' $(seq 99)).5
CASES

# GDAL reads the PNEZD file as points over the grid's extent.
"$grid" --no-sync --format=pnezd --output=points.csv -- 500000 500400 4000000 4000300 100
ogrinfo -ro -so -al -oo X_POSSIBLE_NAMES=field_3 -oo Y_POSSIBLE_NAMES=field_2 points.csv >info.txt 2>&1
check "ogrinfo: points" grep -qx 'Geometry: Point' info.txt
check "ogrinfo: every point" grep -qx 'Feature Count: 20' info.txt
check "ogrinfo: the grid's extent" grep -qxF 'Extent: (500000.000000, 4000000.000000) - (500400.000000, 4000300.000000)' info.txt
finish
