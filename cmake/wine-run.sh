#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix private to the build folder.
# The prefix lives beside the executable's bin/ folder unless WINEPREFIX is set.
set -u
exe=$1; shift
if [ -z "${WINEPREFIX:-}" ]; then
  bindir=$(cd "$(dirname "$exe")" && pwd)
  export WINEPREFIX="$(dirname "$bindir")/wineprefix"
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
# Creating a prefix takes a few seconds; tests started in parallel wait for one another.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w 2>/dev/null || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$exe" "$@"
