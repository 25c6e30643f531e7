#!/usr/bin/env bash
# The real tessaplan in a real X server: types the five values with key events, clicks Run and
# checks newgrid.txt; then a zero spacing, whose error box is confirmed with Enter while the
# window stays; then quit, which must end the program with status 0.
set -u
program=$(realpath "$1")
work=$(mktemp -d)
app_pid=
xvfb_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
# Polls COMMAND for up to 20 seconds: X clients and the file appear in their own time.
within_20s() {
  for _ in $(seq 200); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Xvfb chooses a free display and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
within_20s test -s "$work/display" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

mkdir "$work/run"
cd "$work/run" || exit 1
QT_QPA_PLATFORM=xcb "$program" 2>"$work/stderr.txt" &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Form1$' | head -n 1)
[ -n "$window" ] || { echo "no window"; cat "$work/stderr.txt"; exit 1; }
xdotool windowfocus --sync "$window"

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
printf '"easting","northing","ID"\r\n0,0,"r1c1"\r\n0,200,"r2c1"\r\n200,0,"r1c2"\r\n200,200,"r2c2"\r\n400,0,"r1c3"\r\n400,200,"r2c3"\r\n' >"$work/expected.txt"
check "Run writes the grid" within_20s cmp -s newgrid.txt "$work/expected.txt"

# A zero spacing: the error box appears, Enter confirms it, the window and the file stay.
spacing_field
xdotool key ctrl+a
xdotool type --delay 30 "0"
run_button
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^tessaplan$' | head -n 1)
check "error box shown" test -n "$box"
if [ -n "$box" ]; then
  xdotool windowfocus --sync "$box"
  xdotool key Return
  check "error box closed" within_20s bash -c "! xdotool search --onlyvisible --name '^tessaplan$' >/dev/null"
fi
check "program still running" kill -0 "$app_pid"
check "file kept after the error" cmp -s newgrid.txt "$work/expected.txt"

xdotool windowfocus --sync "$window"
quit_button
within_20s bash -c "! kill -0 $app_pid 2>/dev/null"
wait "$app_pid"
status=$?
app_pid=
check "quit exits with status 0" test "$status" -eq 0

finish
