#!/usr/bin/env bash
# Removes a test's scratch folder once the test has ended, however it ended: ctest's time limit
# kills the whole process tree with SIGKILL, which no trap or handler of the test sees. Started
# detached (its own session, so that no kill of the test's tree reaches it) with the read end of
# a pipe on standard input whose write end only the test and its children hold, it waits for the
# end of the pipe; then it thaws and unmounts whatever is mounted in the folder, deepest first
# (lazily: a process that still uses a mount cannot keep the folder), and removes the folder with
# everything in it, read-only parts included. A loop device mounted with -o loop goes with its
# mount.
# usage: setsid -f remove_when_gone.sh FOLDER <PIPE >/dev/null 2>&1
folder=${1%/}
case $folder in
  /*/?*) ;;
  *) echo "remove_when_gone.sh: refusing to remove '$1'" >&2; exit 2 ;;
esac
cat >/dev/null
mounted() {
  awk -v folder="$folder/" 'index($5, folder) == 1 { print length($5), $5 }' /proc/self/mountinfo |
    sort -rn | cut -d' ' -f2-
}
# A child of the test killed in the middle of a mount call ends only once the call is done, so
# a mount can still appear after the test has gone: tried until the folder is gone, for a minute
# at most.
removed() {
  for point in $(mounted); do
    point=$(printf '%b' "$point")  # mountinfo writes spaces and the like as octal escapes
    fsfreeze -u "$point" 2>/dev/null
    umount -l "$point" 2>/dev/null
  done
  chmod -R u+rwX -- "$folder" 2>/dev/null
  rm -rf -- "$folder" 2>/dev/null
  [ ! -e "$folder" ]
}
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
within 60 removed
