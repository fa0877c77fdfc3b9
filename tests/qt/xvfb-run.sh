#!/usr/bin/env bash
# Runs a command on a virtual X display of its own (Xvfb) with the toolkit's
# plain settings, so that the window tests see the same window on every
# machine. A machine without Xvfb or xdotool fails the test: the window is
# part of the product, and a test that cannot run must not pass.
#   xvfb-run.sh COMMAND [ARGS...]
set -u
for tool in xvfb-run xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "FAIL: $tool is missing (tools/setup.sh installs it); the window tests cannot run" >&2
    exit 1
  fi
done
export QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= QT_STYLE_OVERRIDE=Fusion QT_SCALE_FACTOR=1
# No session bus: the window tests meet none of a desktop's services, and
# libdbus does not try to start one (which leaks under LeakSanitizer).
export DBUS_SESSION_BUS_ADDRESS=disabled:
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/qrt-xdg.XXXXXX)}
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -dpi 96" "$@"
