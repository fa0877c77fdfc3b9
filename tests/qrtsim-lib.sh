# shellcheck shell=bash
# Sourced by the test scripts that play the power supply with qrtsim: starting
# it on a fresh pseudo-terminal and stopping it again. The scripts keep the
# simulator's process id in simpid, so their exit traps can call sim_kill.

# sim_start OUT QRTSIM [ARGS...]: starts qrtsim in the background with its
# output in OUT; sets simpid, and pty to the slave's path it prints first.
# Fails (with a FAIL line) when no path appears within ten seconds.
sim_start() {
  local out=$1 _
  shift
  "$@" >"$out" &
  simpid=$!
  pty=
  for _ in $(seq 100); do
    pty=$(head -n 1 "$out" 2>/dev/null)
    [ -n "$pty" ] && return 0
    sleep 0.1
  done
  echo "FAIL: qrtsim printed no port"
  return 1
}

# sim_finish RC: after an update that ended with RC. After "FWUE" (which
# awaits no reply) qrtsim ends by itself once it has taken everything, so a
# successful run gives it five seconds; otherwise it is stopped at once.
sim_finish() {
  local _
  for _ in $(seq 50); do
    kill -0 "$simpid" 2>/dev/null || break
    [ "$1" -eq 0 ] || break
    sleep 0.1
  done
  sim_kill
}

# sim_kill: stops the simulator if one is running and waits for it.
sim_kill() {
  if [ -n "${simpid:-}" ]; then
    kill "$simpid" 2>/dev/null
    wait "$simpid" 2>/dev/null
  fi
  simpid=
}

# sim_workdir NAME [CLEANUP]: makes the work folder /tmp/qrt-NAME.XXXXXX (in
# work), removed at exit after the simulator is stopped and the function
# CLEANUP, if given, has run.
sim_workdir() {
  work=$(mktemp -d "/tmp/qrt-$1.XXXXXX") || exit 1
  simpid=
  sim_cleanup=${2:-}
  trap sim_exit EXIT
}
sim_exit() {
  sim_kill
  if [ -n "$sim_cleanup" ]; then "$sim_cleanup"; fi
  rm -rf "$work"
}

# sim_random_containers: the five containers, of random bytes, in the
# current folder.
sim_random_containers() {
  local f
  for f in FW1A FW1C FW1E FW2A FW2B; do head -c 128000 /dev/urandom >"$f.qrt"; done
}

# sim_check_qrt1440_pages DUMP [DIR]: after a full QRT1440 update, checks
# with the caller's check function that the main controller received the
# first 350 pages of FW1C.qrt and each of the four channels the first 80 of
# FW2B.qrt (the containers in DIR, default the current folder), byte-exact,
# as qrtsim --dump-dir DUMP wrote them.
sim_check_qrt1440_pages() {
  local dump=$1 dir=${2:-.} c
  check "main controller pages" cmp -s "$dump/main.bin" <(head -c $((350 * 256)) "$dir/FW1C.qrt")
  for c in 1 2 3 4; do
    check "channel $c pages" cmp -s "$dump/ch$c.bin" <(head -c $((80 * 256)) "$dir/FW2B.qrt")
  done
}

# console_test_start NAME NEEDS_SIM: the common start of the scripts that run
# the console program ($qrtupdate, natively or, when $runner is set, the
# Windows program through that Wine runner) against qrtsim ($qrtsim). Skips
# (77) when NEEDS_SIM is 1 and there is no native qrtsim; makes the work
# folder with five random containers and enters it; defines check and
# winpath; for the Windows program makes its Wine prefix, failing when the
# program does not start there.
console_test_start() {
  if [ "$2" = 1 ] && [ ! -x "$qrtsim" ]; then
    echo "SKIP: no native qrtsim ($qrtsim); configure the Windows build with -DQRT_NATIVE_BIN=<native build>/bin"
    exit 77
  fi
  sim_workdir "$1"
  cd "$work" || exit 1
  sim_random_containers
  fail=0
  # check DESCRIPTION COMMAND...: a FAIL line, and fail=1, when COMMAND fails.
  check() { if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi; }
  # Windows paths for the Windows program: Wine's drive Z: is the root.
  winpath() { if [ -n "$runner" ]; then echo "Z:$1"; else echo "$1"; fi; }
  if [ -n "$runner" ]; then
    local bindir
    bindir=$(cd "$(dirname "$qrtupdate")" && pwd) || exit 1
    export WINEPREFIX=${WINEPREFIX:-$(dirname "$bindir")/wineprefix}
    # Creates the prefix on first use.
    bash "$runner" "$qrtupdate" --help >/dev/null 2>&1 || {
      echo "FAIL: $qrtupdate --help does not run under Wine"; exit 1; }
  fi
}
