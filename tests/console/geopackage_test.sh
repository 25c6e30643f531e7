#!/usr/bin/env bash
# --format=gpkg: the GeoPackage against the grid of the same texts, as GDAL and SQLite read it
# (geopackage_check.py); and its transaction: whatever stops a run, at each of its stages,
# leaves nothing at the name and nothing hidden that the next run does not sweep.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
grid=$1
slow_disk=$(realpath "$2")
checker=$(realpath "$(dirname "${BASH_SOURCE[0]}")/geopackage_check.py")
scratch_folder work
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# The points and tables: whole and fractional values (some a float above, some below), a decimal
# comma, a system PROJ writes as OGC WKT and one it cannot (named by EPSG's code alone), none,
# and a layer's name SQL must quote.
while IFS='|' read -r options layer code texts; do
  rm -f ./*.gpkg newgrid.txt
  # shellcheck disable=SC2086
  "$grid" --no-sync $options -- $texts 2>/dev/null &&
    "$grid" --no-sync --format=gpkg --output=g.gpkg ${code:+--crs=EPSG:$code} ${layer:+"--layer=$layer"} \
      $options -- $texts 2>err.txt
  check "$options $texts: written" test $? -eq 0
  # /usr/bin's, which python3-gdal's modules are installed for.
  check "$options $texts: as GDAL and SQLite read it" \
    /usr/bin/python3 "$checker" g.gpkg "${layer:-g}" newgrid.txt $code
  check "$options $texts: nothing beside it" test "$(ls -A | tr '\n' ' ')" = "err.txt g.gpkg newgrid.txt "
done <<'ROWS'
||32615|500000 500400 4000000 4000300 1
|Grid "A" ü||0.5 1000.5 -200.25 600.25 7
--decimal-separator=,|pts|6201|1234567,891 1234999,25 98765,4321 99000 3
||2227|0 9999 0 20 10
|||0.1 60.1 -0.7 30.3 1
ROWS

# A file at the name, a GeoPackage or not (a pipe too, never opened), refuses the run before
# anything is made, and stays as it was.
while IFS='|' read -r make problem; do
  rm -rf g.gpkg
  eval "$make"
  state() { ls -l --time-style=+%s.%N g.gpkg; [ ! -f g.gpkg ] || md5sum <g.gpkg; }
  before=$(state)
  "$grid" --format=gpkg --output=g.gpkg -- 0 10 0 10 1 2>err.txt
  check "$make: status 2" test $? -eq 2
  check "$make: says so" test "$(cat err.txt)" = "tessaplan-grid: $problem (see tessaplan-grid --help)"
  check "$make: as it was" test "$(state)" = "$before"
  check "$make: nothing else" test "$(ls -A | tr '\n' ' ')" = "err.txt g.gpkg newgrid.txt "
done <<'ROWS'
"$grid" --no-sync --format=gpkg --output=g.gpkg -- 0 1 0 1 1|g.gpkg is a GeoPackage already, and --format=gpkg makes a new one: name a new file
: >g.gpkg|g.gpkg exists and is not a GeoPackage: name a new file
cp newgrid.txt g.gpkg|g.gpkg exists and is not a GeoPackage: name a new file
ln -s nowhere g.gpkg|g.gpkg exists and is not a GeoPackage: name a new file
mkfifo g.gpkg|g.gpkg exists and is not a GeoPackage: name a new file
ROWS
rm -f g.gpkg

# A run stopped at each stage, held there by the disk stand-in: claiming space (reserving
# slowly), writing (its hundredth page), and saving (its sync): a stop signal cancels it, saying so, and a KILL ends it; either way the
# name stays free and nothing is left, also where the file system has no unnamed files and a
# killed run leaves a hidden file, which the next run sweeps.
stage_reached() {  # STAGE: the run is held there, as the stand-in notes
  grep -qx "$([ "$1" = reserving ] && echo reserving || echo stall)" calls.txt 2>/dev/null
}
left() {  # what a stopped run left in the folder
  ls -A | grep -v '^\(calls.txt\|err.txt\|go\|g.gpkg\|newgrid.txt\)$' | tr '\n' ' '
}
for files in unnamed hidden; do
  for stage in reserving writing saving; do
    case $stage in
      reserving) held=(TESSAPLAN_TEST_FALLOCATE_DELAY_MS=600000) ;;  # for each GB claimed
      writing) held=(TESSAPLAN_TEST_WRITE_DELAY_MS=60000 TESSAPLAN_TEST_STALL_FROM=100) ;;
      saving) held=(TESSAPLAN_TEST_SYNC_DELAY_MS=60000) ;;
    esac
    [ "$files" = hidden ] && held+=(TESSAPLAN_TEST_NO_TMPFILE=1)
    for signal in INT TERM HUP QUIT KILL; do
      name="$signal while $stage, $files"
      rm -f go s.gpkg
      : >calls.txt
      (trap - INT QUIT
       exec env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_CALL_LOG="$work/calls.txt" \
         TESSAPLAN_TEST_STALL_UNTIL="$work/go" "${held[@]}" \
         "$grid" --format=gpkg --output=s.gpkg -- 0 1000 0 1000 2) 2>err.txt &
      run=$!
      check "$name: reached" within 120 stage_reached "$stage"
      kill -s "$signal" "$run"
      touch go
      wait "$run"
      check "$name: exit 128 + its number" test $? -eq $((128 + $(kill -l "$signal")))
      if [ "$signal" != KILL ]; then
        check "$name: said" grep -Fqx "Cancelled by signal $(kill -l "$signal"); no GeoPackage was made at s.gpkg." err.txt
      fi
      if [ "$signal $files" = "KILL hidden" ]; then
        check "$name: its hidden file left" grep -Eqx '\.tessaplan-[a-z0-9]{8} ' <<<"$(left)"
        "$grid" --no-sync --output=next.txt -- 0 1 0 1 1
        rm -f next.txt
        check "$name: the next run sweeps it" test -z "$(left)"
      else
        check "$name: nothing left" test -z "$(left)"
      fi
    done
  done
done

# No room for the file's most bytes (this user's quota met, by the disk stand-in): refused before
# the first byte, saying what it needs.
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_QUOTA_MET=1 "$grid" --format=gpkg --output=s.gpkg -- 0 400 0 300 1 2>err.txt
check "quota met: exit 1" test $? -eq 1
check "quota met: said" grep -Eqx "Run-time error 5: File error: Disk quota exceeded: the GeoPackage needs [0-9.]+ MB.*" err.txt
check "quota met: nothing left" test -z "$(left)"

# A file that takes the name while the run saves is left as it is, and the run fails.
rm -f calls.txt go
touch calls.txt
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_CALL_LOG="$work/calls.txt" TESSAPLAN_TEST_STALL_UNTIL="$work/go" \
  TESSAPLAN_TEST_SYNC_DELAY_MS=60000 "$grid" --format=gpkg --output=s.gpkg -- 0 400 0 300 1 2>err.txt &
run=$!
check "a file takes the name: the run saving" within 120 stage_reached saving
echo "someone else's" >s.gpkg
touch go
wait "$run"
check "a file takes the name: exit 1" test $? -eq 1
check "a file takes the name: said" grep -Fqx "Run-time error 5: File error: another program made a file of this name during the run, which is left as it is; the new GeoPackage was not kept: run again ($work/s.gpkg)" err.txt
check "a file takes the name: left as it is" test "$(cat s.gpkg)" = "someone else's"
check "a file takes the name: nothing hidden" test -z "$(find . -name '.tessaplan-*')"

finish
