#!/usr/bin/env bash
# The Debian package as a user meets it: cpack builds it, lintian finds no error in it, apt-get
# installs it, the installed /usr/bin/tessaplan runs the end-to-end test, and the package is
# purged again, leaving the machine as it was. Run in the build folder; needs root or sudo.
# usage: package_test.sh END_TO_END_TEST SLOW_DISK_LIBRARY
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
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
scratch_folder packages
chmod 755 "$packages"  # apt-get reads the package as its own unprivileged user
installed=
cleanup() {
  if [ -n "$installed" ]; then
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q tessaplan >/dev/null
  fi
  rm -rf "$packages"
}
trap cleanup EXIT

cpack -G DEB -B "$packages" >"$packages/cpack.txt" 2>&1 || { cat "$packages/cpack.txt"; exit 1; }
deb=$(ls "$packages"/tessaplan_1.00-1_*.deb 2>/dev/null | head -n 1)
check "package built" test -n "$deb"
[ -n "$deb" ] || { cat "$packages/cpack.txt"; finish; exit 1; }
chmod 644 "$deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Section\|Maintainer\):/\1:/p'

# Errors fail; warnings are shown.
lintian --no-tag-display-limit "$deb" >"$packages/lintian.txt" 2>&1
cat "$packages/lintian.txt"
check "lintian: no errors" bash -c "! grep -q '^E:' '$packages/lintian.txt'"
check "lintian: nothing about tessaplan-grid" bash -c "! grep -q 'tessaplan-grid' '$packages/lintian.txt'"

"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$packages/apt.txt" 2>&1
check "apt-get install" test $? -eq 0 || cat "$packages/apt.txt"
installed=1
check "installed program" test -x /usr/bin/tessaplan
check "installed command line" test "$(/usr/bin/tessaplan-grid --dry-run -- 0 400 0 200 200)" = \
  "6 points (2 rows, 3 columns), 113 bytes, last point 400,200"
check "its manual page" test -s /usr/share/man/man1/tessaplan-grid.1.gz
check "menu entry" test -f /usr/share/applications/org.example.tessaplan.desktop
check "icon" test -f /usr/share/icons/hicolor/scalable/apps/org.example.tessaplan.svg
check "end to end on the installed program" bash "$1" /usr/bin/tessaplan "$2" /usr/bin/tessaplan-grid

"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q tessaplan >/dev/null 2>&1
installed=
check "removed again" bash -c "! dpkg-query -W -f='\${Status}' tessaplan 2>/dev/null | grep -q installed"
check "nothing left" test ! -e /usr/bin/tessaplan
finish
