#!/usr/bin/env bash
# The time from a fresh clone to the first window: clones this repository's last commit into a
# folder of its own, runs scripts/run there on an Xvfb of its own, and prints the seconds until
# the window is on the screen, the build steps taken (and how many were for tests or
# benchmarks: none), and how many the rest of the whole build would take. The Debian packages are taken as installed (scripts/run installs what is missing first).
# usage: bench/first_window.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tests/check.sh"
source "$root/tests/x_server.sh"
work=$(mktemp -d)
run_pid=
cleanup() {
  [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
git clone -q "$root" "$work/clone"
start_x_server "$work"
started=$EPOCHREALTIME
"$work/clone/scripts/run" >"$work/run.txt" 2>&1 &
run_pid=$!
within 3600 bash -c "xdotool search --onlyvisible --name '^Form1$' >/dev/null 2>&1" ||
  { cat "$work/run.txt"; echo "no window"; exit 1; }
seconds=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')
built=$(grep -c '^\[[0-9]*/[0-9]*\] ' "$work/run.txt" || true)
of_tests=$(grep -Ec '^\[[0-9]*/[0-9]*\] .* (tests|bench)/' "$work/run.txt" || true)
left=$(ninja -C "$work/clone/build" -n | grep -c '^\[' || true)
echo "first window after $seconds s on $(nproc) cores: $built build steps, $of_tests of them for tests or benchmarks; $left left for the whole build"
