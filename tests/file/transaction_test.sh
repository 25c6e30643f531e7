#!/usr/bin/env bash
# The file transaction end to end, through the headless runner: what it writes, prints and
# exits with, whatever stops it (signals, slow and full disks, limits, other users).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
bench=$1
slow_disk=$(realpath "$2")
scratch_folder work
chmod 711 "$work"  # runs as nobody reach their folders in it
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

header=$grid_header

# A small grid: exit 0, the exact bytes, one summary line on standard error.
"$bench" -- 0 400 0 200 200 2>err.txt
check "exit 0 on success" test $? -eq 0
printf '%s' "$header" >expected.txt
printf '0,0,"r1c1"\r\n0,200,"r2c1"\r\n200,0,"r1c2"\r\n200,200,"r2c2"\r\n400,0,"r1c3"\r\n400,200,"r2c3"\r\n' >>expected.txt
check "file bytes" cmp -s newgrid.txt expected.txt
check "summary line" grep -Eqx '6 points, 113 bytes, [0-9]+\.[0-9]{3} s, [0-9]+ points/s' err.txt
check "summary is the only output" test "$(wc -l <err.txt)" -eq 1

# Standard error a pipe that nobody reads: the exit status still tells what became of the file.
closed_stderr() {
  perl -e 'pipe(my $r, my $w) or die; close $r; open(STDERR, ">&", $w) or die; exec @ARGV' "$@"
}
rm newgrid.txt
closed_stderr "$bench" -- 0 400 0 200 200
check "exit 0 with standard error closed" test $? -eq 0
check "written with standard error closed" cmp -s newgrid.txt expected.txt
closed_stderr "$bench" -- "" 1 0 1 1
check "exit 1 with standard error closed" test $? -eq 1

# The hidden name is taken, and linkat refuses AT_EMPTY_PATH as older kernels do to users who
# are not root: another name is tried, with and without unnamed files.
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_NAME_COLLISIONS=2 "$bench" -- 0 400 0 200 200 2>err.txt
check "unnamed file: a taken name is no failure" cmp -s newgrid.txt expected.txt
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_NAME_COLLISIONS=2 TESSAPLAN_TEST_NO_TMPFILE=1 \
  "$bench" -- 0 400 0 200 200 2>err.txt
check "named file: a taken name is no failure" cmp -s newgrid.txt expected.txt
# A named new file is its owner's alone from the start: no one reads, even for a moment, a grid
# whose old file was private.
mode=$(stat -c %a newgrid.txt)
chmod 600 newgrid.txt
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_NO_TMPFILE=1 TESSAPLAN_TEST_CALL_LOG="$work/calls.txt" \
  "$bench" -- 0 400 0 200 200 2>err.txt
check "named file: created 600" test "$(grep create calls.txt)" = "create 600"
check "named file: the old mode kept" test "$(stat -c %a newgrid.txt)" = 600
rm -f calls.txt
chmod "$mode" newgrid.txt

# Options, with a negative value right after "--".
"$bench" --no-sync --decimal-separator=, -- -2,5 -2,5 1,25 1,25 1 2>err.txt
check "separator option" test "$(tail -n 1 newgrid.txt)" = $'-2.5,1.25,"r1c1"\r'

# A synced run syncs the file and then its folder, and drops what reached the disk from the
# page cache as it goes; a run without sync does neither.
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_CALL_LOG="$work/calls.txt" "$bench" -- 0 2000 0 2000 1 2>/dev/null
check "synced: the file, then its folder" test "$(grep fsync calls.txt | tr '\n' ' ')" = "fsync file fsync folder "
check "synced: pages dropped from the cache" grep -q 'drop pages' calls.txt
rm calls.txt
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_CALL_LOG="$work/calls.txt" "$bench" --no-sync -- 0 2000 0 2000 1 2>/dev/null
check "no sync: nothing synced or dropped" test "$(grep -cE "fsync|drop" calls.txt)" -eq 0
rm -f calls.txt
# A stream is synced where it is a file on a disk, and not where it is a pipe.
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_CALL_LOG="$work/calls.txt" "$bench" --output=- -- 0 400 0 200 200 >stream.txt 2>/dev/null
check "stream into a file: synced" test "$(grep fsync calls.txt | tr '\n' ' ')" = "fsync file "
rm -f calls.txt stream.txt
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_CALL_LOG="$work/calls.txt" "$bench" --output=- -- 0 400 0 200 200 2>/dev/null | cat >/dev/null
check "stream into a pipe: nothing synced" eval "! grep -qs fsync calls.txt"
rm -f calls.txt

# A file system without sync_file_range: a synced run falls back to one fsync at the end.
"$bench" --no-sync -- 0 2000 0 2000 1 2>/dev/null && mv newgrid.txt unstreamed.txt
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_NO_SYNC_FILE_RANGE=1 "$bench" -- 0 2000 0 2000 1 2>err.txt
check "synced without sync_file_range" test $? -eq 0
check "same bytes without sync_file_range" cmp -s newgrid.txt unstreamed.txt
rm -f unstreamed.txt

# A run-time error: exit 1, number and description, and the previous file kept.
cp newgrid.txt before.txt
"$bench" -- "" 1 0 1 1 2>err.txt
check "exit 1 on a run-time error" test $? -eq 1
check "error text" grep -Fqx 'Run-time error 1: Type mismatch: "Minimum x value" is empty; enter a number.' err.txt
check "file kept on error" cmp -s newgrid.txt before.txt

"$bench" -- 0 400 0 200 0 2>err.txt
check "division by zero" grep -Fq 'Run-time error 3: Division by zero' err.txt

# A write that returns 0 and no reason is a failure, not an endless loop.
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_WRITE_RETURNS_ZERO=1 "$bench" -- 0 400 0 200 200 2>err.txt
check "exit 1 when a write makes no progress" test $? -eq 1
check "no progress is an I/O error" grep -Fq 'Run-time error 5: File error: Input/output error' err.txt
check "file kept when a write makes no progress" cmp -s newgrid.txt before.txt

# A close that reports a failed write (a network file system does so) fails the run.
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_CLOSE_FAILS=1 "$bench" --no-sync -- 0 400 0 200 200 2>err.txt
check "exit 1 when the close fails" test $? -eq 1
check "a failed close is an I/O error" grep -Fq 'Run-time error 5: File error: Input/output error' err.txt
check "file kept when the close fails" cmp -s newgrid.txt before.txt

# A file whose access control list cannot be given to the new file is not replaced by one that
# would grant more: a File error before anything is written.
setfacl -m u:65534:rw,g::-,m::rw newgrid.txt
getfacl --omit-header newgrid.txt >acl-before.txt 2>/dev/null
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_ACL_REFUSED=1 "$bench" -- 0 400 0 200 200 2>err.txt
check "exit 1 when the access list cannot be copied" test $? -eq 1
check "the access list named" grep -Fq 'Run-time error 5: File error: its access control list cannot be copied to the new file: Operation not permitted' err.txt
check "file and its access list kept" cmp -s newgrid.txt before.txt
check "the access list unchanged" bash -c "getfacl --omit-header newgrid.txt 2>/dev/null | cmp -s - acl-before.txt"
setfacl -b newgrid.txt
rm acl-before.txt

# A current folder that was deleted is named as such.
gone=$(mktemp -d -p "$work")
(cd "$gone" && rmdir "$gone" && exec "$bench" -- 0 400 0 200 200) 2>err.txt
check "deleted folder" grep -Fqx 'Run-time error 5: File error: the folder no longer exists; run in one that does (the current folder, which has been deleted). grid_bench writes newgrid.txt in the current folder: run it in a folder you may write to, or name another file with --output=PATH.' err.txt

# The kernel's file systems have files that pass for regular ones but are its settings: refused
# before the first byte. Harmless ones here: the run's own name, and, as root, the host's name in
# a namespace of its own (unshare -u).
kernel=$(mktemp -d -p "$work")
ln -s /proc/self/comm "$kernel/newgrid.txt"
(cd "$kernel" && exec "$bench" -- 0 400 0 200 200) 2>err.txt
check "a link into /proc: exit 1" test $? -eq 1
check "a link into /proc: refused" grep -Eqx "Run-time error 5: File error: a file of the kernel's proc file system, which holds the system's settings, not data; run in another folder \(/proc/[0-9]+/comm\)" err.txt
if [ "$(id -u)" -eq 0 ]; then
  ln -sfn /proc/sys/kernel/hostname "$kernel/newgrid.txt"
  (cd "$kernel" && exec unshare -u sh -c '"$0" --no-sync -- 0 1 0 1 1 2>/dev/null; echo "$? $(hostname)"' "$bench") >"$kernel/out.txt"
  check "the host's name, as root: refused and kept" test "$(cat "$kernel/out.txt")" = "1 $(hostname)"
fi
rm -rf "$kernel"

# A sync that fails (a disk that could not write what it took) fails the run: the old file stays.
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_SYNC_FAILS=1 "$bench" -- 0 400 0 200 200 2>err.txt
check "failed sync: exit 1" test $? -eq 1
check "failed sync: says so" grep -Fqx "Run-time error 5: File error: Input/output error ($work/newgrid.txt)" err.txt
check "failed sync: file kept" cmp -s newgrid.txt before.txt
# A folder the disk fails to sync after the rename: the new grid has the name, but the run is not
# counted done, and says so.
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_FOLDER_SYNC_FAILS=1 "$bench" -- 0 400 0 200 200 2>err.txt
check "failed folder sync: exit 1" test $? -eq 1
check "failed folder sync: says so" grep -Fqx "Run-time error 5: File error: the new grid has taken the name, but the disk did not confirm it (Input/output error); run again to be sure it is saved ($work/newgrid.txt)" err.txt
check "failed folder sync: the grid has the name" cmp -s newgrid.txt expected.txt
cp before.txt newgrid.txt
# Root gives the new file to the old owner before it takes the name: where that is refused (the
# owner's quota full), the old file keeps the name.
if [ "$(id -u)" -eq 0 ]; then
  chown daemon newgrid.txt
  LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_CHOWN_FAILS=1 "$bench" -- 0 400 0 200 200 2>err.txt
  check "owner not given back: exit 1" test $? -eq 1
  check "owner not given back: says so" grep -Fqx "Run-time error 5: File error: Disk quota exceeded ($work/newgrid.txt)" err.txt
  check "owner not given back: file kept" cmp -s newgrid.txt before.txt
  chown root newgrid.txt
fi
# An access control list that cannot be read is not passed over: the new file would have none.
setfacl -m u:65534:r newgrid.txt
LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_ACL_UNREADABLE=1 "$bench" -- 0 400 0 200 200 2>err.txt
check "unreadable access list: exit 1" test $? -eq 1
check "unreadable access list: says so" grep -Fq "its access control list cannot be read: Input/output error" err.txt
check "unreadable access list: file kept" cmp -s newgrid.txt before.txt
setfacl -b newgrid.txt

# Written in place (a file others may write, in a folder they may not: run as nobody), a run
# stopped once the old grid is being written over leaves the file empty, and says so.
if [ "$(id -u)" -eq 0 ]; then
  shared=$(mktemp -d -p "$work")
  chmod 755 "$shared"
  printf 'the previous grid' >"$shared/newgrid.txt"
  chmod 666 "$shared/newgrid.txt"
  (cd "$shared" && exec setpriv --reuid=65534 --regid=65534 --clear-groups -- "$bench" -- 0 8000 0 8000 1) 2>err.txt &
  pid=$!
  written_over() { test "$(stat -c %s "$shared/newgrid.txt")" -gt 100; }
  check "in place: run begun" within 60 written_over
  kill -s TERM "$pid"
  wait "$pid"
  check "in place, TERM: status 143" test $? -eq 143
  check "in place, TERM: says the file is empty" grep -Fqx "Cancelled by signal 15; newgrid.txt is now empty." err.txt
  check "in place, TERM: empty" test ! -s "$shared/newgrid.txt"
  # Another program moves the file away and puts another in its place while the run writes it
  # in place: the run says the grid no longer has the name, and what has it now is left alone.
  printf 'the previous grid' >"$shared/newgrid.txt"
  # (Each write made slow, so that the run is still writing when the file is moved: 4 s in all.)
  (cd "$shared" && exec setpriv --reuid=65534 --regid=65534 --clear-groups -- env LD_PRELOAD="$slow_disk" \
    TESSAPLAN_TEST_WRITE_DELAY_MS=200 "$bench" --no-sync -- 0 1000 0 1000 1) 2>err.txt &
  pid=$!
  check "in place, moved away: run begun" within 60 written_over
  mv "$shared/newgrid.txt" "$shared/moved.txt"
  printf 'another' >"$shared/newgrid.txt"
  wait "$pid"
  check "in place, moved away: status 1" test $? -eq 1
  check "in place, moved away: says so" grep -Fq "written in place, but another program moved or replaced the file during the run, so the grid is in a file that no longer has its name; run again ($shared/newgrid.txt)" err.txt
  check "in place, moved away: what has the name now is kept" test "$(cat "$shared/newgrid.txt")" = another
  rm -f "$shared/moved.txt"
  chmod 666 "$shared/newgrid.txt"
  # A write that fails midway (a disk that stops taking bytes) says so too, with status 1.
  printf 'the previous grid' >"$shared/newgrid.txt"
  (cd "$shared" && exec setpriv --reuid=65534 --regid=65534 --clear-groups -- env LD_PRELOAD="$slow_disk" \
    TESSAPLAN_TEST_WRITE_RETURNS_ZERO=1 "$bench" -- 0 400 0 200 200) 2>err.txt
  check "in place, a failed write: status 1" test $? -eq 1
  check "in place, a failed write: says the file is empty" grep -Fq "; written in place, the file is now empty ($shared/newgrid.txt)" err.txt
  check "in place, a failed write: empty" test ! -s "$shared/newgrid.txt"
  # Three runs at once on the file, each with a grid of its own (every line differs), each write
  # held 20 ms so that they overlap: over 100 trials the file is always the whole grid of a run
  # that ended with 0, and a run refused says why.
  mkdir "$work/grids"
  for k in 0 1 2; do
    (cd "$work/grids" && "$bench" --no-sync -- 0 300 "$k" $((100 + k)) 1 2>/dev/null && mv newgrid.txt "$k.txt")
  done
  mixed=0
  refused=0
  for trial in $(seq 100); do
    for k in 0 1 2; do
      (cd "$shared" && exec setpriv --reuid=65534 --regid=65534 --clear-groups -- env LD_PRELOAD="$slow_disk" \
        TESSAPLAN_TEST_WRITE_DELAY_MS=20 "$bench" --no-sync -- 0 300 "$k" $((100 + k)) 1) 2>"$work/err$k.txt" &
      pids[k]=$!
    done
    whole=false
    odd=false  # a status that means nothing, or a refusal that does not say why
    for k in 0 1 2; do
      wait "${pids[k]}"
      case $? in
        0) cmp -s "$shared/newgrid.txt" "$work/grids/$k.txt" && whole=true ;;
        1) grep -Fq "another run is writing this file in place, and this run left it untouched" "$work/err$k.txt" && refused=$((refused + 1)) || odd=true ;;
        *) odd=true ;;
      esac
    done
    "$whole" && ! "$odd" || mixed=$((mixed + 1))
  done
  echo "three in place at once: $refused runs refused over 100 trials"
  check "three in place at once: always one run's whole grid" test "$mixed" -eq 0
  check "three in place at once: they overlapped" test "$refused" -gt 0
  rm -rf "$shared" "$work/grids" "$work"/err[012].txt

  # A run killed in a folder its user may write but not list (a drop box, 1733): the next run
  # there finds the hidden file it left by its name, and removes it.
  box=$(mktemp -d -p "$work")
  chmod 1733 "$box"
  as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups -- env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_NO_TMPFILE=1 "$bench")
  (cd "$box" && exec "${as_nobody[@]}" -- 0 8000 0 8000 1) 2>/dev/null &
  pid=$!
  hidden_in_box() { test "$(ls -A "$box" | grep -c '^\.tessaplan-')" -eq 1; }
  check "drop box: the run holds its hidden file" within 60 hidden_in_box
  kill -s KILL "$pid"
  wait "$pid"
  check "drop box: the killed run's file left" hidden_in_box
  (cd "$box" && exec "${as_nobody[@]}" --no-sync -- 0 400 0 200 200) 2>err.txt
  check "drop box: the next run writes" test $? -eq 0
  check "drop box: and removes the file left" test "$(ls -A "$box" | tr '\n' ' ')" = "newgrid.txt "
  rm -rf "$box"
fi

# A file size limit, as the user's shell sets it: a File error, not a silent death.
(ulimit -f 10; exec "$bench" -- 0 1000 0 1000 1) 2>err.txt
check "exit 1 under ulimit -f" test $? -eq 1
check "File too large" grep -Fq 'Run-time error 5: File error: File too large: the grid needs 19.6 MB' err.txt
check "file kept under ulimit -f" cmp -s newgrid.txt before.txt
# A disk quota met as the space is reserved (the stand-in's EDQUOT: this kernel has no quotas):
# said as a full disk is, with what the grid needs, before the first byte.
(exec env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_QUOTA_MET=1 TESSAPLAN_TEST_CALL_LOG="$PWD/quota.txt" \
  "$bench" -- 0 1000 0 1000 1) 2>err.txt
check "a quota met: exit 1" test $? -eq 1
check "a quota met: what the grid needs" grep -Fqx 'Run-time error 5: File error: Disk quota exceeded: the grid needs 19.6 MB ('"$PWD"'/newgrid.txt)' err.txt
check "a quota met: before the first byte" bash -c "! grep -qs 'first write' quota.txt"
check "a quota met: file kept" cmp -s newgrid.txt before.txt

# No memory for the writer thread's stack: a described error, not an abort. And no descriptor
# beyond the folder's and the new file's (three standard ones, then two): whatever the commit
# needs is taken before the first byte, so the run is refused at once, not after a first write
# that stalls for a minute. (A sanitizer's runtime needs far more address space than any such
# limit leaves, and descriptors of its own: its builds skip these cases.)
if [ -z "${TESSAPLAN_SANITIZED:-}" ]; then
  (
    for fd in /proc/$BASHPID/fd/*; do  # none but the standard three, whatever ran this test
      fd=${fd##*/}
      [ "$fd" -gt 2 ] && eval "exec $fd>&-"
    done
    ulimit -n 5
    exec env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_WRITE_DELAY_MS=60000 \
      timeout 20 "$bench" -- 0 400 0 200 200
  ) 2>err.txt
  check "ulimit -n: exit 1 at once" test $? -eq 1
  check "ulimit -n: says so" grep -Fqx "Run-time error 5: File error: Too many open files ($work/newgrid.txt)" err.txt
  check "ulimit -n: file kept" cmp -s newgrid.txt before.txt
  (ulimit -s 65536; ulimit -v 40000; exec "$bench" -- 0 1000 0 1000 1) 2>err.txt
  check "exit 1 without memory" test $? -eq 1
  check "System error" grep -Eq '^Run-time error 6: System error: .+' err.txt
  check "file kept without memory" cmp -s newgrid.txt before.txt
fi

# A signal mid-run: the run is cancelled, the old file kept, nothing left behind, even by KILL.
# The run is caught once it holds its new, unnamed file open.
# Started as a user's command is: a script's background job would have INT and QUIT ignored.
for signal in INT TERM HUP QUIT KILL; do
  (trap - INT QUIT; exec "$bench" -- 0 8000 0 8000 1) 2>err.txt &
  pid=$!
  check "$signal: run begun" within 60 holds_new_file "$pid" "$work"
  kill -s "$signal" "$pid"
  wait "$pid"
  check "$signal: exit 128 + its number" test $? -eq $((128 + $(kill -l "$signal")))
  if [ "$signal" != KILL ]; then
    check "$signal: cancelled, not killed" grep -Fqx "Cancelled by signal $(kill -l "$signal"); newgrid.txt is as it was." err.txt
  fi
  check "$signal: file kept" cmp -s newgrid.txt before.txt
  check "$signal: nothing left" test "$(ls -A | sort | tr '\n' ' ')" = "before.txt err.txt expected.txt newgrid.txt "
done

# KILL between making the hidden name that tries the folder for room and removing it (held
# there by the stand-in): the one thing a KILL can leave besides the old file, an empty hidden
# file, is left, and the next run in the folder removes it. For a name the folder does not hold
# yet, the hidden name is as long as that name, for which the commit needs room.
long=$(printf 'n%.0s' $(seq 200)).txt
for output in newgrid.txt "$long"; do
  LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_UNLINK_DELAY_MS=60000 TESSAPLAN_TEST_CALL_LOG="$work/probe.txt" \
    "$bench" --output="$output" -- 0 400 0 200 200 2>err.txt &
  pid=$!
  check "KILL trying for room: held there" within 60 grep -qx 'removing hidden' probe.txt
  kill -s KILL "$pid"
  wait "$pid"
  rm probe.txt
  check "KILL trying for room: file kept" cmp -s newgrid.txt before.txt
  hidden=$(find . -maxdepth 1 -name '.tessaplan-*' -type f -empty -printf '%f\n')
  check "KILL trying for room: one empty hidden file left" \
    test "$(echo "$hidden" | grep -c .)$(ls -A | grep -c '^\.')" = 11
  # It ends in padding, which no hidden name of a run's file does: its run removes it by that
  # name, after another run may have swept it, and must never remove a file that took the name.
  check "KILL trying for room: padded, unlike a file's hidden name" test "${hidden: -1}" = -
  if [ "$output" = "$long" ]; then
    check "KILL trying for room: as long as the new name" test "${#hidden}" -eq "${#long}"
  fi
  "$bench" --no-sync --output=next.txt -- 0 1 0 1 1 2>err.txt
  rm next.txt
  check "KILL trying for room: the next run removes it" test "$(ls -A | sort | tr '\n' ' ')" = "before.txt err.txt expected.txt newgrid.txt "
done

# The hidden names a run tries first are the same for every run of one name, so that the next
# run of it sweeps them from a folder it may not list, and differ between names, so that runs of
# two names do not take each other's.
killed_probe() {  # the hidden name a run writing $1 leaves, killed trying for room
  LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_UNLINK_DELAY_MS=60000 TESSAPLAN_TEST_CALL_LOG="$work/probe.txt" \
    "$bench" --output="$1" -- 0 400 0 200 200 2>/dev/null &
  local pid=$!
  within 60 grep -qx 'removing hidden' probe.txt
  kill -s KILL "$pid"
  wait "$pid"
  rm probe.txt
  find . -maxdepth 1 -name '.tessaplan-*' -printf '%f\n' -delete
}
first=$(killed_probe a.txt)
again=$(killed_probe a.txt)
other=$(killed_probe b.txt)
check "hidden names: the same for one name" test -n "$first" -a "$first" = "$again"
check "hidden names: others for another name" test -n "$other" -a "$first" != "$other"

# A write or a sync that stalls (a stalled network drive): a signal still ends the run at once,
# the stalled call finishing alone on a file that has no name.
# A stalled write holds up the filling of buffers mid-grid; a stalled sync, the end of a small one.
# The stall lasts a minute; the run must end well before, within a limit that a loaded machine
# and a sanitizer's runtime keep to.
limit_ms=10000
for stall in "WRITE 8000" "SYNC 400"; do
  set -- $stall
  stall=$1
  rm -f calls.txt
  env LD_PRELOAD="$slow_disk" "TESSAPLAN_TEST_${stall}_DELAY_MS=60000" TESSAPLAN_TEST_CALL_LOG="$work/calls.txt" \
    "$bench" -- 0 "$2" 0 200 1 2>err.txt &
  pid=$!
  check "$stall stalled: the stall begun" within 60 grep -q stall calls.txt
  start=$(date +%s%N)
  kill -s TERM "$pid"
  wait "$pid"
  status=$?
  check "$stall stalled: TERM ends the run within $limit_ms ms" \
    test $(($(date +%s%N) - start)) -lt $((limit_ms * 1000000))
  check "$stall stalled: cancelled" test $status -eq 143
  check "$stall stalled: file kept" cmp -s newgrid.txt before.txt
  rm -f calls.txt
  check "$stall stalled: nothing left" test "$(ls -A | sort | tr '\n' ' ')" = "before.txt err.txt expected.txt newgrid.txt "
done

# Runs killed while their hidden files have names (here without unnamed files, so for the whole
# run): the next run in the folder removes what they left.
pids=()
for _ in 1 2 3; do
  LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_NO_TMPFILE=1 "$bench" -- 0 8000 0 8000 1 2>/dev/null &
  pids+=($!)
done
hidden_files_are() { test "$(ls -A | grep -c '^\.tessaplan-')" -eq "$1"; }
check "three runs hold hidden files" within 60 hidden_files_are 3
kill -s KILL "${pids[@]}"
wait "${pids[@]}" 2>/dev/null
check "killed runs left their hidden files" test "$(ls -A | grep -c '^\.tessaplan-')" -eq 3
"$bench" -- 0 400 0 200 200 2>/dev/null
check "the next run removes them" test "$(ls -A | sort | tr '\n' ' ')" = "before.txt err.txt expected.txt newgrid.txt "
cp before.txt newgrid.txt

# A current folder deeper than any path the system takes whole (4096 bytes).
deep=$(mktemp -d -p "$work")
(
  cd "$deep" || exit 1
  for _ in $(seq 20); do
    name=$(printf 'd%.0s' $(seq 250))
    mkdir "$name" && cd "$name" || exit 1
  done
  "$bench" -- 0 400 0 200 200 2>/dev/null && cmp -s newgrid.txt "$work/expected.txt"
)
check "deep folder" test $? -eq 0
rm -rf "$deep"

# A wrong command line is no run at all.
"$bench" -- 1 2 3 2>/dev/null
check "exit 2 on too few values" test $? -eq 2
"$bench" --fast -- 1 2 3 4 5 2>/dev/null
check "exit 2 on an unknown option" test $? -eq 2
check "nothing left behind" test "$(ls -A | sort | tr '\n' ' ')" = "before.txt err.txt expected.txt newgrid.txt "

finish
