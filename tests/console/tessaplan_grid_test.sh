#!/usr/bin/env bash
# tessaplan-grid as scripts meet it: over the grid tables, the bytes and messages of grid_bench
# (the window's own run) and the bytes of an independent model, with --dry-run telling the file's
# points, rows, columns, bytes and last point; the ways of giving the values; the wrong command
# lines; another output, and standard output in a pipe whose reader goes away; the progress line
# on a terminal only, its time left and its reservation on a slow disk; a stop request.
# usage: tessaplan_grid_test.sh TESSAPLAN_GRID GRID_BENCH SLOW_DISK_LIBRARY
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
grid=$(realpath "$1")
bench=$(realpath "$2")
slow_disk=$(realpath "$3")
model="$(dirname "${BASH_SOURCE[0]}")/reference_grid.py"
cases="$(dirname "${BASH_SOURCE[0]}")/../grid_cases.txt"
scratch_folder work
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Whether --dry-run's first line (in $2) tells what the file $1 holds: its points, rows and
# columns counted from its lines (a column's first line is row 1), its bytes and its last line's
# point; a grid without points has no row or no column. Counts agree in number with their noun.
tells_file() {
  local points=$(($(wc -l <"$1") - 1)) bytes=$(wc -c <"$1") rows columns
  if [ "$points" -eq 0 ]; then
    head -n 1 "$2" | grep -Eqx "0 points \((0 rows, [0-9]+ columns?|[0-9]+ rows?, 0 columns)\), $bytes bytes"
  else
    rows=$(grep -c '"r[0-9]*c1"' "$1")
    columns=$(grep -c '"r1c[0-9]*"' "$1")
    test "$(head -n 1 "$2")" = "$(counted "$points" point) ($(counted "$rows" row), $(counted "$columns" column)), $bytes bytes, last point $(tail -n 1 "$1" | cut -d, -f1,2)"
  fi
}
counted() { if [ "$1" -eq 1 ]; then echo "1 $2"; else echo "$1 ${2}s"; fi; }

while IFS='|' read -r options texts; do
  eval "set -- $texts"
  rm -f newgrid.txt
  "$bench" $options -- "$@" 2>bench-err.txt
  bench_status=$?
  mv newgrid.txt bench.txt 2>/dev/null || rm -f bench.txt
  "$grid" $options -- "$@" 2>err.txt
  status=$?
  check "$texts: grid_bench's status" test "$status" -eq "$bench_status"
  check "$texts: grid_bench's message" cmp -s err.txt <(grep -v ' points/s$' bench-err.txt)
  if [ "$status" -ne 0 ]; then
    check "$texts: nothing written" test ! -e newgrid.txt
    continue
  fi
  check "$texts: grid_bench's bytes" cmp -s newgrid.txt bench.txt
  python3 "$model" $options -- "$@" >model.txt
  check "$texts: the model's bytes" cmp -s newgrid.txt model.txt
  "$grid" $options --dry-run -- "$@" >dry-run.txt
  check "$texts: --dry-run tells the file" tells_file newgrid.txt dry-run.txt
done < <(grep -v '^#' "$cases")

# The largest grid is measured at once, and as the model counts it.
for texts in "0 32766 0 32766 1" "-16383 16383 500000 532766 1" "0 982980000 -982980000 0 30000"; do
  # shellcheck disable=SC2086
  check "$texts: --dry-run at once" timeout 10 "$grid" --dry-run -- $texts >dry-run.txt
  # shellcheck disable=SC2086
  check "$texts: as the model counts it" test "$(cat dry-run.txt)" = "$(python3 "$model" --dry-run -- $texts)"
done

# Every way of giving the values gives the same grid.
"$grid" -- -400 0 -200 0 200 2>/dev/null && mv newgrid.txt expected.txt
for form in "-400 0 -200 0 200" "--min-x=-400 --max-x 0 --min-y=-200 --max-y=0 --spacing=200" \
  "--extent=-400,0,-200,0 --spacing 200" "--spacing=200 --extent -400,0,-200,0" \
  "--decimal-separator=, --min-x=-400,0 --max-x=0 --min-y=-200 --max-y=0 --spacing=200" \
  "--no-sync --quiet --max-y=0 -- -400 0 -200 0 200"; do
  rm -f newgrid.txt
  # shellcheck disable=SC2086
  "$grid" $form 2>err.txt
  if [[ $form == *"--max-y=0 -- "* ]]; then
    check "$form: refused" grep -q "'--max-y' is given twice: by name and in order" err.txt
  else
    check "$form: the same grid" cmp -s newgrid.txt expected.txt
  fi
done

# A wrong command line: status 2, one line that says what is wrong, and nothing written.
while IFS='|' read -r arguments problem; do
  rm -f newgrid.txt
  eval "set -- $arguments"
  "$grid" "$@" >out.txt 2>err.txt
  check "'$arguments': status 2" test $? -eq 2
  check "'$arguments': says so" test "$(cat err.txt)" = "tessaplan-grid: $problem (see tessaplan-grid --help)"
  check "'$arguments': nothing written" test ! -e newgrid.txt -a ! -s out.txt
done <<'CASES'
|needs the five values MINX MAXX MINY MAXY SPACING
1 2 3|takes the five values MINX MAXX MINY MAXY SPACING, not 3: MAXY and SPACING are missing
1 2 3 4|takes the five values MINX MAXX MINY MAXY SPACING, not 4: SPACING is missing
1 2 3 4 5 6|takes the five values MINX MAXX MINY MAXY SPACING, not 6: '6' is one too many
--extent=0,10,0,10 5|'--extent' gives the extent by name, so values in order ('5') cannot go with it: give the spacing as --spacing
--spacing=5 0 10 0 10|values by name ('--spacing') and in order ('0' '10' '0' '10') cannot be mixed: give all five in order, or each by name
--min-x=0 --max-y=1 -- 0 1 0|values by name ('--min-x' and '--max-y') and in order ('0' '1' '0') cannot be mixed: give all five in order, or each by name
--bogus -- 0 1 0 1 1|Unknown option '--bogus'
---|Unknown option '---'
--min-x=1 -- 1 2 3 4 5|'--min-x' is given twice: by name and in order
--spacing=1 --spacing=2 --extent=0,1,0,1|'--spacing' is given twice
--min-y=0 --extent=0,1,0,1 --spacing=1|'--min-y' is given twice: by name and by '--extent'
--extent=0,1,0 --spacing=1|'--extent' takes four numbers, XMIN,XMAX,YMIN,YMAX, not '0,1,0'
--extent=0,1,0,1,5 --spacing=1|'--extent' takes four numbers, XMIN,XMAX,YMIN,YMAX, not '0,1,0,1,5'
--decimal-separator=, --extent=0,1,0,1 --spacing=1|'--extent' separates its numbers with commas, so with '--decimal-separator=,' give them as --min-x, --max-x, --min-y and --max-y
--decimal-separator=ab -- 0 1 0 1 1|'--decimal-separator' takes one ASCII character, not 'ab'
--decimal-separator=٫ -- 0 1 0 1 1|'--decimal-separator' takes one ASCII character, not '٫'
--decimal-separator=, --decimal-separator=, -- 0 1 0 1 1|'--decimal-separator' is given twice
--output=- --output=c.txt -- 0 1 0 1 1|'--output' is given twice
--min-x=0 --max-x=1 --min-y=0 --max-y=1|needs a value for '--spacing'
--quiet=yes -- 0 1 0 1 1|'--quiet' takes no value
--output|'--output' needs a value
--output= -- 0 1 0 1 1|'--output' needs a file name, or - for standard output
-|takes the five values MINX MAXX MINY MAXY SPACING, not 1: MAXX, MINY, MAXY and SPACING are missing
--snap=up -- 0 1 0 1 1|'--snap' takes out or in, not 'up'
--format=xyz --output=p.txt -- 0 1 0 1 1|'--format' takes pnezd, penzd or gpkg, not 'xyz'
--format=pnezd -- 0 1 0 1 1|'--format' writes a file of its own: name it with --output=PATH (newgrid.txt is always the grid's own format)
--format=penzd --output=sub/newgrid.txt -- 0 1 0 1 1|'--format' writes a file of its own: name it with --output=PATH (newgrid.txt is always the grid's own format)
--first-point=5 -- 0 1 0 1 1|'--first-point' goes with --format=pnezd or --format=penzd
--elevation=5 -- 0 1 0 1 1|'--elevation' goes with --format=pnezd or --format=penzd
--format=gpkg --output=g.gpkg --elevation=5 -- 0 1 0 1 1|'--elevation' goes with --format=pnezd or --format=penzd
--format=gpkg -- 0 1 0 1 1|'--format=gpkg' writes a GeoPackage, a file of its own: name it with --output=NAME.gpkg
--format=gpkg --output=- -- 0 1 0 1 1|'--format=gpkg' writes a GeoPackage, a file of its own: name it with --output=NAME.gpkg
--format=gpkg --output=g.gpkg.txt -- 0 1 0 1 1|'--format=gpkg' writes a GeoPackage, whose name ends in .gpkg, not 'g.gpkg.txt'
--format=gpkg --output=sub/.GPKG -- 0 1 0 1 1|'--format=gpkg' names the layer as the file, and '.GPKG' leaves no name: give one with --layer=NAME
--format=gpkg --output=g.gpkg --layer= -- 0 1 0 1 1|'--layer' needs a name
--format=gpkg --output=Gpkg_contents.gpkg -- 0 1 0 1 1|a GeoPackage keeps the names beginning gpkg_ for its own tables, so its layer cannot be named 'Gpkg_contents': name it with --layer=NAME
--format=gpkg --output=g.gpkg --layer=RTREE_g_geom -- 0 1 0 1 1|a GeoPackage keeps the names beginning rtree_ for its own tables, so its layer cannot be named 'RTREE_g_geom': name it with --layer=NAME
--format=gpkg --output=g.gpkg --layer=sqlite_master -- 0 1 0 1 1|a GeoPackage keeps the names beginning sqlite_ for its own tables, so its layer cannot be named 'sqlite_master': name it with --layer=NAME
--layer=g -- 0 1 0 1 1|'--layer' names a GeoPackage's layer: it goes with --format=gpkg
--format=pnezd --output=p.txt --first-point=0 -- 0 1 0 1 1|'--first-point' takes a whole number from 1 to 999999999999999, not '0'
--format=pnezd --output=p.txt --first-point=1e3 -- 0 1 0 1 1|'--first-point' takes a whole number from 1 to 999999999999999, not '1e3'
--format=pnezd --output=p.txt --first-point=1000000000000000 -- 0 1 0 1 1|'--first-point' takes a whole number from 1 to 999999999999999, not '1000000000000000'
--format=pnezd --output=p.txt --first-point=999999999999999 -- 0 1 0 1 1|'--first-point' numbers the last of the 4 points 1000000000000002: a point number has at most 15 digits
--snap=out --format=pnezd --output=p.txt --first-point=999999999999998 -- 5 15 0 0 10|'--first-point' numbers the last of the 3 points 1000000000000000: a point number has at most 15 digits
--format=pnezd --output=p.txt --elevation=12,5 -- 0 1 0 1 1|'--elevation' takes a number of at most 100 digits written out, not '12,5'
--format=pnezd --output=p.txt --elevation=1e999999999 -- 0 1 0 1 1|'--elevation' takes a number of at most 100 digits written out, not '1e999999999'
--format=pnezd --output=p.txt --elevation=1e-100 -- 0 1 0 1 1|'--elevation' takes a number of at most 100 digits written out, not '1e-100'
--snap=out --snap=in -- 0 1 0 1 1|'--snap' is given twice
--snap=in -- 15 85 0 190 100|'--snap=in' finds no multiple of 100 from "Minimum x value" 15 to "Maximum x value" 85
--snap=in -- 0 1 -0.5 -0.25 1|'--snap=in' finds no multiple of 1 from "Minimum Y value" -0.5 to "Maximum Y value" -0.25
--snap=out -- 10 0 0 10 5|'--snap' needs each minimum at or below its maximum, not "Minimum x value" 10 above "Maximum x value" 0
--snap=out -- 0 10 0 10 -5|'--snap' aligns to a spacing above 0, not "Grid Spacing" -5
--snap=out -- 0 10 0 10 -4.6|'--snap' aligns to a spacing above 0, not "Grid Spacing" -4.6 (used as -5)
--snap=out -- 0 10 0 10 0.4|'--snap' aligns to a spacing above 0, not "Grid Spacing" 0.4 (used as 0)
--snap=in --dry-run -- 0 10 0 10 0|'--snap' aligns to a spacing above 0, not "Grid Spacing" 0
--crs=32615 -- 0 1 0 1 1|'--crs' takes EPSG: and a system's code, as in --crs=EPSG:32615, not '32615'
--crs=EPSG:+32615 -- 0 1 0 1 1|'--crs' takes EPSG: and a system's code, as in --crs=EPSG:32615, not 'EPSG:+32615'
--crs=EPSG:99999999999 -- 0 1 0 1 1|'--crs' takes EPSG: and a system's code, as in --crs=EPSG:32615, not 'EPSG:99999999999'
--crs=EPSG:5703 -- 0 1 0 1 1|'--crs': EPSG:5703 names no projected system in EPSG's register (as PROJ 9.1.1 holds it)
--crs=EPSG:4326 -- 0 1 0 1 1|'--crs': EPSG:4326, WGS 84, is a geographic system, in degrees; the grid's values are projected coordinates: name a projected system, in metres or feet
--crs=EPSG:4979 -- 0 1 0 1 1|'--crs': EPSG:4979, WGS 84, is a geographic system, in degrees; the grid's values are projected coordinates: name a projected system, in metres or feet
--crs=EPSG:2008 -- 0 1 0 1 1|'--crs': EPSG:2008, NAD27(CGQ77) / SCoPQ zone 2, is deprecated in EPSG's register: name the system that replaces it
--crs=EPSG:3139 -- 0 1 0 1 1|'--crs': EPSG:3139, Vanua Levu 1915 / Vanua Levu Grid, is projected by a method that a .prj file has no words for
--crs=EPSG:32615 --crs=EPSG:32615 -- 0 1 0 1 1|'--crs' is given twice
--crs=EPSG:32615 --output=- -- 0 1 0 1 1|'--crs' writes files beside the grid, which standard output has none of: name the grid's file with --output=PATH
--crs=EPSG:32615 --output=/dev/null -- 0 1 0 1 1|'--crs' writes files beside the grid, and /dev/null is a stream: name a file
--crs=EPSG:32615 --format=pnezd --output=p.Prj -- 0 1 0 1 1|'--crs' writes .prj beside the point file, so the point file's own name cannot end in it: name it NAME.txt or NAME.csv
--crs=EPSG:32615 --output='sub/back\slash.txt' -- 0 1 0 1 1|'--crs' names the grid in its .vrt, where GDAL cannot read a backslash, a control character, a character that reorders or breaks a line, or bytes that are not UTF-8: name the grid without them, not 'sub/back\slash.txt'
--crs=EPSG:32615 --output=$'a\x01b.txt' -- 0 1 0 1 1|'--crs' names the grid in its .vrt, where GDAL cannot read a backslash, a control character, a character that reorders or breaks a line, or bytes that are not UTF-8: name the grid without them, not 'a\x01b.txt'
--crs=EPSG:32615 --output=$'a\xffb.txt' -- 0 1 0 1 1|'--crs' names the grid in its .vrt, where GDAL cannot read a backslash, a control character, a character that reorders or breaks a line, or bytes that are not UTF-8: name the grid without them, not 'a\xFFb.txt'
--crs=EPSG:32615 --output=$'a\xe2\x80\xaeb.txt' -- 0 1 0 1 1|'--crs' names the grid in its .vrt, where GDAL cannot read a backslash, a control character, a character that reorders or breaks a line, or bytes that are not UTF-8: name the grid without them, not 'a\u202Eb.txt'
--crs=EPSG:-5 -- 0 1 0 1 1|'--crs' takes EPSG: and a system's code, as in --crs=EPSG:32615, not 'EPSG:-5'
--crs=EPSG:1 -- 0 1 0 1 1|'--crs': EPSG:1 names no projected system in EPSG's register (as PROJ 9.1.1 holds it)
--crs=EPSG:32615 --output=sub.d/grid.VRT -- 0 1 0 1 1|'--crs' writes .vrt beside the grid, so the grid's own name cannot end in it: name it NAME.txt or NAME.csv
--crs=EPSG:32615 --format=penzd --output=p.vRt -- 0 1 0 1 1|'--crs' writes .vrt beside the point file, so the point file's own name cannot end in it: name it NAME.txt or NAME.csv
--crs=EPSG:32615 --format=pnezd --output='back\slash.csv' -- 0 1 0 1 1|'--crs' names the point file in its .vrt, where GDAL cannot read a backslash, a control character, a character that reorders or breaks a line, or bytes that are not UTF-8: name the point file without them, not 'back\slash.csv'
CASES
# What the file loses against the typed values is told before the first byte: after --dry-run's
# line on standard output, on standard error before a run writes (not with --quiet), and under
# --strict as a refusal that leaves the previous file as it was. Each row: the arguments, the
# status, standard output, standard error (\n between lines) and what newgrid.txt holds after.
spacing_read='warning: "Grid Spacing" 2.5 is used as 2, a whole number.'
# Typed digits past the account's hundred decimals: in a maximum they change nothing written; in
# a minimum every column lies off by less than the account can show.
zeros150=$(printf '0%.0s' $(seq 150))
zeros200=$(printf '0%.0s' $(seq 200))
range='must be between -3.402823E+38 and 3.402823E+38'
no_point='warning: No point is written: "Minimum x value" 10 is above "Maximum x value" 0.'
header=${grid_header%$'\r\n'}
while IFS='^' read -r arguments status out err after; do
  printf 'the previous grid' >newgrid.txt
  eval "set -- $arguments"
  "$grid" "$@" >out.txt 2>err.txt
  check "$arguments: status $status" test $? -eq "$status"
  check "$arguments: standard output" test "$(cat out.txt)" = "$(printf '%b' "$out")"
  check "$arguments: standard error" test "$(cat err.txt)" = "$(printf '%b' "$err")"
  check "$arguments: newgrid.txt" test "$(head -n 1 newgrid.txt | tr -d '\r')" = "$after"
done <<CASES
--dry-run -- 0 10 0 10 2.5^0^36 points (6 rows, 6 columns), 471 bytes, last point 10,10\n$spacing_read^^the previous grid
--dry-run -- 1 1 1 1 1^0^1 point (1 row, 1 column), 39 bytes, last point 1,1^^the previous grid
--dry-run --strict -- 10 0 0 10 5^1^0 points (3 rows, 0 columns), 27 bytes\n$no_point^^the previous grid
--dry-run --strict -- 0 400 0 200 200^0^6 points (2 rows, 3 columns), 113 bytes, last point 400,200^^the previous grid
--no-sync -- 10 0 0 10 5^0^^$no_point^$header
--no-sync --quiet -- 10 0 0 10 5^0^^^$header
--strict -- 10 0 0 10 5^1^^$no_point\nRefused by --strict, for what is said above; newgrid.txt is as it was.^the previous grid
--strict --output=- -- 0 10 0 10 2.5^1^^$spacing_read\nRefused by --strict, for what is said above; nothing was written.^the previous grid
--dry-run -- 0 10 0 10 0.4^1^warning: "Grid Spacing" 0.4 is used as 0, a whole number.^Run-time error 3: Division by zero: "Grid Spacing" is 0 (any spacing from -0.5 to 0.5 rounds to 0); enter a whole number other than 0.^the previous grid
--strict -- 0 10 0 10 0.4^1^^Run-time error 3: Division by zero: "Grid Spacing" is 0 (any spacing from -0.5 to 0.5 rounds to 0); enter a whole number other than 0.^the previous grid
--no-sync -- 2000000 2000005 13100000 13100012 3^0^^warning: 4 of 5 rows are written away from where the fields put them, by up to 4 (row 3: 1.310001E+07, not 13100006).\nwarning: Rows 1 and 2 are both written as 1.31E+07: points share a written position.^$header
--no-sync --format=pnezd --output=p.csv -- 2000000 2000005 13100000 13100012 3^0^^warning: 4 of 5 rows are written away from where the fields put them, by up to 4 (row 3: 13100010, not 13100006).\nwarning: Rows 1 and 2 are both written as 13100000: points share a written position.^the previous grid
--dry-run -- 0 1.${zeros150}1 0 1 1^0^4 points (2 rows, 2 columns), 75 bytes, last point 1,1^^the previous grid
--dry-run -- 0.${zeros200}1 1000 0 1 1^0^2002 points (2 rows, 1001 columns), 31629 bytes, last point 1000,1\nwarning: 1001 of 1001 columns are written away from where the fields put them, by less than 1E-100: "Minimum x value" 0.${zeros200}1 has digits past any value the file writes.^^the previous grid
--snap=out -- 0 1e100 0 1 1^1^^Run-time error 2: Overflow: "Maximum x value" $range, not "1e100".^the previous grid
--snap=in -- 0 1 0 1e300 1^1^^Run-time error 2: Overflow: "Maximum Y value" $range, not "1e300".^the previous grid
CASES
rm newgrid.txt

# Files that may no longer describe what a run without --crs writes are told, a dangling link as
# much as a file, a point file's as much as the grid's.
while IFS='|' read -r lay_out options stale written; do
  eval "$lay_out"
  # shellcheck disable=SC2086
  "$grid" --no-sync $options -- 0 1 0 1 1 2>err.txt
  check "$lay_out: told" test "$(cat err.txt)" = "warning: $stale is from an earlier run and may no longer describe $written: run with --crs to write it anew, or remove it"
  rm -f ./*.prj ./*.csv newgrid.txt
done <<'ROWS'
ln -s nowhere newgrid.prj||newgrid.prj|newgrid.txt
echo old >p.prj|--format=pnezd --output=p.csv|p.prj|p.csv
ROWS

# On a terminal (script(1)'s), what stays on the screen once the run ends: nothing of the progress
# line, or the error alone on its line, or the grid alone where standard output is the terminal
# too. The disk stand-in holds the save (or the file's first writes to the terminal) long enough
# for the line to be drawn; a failed close at the commit is the error.
screen() {  # the lines a terminal shows for what was written to it, blank ones left out
  python3 -c '
import sys
shown, line, column = [], [], 0
for c in open(sys.argv[1], "rb").read().decode("utf-8", "replace"):
    if c == "\r":
        column = 0
    elif c == "\n":
        shown.append("".join(line)); line, column = [], 0
    else:
        line[column:column + 1] = [c]; column += 1
shown.append("".join(line))
print("\n".join(l.rstrip() for l in shown if l.strip()))' "$1"
}
while IFS='|' read -r faults options shows; do
  rm -f newgrid.txt
  script -qfec "env LD_PRELOAD='$slow_disk' $faults '$grid' $options -- 0 400 0 200 200" /dev/null \
    </dev/null >typescript.txt
  check "a terminal, $faults $options: the line was drawn" grep -q '% of\|^"easting"' typescript.txt
  check "a terminal, $faults $options: what stays" test "$(screen typescript.txt)" = "$(printf '%b' "$shows")"
done <<ROWS
TESSAPLAN_TEST_SYNC_DELAY_MS=600||
TESSAPLAN_TEST_SYNC_DELAY_MS=600 TESSAPLAN_TEST_CLOSE_FAILS=1||Run-time error 5: File error: Input/output error ($work/newgrid.txt)
TESSAPLAN_TEST_WRITE_DELAY_MS=300|--output=-|$(printf '%s\\n' "${header}" '0,0,"r1c1"' '0,200,"r2c1"' '200,0,"r1c2"' '200,200,"r2c2"' '400,0,"r1c3"' '400,200,"r2c3"' | head -c -2)
ROWS

# A stop signal the program was started ignoring (nohup, a background job of a script) stays
# ignored: sent during the run (its first write held by the disk stand-in), the run goes on.
stalled() { grep -q stall "$work/calls.$1" 2>/dev/null; }
for signal in INT HUP; do
  (trap '' "$signal" && exec env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_WRITE_DELAY_MS=60000 \
    TESSAPLAN_TEST_STALL_FROM=1 TESSAPLAN_TEST_STALL_UNTIL="$work/go.$signal" \
    TESSAPLAN_TEST_CALL_LOG="$work/calls.$signal" "$grid" -- 0 400 0 200 200) 2>err.txt &
  run=$!
  check "$signal ignored: the run under way" within 60 stalled "$signal"
  kill -s "$signal" "$run"
  touch "$work/go.$signal"
  wait "$run"
  check "$signal ignored: status 0" test $? -eq 0
  check "$signal ignored: the grid written" test "$(wc -l <newgrid.txt)" -eq 7
  rm -f newgrid.txt
done

"$grid" --version >out.txt
check "--version" test "$(cat out.txt)" = "tessaplan-grid 1.00"
"$grid" --help >out.txt
check "--help" grep -q '^Usage: tessaplan-grid \[OPTION\]\.\.\. \[--\] MINX MAXX MINY MAXY SPACING$' out.txt
check "--help: this system's stops" grep -q 'after signal N stopped it (130 INT, 143 TERM, 129 HUP' out.txt
check "--help: no other system's" bash -c "! grep -q Ctrl out.txt"
"$grid" -h >h.txt
check "-h is --help" cmp -s h.txt out.txt

# Run in a folder it may not write (as nobody, for root), it names the folder and says how to
# write elsewhere.
mkdir locked && chmod 555 locked && chmod 755 "$work"
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
cp "$grid" "$work/reachable"  # nobody may not reach the build tree
(cd locked && "${as_user[@]}" "$work/reachable" -- 0 1 0 1 1 2>"$work/err.txt")
check "a folder it may not write: advice" test "$(cat err.txt)" = "Run-time error 5: File error: Permission denied (the folder $work/locked). tessaplan-grid writes newgrid.txt in the current folder: run it in a folder you may write to, or name another file with --output=PATH."

# Another output: the same transaction there, and nothing in the current folder; a folder that
# is not there is named.
mkdir sub
"$grid" --output sub/grid.csv -- -400 0 -200 0 200
check "--output: written there" cmp -s sub/grid.csv expected.txt
check "--output: nothing here" test ! -e newgrid.txt
"$grid" --output none/grid.csv -- 0 1 0 1 1 2>err.txt
check "--output: a missing folder named" grep -Fqx "Run-time error 5: File error: No such file or directory ($work/none)" err.txt

# Standard output: the file's bytes in a pipe; a reader that goes away ends the run at once.
"$grid" --output - -- -400 0 -200 0 200 | cat >stream.txt
check "--output -: the file's bytes" cmp -s stream.txt expected.txt
"$grid" --output - -- 0 30000 0 30000 1 2>err.txt | head -c 1000 >/dev/null
check "reader gone: status 1" test "${PIPESTATUS[0]}" -eq 1
check "reader gone: one line" test "$(cat err.txt)" = "Run-time error 5: File error: Broken pipe (standard output)"
check "--output -: nothing here" test ! -e newgrid.txt

# What --output names, when that is a stream, is written into as the shell opened it (">>"
# appends) and never replaced; what is no file to write is refused before the first byte, saying
# why and never to remove it; an answer that went nowhere fails. Each row: a command line as a
# script writes it ($g the program), its status, what it says on standard error (a pattern), and
# what holds after it. log.txt says "log line" before each row.
g=$grid
reader_gone() {  # runs a command whose standard output is a pipe whose reader has gone
  python3 -c 'import os, subprocess, sys
reader, writer = os.pipe()
os.close(reader)
sys.exit(subprocess.call(sys.argv[1:], stdout=writer))' "$@"
}
# Appends what comes through the FIFO to log.txt, as a reader that is there before the writer;
# gives up after a minute without a writer.
fifo_reader() {
  python3 -c 'import os, select
fifo = os.open("fifo", os.O_RDONLY | os.O_NONBLOCK)  # a reader from now on: nothing to wait for
open("reading", "w").close()
with open("log.txt", "ab") as log:
    while select.select([fifo], [], [], 60)[0] and (data := os.read(fifo, 65536)):
        log.write(data)'
}
appended() { cmp -s log.txt <(echo "log line"; cat expected.txt) && test ! -e newgrid.txt; }
untouched() { test "$(cat log.txt)" = "log line" -a ! -e newgrid.txt; }
mkfifo fifo
while IFS='^' read -r command status message after; do
  echo "log line" >log.txt
  rm -f newgrid.txt
  (set -o pipefail; eval "$command") 2>err.txt
  check "$command: status $status" test $? -eq "$status"
  # shellcheck disable=SC2053
  check "$command: says so" eval '[[ "$(cat err.txt)" == $message ]]'
  check "$command: $after" eval "$after"
  rm -f newgrid.txt
done <<'CASES'
$g --output=/dev/stdout -- -400 0 -200 0 200 >>log.txt^0^^appended
$g --output=/dev/stderr -- -400 0 -200 0 200 2>>log.txt^0^^appended
$g --output=/dev/fd/7 -- -400 0 -200 0 200 7>>log.txt^0^^appended
$g --output=/proc/self/fd/7 -- -400 0 -200 0 200 7>>log.txt^0^^appended
$g --output=/dev/stdout -- -400 0 -200 0 200 | cat >>log.txt^0^^appended
{ rm gone.txt; $g --output=/proc/self/fd/7 -- -400 0 -200 0 200; } 7>gone.txt^0^^untouched && test -z "$(ls | grep gone)"
rm -f reading; fifo_reader & within 60 test -e reading; $g --output=fifo -- -400 0 -200 0 200 && wait^0^^appended
$g --output=fifo -- -400 0 -200 0 200^1^Run-time error 5: File error: a pipe (FIFO) that no program reads; start its reader first, or choose another --output (*/fifo)^untouched
$g --output=/dev/null -- -400 0 -200 0 200^0^^untouched
$g --output=/dev/full -- -400 0 -200 0 200^1^Run-time error 5: File error: No space left on device (/dev/full)^untouched
$g --output=/dev/stdin -- -400 0 -200 0 200 <log.txt^1^Run-time error 5: File error: open for reading only; open it for writing, or choose another --output (standard input)^untouched
$g --output=/dev/fd/9 -- -400 0 -200 0 200^1^Run-time error 5: File error: not an open descriptor of this run (/proc/*/fd/9)^untouched
$g --output=/proc/self/exe -- -400 0 -200 0 200^1^Run-time error 5: File error: a link of the kernel's (/proc) that stands for an open file or folder, not a path to one: tessaplan replaces nothing reached that way; name the file by its own path (/proc/*/exe)^untouched && cmp -s "$g" "$grid"
$g --output=/proc/self/cwd/newgrid.txt -- -400 0 -200 0 200^1^*name the file by its own path (/proc/*/cwd)^untouched
"${as_user[@]}" "$work/reachable" --output=/proc/1/cwd/newgrid.txt -- -400 0 -200 0 200^1^*name the file by its own path (/proc/1/cwd)^untouched
ln -s /dev/stdout newgrid.txt && $g -- -400 0 -200 0 200 >>log.txt^1^*name the file by its own path (/proc/*/fd/1)^test -L newgrid.txt && test "$(cat log.txt)" = "log line"
$g --output=/proc/version -- -400 0 -200 0 200^1^Run-time error 5: File error: a file of the kernel's proc file system, which holds the system's settings, not data; run in another folder (/proc/version)^untouched
$g --output=/ -- -400 0 -200 0 200^1^Run-time error 5: File error: Is a directory (/)^untouched
$g --output=- -- -400 0 -200 0 200 >&-^1^Run-time error 5: File error: Bad file descriptor (standard output)^untouched
$g --help >/dev/full^1^Run-time error 5: File error: No space left on device (standard output)^untouched
$g --version >&-^1^Run-time error 5: File error: Bad file descriptor (standard output)^untouched
reader_gone $g --dry-run -- 0 1 0 1 1^1^Run-time error 5: File error: Broken pipe (standard output)^untouched
reader_gone $g --help^1^Run-time error 5: File error: Broken pipe (standard output)^untouched
$g --dry-run -- 0 1 0 1 1 >/dev/full 2>&-^1^^untouched
CASES

# The progress line: on standard error when that is a terminal (a pseudo-terminal, as script
# gives), whatever standard output is; redrawn at most ten times a second with the share done
# growing, and cleared at the end, also when the run fails; never in a file, and not with --quiet.
started=$(date +%s%N)
script -qfec "'$grid' --no-sync -- 0 8000 0 8000 1 >/dev/null" /dev/null >terminal.txt
seconds=$((($(date +%s%N) - started) / 1000000000 + 1))
check "terminal: progress shown" grep -Eq '[1-9][0-9]?% of 1\.5 GB, [0-9.]+ [kMG]B/s, [0-9]+:[0-9]{2} left, writing' terminal.txt
check "terminal: at most ten a second" test "$(tr -cd '\r' <terminal.txt | wc -c)" -le $((10 * seconds + 3))
check "terminal: cleared at the end" test -z "$(tr '\r' '\n' <terminal.txt | tail -n 1 | tr -d ' ')"
script -qfec "'$grid' --output=- -- 0 8000 0 8000 1 | head -c 800M >/dev/null" /dev/null >terminal.txt
check "terminal, a failed run: shown" grep -Eq '[1-9][0-9]?% of 1\.5 GB' terminal.txt
check "terminal, a failed run: cleared before the error" eval "tr '\r' '\n' <terminal.txt | grep -qx 'Run-time error 5: File error: Broken pipe (standard output)'"
script -qfec "'$grid' --quiet --no-sync -- 0 8000 0 8000 1" /dev/null >terminal.txt
check "terminal, --quiet: nothing shown" test ! -s terminal.txt
script -qfec "'$grid' --no-sync -- 0 8000 0 8000 1 2>err.txt" /dev/null >terminal.txt
check "a file: no progress" test ! -s err.txt -a ! -s terminal.txt

# On slow disks, the 1.5 GB grid on a terminal, stopped by TERM once its line has shown what is
# looked at: the run ends at once, the file as it was. Where each 1 MiB write takes 100 ms
# longer, the time left is minutes and seconds that agree with the share left at the speed
# shown. Where the reservation takes 2 s a GB, the line says so from the start, within 1.5 s,
# and the stop ends the run within a step of it (the second allows for a loaded machine).
cp expected.txt newgrid.txt
# The bytes a size on the line stands for: "1.5 GB" is 1.5e9.
bytes_of='function bytes(n, unit) { return n * (unit ~ /^G/ ? 1e9 : unit ~ /^M/ ? 1e6 : unit ~ /^k/ ? 1e3 : 1) }'
# Each line whose time left, M:SS, is not what the share left takes at the speed shown.
wrong_time_left() {
  tr '\r' '\n' <terminal.txt | grep -E '^[0-9]+% of [0-9.]+ [kMG]?B, [0-9.]+ [kMG]?B/s, [0-9]+:[0-9]+ left' |
    awk -F'[ :,%]+' "$bytes_of"'
      { left = (100 - $1 - 0.5) / 100 * bytes($3, $4) / bytes($5, $6)
        shown = $7 * 60 + $8
        if (length($8) != 2 || $8 >= 60 || shown < left * 0.9 - 2 || shown > left * 1.1 + 2) print }'
}
for slowed in "TESSAPLAN_TEST_WRITE_DELAY_MS=100^[1-9]:[0-5][0-9] left, writing" \
              "TESSAPLAN_TEST_FALLOCATE_DELAY_MS=2000^reserving space on the disk"; do
  variable=${slowed%%^*}
  shown=${slowed#*^}
  rm -f pid.txt
  started=$EPOCHREALTIME
  script -qfec "echo \$\$ >pid.txt; exec env LD_PRELOAD='$slow_disk' $variable '$grid' --no-sync -- 0 8000 0 8000 1" \
    /dev/null >terminal.txt &
  script_pid=$!
  check "$variable: '$shown' shown" within 60 grep -Eq "$shown" terminal.txt
  seen=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }')
  kill -s TERM "$(cat pid.txt)"
  stopped=$EPOCHREALTIME
  wait "$script_pid"
  status=$?
  ended=$(awk -v a="$stopped" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }')
  echo "$variable: shown after $seen s, ended $ended s after TERM"
  check "$variable: status 143" test "$status" -eq 143
  check "$variable: said" eval "tr '\r' '\n' <terminal.txt | grep -qx 'Cancelled by signal 15; newgrid.txt is as it was.'"
  check "$variable: file kept" cmp -s newgrid.txt expected.txt
  check "$variable: nothing left" test -z "$(ls -A | grep '^\.tessaplan')"
  if [ "${variable%%=*}" = TESSAPLAN_TEST_FALLOCATE_DELAY_MS ]; then
    check "$variable: shown within 1.5 s" awk -v s="$seen" 'BEGIN { exit !(s < 1.5) }'
    check "$variable: ended within 1 s" awk -v s="$ended" 'BEGIN { exit !(s < 1) }'
  else
    check "$variable: the time left agrees with the speed" test -z "$(wrong_time_left)"
  fi
done

# A stop request, by any signal that would end the program: the status a script expects, the
# file as it was and said so. A signal the program started with ignored stays ignored (INT, as
# in a script's background job): the TERM after it stops the run.
cp expected.txt newgrid.txt
for signals in TERM HUP INT QUIT USR1 USR2 ALRM VTALRM PROF XCPU PWR STKFLT IO RTMIN RTMAX "INT ignored, then TERM"; do
  signal=${signals%% *}
  if [ "$signal" = "$signals" ]; then
    # A background job of a script starts with INT and QUIT ignored; a user's does not.
    (trap - INT QUIT; exec "$grid" -- 0 30000 0 30000 1) 2>err.txt &
  else
    (trap '' INT; exec "$grid" -- 0 30000 0 30000 1) 2>err.txt &
  fi
  pid=$!
  check "$signals: run begun" within 60 holds_new_file "$pid" "$work"
  kill -s "$signal" "$pid"
  if [ "$signal" != "$signals" ]; then
    signal=TERM  # the first stop the run takes decides: INT, had it been taken
    kill -s "$signal" "$pid"
  fi
  wait "$pid"
  status=$?
  number=$(kill -l "$signal")
  check "$signals: status $((128 + number))" test "$status" -eq $((128 + number))
  check "$signals: said" test "$(cat err.txt)" = "Cancelled by signal $number; newgrid.txt is as it was."
  check "$signals: file kept" cmp -s newgrid.txt expected.txt
done
finish
