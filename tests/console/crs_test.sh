#!/usr/bin/env bash
# --crs as GIS programs see it, with PROJ's database and GDAL as the references. For EPSG:32615,
# 2227 (US survey feet), 6339, 25832 and 7855, and a seeded draw of 50 projected systems from
# PROJ's database among those GDAL identifies back to themselves: --dry-run names the system
# and its unit as the database does; NAME.prj is the ESRI WKT GDAL writes and names the code
# again; copied to another folder with the grid, NAME.vrt and the grid itself (through NAME.csvt
# and NAME.prj) open as points in the system, as many as --dry-run counts, over the grid's
# extent; the grid's bytes are those of a run without --crs. Then where the files go (beside a
# link, not its target) and their transaction, with a real other user for a folder it may not
# write and a real signal; the warning about files an earlier run left; and a damaged table.
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
  (cd made && "$grid" --no-sync --crs="EPSG:$code" -- $texts 2>err.txt &&
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
  check "EPSG:$code: nothing said (its own files are not from an earlier run)" test ! -s made/err.txt
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

# A point file carries its system: its .prj, read by GDAL's CSV driver from beside it, and a .vrt
# (no .csvt: it has no header to name columns by) that opens it from another folder as points in
# the system over the grid's extent, with no open options, whichever coordinate comes first; the
# point file's bytes those of a run without --crs.
for format in pnezd penzd; do
  rm -f made/p.* copied/*
  # shellcheck disable=SC2086
  (cd made && "$grid" --no-sync --format=$format --output=p.csv --crs=EPSG:32615 -- $texts &&
    "$grid" --no-sync --format=$format --output=plain.csv -- $texts)
  check "$format: its .prj is GDAL's ESRI WKT" cmp -s made/p.prj <(gdalsrsinfo -o wkt_esri --single-line EPSG:32615 | tr -d '\n')
  check "$format: GDAL identifies its .prj" test "$(identified made/p.prj)" = EPSG:32615
  check "$format: no .csvt beside it" test ! -e made/p.csvt
  check "$format: its bytes as without --crs" cmp -s made/p.csv made/plain.csv
  cp made/p.csv made/p.prj made/p.vrt copied/
  (cd elsewhere && ogrinfo -ro -al ../copied/p.vrt >info.txt 2>&1)
  check "$format, .vrt: 20 points" grep -qx 'Feature Count: 20' elsewhere/info.txt
  check "$format, .vrt: over the grid's extent" grep -qxF 'Extent: (500000.000000, 4000000.000000) - (500400.000000, 4000300.000000)' elsewhere/info.txt
  check "$format, .vrt: the first line is the first point" grep -qxF '  POINT (500000 4000000)' <(grep -m1 POINT elsewhere/info.txt)
  check "$format, .vrt: in the system" test "$(reported_system elsewhere/info.txt)" = EPSG:32615
done

# Systems no .prj file describes are refused, with the reason: those whose ESRI WKT, as GDAL
# writes it, names the method or its parameters in EPSG's words (with spaces, where ESRI's have
# underscores), and those whose ESRI WKT reads back as another system (axes to the south and
# west, a spherical variant, a third dimension).
no_words="32600 32700 2218 2221 2296 2299 2301 2303 2304 2305 2306 2307 2963 2985 2986 3052 3053
          3144 3145 3173 5017 5224 5225 5515 5516 22700"
for code in $no_words 8044 8045 9311 9895; do
  reason="is one that a .prj file cannot tell apart from another system"
  if [[ " $no_words " == *[[:space:]]$code[[:space:]]* ]]; then
    reason="is projected by a method that a .prj file has no words for"
    check "EPSG:$code: GDAL's ESRI WKT in EPSG's words" eval "gdalsrsinfo -o wkt_esri EPSG:$code | grep -q '\\(PROJECTION\\|PARAMETER\\)\\[\"[^\"]* '"
  fi
  "$grid" --dry-run --crs=EPSG:$code -- 0 1 0 1 1 >/dev/null 2>err.txt
  check "EPSG:$code: refused" test $? -eq 2
  check "EPSG:$code: $reason" grep -qF "$reason" err.txt
done

# A damaged table of systems: a copy of the program with one byte of its packed table changed,
# in the middle of the packed codes or in the checksum at their end, refuses --crs and says so.
for where in middle end; do
  python3 - "$(dirname "$grid")/crs_table/crs_table.cpp" "$grid" damaged "$where" <<'EOF_PY'
import sys
source, program, out, where = sys.argv[1:]
text = open(source).read()
body = text[text.index("kCrsTable[] = {") + len("kCrsTable[] = {"):]
packed = bytes(int(x) for x in body[:body.index("}")].split(",") if x.strip())
data = bytearray(open(program, "rb").read())
at = data.find(packed)
assert at >= 0 and data.find(packed, at + 1) < 0, "the table is in the program once"
data[at + (len(packed) // 2 if where == "middle" else len(packed) - 1)] ^= 0x55
open(out, "wb").write(data)
EOF_PY
  chmod +x damaged
  ./damaged --dry-run --crs=EPSG:32615 -- 0 1 0 1 1 >/dev/null 2>err.txt
  check "a table damaged at its $where: refused" test $? -eq 2
  check "a table damaged at its $where: says so" grep -qxF "tessaplan-grid: '--crs': this program's table of coordinate systems is damaged; install tessaplan again (see tessaplan-grid --help)" err.txt
done

# The table's two ends, the lowest and the highest projected code PROJ holds, each named as PROJ
# names it.
for order in asc desc; do
  end=$(ask "select code || '|' || name from projected_crs where auth_name = 'EPSG' and deprecated = 0 order by cast(code as integer) $order limit 1")
  "$grid" --dry-run --crs="EPSG:${end%%|*}" -- 0 1 0 1 1 >said.txt
  check "the table's end EPSG:${end%%|*}: named" grep -qF "coordinate system EPSG:${end%%|*}, ${end#*|}, " said.txt
done

# Without the memory to read the table of systems, which is read with the options: the run's
# own error, nothing made. (A sanitizer's runtime needs far more address space than this.)
if [ -z "${TESSAPLAN_SANITIZED:-}" ]; then
  mkdir memory
  # Just above what the program needs to start (its --version), in steps of 256 kB: far below
  # the table's few MB.
  for ((limit = 4096; limit < 65536; limit += 256)); do
    (ulimit -v $limit && exec "$grid" --version >/dev/null 2>&1) && break
  done
  (cd memory && ulimit -v $((limit + 512)) && exec "$grid" --crs=EPSG:32615 -- 0 400 0 300 100) 2>err.txt
  check "no memory: status 1" test $? -eq 1
  check "no memory: said" grep -qx 'Run-time error 6: System error: out of memory; close other programs and run again.' err.txt
  check "no memory: nothing made" test -z "$(ls -A memory)"
fi

# Beside the name given: beside a link, not its target, with the layer over the name given.
mkdir real linked
ln -s ../real/target.txt linked/grid.txt
"$grid" --no-sync --crs=EPSG:32615 --output=linked/grid.txt -- 0 400 0 300 100
check "a link: the files beside it" test -f linked/grid.prj -a -f linked/grid.csvt -a -f linked/grid.vrt
check "a link: the grid in its target, alone" test "$(ls real)" = target.txt
check "a link: the layer over the link" grep -qF '<SrcDataSource relativeToVRT="1">CSV:grid.txt</SrcDataSource>' linked/grid.vrt
check "a link: GDAL reads it" eval "ogrinfo -ro -so -al linked/grid.vrt | grep -qx 'Feature Count: 20'"
# A name XML must escape: the .vrt carries it, and GDAL reads the layer by it.
"$grid" --no-sync --crs=EPSG:32615 --output='linked/a&b <"c">.txt' -- 0 400 0 300 100
check "a name XML escapes: GDAL reads it" eval "ogrinfo -ro -so -al 'linked/a&b <\"c\">.vrt' | grep -qx 'Feature Count: 20'"

# A file others may write in a folder they may not (as root, the runs are nobody's): the grid is
# written in place, and the files beside it, where they cannot be made, refuse the run before the
# grid's first byte, the space claimed for the grid (20 MB here) given back; where they can be
# written in place too, they are.
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
blocks=$(stat -c %b "$shared/newgrid.txt")
(cd "$shared" && "${as_user[@]}" "$work/bin/tessaplan-grid" --crs=EPSG:32615 -- 0 1000 0 1000 1 2>"$work/err.txt")
check "in place, nothing beside it: status 1" test $? -eq 1
check "in place, nothing beside it: no space kept" test "$(stat -c %b "$shared/newgrid.txt")" -eq "$blocks"
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
# The grid's own first write, after one write of each file beside it, stalls (a slow disk, stood
# in for) until the test has sent the signal.
mkdir -m 1777 "$work/logs"
(cd "$shared" && exec "${as_user[@]}" env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_WRITE_DELAY_MS=60000 \
  TESSAPLAN_TEST_STALL_FROM=4 TESSAPLAN_TEST_STALL_UNTIL="$work/logs/signalled" \
  TESSAPLAN_TEST_CALL_LOG="$work/logs/calls.txt" \
  "$work/bin/tessaplan-grid" --crs=EPSG:32615 -- $texts 2>"$work/err.txt") &
run=$!
stalls() { test "$(cat "$work/logs/calls.txt" 2>/dev/null | grep -c stall)" -ge "$1"; }
check "in place, cancelled: the grid's first write begun" within 60 stalls 1
kill -TERM "$run"
touch "$work/logs/signalled"
wait "$run"
check "in place, cancelled: status 143" test $? -eq 143
check "in place, cancelled: says so" test "$(cat "$work/err.txt")" = "Cancelled by signal 15; newgrid.txt is now empty; $shared/newgrid.prj, $shared/newgrid.csvt and $shared/newgrid.vrt, written in place, are now empty."
check "in place, cancelled: all four empty" test -z "$(cat "$shared"/newgrid.*)"
# Failed in place, each file written over is named as now empty, once; the others are as they
# were. The stand-ins: a sync that fails (the .prj's, the first), a write of the grid that fails
# (the only write of 4 kB or more), and a close that fails (the grid's, at its commit).
while IFS='|' read -r fault emptied kept; do
  chmod 755 "$shared"
  for extension in txt prj csvt vrt; do
    printf 'earlier' >"$shared/newgrid.$extension"
  done
  chmod 555 "$shared"
  (cd "$shared" && exec "${as_user[@]}" env LD_PRELOAD="$slow_disk" "$fault" \
    "$work/bin/tessaplan-grid" --crs=EPSG:32615 -- 0 400 0 300 10 2>"$work/err.txt")
  check "in place, $fault: status 1" test $? -eq 1
  check "in place, $fault: says which are empty" test "$(cat "$work/err.txt")" = "Run-time error 5: File error: Input/output error$emptied"
  for extension in $kept; do
    check "in place, $fault: newgrid.$extension as it was" test "$(cat "$shared/newgrid.$extension")" = earlier
  done
done <<ROWS
TESSAPLAN_TEST_SYNC_FAILS=1| ($shared/newgrid.prj); $shared/newgrid.prj, written in place, is now empty|txt csvt vrt
TESSAPLAN_TEST_WRITE_RETURNS_ZERO=4096|; written in place, the file is now empty ($shared/newgrid.txt); $shared/newgrid.prj, $shared/newgrid.csvt and $shared/newgrid.vrt, written in place, are now empty|
TESSAPLAN_TEST_CLOSE_FAILS=1|; written in place, the file is now empty ($shared/newgrid.txt); $shared/newgrid.prj, $shared/newgrid.csvt and $shared/newgrid.vrt, written in place, are now empty|
ROWS

# Refused before the first byte of any file, those written in place untouched: the .csvt missing
# in a folder that takes no new file, and a file size limit below the .vrt's size alone (its layer
# names the grid twice, here by a long name; dash counts the limit in 512-byte blocks).
long=$(printf 'g%.0s' $(seq 120))
chmod 755 "$shared"
rm -f "$shared"/newgrid.*
for name in newgrid.txt newgrid.prj newgrid.vrt "$long.txt" "$long.prj" "$long.csvt" "$long.vrt"; do
  printf 'earlier' >"$shared/$name"
  chmod 666 "$shared/$name"
done
chmod 555 "$shared"
while IFS='|' read -r what name limit reason; do
  name=${name/LONG/$long}
  (cd "$shared" && sh -c "$limit"' exec "$@"' sh "${as_user[@]}" \
    "$work/bin/tessaplan-grid" --crs=EPSG:32615 --output="$name.txt" -- 0 0 0 0 1 2>"$work/err.txt")
  check "in place, $what: status 1" test $? -eq 1
  check "in place, $what: says why" grep -q "^Run-time error 5: File error: $reason" "$work/err.txt"
  check "in place, $what: every file as it was" test "$(cat "$shared/$name".*)" = "$(printf 'earlier%.0s' "$shared/$name".*)"
done <<'ROWS'
a .csvt missing|newgrid||Permission denied
a file size limit|LONG|ulimit -f 1;|File too large
ROWS
check "in place, refused: nothing made" test "$(ls "$shared" | wc -l)" -eq 7
chmod 755 "$shared"

# Every file of the set judged by the file its name reaches: two names of one file (a link, a
# hard link) are a wrong command line that names both, and so is a point file whose name leads
# to newgrid.txt; nothing is written, nothing made. Each row: its files, then the options.
state() { (cd "$1" && find . -printf '%p %y %l %n\n' | sort && find . -type f -exec md5sum {} + | sort); }
case_number=0
while IFS='|' read -r what files options; do
  case_number=$((case_number + 1))
  folder="$work/clash$case_number"
  mkdir -p "$folder/sub"
  (cd "$folder" && eval "$files")
  before=$(state "$folder")
  # shellcheck disable=SC2086
  (cd "$folder" && "$grid" --no-sync $options -- 0 400 0 200 200 2>"$work/err.txt")
  check "$what: status 2" test $? -eq 2
  check "$what: says why, naming both" grep -Eq "^tessaplan-grid: .*(lead to one file|newgrid\.txt is always the grid's own format|a file that describes a grid never replaces one)" "$work/err.txt"
  check "$what: every file as it was" test "$(state "$folder")" = "$before"
done <<'ROWS'
the grid a link to its .prj|echo old >newgrid.prj; ln -s newgrid.prj newgrid.txt|--crs=EPSG:32615
the grid a link to its .csvt|echo old >newgrid.csvt; ln -s newgrid.csvt newgrid.txt|--crs=EPSG:32615
the grid a link to its .vrt, which is missing|ln -s newgrid.vrt newgrid.txt|--crs=EPSG:32615
the .vrt a link to the grid|echo grid >newgrid.txt; ln -s newgrid.txt newgrid.vrt|--crs=EPSG:32615
the .vrt a link to the grid, which is missing|ln -s newgrid.txt newgrid.vrt|--crs=EPSG:32615
the .prj a hard link of the grid|echo grid >newgrid.txt; ln newgrid.txt newgrid.prj|--crs=EPSG:32615
the .csvt a link to the .vrt|echo old >newgrid.vrt; ln -s newgrid.vrt newgrid.csvt|--crs=EPSG:32615
--output a link to its .prj|echo old >g.prj; ln -s g.prj g.txt|--crs=EPSG:32615 --output=g.txt
--output in a folder, its .prj a link to it|echo grid >sub/g.txt; ln -s g.txt sub/g.prj|--crs=EPSG:32615 --output=sub/g.txt
a point file a link to its .prj|echo old >p.prj; ln -s p.prj p.csv|--crs=EPSG:32615 --format=pnezd --output=p.csv
a point file's .prj a hard link of it|echo old >p.csv; ln p.csv p.prj|--crs=EPSG:32615 --format=penzd --output=p.csv
a point file's .vrt a link to it|echo old >p.csv; ln -s p.csv p.vrt|--crs=EPSG:32615 --format=pnezd --output=p.csv
--format into a link to newgrid.txt|echo grid >newgrid.txt; ln -s newgrid.txt pts.csv|--format=pnezd --output=pts.csv
--format into a hard link of newgrid.txt|echo grid >newgrid.txt; ln newgrid.txt pts.csv|--format=penzd --output=pts.csv
--format into a link to a missing newgrid.txt|ln -s newgrid.txt pts.csv|--format=pnezd --output=pts.csv
--format into a folder's link to newgrid.txt here|echo grid >newgrid.txt; ln -s ../newgrid.txt sub/pts.csv|--format=pnezd --output=sub/pts.csv
--format into a hard link of the newgrid.txt here|echo grid >newgrid.txt; ln newgrid.txt sub/pts.csv|--format=pnezd --output=sub/pts.csv
--format into a hard link of the newgrid.txt beside it|echo grid >sub/newgrid.txt; ln sub/newgrid.txt sub/pts.csv|--format=pnezd --output=sub/pts.csv
a point file's .prj a link to newgrid.txt|printf 'old grid\r\n' >newgrid.txt; ln -s newgrid.txt pts.prj|--crs=EPSG:32615 --format=pnezd --output=pts.csv
--output's .vrt a link to newgrid.txt|printf 'old grid\r\n' >newgrid.txt; ln -s newgrid.txt g.vrt|--crs=EPSG:32615 --output=g.txt
--output's .prj a hard link of a grid in a folder|printf '"easting","northing","ID"\n' >sub/newgrid.txt; ln sub/newgrid.txt g.prj|--crs=EPSG:32615 --output=g.txt
--output's .csvt a link to a grid of another name|printf '"easting","northing","ID"\r\n0,0,"r1c1"\r\n' >old.csv; ln -s old.csv g.csvt|--crs=EPSG:32615 --output=g.txt
ROWS

# A folder this user may write but not read cannot be locked: the run writes its files, and
# warns that runs at once there may mix them.
mkdir "$work/drop"
chmod 333 "$work/drop"
(cd "$work/drop" && "${as_user[@]}" "$work/bin/tessaplan-grid" --no-sync --crs=EPSG:32615 -- 0 400 0 100 100 2>"$work/err.txt")
check "a folder that cannot be locked: status 0" test $? -eq 0
check "a folder that cannot be locked: warned" test "$(cat "$work/err.txt")" = "warning: the folder's lock cannot be taken: this user may not read it (the folder $work/drop); runs at once there may mix their files"
chmod 755 "$work/drop"
check "a folder that cannot be locked: the four files" test "$(ls "$work/drop" | tr '\n' ' ')" = "newgrid.csvt newgrid.prj newgrid.txt newgrid.vrt "

# The references for what follows: each of eight runs its own grid in its own system.
codes=(32615 2227 6339 25832 7855 32616 32617 32618)
for i in "${!codes[@]}"; do
  mkdir -p "$work/ref/$i"
  (cd "$work/ref/$i" && "$grid" --no-sync --crs="EPSG:${codes[$i]}" -- 0 400 0 $((100 * i + 100)) 100)
done
# Whether FOLDER holds run I's four files, exactly.
holds_run() {
  for extension in txt prj csvt vrt; do
    cmp -s "$1/newgrid.$extension" "$work/ref/$2/newgrid.$extension" || return 1
  done
}
# Which run's four files FOLDER holds, printed; fails for none (a mixed set).
whose_set() {
  for i in "${!codes[@]}"; do
    holds_run "$1" "$i" && echo "$i" && return 0
  done
  return 1
}

# Eight runs at once in one folder, each its own grid and system: every round leaves one run's
# four files. Each rename of a commit is followed by 20 ms (the stand-in), so that without the
# folder's lock another run's names would land between one run's grid and its files.
mkdir "$work/race"
mixed=0
for round in $(seq 50); do
  pids=()
  for i in "${!codes[@]}"; do
    (cd "$work/race" && exec env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_RENAME_DELAY_MS=20 \
      "$grid" --no-sync --crs="EPSG:${codes[$i]}" -- 0 400 0 $((100 * i + 100)) 100) &
    pids+=($!)
  done
  failed=0
  for pid in "${pids[@]}"; do
    wait "$pid" || failed=$((failed + 1))
  done
  check "runs at once, round $round: all exit 0" test "$failed" -eq 0
  whose_set "$work/race" >/dev/null || mixed=$((mixed + 1))
done
check "runs at once: 50 rounds, each one run's four files ($mixed mixed)" test "$mixed" -eq 0
check "runs at once: nothing else left" test "$(ls -A "$work/race" | tr '\n' ' ')" = "newgrid.csvt newgrid.prj newgrid.txt newgrid.vrt "

# The folder moved during the run, once the files beside the grid are written (the last of their
# writes stalls, the stand-in for a slow disk, until the folder is moved): all four go with the
# folder the run holds.
mkdir -p "$work/moved/sub"
(cd "$work/moved" && exec env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_WRITE_DELAY_MS=60000 \
  TESSAPLAN_TEST_STALL_FROM=3 TESSAPLAN_TEST_STALL_UNTIL="$work/moved.done" \
  TESSAPLAN_TEST_CALL_LOG="$work/moved.log" \
  "$grid" --crs=EPSG:32615 --output=sub/newgrid.txt -- 0 400 0 100 100) &
run=$!
moved_stalls() { test "$(grep -c stall "$work/moved.log" 2>/dev/null)" -ge 1; }
check "folder moved: the files beside the grid being written" within 60 moved_stalls
mv "$work/moved/sub" "$work/moved/sub.old"
mkdir "$work/moved/sub"
touch "$work/moved.done"
wait "$run"
check "folder moved: status 0" test $? -eq 0
check "folder moved: the four files in the folder held" holds_run "$work/moved/sub.old" 0
check "folder moved: nothing in the new folder" test -z "$(ls -A "$work/moved/sub")"

# KILL between the grid's commit and its files' (held there by the stand-in): the new grid beside
# the old files, nothing else; the next run with --crs replaces them all.
mkdir "$work/killed"
(cd "$work/killed" && "$grid" --no-sync --crs="EPSG:${codes[1]}" -- 0 400 0 200 100)
(cd "$work/killed" && exec env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_RENAME_DELAY_MS=60000 \
  TESSAPLAN_TEST_CALL_LOG="$work/killed.log" "$grid" --no-sync --crs="EPSG:${codes[0]}" -- 0 400 0 100 100) &
run=$!
grid_renamed() { grep -qx 'renamed newgrid.txt' "$work/killed.log" 2>/dev/null; }
check "KILL after the grid's commit: held there" within 60 grid_renamed
kill -s KILL "$run"
wait "$run"
check "KILL after the grid's commit: the new grid" cmp -s "$work/killed/newgrid.txt" "$work/ref/0/newgrid.txt"
for extension in prj csvt vrt; do
  check "KILL after the grid's commit: the old .$extension" cmp -s "$work/killed/newgrid.$extension" "$work/ref/1/newgrid.$extension"
done
check "KILL after the grid's commit: nothing else" test "$(ls -A "$work/killed" | tr '\n' ' ')" = "newgrid.csvt newgrid.prj newgrid.txt newgrid.vrt "
(cd "$work/killed" && "$grid" --no-sync --crs="EPSG:${codes[0]}" -- 0 400 0 100 100)
check "KILL after the grid's commit: the next run replaces all four" holds_run "$work/killed" 0

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
# A point file's own: its .prj and .vrt, not a .csvt, which no point file has.
touch p.csvt
"$grid" --no-sync --format=penzd --output=p.csv -- 0 1 0 1 1 2>err.txt
check "a point file's left files: said" test "$(cat err.txt)" = "warning: p.prj and p.vrt are from an earlier run and may no longer describe p.csv: run with --crs to write them anew, or remove them"
finish
