#!/usr/bin/env bash
# The replacement's tables on real file systems: ext4, xfs and btrfs images mounted through
# loop devices, and tmpfs and ramfs mounts, each made and removed here. Mounting needs root: a
# run by anyone else says so and reports itself skipped (77).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
tests=$1
bench=$2
slow_disk=$3
if [ "$(id -u)" -ne 0 ]; then
  echo "Skipped: not root, so the file systems cannot be mounted; run as root (as CI does)."
  exit 77
fi
scratch_folder work
chmod 755 "$work"  # cases run as nobody reach their folders through it
mounted=()
cleanup() {
  for point in "${mounted[@]}"; do
    fsfreeze -u "$point" 2>/dev/null  # a frozen one would hold its unmount forever
    umount "$point" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

# mount_kind KIND: a fresh file system of that kind at $work/KIND.
mount_kind() {
  local kind=$1 point="$work/$1"
  mkdir "$point"
  case $kind in
    tmpfs | ramfs) mount -t "$kind" "$kind" "$point" ;;
    *)
      truncate -s 320M "$work/$kind.img"
      case $kind in
        ext4) mkfs.ext4 -q "$work/$kind.img" ;;
        xfs) mkfs.xfs -q "$work/$kind.img" ;;
        btrfs) mkfs.btrfs -q "$work/$kind.img" >/dev/null ;;
      esac && mount -o loop "$work/$kind.img" "$point"
      ;;
  esac || return 1
  mounted+=("$point")
  chmod 1777 "$point"
}

file_rows='*ReplaceTest*:*WriterFailureTest*:*WriterTest.*:*LinuxFileTest.*'
for kind in ext4 xfs btrfs tmpfs ramfs; do
  if ! mount_kind "$kind"; then
    check "$kind: mounted" false
    continue
  fi
  filter=$file_rows
  # ramfs keeps no attributes or access lists, has no fallocate and reports no size at all.
  if [ "$kind" = ramfs ]; then
    filter="$file_rows:-*acl*:*default_acl*:*append_only*:*immutable*:*reserve_beyond*"
  fi
  TMPDIR="$work/$kind" "$tests" --gtest_filter="$filter" >"$work/$kind.txt" 2>&1
  check "$kind: the replacement's tables" test $? -eq 0
  grep -E '^\[  (FAILED|PASSED) ' "$work/$kind.txt" | sed "s/^/$kind: /" | tail -n 3
  # A file system that reports no size (ramfs) is written to, not taken for a full one.
  (cd "$work/$kind" && "$bench" -- 0 400 0 200 200 2>/dev/null)
  check "$kind: grid_bench writes the grid" test "$(wc -c <"$work/$kind/newgrid.txt")" -eq 113
  # A file size limit is a refusal before the first byte, with what the grid needs, also where
  # no space can be reserved (ramfs).
  (cd "$work/$kind" && ulimit -f 1024 && exec "$bench" -- 0 1000 0 1000 1 2>"$work/err.txt")
  check "$kind: ulimit -f: what the grid needs" grep -Fq 'File too large: the grid needs 19.6 MB' "$work/err.txt"
  check "$kind: ulimit -f: the grid kept" test "$(wc -c <"$work/$kind/newgrid.txt")" -eq 113
done

# Where no space can be reserved, the free space asked is what this user may use, not the
# blocks kept for root: a disk full for the user is a refusal before the first byte. On ext4,
# with 5% kept for root, all but 2 MB of the user's space is filled, and a 9 MB grid asked for.
space="$work/ext4/space"
mkdir "$space" && chmod 1777 "$space"
read -r available block < <(stat -f -c '%a %S' "$space")
fallocate -l $((available * block - (2 << 20))) "$space/filler"
(cd "$space" && exec runuser -u nobody -- env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_NO_FALLOCATE=1 \
  TESSAPLAN_TEST_CALL_LOG="$space/calls.txt" "$bench" -- 0 400 0 1000 1 2>"$work/err.txt")
check "full for the user: refused" grep -Fq 'No space left on device: the grid needs' "$work/err.txt"
check "full for the user: before the first byte" bash -c "! grep -qs 'first write' '$space/calls.txt'"
rm -rf "$space"

# A folder whose block of names is full, on a disk with room for the grid and not one block more:
# the folder cannot take the new file's name, which is found before the first byte, not once the
# grid is written. Names as long as the new file's hidden one fill the block to just short of
# one more, as many as a scratch folder took before it grew.
name_of() { printf 'f%018d' "$1"; }
fill_names() {  # fill_names FOLDER [COUNT]: COUNT names, or until the folder grows; says how many
  local n=0
  mkdir "$1" && printf 'the previous grid' >"$1/newgrid.txt"
  while [ "$(stat -c %s "$1")" -eq "$(stat -f -c %S "$1")" ] && [ "$n" != "${2:-}" ]; do
    : >"$1/$(name_of "$n")"
    n=$((n + 1))
  done
  echo "$n"
}
grown=$(fill_names "$work/ext4/scratch")
rm -rf "$work/ext4/scratch"
names="$work/ext4/names"
fill_names "$names" $((grown - 1)) >/dev/null
# The disk filled up to one block: a spare block first, then ever smaller fillers until not one
# more block is taken (the free count said does not subtract the blocks ext4 keeps for itself).
block=$(stat -f -c %S "$names")
fallocate -l "$block" "$work/ext4/spare"
size=$(($(stat -f -c %f "$names") * block))
n=0
while [ "$size" -ge "$block" ]; do
  if fallocate -l "$size" "$work/ext4/filler$n" 2>/dev/null; then n=$((n + 1)); else size=$((size / 2)); fi
done
rm "$work/ext4/spare"
(cd "$names" && exec env LD_PRELOAD="$slow_disk" TESSAPLAN_TEST_CALL_LOG="$work/calls.txt" \
  "$bench" -- 0 400 0 200 200 2>"$work/err.txt")
check "no room for a name: refused" grep -Fq 'No space left on device: no room for one more name' "$work/err.txt"
check "no room for a name: before the first byte" bash -c "! grep -qs 'first write' '$work/calls.txt'"
check "no room for a name: the grid kept" test "$(cat "$names/newgrid.txt")" = "the previous grid"
rm -rf "$names" "$work/ext4"/filler*

# A disk frozen mid-run (fsfreeze, as for a snapshot): a stop request is still answered at once
# with its message; only the process's end waits for the thaw. A disk of its own, large enough
# that the run is still writing when it freezes.
frozen="$work/frozen"
mkdir "$frozen"
truncate -s 3G "$work/frozen.img"
if mkfs.ext4 -q "$work/frozen.img" && mount -o loop "$work/frozen.img" "$frozen"; then
  mounted+=("$frozen")
  printf 'the previous grid' >"$frozen/newgrid.txt"
  (cd "$frozen" && exec "$bench" -- 0 20000 0 2000 1 2>"$work/err.txt") &
  pid=$!
  check "frozen: run begun" within 60 holds_new_file "$pid" "$frozen"
  fsfreeze -f "$frozen"
  kill -s TERM "$pid"
  check "frozen: the message at once" within 20 \
    grep -Fqx "Cancelled by signal 15; newgrid.txt is as it was." "$work/err.txt"
  fsfreeze -u "$frozen"
  wait "$pid"
  check "frozen: status 143 after the thaw" test $? -eq 143
  check "frozen: the grid kept" test "$(cat "$frozen/newgrid.txt")" = "the previous grid"
else
  check "frozen: mounted" false
fi
finish
