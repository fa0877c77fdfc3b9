#!/usr/bin/env bash
# The 32-bit window program of a release bundle, executed under the i386 Wine
# of tools/setup-wine32.sh (CPU emulation) on a virtual X display (Xvfb),
# driven from outside with synthetic input (xdotool), as a user would:
#   - a MURELL bundle made by tools/bundle.sh, its program started under its
#     bundle name: the window's title names the brand
#   - Interface set to COM7 with the keyboard, COM7 mapped to qrtsim, the
#     update button clicked: the simulated ZVN1440 receives every page of
#     the bundle's containers, then FWUE; the success box is titled with
#     the bundle's name (brand and version)
#   - "Beenden" ends the program with exit status 0
# Screenshots (PNG) go to SHOTS_DIR when given. About 3 minutes, most of it
# Wine's start-up and the transfer under emulation; bounded by time-outs.
#
# usage: window_win32.sh BUILD_WIN32 NATIVE_BIN [SHOTS_DIR]
set -u
export LC_ALL=C
top=$(cd "$(dirname "$0")/../.." && pwd)

if [ "${QRT_WINDOW32_INNER:-}" != 1 ]; then
  for t in xvfb-run xdotool import; do
    command -v "$t" >/dev/null || { echo "FAIL: $t is missing (run tools/setup.sh)"; exit 1; }
  done
  export QRT_WINDOW32_INNER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "$@"
fi

win32=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
shots=${3:-}
run32=$top/tools/wine32-run.sh
for f in "$win32/bin/QRT1220.exe" "$native/qrtupdate" "$native/qrtsim"; do
  [ -f "$f" ] || { echo "FAIL: $f is missing: build the 32-bit and the native build first"; exit 1; }
done
# A prefix of its own: the console runs of the bundle test map COM7 too.
export WINEPREFIX=$win32/wineprefix32-window
. "$(dirname "$0")/../qrtsim-lib.sh"
prog=
cleanup() {
  if [ -n "$prog" ]; then kill "$prog" 2>/dev/null; wait "$prog" 2>/dev/null; fi
  WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver64 -k 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com7"
}
sim_workdir window-win32 cleanup
fail=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}
same_pages() { cmp -s "$1" <(head -c $(($3 * 256)) "$2"); }  # same_pages DUMP CONTAINER PAGES
# find_window NAME SECONDS: prints the X window titled exactly NAME, waiting
# up to SECONDS for it; fails when none appears (or the program ended).
find_window() {
  local w i
  for ((i = 0; i < $2 * 2; i++)); do
    w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    kill -0 "$prog" 2>/dev/null || return 1
    sleep 0.5
  done
  return 1
}
shot() {  # shot NAME: the whole display as NAME.png in SHOTS_DIR
  [ -n "$shots" ] || return 0
  mkdir -p "$shots" && import -window root "$shots/$1.png"
}

bash "$top/tools/make-sample-hex.sh" "$work/hex" >/dev/null || exit 1
bname=QRT_Update_MURELL_FWV1.23
(cd "$top" && bash tools/bundle.sh --brand MURELL --firmware 1.23 --hex "$work/hex" --out "$work/dist") >/dev/null || {
  echo "FAIL: the MURELL bundle could not be made"; exit 1; }
mkdir -p "$work/bundle"
(cd "$work/bundle" && unzip -q "$work/dist/$bname.zip") || exit 1

sim_start "$work/sim.out" "$native/qrtsim" --family 14x0 --channels 4 --report "$work/report.json" \
  --dump-dir "$work/dump" --max-seconds 900 --exit-after-fwue || exit 1
"$run32" --prepare || exit 1
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com7"

start=$SECONDS
(cd "$work/bundle" && exec timeout 900 nice -n 15 "$run32" "$work/bundle/$bname.exe" >"$work/prog.out" 2>"$work/prog.err") &
prog=$!
main=$(find_window "MURELL QRT Update" 240)
check "window up, titled with the brand (after $((SECONDS - start)) s)" test -n "$main"
if [ -z "$main" ]; then
  shot no-window
  echo "the program's messages:"; tail -n 20 "$work/prog.err"
  exit 1
fi
sleep 2  # the first paint
shot start

# Without a window manager Wine's X window starts a few pixels left of and
# above the client area, so clicks go to screen points: the client's
# top-left corner (3,22 on this display) plus the control's offset in it.
eval "$(xdotool getwindowgeometry --shell "$main")"
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; }
# Interface: the combo box's field, then six steps down from COM1 to COM7.
click 137 369 && sleep 1 &&
  xdotool key --delay 300 Down Down Down Down Down Down && sleep 2
shot com7
# The update button.
click 312 199
t0=$SECONDS
sleep 20
shot during-update
box=$(find_window "$bname" 900)
echo "update: $((SECONDS - t0)) s"
check "a box titled with the bundle's name (brand and version)" test -n "$box"
shot after-update
sim_finish 0
check "main controller pages" same_pages "$work/dump/main.bin" "$work/bundle/FW1E.qrt" 350
for n in 1 2 3 4; do
  check "channel $n pages" same_pages "$work/dump/ch$n.bin" "$work/bundle/FW2B.qrt" 80
done
check "FWUE last" grep -q '"FWU4", "FWU", "pages ch4 80", "FWUE"\]' "$work/report.json"

# OK: keys sent to the box go nowhere without a window manager (the X
# server reports no focus), so the box's button is clicked, centred near its
# bottom edge.
if [ -n "$box" ]; then
  eval "$(xdotool getwindowgeometry --shell "$box" | sed 's/^/BOX_/')"
  xdotool mousemove $((BOX_X + BOX_WIDTH / 2)) $((BOX_Y + BOX_HEIGHT - 22)) click 1
  sleep 3
  check "the box closes with its OK button" test -z "$(xdotool search --onlyvisible --name "^$bname\$" 2>/dev/null)"
fi
# "Beenden"
click 541 372
rc=
for _ in $(seq 120); do
  if ! kill -0 "$prog" 2>/dev/null; then wait "$prog"; rc=$?; break; fi
  sleep 0.5
done
check "Beenden ends the program with exit status 0 (got ${rc:-still running})" test "${rc:-x}" = 0
[ -n "$rc" ] && prog=
echo "window run: $((SECONDS - start)) s"
exit $fail
