#!/usr/bin/env bash
# A full QRT1440 update through the Linux window, as a user does it, twice;
# each time qrtsim plays the power supply on a fresh pseudo-terminal, with
# the containers in the working folder, under Xvfb:
#   1. the window test QtWindow.FullUpdate, with QRTUPDATE_COM1 mapping COM1
#      (the window's first interface) to the pty, chooses QRT1440 with the
#      mouse and clicks the update button; it checks the window's lines and
#      the success box;
#   2. the program qrtupdate-gui itself, started under a brand's name (a
#      symbolic link) with --port naming the pty, driven with the keyboard
#      only: QRT1440, the update button, OK in the success box, Escape; it
#      must end with status 0.
# Both times the simulated device must have received every page of the
# containers unchanged, then "FWUE".
#
# usage: gui_update.sh QT_WINDOW_TESTS QRTSIM QRTUPDATE_GUI
#   QRT_SHOTS=DIR keeps the window test's screenshots of the update.
set -u
tests=$(readlink -f "$1") qrtsim=$(readlink -f "$2") gui=$(readlink -f "$3")
here=$(cd "$(dirname "$0")" && pwd)

. "$here/../qrtsim-lib.sh"
sim_workdir gui-update
cd "$work" || exit 1
sim_random_containers
fail=0
check() { if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi; }

# device_received RUN: the pages and the closing command of run RUN.
device_received() {
  sim_check_qrt1440_pages "$1/dump"
  check "$1: FWUE after the last channel" grep -q '"FWU4", "FWU", "pages ch4 80", "FWUE"\]' "$1/report.json"
}

# 1. The window test.
mkdir test
sim_start test/sim.out "$qrtsim" --report test/report.json --dump-dir test/dump --max-seconds 240 \
  --exit-after-fwue || exit 1
QRTUPDATE_COM1=$pty timeout 240 bash "$here/xvfb-run.sh" "$tests" --gtest_filter=QtWindow.FullUpdate >test/log 2>&1
status=$?
sim_finish "$status"
check "the window test passes (status $status)" test "$status" -eq 0
# A filter that matched nothing would pass as well.
check "and it ran the full update" grep -q '^\[       OK \] QtWindow.FullUpdate ' test/log
device_received test

# 2. The program, by keyboard. Focus starts on "Beenden"; Shift+Tab reaches
# the device list, four Down keys choose QRT1440, three Tabs (Beenden, the
# list of lines) reach the update button.
name=QRT_Update_OP_FWV2.04
ln -s "$gui" "$name"
mkdir program
sim_start program/sim.out "$qrtsim" --report program/report.json --dump-dir program/dump --max-seconds 240 \
  --exit-after-fwue || exit 1
# keys_to TITLE KEY...: waits (up to a minute) for the window TITLE to be shown, focuses it and types.
keys_to='win=$(timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) && [ -n "$win" ] &&
  xdotool windowfocus --sync "$win" && xdotool key --delay 100 "${@:2}"'
timeout 240 bash "$here/xvfb-run.sh" bash -c "
  keys_to() { $keys_to; }
  ./$name --port '$pty' >program/out 2>&1 &
  keys_to 'Orvelt&Pannik QRT Update' shift+Tab Down Down Down Down Tab Tab Tab space || exit 101
  keys_to '$name' Return || exit 102
  keys_to 'Orvelt&Pannik QRT Update' Escape || exit 103
  wait \$!" >program/log 2>&1
status=$?
sim_finish "$status"
check "qrtupdate-gui ends with status 0 (got $status; 101-103: a window was not seen)" test "$status" -eq 0
device_received program

if [ $fail -ne 0 ]; then
  for r in test program; do
    echo "--- $r"; tail -n 40 $r/log; [ -f $r/out ] && cat $r/out
    echo "--- $r: qrtsim report"; head -c 1500 $r/report.json; echo
  done
  exit 1
fi
echo "ok: the window test and qrtupdate-gui each updated a QRT1440 over COM1, every page byte-exact, then FWUE"
