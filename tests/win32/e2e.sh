#!/usr/bin/env bash
# End-to-end test of QRT1220.exe under Wine on a virtual display:
#   e2e.sh DRIVER_EXE QRT1220_EXE FTD2XX_DLL NATIVE_BIN SOURCE_DIR WORK_DIR [SHOTS_DIR]
# Prepares the folders the driver starts the program in (HEX inputs for the
# container creation, the stand-in FTD2XX.dll for the USB probe), maps COM3
# of the Wine prefix to the pty of the simulator qrtsim from NATIVE_BIN,
# runs the driver, and compares what the simulated device received with the
# containers the program wrote. With SHOTS_DIR the screenshots the driver
# takes are converted to PNG files there. QRT_E2E_SIM_ARGS adds options of
# qrtsim, e.g. "--baud 19200" for an update at the real wire's pace.
set -u
driver=$1 exe=$2 ftd2xx=$3 native_bin=$4 src=$5 work=$6 shots=${7:-}
here=$(cd "$(dirname "$0")" && pwd)
prefix=$work/wineprefix
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

rm -rf "$work/run"
mkdir -p "$work/run/start" "$work/run/usb" "$work/run/update" "$work/run/shots"
cp "$ftd2xx" "$work/run/usb/"
bash "$src/tools/make-sample-hex.sh" "$work/run/update" >/dev/null || exit 1

export QRT_E2E_EXE=$(winpath "$exe")
export QRT_E2E_WORK=$(winpath "$work/run")
export QRT_E2E_SHOTS=$(winpath "$work/run/shots")

sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; fi
}
trap cleanup EXIT

# The prefix exists before COM3 is mapped in it.
bash "$here/gui-run.sh" "$prefix" true || exit $?

qrtsim=$native_bin/qrtsim
if [ -n "$native_bin" ] && [ -x "$qrtsim" ]; then
  mkdir -p "$prefix/dosdevices"
  rm -f "$prefix/dosdevices/com3"
  "$qrtsim" --family 14x0 --channels 4 --link "$prefix/dosdevices/com3" \
    --dump-dir "$work/run/dump" --report "$work/run/report.json" --max-seconds 1500 ${QRT_E2E_SIM_ARGS:-} \
    >"$work/run/qrtsim.out" 2>"$work/run/qrtsim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [ -L "$prefix/dosdevices/com3" ] && break; sleep 0.1; done
  if [ -L "$prefix/dosdevices/com3" ]; then
    export QRT_E2E_SIM=1
  else
    echo "e2e: qrtsim did not come up" >&2
    cat "$work/run/qrtsim.err" >&2
    exit 1
  fi
else
  echo "e2e: no qrtsim in '$native_bin' (configure with -DQRT_NATIVE_BIN=<native build>/bin); the update over COM3 is skipped"
fi

bash "$here/gui-run.sh" "$prefix" wine "$driver" --gtest_output="xml:$(winpath "$work/run/e2e.xml")"
rc=$?
echo "e2e: driver exit status $rc"

# The device's record is checked when the driver ran the update (a
# GTEST_FILTER may have left it out).
if [ "${QRT_E2E_SIM:-}" = 1 ] && [ $rc = 0 ] &&
   grep -q 'name="HiddenModeMakesTheContainersAndTheUpdateRunsOverCom3" .*status="run" result="completed"' "$work/run/e2e.xml"; then
  cleanup; sim_pid=
  # The device received exactly the containers' pages, per controller.
  fail=0
  check() {  # dump container pages
    local dump=$work/run/dump/$1 container=$work/run/update/$2 n=$(( $3 * 256 ))
    if [ ! -f "$dump" ] || [ "$(stat -c %s "$dump")" != "$n" ] || ! cmp -s -n "$n" "$dump" "$container"; then
      echo "e2e: $1 differs from the first $3 pages of $2" >&2
      fail=1
    fi
  }
  check main.bin FW1C.qrt 350
  for ch in 1 2 3 4; do check ch$ch.bin FW2B.qrt 80; done
  grep -q FWUE "$work/run/report.json" || { echo "e2e: the device never received FWUE" >&2; fail=1; }
  [ $fail = 0 ] && echo "e2e: the simulated QRT1440 received every page of FW1C.qrt and FW2B.qrt, then FWUE"
  rc=$fail
fi

if [ -n "$shots" ]; then
  mkdir -p "$shots"
  for bmp in "$work"/run/shots/*.bmp; do
    [ -e "$bmp" ] && convert "$bmp" -strip -define png:exclude-chunks=date,time "$shots/$(basename "${bmp%.bmp}").png"
  done
fi
exit $rc
