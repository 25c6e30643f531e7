#!/usr/bin/env bash
# The Windows installer and the portable ZIP as a user meets them, under Wine in a fresh prefix
# of their own: cpack makes both; the installer's pages, which a silent install does not show,
# are read from the script cpack generated: its title names the version, and its licence page
# shows the project's licence. Run silently (/S), it puts the program, the licence, a Start-menu
# shortcut that starts it in the user's Documents folder, and an uninstaller in place, and lists
# the version for Add/Remove; the installed program answers --version; the silent uninstall
# leaves nothing of it, in the files or in the registry. The ZIP's program answers too, beside
# the licence. The installed programs carry no debug sections and stay small.
# usage: installer_test.sh WINE_RUN WINE64 BUILD_FOLDER
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../check.sh"
scratch_folder work
export WINEPREFIX="$work/prefix"
wine=("$1" "$WINEPREFIX" "$2")
wineserver=$(dirname "$2")/wineserver
build=$3
unset DISPLAY
cleanup() {
  "$wineserver" -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -B "$work/packages" >"$work/cpack.txt" 2>&1)
check "installer made" test -s "$work/packages/tessaplan-1.00-win64.exe"
check "portable ZIP made" test -s "$work/packages/tessaplan-1.00-win64.zip"
script=$(find "$work/packages" -name project.nsi | head -n 1)
check "installer's title names the version" grep -Eq '^\s*Name "tessaplan 1\.00"' "$script"
licence=$(sed -En 's/^\s*!insertmacro MUI_PAGE_LICENSE "(.*)"\s*$/\1/p' "$script")
check "licence page shows the project's licence" grep -q '^Permission is hereby granted' "$licence"

# The registry as Wine keeps it, once its server has written it out.
registry() { "$wineserver" -w; cat "$WINEPREFIX"/*.reg; }
"${wine[@]}" cmd /c exit
registry >"$work/registry-before.txt"

drive="$WINEPREFIX/drive_c"
program="$drive/Program Files/tessaplan"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/tessaplan"
"${wine[@]}" "$work/packages/tessaplan-1.00-win64.exe" /S
check "silent install: exit 0" test $? -eq 0
check "program installed" test -f "$program/tessaplan.exe"
check "command line installed" test -f "$program/tessaplan-grid.exe"
check "licence installed" grep -q '^Permission is hereby granted' "$program/COPYING.txt"
check "uninstaller installed" test -f "$program/Uninstall.exe"
check "Start-menu shortcut" test -f "$menu/tessaplan.lnk"
# The shortcut's target and working folder, as the .lnk holds them (UTF-16).
lnk=$(tr -d '\0' <"$menu/tessaplan.lnk" 2>/dev/null)
check "shortcut starts the program" grep -Fq 'C:\Program Files\tessaplan\tessaplan.exe' <<<"$lnk"
check "shortcut starts it in the user's Documents" grep -Fq '%USERPROFILE%\Documents' <<<"$lnk"
"${wine[@]}" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tessaplan' \
  >"$work/listed.txt" 2>&1
check "listed for removal" grep -q UninstallString "$work/listed.txt"
check "listed by name and version" grep -Eq 'DisplayName\s+REG_SZ\s+tessaplan 1\.00' "$work/listed.txt"
check "listed with its version" grep -Eq 'DisplayVersion\s+REG_SZ\s+1\.00' "$work/listed.txt"
check "installed program answers --version" \
  test "$("${wine[@]}" 'C:\Program Files\tessaplan\tessaplan.exe' --version)" = "tessaplan 1.00"
# The command line runs from the installed folder, a program of the console subsystem.
check "installed command line runs" test "$("${wine[@]}" 'C:\Program Files\tessaplan\tessaplan-grid.exe' \
  --dry-run -- 0 400 0 200 200)" = "6 points (2 rows, 3 columns), 113 bytes, last point 400,200"
writes_grid() {
  mkdir -p "$work/run" && cd "$work/run" &&
    "${wine[@]}" 'C:\Program Files\tessaplan\tessaplan-grid.exe' -- 0 400 0 200 200 &&
    test "$(wc -c <newgrid.txt)" -eq 113
}
check "installed command line writes the grid" writes_grid
cd "$work" || exit 1
for exe in tessaplan tessaplan-grid; do
  check "$exe.exe: no debug sections" bash -c "! x86_64-w64-mingw32-objdump -h '$program/$exe.exe' | grep -q ' \.debug_'"
  # Each links its runtime and SQLite (1.3 MB, for --format=gpkg) in whole.
  check "$exe.exe: at most 4 MB ($(stat -c %s "$program/$exe.exe") bytes)" test "$(stat -c %s "$program/$exe.exe")" -le 4194304
done
check "a console program" bash -c "x86_64-w64-mingw32-objdump -p '$program/tessaplan-grid.exe' | grep -q 'Subsystem.*(Windows CUI)'"

# Every DLL the program names is part of Windows: it runs on a machine with nothing installed.
dlls=$(for exe in tessaplan tessaplan-grid; do x86_64-w64-mingw32-objdump -p "$program/$exe.exe"; done |
  sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
check "only system DLLs ($(echo $dlls))" test -z "$(echo "$dlls" |
  grep -Ev '^(kernel32|msvcrt|user32|gdi32|comctl32|ole32|oleaut32|oleacc|shell32|advapi32|version|api-ms-win-.*)\.dll$')"

# The uninstaller copies itself away and returns at once; the copy removes the rest, the
# program's folder before the Start menu's. The uninstall is done when every program of the
# prefix has ended, which its server waits for. Here its deletions in the Start menu come
# seconds late, as on a loaded machine, so that a check made at the first sign of the end (the
# program's folder gone) would find the shortcuts every time. The stand-in is preloaded into a
# server of its own, started once the install's server has ended.
slow_removal="$work/slow_removal.so"
g++ -shared -fPIC -o "$slow_removal" "$(dirname "${BASH_SOURCE[0]}")/../../support/slow_removal.cpp" -ldl
check "slow removal stand-in built" test -s "$slow_removal"
"$wineserver" -w
LD_PRELOAD="$slow_removal" TESSAPLAN_TEST_SLOW_REMOVAL="Start Menu/Programs/tessaplan" \
  "${wine[@]}" 'C:\Program Files\tessaplan\Uninstall.exe' /S
check "silent uninstall: exit 0" test $? -eq 0
"$wineserver" -w
check "program removed" test ! -e "$program"
check "shortcuts removed" test ! -e "$menu"
check "nothing of it left" test -z "$(find "$drive" -iname '*tessaplan*' 2>/dev/null)"
# Every key the installer made is gone, the vendor's too.
registry >"$work/registry-after.txt"
diff "$work/registry-before.txt" "$work/registry-after.txt" | grep -i tessaplan >"$work/left.txt"
check "no key of it left" test ! -s "$work/left.txt"
cat "$work/left.txt"

# The portable copy: unpacked anywhere, its program runs from its own folder.
(cd "$work" && cmake -E tar xf "$work/packages/tessaplan-1.00-win64.zip")
check "portable program" test -f "$work/tessaplan-1.00-win64/tessaplan.exe"
check "portable command line" test -f "$work/tessaplan-1.00-win64/tessaplan-grid.exe"
check "portable licence" grep -q '^Permission is hereby granted' "$work/tessaplan-1.00-win64/COPYING.txt"
check "portable program answers --version" \
  test "$(cd "$work/tessaplan-1.00-win64" && "${wine[@]}" tessaplan.exe --version)" = "tessaplan 1.00"
finish
