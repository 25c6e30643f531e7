#!/usr/bin/env bash
# The Windows build writes what the Linux build writes, byte for byte, and says the same, for
# grids and errors at the edges of the rules.
# Usage: same_bytes_test.sh LINUX_GRID_BENCH EMULATOR... WINDOWS_GRID_BENCH.EXE
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
linux=$1
shift
windows=${*: -1}
emulator=("${@:1:$#-1}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows"
export LANG=C.UTF-8

# Both files the same, or neither written.
same_file() { cmp -s "$1" "$2" || { [ ! -e "$1" ] && [ ! -e "$2" ]; }; }

# One line a case: the options, then the five texts.
while IFS='|' read -r options texts; do
  eval "set -- $texts"
  (cd "$work/linux" && rm -f newgrid.txt && "$linux" $options -- "$@" 2>err.txt; echo "$?" >status)
  (cd "$work/windows" && rm -f newgrid.txt &&
    "${emulator[@]}" "$windows" $options -- "$@" 2>err.txt; echo "$?" >status)
  check "$texts: same status" cmp -s "$work/linux/status" "$work/windows/status"
  check "$texts: same file" same_file "$work/linux/newgrid.txt" "$work/windows/newgrid.txt"
  check "$texts: same message" cmp -s <(grep -v ' points/s$' "$work/linux/err.txt") \
    <(grep -v ' points/s$' "$work/windows/err.txt")
done <<'CASES'
--no-sync|0 400 0 200 200
--no-sync|0 450 0 200 200
--no-sync|400 0 200 0 -200
|500000.5 500000.5 -3 -3 7
--no-sync|0 400 200 0 200
--no-sync|1.1 4.1 0 0 1
--no-sync|0 0 16777216 16777236 1
--no-sync|10000000 10000000 0 0 1
--no-sync|0 4 0 0 2.5
--no-sync|1e-7 1e-6 -0.000123 1 0.4
--no-sync --decimal-separator=,|-2,5 -2,5 1,25 1,25 1
--no-sync|500000 500400 4000000 4000400 1
--no-sync|-3.402823e38 -3.402823e38 3.402823e38 3.402823e38 1
--no-sync|0 32767 0 0 1
--no-sync|0 1 0 1 32767.5
--no-sync|"" 1 0 1 1
--no-sync|"  12 " 0x10 1 1 1
--no-sync|0 1 0 1 "1\r\n"
--no-sync|0 1 0 1 1e
CASES
finish
