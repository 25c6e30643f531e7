#!/usr/bin/env bash
# The real tessaplan in a real X server with a window manager: types the five values with key
# events, clicks Run and checks newgrid.txt; then a zero spacing, whose error box is confirmed
# with Enter while the window stays; then quit, which must end the program with status 0. Then
# the ways a long run can be stopped from outside: the window manager's close request before the
# progress dialog appears, with it up, and while a slow disk syncs; the stop signals; a start
# from the desktop entry, by a launcher in /; a file size limit, which must be an error box, not
# a silent death; and the window and a console run writing one file in place, each refused while
# the other writes.
# usage: end_to_end_test.sh TESSAPLAN SLOW_DISK_LIBRARY TESSAPLAN_GRID
set -u
program=$(realpath "$1")
slow_disk=$(realpath "$2")
console=$(realpath "$3")
source "$(dirname "${BASH_SOURCE[0]}")/../../check.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../x_server.sh"
scratch_folder work
app_pid=
xvfb_pid=
wm_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The command line is answered without a display, as over ssh; the window, with no display to
# open on and no platform chosen, is one line. Each row: the environment beyond no display, the
# arguments, the status and the output (a pattern).
while IFS='^' read -r environment arguments status output; do
  # shellcheck disable=SC2086
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM $environment "$program" $arguments \
    >"$work/out.txt" 2>&1
  check "'$environment' '$arguments': exit $status" test $? -eq "$status"
  # shellcheck disable=SC2053
  check "'$environment' '$arguments': $output" eval '[[ "$(cat "$work/out.txt")" == $output ]]'
done <<'CASES'
^--version^0^tessaplan 1.00
^--help^0^Usage: tessaplan*
^--bogus^2^tessaplan: Unknown option '--bogus' (see tessaplan --help)
^^1^tessaplan: no display to open the window on; tessaplan-grid writes grids without one
DISPLAY= WAYLAND_DISPLAY=^^1^tessaplan: no display to open the window on; tessaplan-grid writes grids without one
QT_QPA_PLATFORM=offscreen^--version^0^tessaplan 1.00
CASES

start_x_server "$work"

# A small window manager: close requests come from it, as on a desktop. Its log goes into this
# test's folder, not the home folder.
XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" openbox --sm-disable >/dev/null 2>&1 &
wm_pid=$!
within 120 wmctrl -m >/dev/null 2>&1 || { echo "no window manager"; exit 1; }

mkdir "$work/run"
cd "$work/run" || exit 1
window=
start_app() {
  # As a user starts it: a script's background job would start with INT and QUIT ignored.
  (trap - INT QUIT; QT_QPA_PLATFORM=xcb exec "$@" "$program") 2>"$work/stderr.txt" &
  app_pid=$!
  window=$(within 60 visible_window '^Form1$')
  [ -n "$window" ] || { echo "no window"; cat "$work/stderr.txt"; exit 1; }
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
}
# Waits for the program to end, for at most SECONDS, and checks its exit status.
ended_with() {  # ended_with NAME SECONDS STATUS
  local start=$EPOCHREALTIME
  within "$2" bash -c "! kill -0 $app_pid 2>/dev/null" || kill -s KILL "$app_pid"
  wait "$app_pid"
  local status=$?
  app_pid=
  echo "$1: ended after $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }') s with status $status"
  check "$1: status $3" test "$status" -eq "$3"
}
start_app

# Positions at 96 DPI: 15 twips a pixel. Run and quit sit at x 4920 twips, 975 wide.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
run_button() { click 360 136; }
quit_button() { click 360 304; }
spacing_field() { click 168 308; }

# The focus starts in the first field; Tab moves through the other four.
xdotool type --delay 30 "0"
for value in 400 0 200 200; do
  xdotool key Tab
  xdotool type --delay 30 "$value"
done
run_button
printf '%s0,0,"r1c1"\r\n0,200,"r2c1"\r\n200,0,"r1c2"\r\n200,200,"r2c2"\r\n400,0,"r1c3"\r\n400,200,"r2c3"\r\n' "$grid_header" >"$work/expected.txt"
check "Run writes the grid" within 60 cmp -s newgrid.txt "$work/expected.txt"

# A zero spacing: the error box appears, Enter confirms it, the window and the file stay.
spacing_field
xdotool key ctrl+a
xdotool type --delay 30 "0"
run_button
box=$(within 60 visible_window '^tessaplan$')
check "error box shown" test -n "$box"
if [ -n "$box" ]; then
  xdotool windowfocus --sync "$box"
  xdotool key Return
  check "error box closed" within 60 bash -c "! xdotool search --onlyvisible --name '^tessaplan$' >/dev/null"
fi
check "program still running" kill -0 "$app_pid"
check "file kept after the error" cmp -s newgrid.txt "$work/expected.txt"

# From the keyboard: spacing 2.5, Tab to Run, Enter. The question comes before any byte; Enter
# again is Go back, which writes nothing and selects the spacing, so that what is typed next
# replaces it; then an exact grid is written at once, with no box.
xdotool windowfocus --sync "$window"
spacing_field
xdotool key ctrl+a
xdotool type --delay 30 "2.5"
xdotool key Tab Return
box=$(within 60 visible_window '^tessaplan$')
check "question shown" test -n "$box"
check "nothing written while asked" cmp -s newgrid.txt "$work/expected.txt"
if [ -n "$box" ]; then
  xdotool windowfocus --sync "$box"
  xdotool key Return
  check "question gone with Enter" within 60 bash -c "! xdotool search --onlyvisible --name '^tessaplan$' >/dev/null"
fi
check "Go back writes nothing" cmp -s newgrid.txt "$work/expected.txt"
xdotool windowfocus --sync "$window"
xdotool type --delay 30 "100"
xdotool key Tab Return
"$console" --output=- -- 0 400 0 200 100 >"$work/expected100.txt"
check "the spacing typed over, an exact grid written at once" within 60 cmp -s newgrid.txt "$work/expected100.txt"
check "no box for an exact grid" bash -c "! xdotool search --onlyvisible --name '^tessaplan$' >/dev/null"

xdotool windowfocus --sync "$window"
quit_button
ended_with "quit" 20 0

# Long runs stopped from outside: the previous grid stays, nothing is left, status 0.
printf 'the previous grid' >newgrid.txt
cp newgrid.txt "$work/previous.txt"
type_grid() {
  xdotool type --delay 20 "$1"
  for value in "${@:2}"; do
    xdotool key Tab
    xdotool type --delay 20 "$value"
  done
}
dialog_shown() { xdotool search --onlyvisible --name '^tessaplan$' >/dev/null 2>&1; }
close_request() { wmctrl -F -c Form1; }
unchanged() {
  check "$1: file kept" cmp -s newgrid.txt "$work/previous.txt"
  check "$1: nothing left" test "$(ls -A)" = newgrid.txt
}

start_app
type_grid 0 30000 0 5000 1  # 3.5 GB
run_button
check "close before the dialog: run begun" within 60 holds_new_file "$app_pid" "$work/run"
close_request
ended_with "close before the dialog" 2 0
unchanged "close before the dialog"

start_app
type_grid 0 30000 0 5000 1
run_button
check "dialog for a long run" within 60 dialog_shown
close_request
ended_with "close with the dialog up" 2 0
unchanged "close with the dialog up"

# A slow disk: the run's sync stalls, for longer than the test looks (the close ends the program
# without it).
start_app env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_SYNC_DELAY_MS=60000
type_grid 0 1000 0 100 1
run_button
check "dialog while saving" within 60 dialog_shown
close_request
ended_with "close while saving" 2 0
unchanged "close while saving"

# Each stop signal cancels the run, keeps the file and ends with 128 + its number.
for signal in TERM HUP INT QUIT USR1 XCPU PWR IO RTMAX; do
  start_app
  type_grid 0 30000 0 5000 1
  run_button
  check "SIG$signal: run begun" within 60 holds_new_file "$app_pid" "$work/run"
  kill -s "$signal" "$app_pid"
  ended_with "SIG$signal" 2 $((128 + $(kill -l "$signal")))
  unchanged "SIG$signal"
done

# Started from its desktop entry by a launcher that runs in /, it starts in the home folder, and
# Run writes there.
home="$work/home"
mkdir "$home"
entry="$work/org.example.tessaplan.desktop"
sed "s|exec tessaplan|exec $program|" "$(dirname "${BASH_SOURCE[0]}")/../../../packaging/org.example.tessaplan.desktop" >"$entry"
(cd / && HOME="$home" QT_QPA_PLATFORM=xcb exec dex "$entry") 2>"$work/stderr.txt" &
launcher_pid=$!
window=$(within 60 visible_window '^Form1$')
check "started from its desktop entry" test -n "$window"
app_pid=$(pgrep -f "^$program\$" | head -n 1)
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
type_grid 0 400 0 200 200
run_button
check "from the menu, Run writes in the home folder" within 60 cmp -s "$home/newgrid.txt" "$work/expected.txt"
check "and not in the launcher's folder" test ! -e /newgrid.txt
xdotool windowfocus --sync "$window"
quit_button
check "quit from the menu's window" within 60 bash -c "! kill -0 $app_pid 2>/dev/null"
wait "$launcher_pid" 2>/dev/null
app_pid=

# A file size limit, as the user's shell sets it: an error box, and the window stays.
start_app bash -c 'ulimit -f 10; exec "$0"'
type_grid 0 1000 0 1000 1
run_button
box=$(within 60 visible_window '^tessaplan$')
check "ulimit -f: error box" test -n "$box"
check "ulimit -f: program still running" kill -0 "$app_pid"
unchanged "ulimit -f"
kill -TERM "$app_pid"
ended_with "SIGTERM with a box up" 2 143

# A file anyone may write in a folder this user may not (as root, the runs are nobody's): the
# grid is written into the file itself, and a run of the window and a console run never write it
# at once. Whichever comes second is refused before its first byte; the first writes its grid.
# The runs read programs and write logs in folders of their own, which nobody can reach.
chmod 755 "$work"
mate="$work/in-place"
mkdir -p "$mate/home" "$mate/shared" "$mate/logs" "$mate/reference"
cp "$program" "$console" "$slow_disk" "$mate/"
chmod 1777 "$mate/logs"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  chown 65534 "$mate/home"
fi
slowly() {  # slowly LOG: each write of the grid takes 1.5 s more; the first is noted in LOG
  echo env LD_PRELOAD="$mate/$(basename "$slow_disk")" TESSAPLAN_TEST_WRITE_DELAY_MS=1500 \
    TESSAPLAN_TEST_CALL_LOG="$mate/logs/$1"
}
(cd "$mate/reference" && "$console" --output=console.txt -- 0 1000 0 200 1 &&
  "$console" --output=window.txt -- 0 1000 0 150 1) >/dev/null
cd "$mate/shared" || exit 1
printf 'the previous grid' >newgrid.txt
chmod 666 newgrid.txt
chmod 555 .

start_app "${as_user[@]}" env HOME="$mate/home"
type_grid 0 400 0 200 200
run_button
check "in place: the window writes the file" within 60 cmp -s newgrid.txt "$work/expected.txt"
# shellcheck disable=SC2046
"${as_user[@]}" $(slowly console.txt) "$mate/tessaplan-grid" -- 0 1000 0 200 1 2>"$work/console.txt" &
console_pid=$!
check "in place: a console run has begun" within 60 grep -qs 'first write' "$mate/logs/console.txt"
xdotool windowfocus --sync "$window"
run_button
box=$(within 60 visible_window '^tessaplan$')
check "in place, a console run writing: the window refuses" test -n "$box"
wait "$console_pid"
check "in place: the console run ends with 0" test $? -eq 0
check "in place: the console run's grid" cmp -s newgrid.txt "$mate/reference/console.txt"
[ -n "$box" ] && xdotool windowfocus --sync "$box" && xdotool key Return
quit_button
ended_with "in place: quit after the box" 20 0

# shellcheck disable=SC2046
start_app "${as_user[@]}" $(slowly window.txt) HOME="$mate/home"
type_grid 0 1000 0 150 1
run_button
check "in place: the window's run has begun" within 60 grep -qs 'first write' "$mate/logs/window.txt"
"${as_user[@]}" "$mate/tessaplan-grid" -- 0 400 0 200 200 2>"$work/console.txt"
check "in place, the window writing: the console run ends with 1" test $? -eq 1
check "in place, the window writing: the console says why" grep -Fq "another run is writing this file in place, and this run left it untouched" "$work/console.txt"
check "in place: the window's grid" within 60 cmp -s newgrid.txt "$mate/reference/window.txt"
close_request
ended_with "in place: close once written" 10 0
chmod 755 .

finish
