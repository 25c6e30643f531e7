# Sourced by the shell tests: `check NAME COMMAND...` counts COMMAND's success or failure, and
# `finish` prints the tally and fails the test if anything failed.
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
