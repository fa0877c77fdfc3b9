# shellcheck shell=bash
# Sourced wherever the tests start Wine: the environment Wine needs, set the
# same whatever the caller's shell holds, so that a test gives the same
# result from a desktop session, a bare root shell or a CI job.
#
# Wine 10 (Debian 13) asks libwayland for a display, which prints "error:
# XDG_RUNTIME_DIR is invalid or not set in the environment." on standard
# error, mixed into the program's own, when that folder is missing; with a
# Wayland session's folder it would open windows there instead of on X. So
# every Wine run gets a private runtime folder of its own (owner only, as a
# login manager makes it), and no Wayland display. Wine's own messages are
# off whatever WINEDEBUG the shell holds (Debian's wine prints a hint about
# wine32 unless they are); QRT_WINEDEBUG sets them for a look inside.

qrt_wine_env() {
  local dir=${TMPDIR:-/tmp}/qrt-wine-runtime-$(id -u)
  if [ ! -e "$dir" ] && ! mkdir -m 700 "$dir" 2>/dev/null && [ ! -e "$dir" ]; then
    echo "wine-env: cannot make the runtime folder $dir" >&2
    return 1
  fi
  # Someone else's folder, a link or one others may enter is not private.
  if [ -L "$dir" ] || [ ! -d "$dir" ] || [ ! -O "$dir" ] || [ "$(stat -c %a "$dir")" != 700 ]; then
    echo "wine-env: $dir is not a private folder of this user (owner only, mode 700); remove it" >&2
    return 1
  fi
  export XDG_RUNTIME_DIR=$dir
  unset WAYLAND_DISPLAY
  export WINEDEBUG=${QRT_WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
}
