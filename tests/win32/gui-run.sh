#!/usr/bin/env bash
# Runs a command that starts Windows programs under Wine on a virtual X
# display (Xvfb), in a Wine prefix of its own inside the build folder with
# Wine's virtual desktop (so windows get Wine's frames and captions) and
# Wine's own fonts. The prefix's wineserver is ended afterwards, before the
# display goes away.
#   gui-run.sh PREFIX COMMAND [ARGS...]
# COMMAND runs with DISPLAY and WINEPREFIX set; "wine PROGRAM" inside it
# starts a Windows program.
set -u
prefix=$1; shift
export WINEPREFIX=$prefix
. "$(dirname "$0")/../../cmake/wine-env.sh"
qrt_wine_env || exit 1

if ! command -v wine >/dev/null || ! command -v xvfb-run >/dev/null; then
  echo "gui-run: wine or xvfb-run is missing" >&2
  exit 77
fi

if [ "${QRT_GUI_RUN_INNER:-}" = 1 ]; then
  # The prefix's folder may not exist yet when this test runs first.
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.qrt-gui-ready" ]; then
      mkdir -p "$WINEPREFIX"
      wineboot -i >/dev/null 2>&1
      # One virtual desktop for every program of this prefix.
      wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
      wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.qrt-gui-ready"
    fi
    # Wine's fonts (Debian's fonts-wine), among them the Marlett glyphs of
    # the caption buttons.
    if [ -d /usr/share/wine/fonts ]; then
      for f in /usr/share/wine/fonts/*.ttf; do
        [ -e "$f" ] && ln -sf "$f" "$WINEPREFIX/drive_c/windows/Fonts/"
      done
    fi
  ) 9>"$WINEPREFIX.lock"
  "$@"
  rc=$?
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  exit $rc
fi
# Again, inside a fresh display.
export QRT_GUI_RUN_INNER=1
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "$prefix" "$@"
