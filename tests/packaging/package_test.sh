#!/usr/bin/env bash
# The Debian package as the README makes it: its Install block, run line by line in a copy of
# the sources with no build folder, as on a fresh clone (`scripts/run` builds the window alone,
# there is no display to start it on), must build the package and install it; lintian finds no
# error in it, the installed programs run, the end-to-end test passes on the installed window,
# and the package is purged again, leaving the machine as it was. Needs root or sudo.
# usage: package_test.sh SOURCES END_TO_END_TEST SLOW_DISK_LIBRARY
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
sources=$(realpath "$1")
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo -n)
if ! "${as_root[@]}" true 2>/dev/null; then
  echo "Skipped: installing a package needs root or sudo without a password."
  exit 77
fi
if dpkg-query -W -f='${Status}' tessaplan 2>/dev/null | grep -q 'install ok installed'; then
  echo "tessaplan is installed on this machine already; this test would replace it"
  exit 1
fi
scratch_folder work
chmod 755 "$work"  # apt-get reads the package as its own unprivileged user
installed=
cleanup() {
  if [ -n "$installed" ]; then
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q tessaplan >/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The sources as a clone has them: no build folders, nothing built.
tar -C "$sources" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$work" -xf -
# The README's Install block: its indented lines, without their comments.
sed -n '/^## Install$/,/^## /{/^    /p}' "$sources/README.md" | sed -e 's/^    //' -e 's/ *# .*$//' \
  >"$work/install.txt"
cat "$work/install.txt"
check "the README has an Install block that builds and installs the package" \
  grep -q '^sudo apt-get install \./build/tessaplan_1\.00-1_amd64\.deb$' "$work/install.txt"
cd "$work" || exit 1
while IFS= read -r line; do
  if [[ $line == "sudo "* ]]; then
    # As root there may be no sudo; apt-get asks nothing of a test.
    line="\"\${as_root[@]}\" env DEBIAN_FRONTEND=noninteractive ${line#sudo }"
  fi
  # As over ssh: scripts/run builds, with nowhere to show the window.
  (unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM; eval "$line") >>"$work/install.log" 2>&1 </dev/null
  status=$?
  check "the README's '$line'" test "$status" -eq 0
  [ "$status" -eq 0 ] || { tail -n 30 "$work/install.log"; finish; exit 1; }
done <"$work/install.txt"
installed=1
deb=$work/build/tessaplan_1.00-1_amd64.deb
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Section\|Maintainer\):/\1:/p'

# Errors fail; warnings are shown.
lintian --no-tag-display-limit "$deb" >"$work/lintian.txt" 2>&1
cat "$work/lintian.txt"
check "lintian: no errors" bash -c "! grep -q '^E:' '$work/lintian.txt'"
check "lintian: nothing about tessaplan-grid" bash -c "! grep -q 'tessaplan-grid' '$work/lintian.txt'"

check "installed window answers" test "$(/usr/bin/tessaplan --version)" = "tessaplan 1.00"
check "installed command line" test "$(/usr/bin/tessaplan-grid --dry-run -- 0 400 0 200 200)" = \
  "6 points (2 rows, 3 columns), 113 bytes, last point 400,200"
check "its manual page" test -s /usr/share/man/man1/tessaplan-grid.1.gz
check "menu entry" test -f /usr/share/applications/org.example.tessaplan.desktop
check "icon" test -f /usr/share/icons/hicolor/scalable/apps/org.example.tessaplan.svg
check "end to end on the installed program" bash "$2" /usr/bin/tessaplan "$3" /usr/bin/tessaplan-grid

"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q tessaplan >/dev/null 2>&1
installed=
check "removed again" bash -c "! dpkg-query -W -f='\${Status}' tessaplan 2>/dev/null | grep -q installed"
check "nothing left" test ! -e /usr/bin/tessaplan
finish
