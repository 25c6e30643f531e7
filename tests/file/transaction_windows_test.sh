#!/usr/bin/env bash
# The file transaction end to end under Wine, through grid_bench.exe: the same bytes and exit
# codes as on Linux, Ctrl+C (Wine turns a SIGINT into it) cancels cleanly with 130, a run killed
# outright leaves nothing, folders named in UTF-16 work, messages reach standard error in UTF-8,
# and the program needs no DLL that a Windows machine lacks.
# Usage: transaction_windows_test.sh EMULATOR... grid_bench.exe
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
bench=${*: -1}
emulator=("${@:1:$#-1}")
scratch_folder work
small=
cleanup() {
  [ -n "$small" ] && umount "$small" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
export LANG=C.UTF-8  # Wine reads the command line and file names as UTF-8

run() { "${emulator[@]}" "$bench" "$@"; }

header=$grid_header
printf '%s' "$header" >expected.txt
printf '0,0,"r1c1"\r\n0,200,"r2c1"\r\n200,0,"r1c2"\r\n200,200,"r2c2"\r\n400,0,"r1c3"\r\n400,200,"r2c3"\r\n' >>expected.txt

run -- 0 400 0 200 200 2>err.txt
check "exit 0 on success" test $? -eq 0
check "file bytes" cmp -s newgrid.txt expected.txt
check "summary line" grep -Eqx '6 points, 113 bytes, [0-9]+\.[0-9]{3} s, [0-9]+ points/s' err.txt
run --no-sync --decimal-separator=, -- -2,5 -2,5 1,25 1,25 1 2>err.txt
check "separator option" test "$(tail -n 1 newgrid.txt)" = $'-2.5,1.25,"r1c1"\r'
run -- 0 400 0 200 200 2>/dev/null
cp newgrid.txt before.txt

# A run-time error in UTF-8 on standard error, naming what was typed.
run -- "Zürich" 1 0 1 1 2>err.txt
check "exit 1 on a run-time error" test $? -eq 1
check "UTF-8 message" grep -Fqx 'Run-time error 1: Type mismatch: "Minimum x value" is not a number: "Zürich". Enter digits, with '"'"'.'"'"' before any decimal places.' err.txt
check "file kept on error" cmp -s newgrid.txt before.txt

# Standard output in a pipe: the file's bytes, binary (CR LF not doubled); a reader that goes
# away ends the run at once, with one line.
run --output - -- 0 400 0 200 200 2>/dev/null | cat >stream.txt
check "standard output: the file's bytes" cmp -s stream.txt expected.txt
run --output - -- 0 3000 0 3000 1 2>err.txt | head -c 1000 >/dev/null
check "reader gone: exit 1" test "${PIPESTATUS[0]}" -eq 1
check "reader gone: one line" grep -Eqx 'Run-time error 5: File error: .+ \(standard output\)' err.txt
rm -f stream.txt
run -- 1 2 3 2>/dev/null
check "exit 2 on a wrong command line" test $? -eq 2

# Folders named in UTF-16: the grid goes there, and a message names them as they are.
mkdir -p "Zürich Süd/測量"
(cd "Zürich Süd/測量" && run -- 0 400 0 200 200 2>/dev/null)
check "UTF-16 folder" cmp -s "Zürich Süd/測量/newgrid.txt" expected.txt
mkdir "Zürich Süd/測量/newgrid.txt.d" && rm "Zürich Süd/測量/newgrid.txt" &&
  mv "Zürich Süd/測量/newgrid.txt.d" "Zürich Süd/測量/newgrid.txt"
(cd "Zürich Süd/測量" && run -- 0 400 0 200 200 2>"$work/err.txt")
check "UTF-16 folder named in the message" grep -Fq 'Zürich Süd\測量\newgrid.txt)' err.txt
rm -rf "Zürich Süd"
run --output "測量 Süd.csv" -- 0 400 0 200 200 2>/dev/null
check "UTF-16 output name" cmp -s "測量 Süd.csv" expected.txt
rm -f "測量 Süd.csv"

# A symbolic link stays a link, and the file it names gets the grid; a pipe or a device under the
# name is refused for what it is. (Links made on the Linux side, as Wine shows them.)
mkdir links && printf old >links/target.txt && ln -s target.txt links/newgrid.txt
(cd links && run -- 0 400 0 200 200 2>/dev/null)
check "link: still a link" test -L links/newgrid.txt
check "link: its target written" cmp -s links/target.txt expected.txt
mkfifo links/pipe && ln -sfn pipe links/newgrid.txt
(cd links && run -- 0 400 0 200 200 2>"$work/err.txt")
check "a pipe: not a regular file" grep -Fq 'File error: not a regular file but a pipe; run in another folder' err.txt
ln -sfn /dev/null links/newgrid.txt
(cd links && run -- 0 400 0 200 200 2>"$work/err.txt")
check "a device: not a regular file" grep -Fq 'File error: not a regular file but a device; run in another folder' err.txt
rm -rf links

# At a drive's root (a folder mapped as a drive, as a USB stick is): the grid written there.
prefix=${emulator[1]}
drive=$(for letter in t u v w x y; do [ -e "$prefix/dosdevices/$letter:" ] || { echo "$letter"; break; }; done)
mkdir root && ln -s "$work/root" "$prefix/dosdevices/$drive:"
run --output "${drive^^}:\\newgrid.txt" -- 0 400 0 200 200 2>err.txt
check "drive root: written" cmp -s root/newgrid.txt expected.txt
check "drive root: nothing else" test "$(ls -A root)" = newgrid.txt
rm "$prefix/dosdevices/$drive:"
rm -rf root

# The hidden new file, while a run holds it.
hidden() { ls -A | grep -c '^\.tessaplan-'; }
some_hidden() { test "$(hidden)" -ge 1; }
no_hidden() { test "$(hidden)" -eq 0; }

# Ctrl+C: cancelled, exit 130, the old file kept (no GeoPackage made) and nothing left; killed
# outright mid-write (as Task Manager ends a process): the system deletes the new file when the
# dead process's handles close.
while IFS='|' read -r options kept said; do
  for stop in INT KILL; do
    # shellcheck disable=SC2086
    "${emulator[@]}" "$bench" $options 2>err.txt &
    pid=$!
    check "$options, $stop: the run holds its hidden file" within 60 some_hidden
    kill -s "$stop" "$pid"
    wait "$pid" 2>/dev/null
    status=$?
    if [ "$stop" = INT ]; then
      check "$options, Ctrl+C: exit 130" test "$status" -eq 130
      check "$options, Ctrl+C: cancelled" grep -Fqx "Cancelled by Ctrl+C; $said." err.txt
    fi
    check "$options, $stop: nothing left" within 60 no_hidden
    check "$options, $stop: $kept" eval "$kept"
  done
done <<'ROWS'
-- 0 8000 0 8000 1|cmp -s newgrid.txt before.txt|newgrid.txt is as it was
--format=gpkg --output=s.gpkg -- 0 3000 0 3000 2|test ! -e s.gpkg|no GeoPackage was made at s.gpkg
ROWS

# A file that takes a new GeoPackage's name during the run (made while the run still holds its
# hidden file) is left as it is, and the run fails.
"${emulator[@]}" "$bench" --format=gpkg --output=s.gpkg -- 0 3000 0 3000 2 2>err.txt &
pid=$!
check "a file takes the name: the run holds its hidden file" within 60 some_hidden
echo "someone else's" >s.gpkg
check "a file takes the name: made before the commit" some_hidden
wait "$pid"
check "a file takes the name: exit 1" test $? -eq 1
check "a file takes the name: said" grep -Fq "another program made a file of this name during the run, which is left as it is" err.txt
check "a file takes the name: left as it is" test "$(cat s.gpkg)" = "someone else's"
check "a file takes the name: nothing hidden" within 60 no_hidden
rm s.gpkg

# A disk with too little free for the grid, though larger than it (a 40 MB file system, mounted
# here as root can, 28 MB of it taken): refused before the first byte, with the size the grid
# needs. The space free to this user is what counts, not the disk's size.
if [ "$(id -u)" -eq 0 ]; then
  mkdir "$work/small"
  if mount -t tmpfs -o size=40m tmpfs "$work/small"; then
    small="$work/small"
    fallocate -l 28m "$small/filler"
    (cd "$small" && printf old >newgrid.txt && run -- 0 1000 0 1000 1 2>"$work/err.txt")
    check "full disk: exit 1" test $? -eq 1
    # The system's own words for a full disk come first; they differ between Windows and Wine.
    check "full disk: the size it needs" grep -Eq '^Run-time error 5: File error: .+: the grid needs 19.6 MB \(' "$work/err.txt"
    check "full disk: old file kept, nothing else" test "$(ls -A "$small" | tr '\n' ' ')" = "filler newgrid.txt "
    check "full disk: old file unchanged" test "$(cat "$small/newgrid.txt")" = old
  else
    check "a small file system mounted" false
  fi
else
  echo "Not root: no small file system can be mounted; the full disk is not checked."
fi

# Every DLL it names is part of Windows.
dlls=$(x86_64-w64-mingw32-objdump -p "$bench" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
check "only system DLLs ($(echo $dlls))" test -z "$(echo "$dlls" | grep -Ev '^(kernel32|msvcrt|shell32|advapi32|user32|api-ms-win-.*)\.dll$')"

finish
