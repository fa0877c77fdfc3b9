#!/usr/bin/env bash
# Runs a 32-bit Windows program under the i386 Wine that tools/setup-wine32.sh
# made (Wine's 32-bit loader under qemu-i386; about 10 s per start).
#   tools/wine32-run.sh PROGRAM.exe ARGS...
#   WINEPREFIX=DIR tools/wine32-run.sh --prepare   (only makes the prefix, so
#                                                  that COM ports can be mapped)
# The prefix is wineprefix32 beside the program's bin/ folder unless
# WINEPREFIX is set; it starts as a copy of the cached prefix (its large
# files hard links, the registry files real copies: Wine replaces those).
set -u
. "$(cd "$(dirname "$0")" && pwd)/wine32-env.sh"
C=$QRT_WINE32_DIR
if [ ! -f "$C/ready" ]; then
  echo "wine32-run: no 32-bit Wine in $C; run tools/setup.sh (or tools/setup-wine32.sh)" >&2
  exit 125
fi
exe=$1; shift
if [ "$exe" = --prepare ] && [ -z "${WINEPREFIX:-}" ]; then
  echo "wine32-run: --prepare needs WINEPREFIX" >&2
  exit 125
fi
if [ -z "${WINEPREFIX:-}" ]; then
  bindir=$(cd "$(dirname "$exe")" && pwd)
  WINEPREFIX="$(dirname "$bindir")/wineprefix32"
  export WINEPREFIX
fi
if ! cmp -s "$C/ready" "$WINEPREFIX/.qrt-wine32-key"; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if ! cmp -s "$C/ready" "$WINEPREFIX/.qrt-wine32-key"; then
      rm -rf "$WINEPREFIX"
      cp -al "$C/prefix" "$WINEPREFIX" 2>/dev/null || cp -a "$C/prefix" "$WINEPREFIX" || exit 1
      for f in "$WINEPREFIX"/*.reg "$WINEPREFIX"/.update-timestamp; do
        [ -f "$f" ] && cp --remove-destination "$C/prefix/$(basename "$f")" "$f"
      done
      cp "$C/ready" "$WINEPREFIX/.qrt-wine32-key"
    fi
  ) 9>"$WINEPREFIX.lock" || { echo "wine32-run: cannot make the prefix $WINEPREFIX" >&2; exit 125; }
fi
[ "$exe" = --prepare ] && exit 0
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINESERVER=/usr/lib/wine/wineserver64 WINELOADER=$C/host/usr/lib/wine/wine64 WINELOADERNOEXEC=1
exec qemu-i386 -R 0x88000000 -L "$C/root" "$C/root/usr/lib/wine/wine" "$exe" "$@"
