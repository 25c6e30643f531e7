#!/usr/bin/env bash
# The real tessaplan.exe under Wine in an X server this test starts, in a Wine prefix of its own,
# driven by real key and mouse events: the values typed with Tab between the fields, Run clicked,
# and the six-point grid written; then quit, which ends the program with status 0. Then once more
# with the system set to 144 DPI, whose larger interface font must not grow the window a second
# time. With TESSAPLAN_SCREENSHOT set to a file, a picture of the window goes there.
# usage: end_to_end_test.sh WINE_RUN WINE64 TESSAPLAN_EXE
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../check.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../x_server.sh"
scratch_folder work
wine=("$1" --with-display "$work/prefix" "$2")
wineserver=$(dirname "$2")/wineserver
program=$3
export WINEPREFIX="$work/prefix"
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  "$wineserver" -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
start_x_server "$work"

mkdir "$work/run"
cd "$work/run" || exit 1
"${wine[@]}" "$program" 2>"$work/stderr.txt" &
app_pid=$!
window=$(within 60 visible_window '^Form1$')
check "window shown" test -n "$window"
[ -n "$window" ] || { cat "$work/stderr.txt"; finish; exit 1; }
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
# Keys go where the X focus is: typed before the window has it, they would be lost.
has_focus() { test "$(xdotool getwindowfocus)" = "$window"; }
check "window has the focus" within 60 has_focus
# Wine's X window is the client area: 6255 x 5010 twips. A window mapped on a loaded machine may
# take its size a moment later.
client_area_is() { test "$(xdotool getwindowgeometry "$window" | grep -o '[0-9]*x[0-9]*$')" = "$1"; }
check "96 DPI: client area 417x334" within 60 client_area_is 417x334

# The focus starts in the first field; Tab moves through the other four.
xdotool type --delay 50 "0"
for value in 400 0 200 200; do
  xdotool key Tab
  xdotool type --delay 50 "$value"
done
if [ -n "${TESSAPLAN_SCREENSHOT:-}" ]; then
  import -window "$window" "$TESSAPLAN_SCREENSHOT"
fi
# Positions in the client area at 96 DPI, 15 twips a pixel: Run and quit at x 4920 twips.
xdotool mousemove --window "$window" 360 136 click 1
printf '%s0,0,"r1c1"\r\n0,200,"r2c1"\r\n200,0,"r1c2"\r\n200,200,"r2c2"\r\n400,0,"r1c3"\r\n400,200,"r2c3"\r\n' "$grid_header" >"$work/expected.txt"
check "Run writes the grid" within 60 cmp -s newgrid.txt "$work/expected.txt"
check "nothing else written" test "$(ls -A)" = newgrid.txt

xdotool mousemove --window "$window" 360 304 click 1
within 60 bash -c "! kill -0 $app_pid 2>/dev/null"
wait "$app_pid"
check "quit: status 0" test $? -eq 0
app_pid=

# At 144 DPI the system's interface font is as many pixels larger as the DPI says, and the same
# size in points: the window grows with the DPI alone.
"${wine[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
"${wine[@]}" "$program" 2>"$work/stderr.txt" &
app_pid=$!
window=$(within 60 visible_window '^Form1$')
check "144 DPI: window shown" test -n "$window"
check "144 DPI: client area 626x501" within 60 client_area_is 626x501
finish
