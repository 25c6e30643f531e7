# Sourced, after check.sh, by the tests that need a display: `start_x_server FOLDER` starts an
# Xvfb on a free display, 96 DPI, exports DISPLAY and sets xvfb_pid, which the caller stops.
start_x_server() {
  # Xvfb chooses a free display and writes its number to descriptor 3.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$1/display" 2>/dev/null &
  xvfb_pid=$!
  within 60 test -s "$1/display" || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=":$(head -n 1 "$1/display")"
}
