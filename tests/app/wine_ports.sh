#!/usr/bin/env bash
# `qrtupdate.exe ports` under Wine: a COM port that Wine knows is listed and
# the program reaches the device through it. Wine lists the ports named in
# its Ports key (HKLM\Software\Wine\Ports): when its services start it makes
# the dosdevices link and the system's device-map entries for each. The
# device is qrtsim's pseudo-terminal.
#
# usage: wine_ports.sh QRTUPDATE_EXE RUNNER QRTSIM
set -u
exe=$1 runner=$2 qrtsim=$3
com=COM7
if [ ! -x "$qrtsim" ]; then
  echo "SKIP: no native qrtsim ($qrtsim); configure the Windows build with -DQRT_NATIVE_BIN=<native build>/bin"
  exit 77
fi
bindir=$(cd "$(dirname "$exe")" && pwd)
# A prefix of its own: Wine's services are restarted here, which would
# disturb the tests that share the build's prefix.
export WINEPREFIX="$(dirname "$bindir")/wineprefix-ports"
. "$(dirname "$0")/../../cmake/wine-env.sh"
qrt_wine_env || exit 1

. "$(dirname "$0")/../qrtsim-lib.sh"
forget_port() {
  wine reg delete 'HKLM\Software\Wine\Ports' /v $com /f >/dev/null 2>&1
  wineserver -k 2>/dev/null
}
sim_workdir wine-ports forget_port

fail=0
check() {  # check DESCRIPTION COMMAND...
  if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi
}

bash "$runner" "$exe" --help >/dev/null 2>&1  # makes the prefix on first use
sim_start "$work/sim.out" "$qrtsim" --max-seconds 240 --fault main:e2@1 || exit 1

if ! wine reg add 'HKLM\Software\Wine\Ports' /v $com /d "$pty" /f >/dev/null 2>&1; then
  echo "FAIL: cannot write Wine's Ports key"
  exit 1
fi
# Wine's services read the key when they start.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

bash "$runner" "$exe" ports >"$work/out" 2>"$work/err"
status=$?
check "ports exits 0 (status $status)" [ "$status" -eq 0 ]
check "Wine's dosdevices link for $com names the device" [ "$(readlink "$WINEPREFIX/dosdevices/${com,,}")" = "$pty" ]
check "$com listed with its path and a description: $(cat "$work/out")" \
  grep -qP "^$com\t//\./$com\t\S" "$work/out"
check "one line per number, sorted" sh -c "cut -f1 '$work/out' | tr -d COM | sort -n -c -u"

# An update over the listed port: the device answers until it refuses the
# first page's checksum, as it was told to.
(
  cd "$work" || exit 1
  for f in FW1A FW1C FW1E FW2A FW2B; do head -c 128000 /dev/urandom >"$f.qrt"; done
  bash "$runner" "$exe" --as QRT_Update_OP_FWV2.04 --interface $com --device QRT1440 update >update.out 2>update.err
)
status=$?
check "the update over $com reaches the device (status $status): $(cat "$work/update.err")" \
  grep -q "Checksum Error!" "$work/update.err"
check "the refused checksum's status 3, not $status" [ "$status" -eq 3 ]
[ "$fail" -eq 0 ] && echo "ok: $(cat "$work/out" | tr "\t\n" " ;")"
exit $fail
