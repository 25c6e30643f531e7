#!/usr/bin/env bash
# The headless runner's contract: what it writes, prints and exits with.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
bench=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

header=$'"easting","northing","ID"\r\n'

# A small grid: exit 0, the exact bytes, one summary line on standard error.
"$bench" -- 0 400 0 200 200 2>err.txt
check "exit 0 on success" test $? -eq 0
printf '%s' "$header" >expected.txt
printf '0,0,"r1c1"\r\n0,200,"r2c1"\r\n200,0,"r1c2"\r\n200,200,"r2c2"\r\n400,0,"r1c3"\r\n400,200,"r2c3"\r\n' >>expected.txt
check "file bytes" cmp -s newgrid.txt expected.txt
check "summary line" grep -Eqx '6 points, 113 bytes, [0-9]+\.[0-9]{3} s, [0-9]+ points/s' err.txt
check "summary is the only output" test "$(wc -l <err.txt)" -eq 1

# Options, with a negative value right after "--".
"$bench" --no-sync --decimal-separator=, -- -2,5 -2,5 1,25 1,25 1 2>err.txt
check "separator option" test "$(tail -n 1 newgrid.txt)" = $'-2.5,1.25,"r1c1"\r'

# A run-time error: exit 1, number and description, and the previous file kept.
cp newgrid.txt before.txt
"$bench" -- "" 1 0 1 1 2>err.txt
check "exit 1 on a run-time error" test $? -eq 1
check "error text" grep -Fqx 'Run-time error 1: Type mismatch: "Minimum x value" is empty; enter a number.' err.txt
check "file kept on error" cmp -s newgrid.txt before.txt

"$bench" -- 0 400 0 200 0 2>err.txt
check "division by zero" grep -Fq 'Run-time error 3: Division by zero' err.txt

# A wrong command line is no run at all.
"$bench" -- 1 2 3 2>/dev/null
check "exit 2 on too few values" test $? -eq 2
"$bench" --fast -- 1 2 3 4 5 2>/dev/null
check "exit 2 on an unknown option" test $? -eq 2
check "nothing left behind" test "$(ls -A | sort | tr '\n' ' ')" = "before.txt err.txt expected.txt newgrid.txt "

finish
