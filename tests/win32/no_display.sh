#!/usr/bin/env bash
# The window program where no window can be made: under Wine without an X
# display (no DISPLAY, no Wayland), as on a Windows session without a window
# station. It must end with a non-zero status, not 0, so that a script that
# starts it learns that the user saw nothing; Wine must say why (its
# diagnostic channel), proving the window really was refused.
#   no_display.sh WINE_RUNNER QRT1220.EXE
set -u
runner=$1 exe=$2
command -v wine >/dev/null || { echo "skip: no wine"; exit 77; }
work=$(mktemp -d /tmp/qrt-no-display.XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/QRT_Update_OP_FWV2.04.exe" || exit 1
(
  unset DISPLAY WAYLAND_DISPLAY
  # The runner turns Wine's messages off unless asked for these.
  export QRT_WINEDEBUG=err+winediag
  exec timeout 120 "$runner" "$work/QRT_Update_OP_FWV2.04.exe"
) >"$work/out" 2>"$work/err"
rc=$?
fail=0
if [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ]; then
  echo "ok: no window, status $rc"
else
  echo "FAIL: without a display the program ended with status $rc"
  fail=1
fi
if grep -q "no driver could be loaded" "$work/err"; then
  echo "ok: Wine refused the window"
else
  echo "FAIL: Wine did not refuse the window:"; cat "$work/err"
  fail=1
fi
exit $fail
