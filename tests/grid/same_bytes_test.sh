#!/usr/bin/env bash
# The Windows build writes what the Linux build writes, byte for byte, and says the same, for
# grids and errors at the edges of the rules (tests/grid_cases.txt); to a file, and to standard
# output in a pipe, where a line end stays CR LF; and the files --crs writes beside the grid. For
# grid_bench and for tessaplan-grid.
# Usage: same_bytes_test.sh LINUX_PROGRAM EMULATOR... WINDOWS_PROGRAM.EXE
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
linux=$1
shift
windows=${*: -1}
emulator=("${@:1:$#-1}")
scratch_folder work
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows"
export LANG=C.UTF-8

# Both files the same, or neither written.
same_file() { cmp -s "$1" "$2" || { [ ! -e "$1" ] && [ ! -e "$2" ]; }; }

while IFS='|' read -r options texts; do
  eval "set -- $texts"
  (cd "$work/linux" && rm -f newgrid.txt && "$linux" $options -- "$@" 2>err.txt; echo "$?" >status
   "$linux" $options --output - -- "$@" >stream.txt 2>/dev/null)
  (cd "$work/windows" && rm -f newgrid.txt &&
    "${emulator[@]}" "$windows" $options -- "$@" 2>err.txt; echo "$?" >status
   "${emulator[@]}" "$windows" $options --output - -- "$@" >stream.txt 2>/dev/null)
  check "$texts: same status" cmp -s "$work/linux/status" "$work/windows/status"
  check "$texts: same file" same_file "$work/linux/newgrid.txt" "$work/windows/newgrid.txt"
  check "$texts: same message" cmp -s <(grep -v ' points/s$' "$work/linux/err.txt") \
    <(grep -v ' points/s$' "$work/windows/err.txt")
  check "$texts: same stream" cmp -s "$work/linux/stream.txt" "$work/windows/stream.txt"
done < <(grep -v '^#' "$(dirname "${BASH_SOURCE[0]}")/../grid_cases.txt")

# The files --crs writes beside the grid: the same bytes, in metres and in US survey feet.
for code in 32615 2227 7855; do
  for side in linux windows; do
    program=("$linux")
    [ "$side" = linux ] || program=("${emulator[@]}" "$windows")
    (cd "$work/$side" && rm -f grid.* && "${program[@]}" --crs="EPSG:$code" --output=grid.csv -- 0 400 0 300 100)
  done
  for extension in csv prj csvt vrt; do
    check "EPSG:$code: the same grid.$extension" cmp -s "$work/linux/grid.$extension" "$work/windows/grid.$extension"
  done
done
finish
