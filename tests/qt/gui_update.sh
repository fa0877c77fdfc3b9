#!/usr/bin/env bash
# A full QRT1440 update through the Linux window, as a user does it: qrtsim
# plays the power supply on a fresh pseudo-terminal, QRTUPDATE_COM1 maps
# COM1 (the window's first interface) to it, and the window test
# QtWindow.FullUpdate chooses QRT1440 and clicks the update button under
# Xvfb, with the containers in its working folder. The window must show the
# success box (the test checks it); the simulated device must have received
# every page of the containers unchanged, then "FWUE".
#
# usage: gui_update.sh QT_WINDOW_TESTS QRTSIM
#   QRT_SHOTS=DIR keeps the window's screenshots of the update.
set -u
tests=$(readlink -f "$1") qrtsim=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)

. "$here/../qrtsim-lib.sh"
sim_workdir gui-update
cd "$work" || exit 1
sim_random_containers
fail=0
check() { if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi; }

sim_start sim.out "$qrtsim" --report "$work/report.json" --dump-dir "$work/dump" --max-seconds 240 \
  --exit-after-fwue || exit 1
QRTUPDATE_COM1=$pty timeout 240 bash "$here/xvfb-run.sh" "$tests" --gtest_filter=QtWindow.FullUpdate >window.log 2>&1
status=$?
sim_finish "$status"

check "the window test passes (status $status)" test "$status" -eq 0
# A filter that matched nothing would pass as well.
check "and it ran the full update" grep -q '^\[       OK \] QtWindow.FullUpdate ' window.log
sim_check_qrt1440_pages dump
check "FWUE after the last channel" grep -q '"FWU4", "FWU", "pages ch4 80", "FWUE"\]' report.json

if [ $fail -ne 0 ]; then
  echo "--- window test"; tail -n 40 window.log
  echo "--- qrtsim report"; head -c 1500 report.json; echo
  exit 1
fi
echo "ok: the window updated a QRT1440 over COM1, every page byte-exact, then FWUE"
