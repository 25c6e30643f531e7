#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix that is made once, completely, before any
# program runs in it: created, Wine's menu builder off (it would write menu entries into the
# home folder), the null display driver set unless --with-display, and the Wine server that made
# it gone, so that every later process meets a server, and a desktop, that know the driver. Any
# number may start at once: the first makes the prefix, the others wait for it. A prefix that
# another Wine process made or is making (without the driver) is waited for, then made complete
# the same way.
# usage: wine_run.sh [--with-display] PREFIX WINE64 PROGRAM [ARGUMENT...]
set -euo pipefail
driver=null
if [ "${1:-}" = --with-display ]; then
  driver=
  shift
fi
export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
wine=$2
shift 2
wineserver=$(dirname "$wine")/wineserver
ready="$WINEPREFIX/.tessaplan-ready${driver:+-$driver}"

if [ ! -e "$ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec {lock}>>"$WINEPREFIX.lock"
  flock "$lock"
  if [ ! -e "$ready" ]; then
    "$wineserver" -w
    "$wine" wineboot -i >/dev/null 2>&1 || { echo "wine_run.sh: Wine could not make $WINEPREFIX" >&2; exit 1; }
    if [ -n "$driver" ]; then
      "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$driver" /f >/dev/null 2>&1 ||
        { echo "wine_run.sh: Wine could not set the display driver in $WINEPREFIX" >&2; exit 1; }
    fi
    # A server that was started before the driver was set would go on serving without it: it
    # ends once the processes it serves have, a few seconds later.
    "$wineserver" -w
    touch "$ready"
  fi
  exec {lock}>&-
fi
# One server for the whole suite, kept a minute after its last program: a program that starts
# just as a server with the default few seconds ends can find it gone and fail to start. A new
# server's own programs (the desktop, the services) are started here, away from this program's
# output streams: they live as long as the server, and whoever waits for the program's output
# (ctest) would wait for them too. Where a server runs already, this does nothing.
if "$wineserver" -p60 </dev/null >/dev/null 2>&1; then
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
exec "$wine" "$@"
