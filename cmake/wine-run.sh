#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix private to the build folder.
# The prefix lives beside the executable's bin/ folder unless WINEPREFIX is set.
set -u
. "$(dirname "$0")/wine-env.sh"
qrt_wine_env || exit 1
exe=$1; shift
if [ -z "${WINEPREFIX:-}" ]; then
  bindir=$(cd "$(dirname "$exe")" && pwd)
  export WINEPREFIX="$(dirname "$bindir")/wineprefix"
fi
# Creating a prefix takes a few seconds; tests started in parallel wait for one another.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i >/dev/null 2>&1
      wineserver -w 2>/dev/null
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-run: wineboot made no Wine prefix in $WINEPREFIX" >&2
        exit 1
      fi
    fi
  ) 9>"$WINEPREFIX.lock" || exit 1
fi
exec wine "$exe" "$@"
