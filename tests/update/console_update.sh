#!/usr/bin/env bash
# The console program's `update` action end to end, as a user runs it:
#   com   over a COM port to qrtsim's pseudo-terminal (under Wine through
#         Wine's COM port mapping: $WINEPREFIX/dosdevices/comN -> the pty)
#   gpib  over GPIB through the stand-in library, which plays the device
# A full QRT1440 update must end with the success box and exit status 0,
# every controller must have received its container's first pages, and a
# refused checksum must end with both boxes and exit status 3, an unconfirmed
# one with code 8, as must a line lost before "FWUE"; a FIFO container is
# refused before the port opens; over GPIB a descriptor that cannot be had
# ends as a device that does not answer. Over GPIB each string is one ibwrt
# (2,025 for a QRT1440), and the device receives the same bytes in the same
# order as the same update over a COM port gives it.
#
# usage: console_update.sh com|gpib QRTUPDATE RUNNER QRTSIM STANDIN_DIR
#   RUNNER is cmake/wine-run.sh for the Windows program, "" natively.
set -u
mode=$1 qrtupdate=$2 runner=$3 qrtsim=$4 standin=$5
name=QRT_Update_OP_FWV2.04
com=COM7  # a port number of our own: other Wine tests map other ones
[ "$mode" = gpib ] && com=COM17  # the COM reference of the GPIB run, beside the COM test

. "$(dirname "$0")/../qrtsim-lib.sh"
console_test_start console-update "$([ "$mode" = com ] && echo 1 || echo 0)"

# run_update OUTDIR [qrtsim fault options...]: one update over $via (the
# mode unless set); sets status.
run_update() {
  local out=$1; shift
  mkdir -p "$out"
  if [ "${via:-$mode}" = com ]; then
    local pty
    if ! sim_start "$out/sim.out" "$qrtsim" --report "$out/report.json" --dump-dir "$out/dump" --max-seconds 240 \
      --exit-after-fwue "$@"; then
      sim_kill
      status=1
      return
    fi
    if [ -n "$runner" ]; then
      ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
      timeout 240 bash "$runner" "$qrtupdate" --as "$name" --interface $com --device QRT1440 update >"$out/stdout" 2>"$out/stderr"
    else
      timeout 240 "$qrtupdate" --as "$name" --interface $com --port "$pty" --device QRT1440 update >"$out/stdout" 2>"$out/stderr"
    fi
    status=$?
    sim_finish "$status"
    [ -n "$runner" ] && rm -f "$WINEPREFIX/dosdevices/${com,,}"
  else
    local opts="--family 14x0 --channels 4 --report $(winpath "$out/report.json") --dump-dir $(winpath "$out/dump") $*"
    if [ -n "$runner" ]; then
      QRTSIM_GPIB=$opts WINEPATH="Z:$standin" bash "$runner" "$qrtupdate" --as "$name" --interface GPIB \
        --device QRT1440 update >"$out/stdout" 2>"$out/stderr"
    else
      QRTSIM_GPIB=$opts LD_LIBRARY_PATH="$standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$qrtupdate" --as "$name" \
        --interface GPIB --device QRT1440 update >"$out/stdout" 2>"$out/stderr"
    fi
    status=$?
  fi
  tr -d '\r' <"$out/stdout" >"$out/lines"
  # The message boxes; Wine and its server may write lines of their own.
  tr -d '\r' <"$out/stderr" | grep "^$name (" >"$out/boxes"
}

# A full update.
run_update "$work/full"
check "full update exits 0 (got $status)" test "$status" -eq 0
check "only the success box" test "$(cat "$work/full/boxes")" = \
  "$name (information): Firmware successfully updated! Please restart device!"
check "680 list lines" test "$(wc -l <"$work/full/lines")" -eq 680
check "version line first" test "$(head -n 1 "$work/full/lines")" = "Previous firmware main controller: 02.030000"
check "channel success last" test "$(tail -n 1 "$work/full/lines")" = "Channel controller update successful!"
check "FWUE last" grep -q '"FWU4", "FWU", "pages ch4 80", "FWUE"\]' "$work/full/report.json"
sim_check_qrt1440_pages "$work/full/dump"
if [ "$mode" = gpib ]; then
  check "one ibwrt per string" grep -q '"ibwrt_calls": 2025,' "$work/full/report.json"
  if [ -x "$qrtsim" ]; then
    via=com run_update "$work/fullcom"
    check "COM reference exits 0 (got $status)" test "$status" -eq 0
    digest() { grep -o '"received_\(bytes\|fnv1a\)": [^,]*' "$1"; }
    check "COM reference digest" test "$(digest "$work/fullcom/report.json" | wc -l)" -eq 2
    check "same bytes as over COM" test "$(digest "$work/full/report.json")" = "$(digest "$work/fullcom/report.json")"
  else
    echo "note: no native qrtsim, the GPIB bytes are not compared with a COM run"
  fi
  check "ibdev 0/30/0/12/0/0 and ibonl" grep -q '"ibdev": \[{"board": 0, "pad": 30, "sad": 0, "tmo": 12, "eot": 0, "eos": 0, "result": [0-9]*}\], "ibonl": \[{"ud": [0-9]*, "v": 0}\]' "$work/full/report.json"
fi

# A checksum refused at page 5: both boxes, exit status 3, nothing after.
run_update "$work/e2" --fault main:e2@5
check "refused checksum exits 3 (got $status)" test "$status" -eq 3
check "both boxes" test "$(cat "$work/e2/boxes")" = "$name (warning): Checksum Error!
$name (warning): Error occured! Code:3"
check "page 5 line last" test "$(tail -n 1 "$work/e2/lines")" = "Page 5 of 350 - ERROR!"
check "nothing after page 5" grep -q '"commands": \["FWU0", "pages main 5"\]' "$work/e2/report.json"

# A checksum answered neither "A2" nor "E2": every page goes out, then code 8
# and nothing after the main controller, no "FWUE".
run_update "$work/badsum" --fault main:badsum@350=A
check "unconfirmed checksum exits 8 (got $status)" test "$status" -eq 8
check "code 8 box only" test "$(cat "$work/badsum/boxes")" = "$name (warning): Error occured! Code:8"
check "no channel, no FWUE" grep -q '"commands": \["FWU0", "pages main 350"\]' "$work/badsum/report.json"

if [ "$mode" = com ]; then
  # The device drops off the line after the last channel: "FWUE" cannot be
  # written (EIO natively, a failed WriteFile under Wine).
  run_update "$work/gone" --fault ch4:hangup
  check "lost line before FWUE exits 8 (got $status)" test "$status" -eq 8
  check "code 8 box, no success" test "$(cat "$work/gone/boxes")" = "$name (warning): Error occured! Code:8"
  check "all channels done" test "$(tail -n 1 "$work/gone/lines")" = "Channel controller update successful!"

  # A FIFO named FW1C.qrt: refused at once, before the port is opened.
  mv FW1C.qrt FW1C.keep && mkfifo FW1C.qrt
  run_update "$work/fifo"
  check "FIFO container exits 7 (got $status)" test "$status" -eq 7
  check "missing or incomplete" test "$(cat "$work/fifo/boxes")" = \
    "$name (warning): Firmware file FW1C.qrt is missing or incomplete! Update abort!"
  check "port never used" grep -q '"commands": \[\]' "$work/fifo/report.json"
  rm FW1C.qrt && mv FW1C.keep FW1C.qrt
fi

# GPIB with a descriptor that cannot be had: the device never answers.
if [ "$mode" = gpib ]; then
  run_update "$work/nodev" --ibdev-fail
  check "failed ibdev exits 6 (got $status)" test "$status" -eq 6
  check "wrong or no device" test "$(cat "$work/nodev/boxes")" = \
    "$name (warning): Wrong or no device detected! - Process abort"
  check "no list line" test ! -s "$work/nodev/lines"
fi

if [ $fail -ne 0 ]; then
  for f in "$work"/*/stderr "$work"/*/report.json; do echo "--- $f"; head -c 600 "$f"; echo; done
  exit 1
fi
echo "console update over $mode: ok"
