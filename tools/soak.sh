#!/usr/bin/env bash
# The soak campaign: full updates one after another for MINUTES, each with a
# plan drawn from SEED: one to four power supplies (qrtsim, unpaced) on COM
# ports of random numbers (COM1..COM29, several ports in one command), each
# on a local pty or behind ser2net (RFC 2217 or raw TCP on loopback), each
# with no fault or one of qrtsim's faults at a random controller and page;
# sometimes a stop signal at a random moment, sometimes a line cut mid-update
# (ser2net killed, or the pty hung up). After each run the devices' reports
# are checked against the record and the exit status (tools/soak.py says
# what exactly). Prints the runs, the outcomes per exit status and every
# violation with the seed and plan of its run; exits 1 on any violation.
#
# usage: tools/soak.sh BUILD_BIN MINUTES [SEED]
#   BUILD_BIN  a build's bin folder: the native one (qrtupdate, qrtsim), or the
#              Windows one (qrtupdate.exe, run under Wine; qrtsim is taken from
#              the native build that build was configured with, or from
#              QRT_NATIVE_BIN)
#   SEED       any text; without it a random one, printed
# QRT_SOAK_ONLY=K replays run K of SEED alone; QRT_SOAK_VERBOSE=1 prints
# every run's plan and outcome.
set -u
usage="usage: tools/soak.sh BUILD_BIN MINUTES [SEED]"
[ $# -ge 2 ] && [ $# -le 3 ] || { echo "$usage" >&2; exit 64; }
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
bin=$(cd "$1" 2>/dev/null && pwd) || { echo "soak: no folder $1" >&2; exit 64; }
minutes=$2 seed=${3:-}
case $minutes in
  '' | *[!0-9.]* | *.*.*) echo "soak: MINUTES must be a number: $minutes" >&2; exit 64 ;;
esac

runner=''
if [ -x "$bin/qrtupdate" ]; then
  program=$bin/qrtupdate
  qrtsim=$bin/qrtsim
elif [ -f "$bin/qrtupdate.exe" ]; then
  program=$bin/qrtupdate.exe
  runner=$top/cmake/wine-run.sh
  native=${QRT_NATIVE_BIN:-$(sed -n 's/^QRT_NATIVE_BIN:PATH=//p' "$(dirname "$bin")/CMakeCache.txt" 2>/dev/null)}
  qrtsim=$native/qrtsim
else
  echo "soak: $bin holds neither qrtupdate nor qrtupdate.exe: build first" >&2
  exit 1
fi
[ -x "$qrtsim" ] || { echo "soak: no native qrtsim ($qrtsim): build the native program first" >&2; exit 1; }

if [ -n "$runner" ]; then
  # A Wine prefix of the soak's own, with its server started before the first
  # run and kept (-p), so that Wine's own processes (the server, services.exe,
  # ...) belong to no run: a run leaves nothing behind, and the soak can tell.
  export WINEPREFIX=${WINEPREFIX:-$(dirname "$bin")/wineprefix-soak}
  . "$top/cmake/wine-env.sh"
  qrt_wine_env || exit 1
  bash "$runner" "$program" --help >/dev/null 2>&1 || {
    echo "soak: $program --help does not run under Wine" >&2; exit 1; }
  # The server the first start left ends by itself in a few seconds; then
  # one that stays.
  wineserver -w || { echo "soak: wineserver -w failed" >&2; exit 1; }
  wineserver -p >"$WINEPREFIX.soak-server.log" 2>&1 || { echo "soak: wineserver -p failed" >&2; exit 1; }
  bash "$runner" "$program" --help >/dev/null 2>&1 || {
    echo "soak: $program --help does not run under Wine" >&2; exit 1; }
  # The soak's own prefix only: its server and what it serves end with the soak.
  trap 'wineserver -k >/dev/null 2>&1; wineserver -w' EXIT
fi

python3 "$here/soak.py" "$program" "$runner" "$qrtsim" "$minutes" $seed
