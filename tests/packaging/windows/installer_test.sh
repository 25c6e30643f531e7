#!/usr/bin/env bash
# The Windows installer and the portable ZIP as a user meets them, under Wine in a fresh prefix
# of their own: cpack makes both; the installer, run silently (/S), puts the program, a
# Start-menu shortcut that starts it in the user's Documents folder, and an uninstaller in place;
# the installed program answers --version; the silent uninstall leaves nothing of it. The ZIP's
# program answers too.
# usage: installer_test.sh WINE64 BUILD_FOLDER
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../check.sh"
wine=$1
build=$2
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY
cleanup() {
  "$(dirname "$wine")/wineserver" -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -B "$work/packages" >"$work/cpack.txt" 2>&1)
check "installer made" test -s "$work/packages/tessaplan-1.00-win64.exe"
check "portable ZIP made" test -s "$work/packages/tessaplan-1.00-win64.zip"

"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
drive="$WINEPREFIX/drive_c"
program="$drive/Program Files/tessaplan"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/tessaplan"

"$wine" "$work/packages/tessaplan-1.00-win64.exe" /S
check "silent install: exit 0" test $? -eq 0
check "program installed" test -f "$program/tessaplan.exe"
check "uninstaller installed" test -f "$program/Uninstall.exe"
check "Start-menu shortcut" test -f "$menu/tessaplan.lnk"
# The shortcut's target and working folder, as the .lnk holds them (UTF-16).
lnk=$(tr -d '\0' <"$menu/tessaplan.lnk" 2>/dev/null)
check "shortcut starts the program" grep -Fq 'C:\Program Files\tessaplan\tessaplan.exe' <<<"$lnk"
check "shortcut starts it in the user's Documents" grep -Fq '%USERPROFILE%\Documents' <<<"$lnk"
check "listed for removal" "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tessaplan'
check "installed program answers --version" \
  test "$("$wine" 'C:\Program Files\tessaplan\tessaplan.exe' --version)" = "tessaplan 1.00"

# Every DLL the program names is part of Windows: it runs on a machine with nothing installed.
dlls=$(x86_64-w64-mingw32-objdump -p "$program/tessaplan.exe" | sed -n 's/^\s*DLL Name: //p' |
  tr 'A-Z' 'a-z' | sort -u)
check "only system DLLs ($(echo $dlls))" test -z "$(echo "$dlls" |
  grep -Ev '^(kernel32|msvcrt|user32|gdi32|comctl32|ole32|oleaut32|oleacc|shell32|advapi32|version|api-ms-win-.*)\.dll$')"

# The uninstaller copies itself away and returns at once; the copy removes the rest.
"$wine" 'C:\Program Files\tessaplan\Uninstall.exe' /S
check "silent uninstall: exit 0" test $? -eq 0
for _ in $(seq 150); do [ -e "$program" ] || break; sleep 0.2; done
check "program removed" test ! -e "$program"
check "shortcuts removed" test ! -e "$menu"
check "nothing of it left" test -z "$(find "$drive" -iname '*tessaplan*' 2>/dev/null)"
check "no longer listed" bash -c "! '$wine' reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tessaplan' >/dev/null 2>&1"

# The portable copy: unpacked anywhere, its program runs from its own folder.
(cd "$work" && cmake -E tar xf "$work/packages/tessaplan-1.00-win64.zip")
check "portable program" test -f "$work/tessaplan-1.00-win64/tessaplan.exe"
check "portable program answers --version" \
  test "$(cd "$work/tessaplan-1.00-win64" && "$wine" tessaplan.exe --version)" = "tessaplan 1.00"
finish
