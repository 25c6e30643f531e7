#!/usr/bin/env bash
# The grid tests as a shared machine runs them: two runs at the same time, and a run by a user
# who is not root (nobody, when the suite runs as root), for whom the cases that need root to lay
# out their folders say they are skipped.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
tests=$1
scratch_folder work
trap 'rm -rf "$work"' EXIT

"$tests" >"$work/first.txt" 2>&1 &
first=$!
"$tests" >"$work/second.txt" 2>&1
second=$?
wait "$first"
check "first of two at once" test $? -eq 0
check "second of two at once" test "$second" -eq 0

# nobody may not reach the build tree: a copy in a folder of its own.
chmod 755 "$work"
cp "$tests" "$work/grid_tests"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi
"${as_user[@]}" env HOME=/ TMPDIR="${TMPDIR:-/tmp}" "$work/grid_tests" >"$work/nobody.txt" 2>&1
check "as a user who is not root" test $? -eq 0
if [ "$(id -u)" -eq 0 ]; then
  check "as nobody, the cases that need root are skipped" grep -q '^\[  SKIPPED \] .*root_only' "$work/nobody.txt"
fi

for run in first second nobody; do
  grep -E '^\[  (FAILED|PASSED|SKIPPED) \] [0-9]' "$work/$run.txt" | sed "s/^/$run: /" | tail -n 3
done
finish
