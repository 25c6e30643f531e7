#!/usr/bin/env bash
# What `cmake --install` puts in place: the program, its desktop entry, icon and AppStream
# metadata, which desktop-file-validate and appstreamcli validate; the copyright and the font's
# licence. Run in the build folder.
# usage: install_layout_test.sh CMAKE
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
scratch_folder root
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" "$1" --install . --prefix /usr >/dev/null
usr="$root/usr"
id=org.example.tessaplan
check "program" test -x "$usr/bin/tessaplan"
check "command-line program" test -x "$usr/bin/tessaplan-grid"
for page in tessaplan tessaplan-grid; do
  check "$page(1)" test -s "$usr/share/man/man1/$page.1.gz"
  check "$page(1) without warnings" test -z "$(zcat "$usr/share/man/man1/$page.1.gz" |
    LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z - 2>&1 >/dev/null)"
done
check "desktop entry runs tessaplan in the home folder" \
  grep -qx 'Exec=sh -c "cd && exec tessaplan"' "$usr/share/applications/$id.desktop"
check "desktop entry names the icon" grep -qx "Icon=$id" "$usr/share/applications/$id.desktop"
# Valid, and without a hint (two main categories would show it twice in some menus).
check "desktop entry valid" desktop-file-validate "$usr/share/applications/$id.desktop"
check "desktop entry without hints" test -z "$(desktop-file-validate "$usr/share/applications/$id.desktop")"
check "icon in the hicolor theme" test -s "$usr/share/icons/hicolor/scalable/apps/$id.svg"
check "metainfo valid" appstreamcli validate --no-net --explain "$usr/share/metainfo/$id.metainfo.xml"
check "metainfo version" grep -q '<release version="1.00"' "$usr/share/metainfo/$id.metainfo.xml"
check "copyright" test -s "$usr/share/doc/tessaplan/copyright"
check "the font's licence" grep -q "SIL Open Font License" "$usr/share/doc/tessaplan/LICENSE-LiberationSans"
finish
