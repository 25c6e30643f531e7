#!/usr/bin/env bash
# What the console programs answer, whole: for each command line below, its status, standard
# output and standard error, and the files it left, in a folder of its own (shown as WORK).
# Compared with the stored answers of this system, it shows that a change kept every word.
# usage: capture.sh TESSAPLAN_GRID GRID_BENCH EXPECTED [EMULATOR...]
#        capture.sh ... --print    (prints the answers, to store them)
set -u
grid=$(realpath "$1")
bench=$(realpath "$2")
expected=$(realpath "$3")
shift 3
emulator=()
print=false
for argument in "$@"; do
  if [ "$argument" = --print ]; then print=true; else emulator+=("$argument"); fi
done
source "$(dirname "${BASH_SOURCE[0]}")/../check.sh"
scratch_folder work
trap 'rm -rf "$work"' EXIT
mkdir "$work/run"
cd "$work/run" || exit 1
# Where a path of the folder appears, as Linux and Wine spell it, it is shown as WORK.
windows_work="Z:${work//\//\\}\\run"
# grid_bench's figures of time, which no two runs share.
shown() {
  sed -e "s|$work/run|WORK|g" -e "s|${windows_work//\\/\\\\}|WORK|g" -e 's/\r$//' \
      -e 's/[0-9.]* s, [0-9]* points\/s$/SECONDS s, RATE points\/s/'
}

g() { "${emulator[@]}" "$grid" "$@"; }
b() { "${emulator[@]}" "$bench" "$@"; }
answers() {
  local line
  while IFS= read -r line; do
    [ -z "$line" ] && continue
    rm -rf ./* ./.??* 2>/dev/null
    printf 'old grid\n' >newgrid.txt
    mkdir sub
    eval "$line" >out.txt 2>err.txt </dev/null
    local status=$?
    echo "== $line"
    echo "status $status"
    shown <out.txt | head -c 2000 | sed 's/^/out: /'
    shown <err.txt | sed 's/^/err: /'
    for file in newgrid.txt p.csv sub/*; do
      [ -f "$file" ] && echo "file $file: $(wc -c <"$file") bytes, $(head -c 60 "$file" | tr '\r\n' '~~')"
    done
  done <<'LINES'
g -- 0 400 0 200 200
g --output=- -- 0 400 0 200 200
g --dry-run -- 0 400 0 200 200
g --dry-run -- 0.1 400 0 200 200
g --dry-run --strict -- 16777216 16777300 0 10 1
g --strict -- 16777216 16777300 0 10 1
g --dry-run -- 0 0.1 0 0.1 0.4
g --dry-run -- 0 100 0 100 2.5
g --dry-run -- 16777216 16777300 0 10 1
g --dry-run -- 1e39 0 0 1 1
g --dry-run -- x 1 0 1 1
g --dry-run -- "" 1 0 1 1
g --dry-run -- 0 1 0 1 0
g --dry-run -- 0 1 0 1 40000
g --dry-run -- 0 40000 0 1 1
g --dry-run --min-x=0 --max-x=400 --min-y=0 --max-y=200 --spacing=200
g --dry-run --extent=0,400,0,200 --spacing=200
g --dry-run --extent=0,400,0 --spacing=200
g --dry-run --min-x=0 --min-x=1 --max-x=400 --min-y=0 --max-y=200 --spacing=200
g --dry-run --min-x=0 -- 0 400 0 200 200
g --dry-run -- 0 400 0 200
g --dry-run -- 0 400 0 200 200 1
g --dry-run --decimal-separator=, --min-x=0,5 --max-x=400 --min-y=0 --max-y=200 --spacing=200
g --dry-run --decimal-separator=ab -- 0 400 0 200 200
g --dry-run --snap=out -- 15 385 -7.5 190 100
g --dry-run --snap=in -- 15 385 -7.5 190 100
g --dry-run --snap=in -- 15 50 0 50 100
g --dry-run --snap=sideways -- 0 1 0 1 1
g --dry-run --snap=out -- 0 1 0 1 0.4
g --dry-run --snap=out -- 400 0 0 200 200
g --format=pnezd --output=p.csv -- 0 400 0 200 200
g --format=penzd --output=p.csv --first-point=1000 --elevation=12.5 -- 0 400 0 200 200
g --format=pnezd --output=p.csv --first-point=999999999999999 -- 0 400 0 200 200
g --format=pnezd --output=p.csv --first-point=x -- 0 400 0 200 200
g --format=pnezd --output=p.csv --elevation=x -- 0 400 0 200 200
g --format=pnezd -- 0 400 0 200 200
g --format=pnezd --output=newgrid.txt -- 0 400 0 200 200
g --format=xyz --output=p.csv -- 0 400 0 200 200
g --dry-run --format=pnezd --output=p.csv -- 0 400 0 200 200
g --crs=EPSG:32615 --output=sub/g.txt -- 500000 500400 4000000 4000200 200
g --crs=EPSG:4326 -- 0 400 0 200 200
g --crs=EPSG:99999999 -- 0 400 0 200 200
g --crs=32615 -- 0 400 0 200 200
g --crs=EPSG:32615 --format=pnezd --output=p.csv -- 500000 500400 4000000 4000200 200
g --output=none/g.txt -- 0 400 0 200 200
g --output=sub -- 0 400 0 200 200
g --output= -- 0 400 0 200 200
g --no-sync --quiet -- 0 400 0 200 200
g --bogus
g -x
g --help
g -h
g --version
g --version=2
g
b -- 0 400 0 200 200
b -- 0 1 0 1 0
b --dry-run -- 16777216 16777300 0 10 1
b --help
LINES
}
if $print; then
  answers
  exit 0
fi
answers >"$work/answers.txt"
check "every answer as stored" diff -u "$expected" "$work/answers.txt"
finish
