#!/usr/bin/env bash
# tessaplan-grid.exe under Wine where Windows differs: NUL takes the grid as a stream and any
# other device is refused, naming it, before the first byte; a folder is never to be renamed; an
# answer on standard output that went nowhere fails; an option that takes a value is given once;
# --help names only Windows' stops; what the file loses is told in the console's line ends; a
# folder is named by the path it was found by, and only a link under the name by its target; a
# point file, a snapped extent, --crs's files (beside a path with backslashes) and a GeoPackage
# (its rows checked against the grid's, as on Linux) as on Linux;
# names compared as Windows reads them (without case, trailing dots and blanks dropped), so that
# two names of one file are a wrong command line; and runs at once that leave one run's files.
# Each row: the arguments, the status, what standard error says (a pattern), and what holds
# after it.
# Usage: tessaplan_grid_windows_test.sh EMULATOR... tessaplan-grid.exe
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
program=${*: -1}
emulator=("${@:1:$#-1}")
scratch_folder work
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export LANG=C.UTF-8

g() { "${emulator[@]}" "$program" "$@"; }
checker=$(realpath "$(dirname "${BASH_SOURCE[0]}")/geopackage_check.py")
reader_gone() {  # runs a command whose standard output is a pipe whose reader has gone
  python3 -c 'import os, subprocess, sys
reader, writer = os.pipe()
os.close(reader)
sys.exit(subprocess.call(sys.argv[1:], stdout=writer))' "$@"
}
nothing_here() { test -z "$(ls -A)"; }

while IFS='^' read -r command status message after; do
  (eval "$command") 2>err.txt
  check "$command: status $status" test $? -eq "$status"
  # shellcheck disable=SC2053
  check "$command: says so" eval '[[ "$(tr -d "\r" <err.txt)" == $message ]]'
  rm -f err.txt
  check "$command: $after" eval "$after"
  rm -rf ./*
done <<'CASES'
g --output=NUL -- -400 0 -200 0 200^0^^nothing_here
g --output=nul -- -400 0 -200 0 200 >out.txt^0^^test ! -s out.txt
g --output=COM1 -- -400 0 -200 0 200^1^Run-time error 5: File error: a device, not a file: tessaplan writes to no device but NUL; choose another --output (COM1)^nothing_here
g --output=CON -- -400 0 -200 0 200 >out.txt^1^Run-time error 5: File error: a device, not a file: tessaplan writes to no device but NUL; choose another --output (CON)^test ! -s out.txt
g --output='C:\' -- 0 1 0 1 1^1^Run-time error 5: File error: a folder has this name; run in another folder (C:\\)^nothing_here
g --output=- --output=c.txt -- 0 1 0 1 1^2^tessaplan-grid: '--output' is given twice (see tessaplan-grid --help)^nothing_here
g --decimal-separator=٫ -- 0 1 0 1 1^2^tessaplan-grid: '--decimal-separator' takes one ASCII character, not '٫' (see tessaplan-grid --help)^nothing_here
g --help >/dev/full^1^Run-time error 5: File error: * (standard output)^nothing_here
g --version >&-^1^Run-time error 5: File error: * (standard output)^nothing_here
reader_gone "${emulator[@]}" "$program" --dry-run -- 0 1 0 1 1^1^Run-time error 5: File error: * (standard output)^nothing_here
mkdir -p real/grid.csv && ln -s real/grid.csv newgrid.txt && g -- 0 1 0 1 1^1^Run-time error 5: File error: a folder has this name; run in another folder (Z:*\\real\\grid.csv)^test -L newgrid.txt
mkdir -p real/newgrid.txt && ln -s real alias && g --output='alias\newgrid.txt' -- 0 1 0 1 1^1^Run-time error 5: File error: a folder has this name; run in another folder (Z:*\\alias\\newgrid.txt)^test -d real/newgrid.txt
g --help >out.txt^0^^grep -q '130 after Ctrl+C, Ctrl+Break or closing the console' out.txt && ! grep -Eq 'INT|TERM|HUP|signal' out.txt
g -h >out.txt^0^^grep -q '^Usage: tessaplan-grid' out.txt
g --strict -- 0 10 0 10 2.5^1^warning: "Grid Spacing" 2.5 is used as 2, a whole number.?Refused by --strict, for what is said above; newgrid.txt is as it was.^nothing_here
g --dry-run -- 1.1 4.1 0 0 1 >out.txt^0^^test "$(tr -d '\r' <out.txt)" = $'3 points (1 row, 3 columns), 69 bytes, last point 3.1,0\nwarning: "Maximum x value" 4.1 is not reached: the last column is at 3.1, though one more spacing, to 4.1, stays within it.'
g --format=penzd --output=p.csv --first-point=9 --elevation=1e1 -- 2000000 2000003 13100000 13100003 3^0^*^test "$(cat p.csv)" = $'9,2000000,13100000,10,r1c1\r\n10,2000000,13100000,10,r2c1\r\n11,2000003,13100000,10,r1c2\r\n12,2000003,13100000,10,r2c2\r'
g --snap=out --dry-run -- 15 385 -7.5 190 100 >out.txt^0^^test "$(tr -d '\r' <out.txt)" = $'20 points (4 rows, 5 columns), 334 bytes, last point 400,200\nextent 0,400,-100,200 (snapped out to multiples of 100)'
mkdir sub && g --crs=EPSG:2227 --output='sub\Grid.csv' -- 0 1 0 1 1^0^^test "$(ls sub)" = $'Grid.csv\nGrid.csvt\nGrid.prj\nGrid.vrt' && grep -q '>CSV:Grid.csv<' sub/Grid.vrt
mkdir sub && g --crs=EPSG:32615 --format=pnezd --output='sub\p.csv' -- 0 1 0 1 1^0^^test "$(ls sub)" = $'p.csv\np.prj\np.vrt' && grep -q '^PROJCS\["WGS_1984_UTM_Zone_15N"' sub/p.prj && grep -q 'CSV:p.csv<' sub/p.vrt
mkdir sub && g --no-sync --format=gpkg --crs=EPSG:32615 --layer=grid --output='sub\g.gpkg' -- 500000.5 500300.5 4000000.25 4000200.25 7 && g --no-sync --output='sub\g.txt' -- 500000.5 500300.5 4000000.25 4000200.25 7^0^*^/usr/bin/python3 "$checker" sub/g.gpkg grid sub/g.txt 32615 && test "$(ls sub)" = $'g.gpkg\ng.txt'
echo x >g.gpkg && g --format=gpkg --output=G.GPKG -- 0 1 0 1 1^2^tessaplan-grid: *G.GPKG exists and is not a GeoPackage: name a new file*^test "$(ls)" = g.gpkg && test "$(cat g.gpkg)" = x
g --crs=EPSG:32600 -- 0 1 0 1 1^2^tessaplan-grid: '--crs': EPSG:32600, * is projected by a method that a .prj file has no words for*^nothing_here
g --snap=out -- 0 10 0 10 0.4^2^tessaplan-grid: '--snap' aligns to a spacing above 0, not "Grid Spacing" 0.4 (used as 0)*^nothing_here
g --crs=EPSG:2227 --output=NUL -- 0 1 0 1 1^2^tessaplan-grid: '--crs' writes files beside the grid, and NUL is a stream: name a file (see tessaplan-grid --help)^nothing_here
g --crs=EPSG:2227 --output='grid.prj ' -- 0 1 0 1 1^2^tessaplan-grid: Z:*\\grid.prj and Z:*\\grid.prj lead to one file, Z:*\\grid.prj: the grid and each file that describes it need a file of their own (see tessaplan-grid --help)^nothing_here
g --crs=EPSG:2227 --output='grid.vrt.' -- 0 1 0 1 1^2^tessaplan-grid: Z:*\\grid.vrt and Z:*\\grid.vrt lead to one file, *^nothing_here
echo grid >newgrid.txt && g --format=pnezd --output=NEWGRID.TXT -- 0 1 0 1 1^2^tessaplan-grid: Z:*\\NEWGRID.TXT leads to Z:*\\NEWGRID.TXT, and newgrid.txt is always the grid's own format: name another file (see tessaplan-grid --help)^test "$(ls)" = newgrid.txt && test "$(cat newgrid.txt)" = grid
g --format=pnezd --output=NewGrid.Txt -- 0 1 0 1 1^2^tessaplan-grid: *newgrid.txt is always the grid's own format*^nothing_here
g --format=pnezd --output='newgrid.txt.' -- 0 1 0 1 1^2^tessaplan-grid: *newgrid.txt is always the grid's own format*^nothing_here
g --format=penzd --output='newgrid.txt ' -- 0 1 0 1 1^2^tessaplan-grid: *newgrid.txt is always the grid's own format*^nothing_here
printf '"easting","northing","ID"\r\n' >g.prj && g --crs=EPSG:32615 --output=g.txt -- 0 1 0 1 1^2^tessaplan-grid: Z:*\\g.prj leads to Z:*\\g.prj, which holds a grid, and a file that describes a grid never replaces one: name another file*^test "$(ls)" = g.prj
g --crs=EPSG:32615 --output="$(printf 'n%.0s' $(seq 253)).x" -- 0 1 0 1 1^1^Run-time error 5: File error: *too long*^nothing_here
CASES

# Eight runs at once in one folder, each its own grid and system, ten rounds: none refuses
# another, and each round leaves one run's four files.
codes=(32615 2227 6339 25832 7855 32616 32617 32618)
for i in "${!codes[@]}"; do
  mkdir -p "ref/$i"
  (cd "ref/$i" && g --no-sync --crs="EPSG:${codes[$i]}" -- 0 400 0 $((100 * i + 100)) 100)
done
whose_set() {
  for i in "${!codes[@]}"; do
    local same=true
    for extension in txt prj csvt vrt; do
      cmp -s "race/newgrid.$extension" "ref/$i/newgrid.$extension" || same=false
    done
    "$same" && return 0
  done
  return 1
}
mkdir race
mixed=0
for round in $(seq 10); do
  pids=()
  for i in "${!codes[@]}"; do
    (cd race && g --no-sync --crs="EPSG:${codes[$i]}" -- 0 400 0 $((100 * i + 100)) 100 2>"../err$i.txt") &
    pids+=($!)
  done
  failed=0
  for pid in "${pids[@]}"; do
    wait "$pid" || failed=$((failed + 1))
  done
  check "runs at once, round $round: all exit 0" test "$failed" -eq 0
  check "runs at once, round $round: none refused" test -z "$(cat err*.txt)"
  whose_set || mixed=$((mixed + 1))
done
check "runs at once: 10 rounds, each one run's four files ($mixed mixed)" test "$mixed" -eq 0
check "runs at once: nothing else left" test "$(ls -A race | tr '\n' ' ')" = "newgrid.csvt newgrid.prj newgrid.txt newgrid.vrt "
finish
