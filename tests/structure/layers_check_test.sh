#!/usr/bin/env bash
# The structure check catches what it is for: each slip, planted in a copy of src/, is named.
# usage: layers_check_test.sh SOURCE_ROOT
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
root=$(realpath "$1")
scratch_folder work
trap 'rm -rf "$work"' EXIT

# Each slip: a part of the breach it must give, then each file it is planted in with the line
# added there. The first two are the cycle a bare include of the build's choosing once hid.
slips=(
  'units include each other: file/replacement -> file/unix/system_state^src/file/replacement.cpp^#include "system_state.h"^src/file/unix/system_state.h^#include "file/replacement.h"'
  'units include each other: file/replacement -> file/windows/system_state^src/file/replacement.cpp^#include "system_state.h"^src/file/windows/system_state.h^#include "file/replacement.h"'
  'file/replacement includes "no_such_state.h", which is no unit^src/file/replacement.cpp^#include "no_such_state.h"'
  'file/writer (file) includes grid/run_error (grid), above it^src/file/writer.h^#include "grid/run_error.h"'
  'system/unix/write_all (system) includes file/failure (file), above it^src/system/unix/write_all.h^#include "file/failure.h"'
  'console/options (console) includes window/shared/texts (window/shared), above it^src/console/options.h^#include "window/shared/texts.h"'
)
python3 "$root/tests/structure/layers_check.py" "$root" >"$work/clean.txt"
check "the tree as it is: no breach" test $? -eq 0
for slip in "${slips[@]}"; do
  IFS='^' read -r -a parts <<<"$slip"
  breach=${parts[0]}
  rm -rf "$work/copy" && mkdir "$work/copy" && cp -r "$root/src" "$work/copy/"
  for ((i = 1; i < ${#parts[@]}; i += 2)); do
    printf '%s\n' "${parts[i + 1]}" >>"$work/copy/${parts[i]}"
  done
  python3 "$root/tests/structure/layers_check.py" "$work/copy" >"$work/said.txt"
  status=$?
  check "$breach: refused" test $status -eq 1
  check "$breach: said" grep -qF -- "$breach" "$work/said.txt"
done
# A folder swollen past its share of the lines.
rm -rf "$work/copy" && mkdir "$work/copy" && cp -r "$root/src" "$work/copy/"
lines=$(cat "$root"/src/*/*.{h,cpp} "$root"/src/*/*/*.{h,cpp} 2>/dev/null | wc -l)
yes '// padding' | head -n "$lines" >>"$work/copy/src/grid/fields.h"
python3 "$root/tests/structure/layers_check.py" "$work/copy" >"$work/said.txt"
check "a crowded folder: refused" grep -q '^src/grid holds .* lines, over 40%' "$work/said.txt"
finish
