#!/usr/bin/env bash
# The window tests whose outcome a display decides (the Done dialog's lines and its Close button,
# Run's tooltip), run again as a user sees them: under Wine's X11 driver, on an X server this test
# starts with a window manager that frames the windows, in a Wine prefix of its own set first to
# 96 DPI and then to 144, where the windows are laid out for the system's DPI itself.
# usage: on_a_display_test.sh WINE_RUN WINE64 WINDOW_TESTS_EXE
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../check.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../x_server.sh"
scratch_folder work
wine_run=$1
wineserver=$(dirname "$2")/wineserver
tests=$3
export WINEPREFIX="$work/prefix"
xvfb_pid=
wm_pid=
cleanup() {
  "$wineserver" -k 2>/dev/null
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
start_x_server "$work"
XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" openbox --sm-disable >/dev/null 2>&1 &
wm_pid=$!
within 120 wmctrl -m >/dev/null 2>&1 || { echo "no window manager"; exit 1; }

for dpi in 96 144; do
  "$wine_run" --with-display "$WINEPREFIX" "$2" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
    /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  "$wineserver" -w  # the next process reads the DPI anew
  "$wine_run" --with-display "$WINEPREFIX" "$2" "$tests" \
    --gtest_filter='Form1.TellsOfFilesBesideTheGrid:RunDescription.EveryLineFitsTheTooltip' \
    >"$work/out.txt" 2>&1
  status=$?
  check "$dpi DPI: the Done dialog and the tooltip show every line" test "$status" -eq 0
  [ "$status" -eq 0 ] || cat "$work/out.txt"
  check "$dpi DPI: laid out for it" grep -q "at $dpi DPI" "$work/out.txt"
done
finish
