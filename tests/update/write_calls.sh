#!/usr/bin/env bash
# One write call per outgoing string on a COM port, through the USB-serial
# adapter model: a full QRT1440 update by the console program with the
# adapter's frame library preloaded (it logs every write call on the port and
# makes it wait for the next 1 ms USB frame) against qrtsim behind a 2 ms
# latency timer. Every page must go out as three write calls (address, data,
# checksum) and every command as one, and every controller must receive its
# container's pages unchanged.
#
# usage: write_calls.sh QRTUPDATE QRTSIM FRAME_LIBRARY
set -u
qrtupdate=$1 qrtsim=$2 frames=$3

. "$(dirname "$0")/../qrtsim-lib.sh"
sim_workdir write-calls
cd "$work" || exit 1
sim_random_containers

sim_start sim.out "$qrtsim" --adapter-latency 2 --dump-dir dump --max-seconds 120 --exit-after-fwue || exit 1

# A sanitizer build wants its runtime first; the frame library comes before it.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" LD_PRELOAD=$frames QRT_ADAPTER_PORT=$pty \
  QRT_ADAPTER_LOG=$work/writes "$qrtupdate" --as QRT_Update_OP_FWV2.04 --interface COM3 --port "$pty" \
  --device QRT1440 update >stdout 2>stderr
status=$?
wait "$simpid"
simpid=

fail=0
check() {  # check DESCRIPTION COMMAND...
  if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi
}
check "the update succeeds (status $status)" [ "$status" -eq 0 ]
check "the success box" grep -q "Firmware successfully updated" stderr
# 350 main pages and 4 x 80 channel pages; FWU0 and the announcement, per
# channel FWUn, FWU and the announcement, and FWUE: 670 x 3 + 2 + 12 + 1.
calls=$(wc -l <writes)
check "2025 write calls on the port, not $calls" [ "$calls" -eq 2025 ]
data=$(grep -cx 512 writes)
check "each of the 670 pages' data in one write call, not $data" [ "$data" -eq 670 ]
sim_check_qrt1440_pages dump
[ "$fail" -eq 0 ] && echo "ok: $calls write calls for 670 pages"
exit $fail
