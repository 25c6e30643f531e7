#!/usr/bin/env bash
# Tests stopped midway leave nothing behind: the grid generation tests, the writer's tests, the
# file transaction's test through the headless runner and the file promises' draw (which mounts file systems from disk images), each with a
# temporary folder of its own, are stopped once they are well under way, by TERM (as `timeout`
# and a developer's Ctrl+C stop them) and by SIGKILL to their whole process group (as ctest's
# time limit kills a test's process tree). Afterwards no mount is left in that folder and
# nothing at all in it: no scratch folder, no image, no large file. The draw needs root to
# mount; run by anyone else, its part is skipped and so is the test (77).
# usage: stopped_tests_test.sh GRID_TESTS FILE_TESTS GRID_BENCH SLOW_DISK
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
grid_tests=$(realpath "$1")
file_tests=$(realpath "$2")
bench=$(realpath "$3")
slow_disk=$(realpath "$4")
tests=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scratch_folder work
chmod 755 "$work"  # the runner's test runs cases as nobody inside it
stopped=()
cleanup() {
  for group in "${stopped[@]}"; do
    kill -s KILL -- "-$group" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

nothing_mounted() { ! grep -qF " $1/" /proc/self/mountinfo; }
# ThreadSanitizer's runtime creates tsan.rodata.PID in the temporary folder as a process starts
# and removes it at once: a process killed in between leaves it, whatever the program does.
is_empty() { test -z "$(ls -A "$1" | grep -vx 'tsan\.rodata\.[0-9]*')"; }
# What "well under way" means for each: the sign is polled in the test's temporary folder.
writing_grids() { compgen -G "$1/tessaplan-*/tessaplan-*/newgrid.txt" >/dev/null; }
running_bench() { compgen -G "$1/tmp.*/expected.txt" >/dev/null; }
mounted() { grep -qF " $1/tessaplan-matrix-" /proc/self/mountinfo; }
# Holds once SIGN holds in FOLDER, or once the test (process GROUP) has ended without it.
sign_or_end() { "$1" "$2" || ! kill -0 "$3" 2>/dev/null; }

# stop_midway NAME SIGNAL SIGN COMMAND...: runs COMMAND in a process group of its own with a
# temporary folder of its own, sends SIGNAL to the group once SIGN holds, and checks what is left.
stop_midway() {
  local name=$1 signal=$2 sign=$3
  shift 3
  local temp="$work/${name//[^a-z]/-}-$signal"
  mkdir "$temp"
  chmod 755 "$temp"
  TMPDIR="$temp" setsid "$@" >"$temp.log" 2>&1 &
  local group=$!
  stopped+=("$group")
  within 300 sign_or_end "$sign" "$temp" "$group"
  check "$name: under way" "$sign" "$temp"
  kill -s "$signal" -- "-$group"
  wait "$group"
  check "$name, stopped by $signal: no mount left" within 90 nothing_mounted "$temp"
  check "$name, stopped by $signal: nothing left" within 90 is_empty "$temp"
  is_empty "$temp" || { ls -lAR "$temp" | head -n 20; tail -n 5 "$temp.log"; }
}

for signal in TERM KILL; do
  stop_midway "grid generation tests" "$signal" writing_grids \
    "$grid_tests" --gtest_filter='GenerateGridTest.*' --gtest_repeat=-1
  stop_midway "writer tests" "$signal" writing_grids \
    "$file_tests" --gtest_filter='WriterTest.*' --gtest_repeat=-1
  stop_midway "the transaction's test" "$signal" running_bench \
    bash "$tests/file/transaction_test.sh" "$bench" "$slow_disk"
done

if [ "$(id -u)" -ne 0 ]; then
  echo "Skipped: the draw of the file's promises mounts file systems, which needs root."
  finish || exit 1
  exit 77
fi
for signal in TERM KILL; do
  stop_midway "the file's promises" "$signal" mounted \
    python3 "$tests/file/promises_matrix.py" "$bench" "$slow_disk" cover 1
done
finish
