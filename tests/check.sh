# Sourced by the shell tests: `check NAME COMMAND...` counts COMMAND's success or failure, and
# `finish` prints the tally and fails the test if anything failed. `within SECONDS COMMAND...`
# waits for a condition: it polls COMMAND until it succeeds, for at most SECONDS (processes, X
# clients and files come in their own time; on a loaded machine under sanitizers, late).
# `visible_window PATTERN` prints the first visible X window whose name matches PATTERN, to be
# polled with `within`.
# `holds_new_file PID FOLDER` tells whether a run has begun writing: process PID holds its new,
# unnamed file in FOLDER open ("FOLDER/#INODE (deleted)"). `scratch_folder VAR` makes the test's
# own folder under the temporary folder and names it in VAR; it is removed, with whatever is
# mounted in it, once the test and everything it started have ended, however they end (the
# test's own trap may remove it sooner). `grid_header` is the line every grid begins with.
failures=0
passes=0
# The header line every grid begins with.
grid_header=$'"easting","northing","ID"\r\n'

check() {
  local name=$1
  shift
  if "$@"; then
    passes=$((passes + 1))
  else
    echo "FAILED: $name"
    failures=$((failures + 1))
  fi
}

finish() {
  echo "$passes passed, $failures failed"
  test "$failures" -eq 0
}

within() {
  local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))  # in microseconds
  shift
  until "$@"; do
    [ "${EPOCHREALTIME/./}" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# The folder is removed by a detached helper that waits for the end of a pipe only this shell
# and its children hold: ctest's time limit kills with SIGKILL, which no trap sees.
scratch_folder() {
  local made
  made=$(mktemp -d) || exit 1
  exec {scratch_pipe}> >(exec setsid -f bash "$(dirname "${BASH_SOURCE[0]}")/support/remove_when_gone.sh" \
    "$made" >/dev/null 2>&1)
  printf -v "$1" %s "$made"
}

# The first visible X window whose name matches the pattern, printed; fails when there is none.
# xdotool gives up at an X error, as when a window it looks at goes meanwhile (Wine makes and
# drops windows as a program starts), so it is polled with `within`, not left to wait alone.
visible_window() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 | grep .
}

holds_new_file() {
  ls -l "/proc/$1/fd" 2>/dev/null | grep -qF " -> $2/#"
}
