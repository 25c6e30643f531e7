# Sourced by the shell tests: `check NAME COMMAND...` counts COMMAND's success or failure, and
# `finish` prints the tally and fails the test if anything failed. `within_20s COMMAND...` waits
# for a condition: it polls COMMAND for up to 20 seconds (processes, X clients and files come in
# their own time). `holds_new_file PID FOLDER` tells whether a run has begun writing: process PID
# holds its new, unnamed file in FOLDER open ("FOLDER/#INODE (deleted)").
failures=0
passes=0

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

within_20s() {
  for _ in $(seq 200); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

holds_new_file() {
  ls -l "/proc/$1/fd" 2>/dev/null | grep -qF " -> $2/#"
}
