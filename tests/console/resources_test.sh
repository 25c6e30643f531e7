#!/usr/bin/env bash
# What a run cannot have is refused before the first byte of any file. Written in place (files
# others may write, in a folder they may not), with no process to spare for the writer's thread
# (ulimit -u 1) and with an address space from too small for the program to start up to enough
# for the run, in steps, for a grid, a grid with --crs and a point file with and without --crs:
# each run writes its complete set, or fails with status 1, says what it was refused, and leaves
# every file as it was. As root the runs are nobody's, the program exec'd as that user's only
# process; any other user runs them as itself. A sanitizer's runtime needs far more address
# space than these limits leave: there, only the thread is refused.
# usage: resources_test.sh TESSAPLAN_GRID
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
scratch_folder work
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir "$work/bin" "$work/made" "$work/shared"
cp "$1" "$work/bin/tessaplan-grid"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi
texts="0 400 0 200 200"
refused='^Run-time error 6: System error: (out of memory|a thread to write the file cannot be started)'
# Too little to start: the loader cannot map the libraries, or the C++ runtime cannot make even
# the exception that would say so.
not_started='error while loading shared libraries|^terminate called without an active exception'

# Whether the program starts at all under LIMIT: the loader, out of room as it maps and
# relocates the libraries, may also fail with a signal and no word.
started_under() {
  bash -c "$1"' && exec "$@" >/dev/null 2>&1' bash "${as_user[@]}" "$work/bin/tessaplan-grid" --version
}

# The set as a run in a folder of its own writes it.
reference() {
  (cd "$work/made" && rm -f ./* && "$work/bin/tessaplan-grid" --no-sync $1 -- $texts)
}
# The set's files in the shared folder, each "earlier", writable by all; the folder takes no file.
lay_out() {
  chmod 755 "$work/shared"
  rm -f "$work/shared"/*
  local made
  for made in "$work/made"/*; do
    printf 'earlier' >"$work/shared/${made##*/}"
    chmod 666 "$work/shared/${made##*/}"
  done
  chmod 555 "$work/shared"
}
as_it_was() {
  local file
  for file in "$work/shared"/*; do
    [ "$(cat "$file")" = earlier ] || return 1
  done
}
complete() {
  local made
  for made in "$work/made"/*; do
    cmp -s "$made" "$work/shared/${made##*/}" || return 1
  done
}
# run_limited NAME LIMIT OPTIONS: one run under LIMIT (a ulimit), judged; sets $status.
run_limited() {
  lay_out
  (cd "$work/shared" && bash -c "$2"' && exec "$@"' bash "${as_user[@]}" \
    "$work/bin/tessaplan-grid" $3 -- $texts 2>"$work/err.txt")
  status=$?
  if [ "$status" -eq 0 ]; then
    check "$1, $2: the complete set" complete
  elif grep -Eq "$not_started" "$work/err.txt" || ! started_under "$2"; then
    check "$1, $2: not started, every file as it was" as_it_was
  else
    check "$1, $2: status 1 ($status)" test "$status" -eq 1
    check "$1, $2: says what was refused" grep -Eq "$refused" "$work/err.txt"
    check "$1, $2: every file as it was" as_it_was
  fi
}

while IFS='|' read -r name options; do
  reference "$options"
  run_limited "$name" "ulimit -u 1" "$options"
  check "$name, no thread: refused" test "$status" -eq 1
  if [ -n "${TESSAPLAN_SANITIZED:-}" ]; then
    continue
  fi
  # From too small to start, in steps of 256 kB, until three runs in a row get their memory.
  succeeded=0
  refusals=0
  for ((limit = 4096; succeeded < 3 && limit < 262144; limit += 256)); do
    run_limited "$name" "ulimit -v $limit" "$options"
    if [ "$status" -eq 0 ]; then
      succeeded=$((succeeded + 1))
    else
      succeeded=0
      [ "$status" -eq 1 ] && refusals=$((refusals + 1))
    fi
  done
  check "$name: some limit refused by the run itself ($refusals)" test "$refusals" -gt 0
  check "$name: a limit the run fits in" test "$succeeded" -eq 3
done <<'ROWS'
grid|
grid with --crs|--crs=EPSG:32615
point file|--format=pnezd --output=points.csv
point file with --crs|--format=penzd --output=points.csv --crs=EPSG:32615
ROWS
chmod 755 "$work/shared"
finish
