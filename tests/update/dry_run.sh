#!/usr/bin/env bash
# update --dry-run as a service bench rehearses a production run, natively
# and with the Windows program under Wine, against qrtsim on a COM port:
#   a sound folder    exit 0, the plan (model, port, each controller with its
#                     container, digest and pages, the time at 19200 baud),
#                     with --json a "plan" event then "result", no record
#                     written, and qrtsim received no byte
#   one failure per check, each with its code and reason and nothing sent:
#     a missing container (7), a container not matching SHA256SUMS (7), the
#     record's folder missing (73), the port not there (99, also a USB
#     serial number no adapter reports), the port held
#     by an update running on it (99; natively only, see below)
#
# usage: dry_run.sh QRTUPDATE RUNNER QRTSIM
#   RUNNER is cmake/wine-run.sh for the Windows program, "" natively.
set -u
export LC_ALL=C
qrtupdate=$(realpath "$1") runner=$2 qrtsim=$(realpath "$3")
name=QRT_Update_OP_FWV2.04
com=COM14  # a port number of our own: other Wine tests map other ones

if [ ! -x "$qrtsim" ]; then
  echo "SKIP: no native qrtsim ($qrtsim); configure the Windows build with -DQRT_NATIVE_BIN=<native build>/bin"
  exit 77
fi

. "$(dirname "$0")/../qrtsim-lib.sh"
unmap() { [ -n "$runner" ] && rm -f "$WINEPREFIX/dosdevices/${com,,}"; }
holder=
stop_holder() {
  if [ -n "$holder" ]; then kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null; fi
  holder=
}
cleanup() { stop_holder; unmap; }
if [ -n "$runner" ]; then
  bindir=$(cd "$(dirname "$qrtupdate")" && pwd)
  export WINEPREFIX=${WINEPREFIX:-$(dirname "$bindir")/wineprefix}
fi
sim_workdir dry-run cleanup
fail=0
check() {  # check DESCRIPTION COMMAND...
  if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi
}
if [ -n "$runner" ]; then program=(bash "$runner" "$qrtupdate"); else program=("$qrtupdate"); fi
if [ -n "$runner" ]; then
  "${program[@]}" --help >/dev/null 2>&1 || { echo "FAIL: the program does not start under Wine"; exit 1; }
fi

cd "$work" || exit 1
sim_random_containers
sha256sum FW1A.qrt FW1C.qrt FW2A.qrt FW2B.qrt >SHA256SUMS
mkdir records

# port_of PTY: the --port option natively; under Wine the COM port mapped.
map() {
  if [ -n "$runner" ]; then ln -sfn "$1" "$WINEPREFIX/dosdevices/${com,,}"; port=(); else port=(--port "$1"); fi
}
# dry OUT [ARGS...]: a dry run of a QRT1440 update over $com with qrtsim
# listening, its report written when it is stopped; sets status.
dry() {
  local out=$work/$1
  shift
  mkdir -p "$out"
  sim_start "$out/sim.out" "$qrtsim" --report "$out/sim.json" --max-seconds 120 || { status=1; return; }
  map "$pty"
  timeout 120 "${program[@]}" --as "$name" --interface $com "${port[@]}" --device QRT1440 "$@" update --dry-run \
    >"$out/stdout" 2>"$out/stderr"
  status=$?
  sim_kill
  unmap
  tr -d '\r' <"$out/stdout" >"$out/out"
  tr -d '\r' <"$out/stderr" >"$out/err"
}
# untouched OUT: qrtsim heard no command and no byte.
untouched() {
  check "$1: no command reached the device" grep -q '"commands": \[\]' "$work/$1/sim.json"
  check "$1: no byte reached the device" grep -q '"received_bytes": 0,' "$work/$1/sim.json"
}

# ---- a sound folder -------------------------------------------------------------------
dry good --report records/unit1.json
check "good: exit 0 (got $status; $(cat "$work/good/err"))" test "$status" -eq 0
check "good: the model and port" grep -q "^dry run: QRT1440 on $com (" "$work/good/out"
main=$(sha256sum <FW1C.qrt | cut -c1-64) channel=$(sha256sum <FW2B.qrt | cut -c1-64)
check "good: the main controller's container, pages and digest" \
  grep -qxF "  main	FW1C.qrt	350 pages	sha256 $main" "$work/good/out"
for c in 1 2 3 4; do
  check "good: channel $c" grep -qxF "  ch$c	FW2B.qrt	80 pages	sha256 $channel" "$work/good/out"
done
# 350 + 4 x 80 pages of 532 characters and the rest at 1920 characters a
# second, with the protocol's pauses: about 3 min 7 s.
check "good: the time at 19200 baud" grep -qx "expected time at 19200 baud: 3 min [0-9]* s" "$work/good/out"
check "good: says nothing was sent" grep -q "nothing was sent" "$work/good/out"
check "good: no success box" test -z "$(grep -i success "$work/good/err")"
check "good: no record written" test ! -e records/unit1.json
check "good: the record's folder left as it was" test -z "$(ls -A records)"
untouched good

dry json --json
check "json: exit 0 (got $status)" test "$status" -eq 0
check "json: a plan event, then the result" test "$(jq -r .event "$work/json/out" | tr '\n' ' ')" = "plan result "
check "json: the plan's controllers" test "$(jq -r 'select(.event=="plan") | .controllers[] | "\(.name) \(.container) \(.pages) \(.sha256)"' \
  "$work/json/out" | tr '\n' ' ')" = \
  "main FW1C.qrt 350 $main ch1 FW2B.qrt 80 $channel ch2 FW2B.qrt 80 $channel ch3 FW2B.qrt 80 $channel ch4 FW2B.qrt 80 $channel "
check "json: model, interface, baud" test "$(jq -r 'select(.event=="plan") | "\(.model) \(.interface) \(.baud)"' \
  "$work/json/out")" = "QRT1440 $com 19200"
check "json: result 0" test "$(jq -r 'select(.event=="result") | .code' "$work/json/out")" = 0
untouched json

# ---- one failure per check --------------------------------------------------------
mv FW2B.qrt FW2B.keep
dry missing
check "missing container: exit 7 (got $status)" test "$status" -eq 7
check "missing container: says which" grep -q "^qrtupdate: code 7: .*FW2B.qrt" "$work/missing/err"
untouched missing
mv FW2B.keep FW2B.qrt

cp FW1C.qrt FW1C.keep
printf '\x00\xff' | dd of=FW1C.qrt bs=1 seek=5000 conv=notrunc status=none
cmp -s FW1C.qrt FW1C.keep && printf '\x01' | dd of=FW1C.qrt bs=1 seek=5000 conv=notrunc status=none
dry mismatch --json
check "SHA256SUMS mismatch: exit 7 (got $status)" test "$status" -eq 7
check "SHA256SUMS mismatch: its box, as a message event" grep -qF \
  '"text":"Firmware file FW1C.qrt does not match SHA256SUMS! Update abort!"' "$work/mismatch/out"
check "SHA256SUMS mismatch: the reason" grep -q "^qrtupdate: code 7: .*the SHA-256 of FW1C.qrt is" "$work/mismatch/err"
check "SHA256SUMS mismatch: no plan, the result 7" \
  test "$(jq -r '"\(.event) \(.code)"' "$work/mismatch/out" | grep -v '^message' | tr '\n' ' ')" = "result 7 "
untouched mismatch
mv FW1C.keep FW1C.qrt

dry norecord --report nothing/here/unit1.json
check "record folder missing: exit 73 (got $status)" test "$status" -eq 73
check "record folder missing: says which" \
  grep -q "^qrtupdate: .*nothing/here.* does not exist" \
  "$work/norecord/err"
check "record folder missing: no folder made" test ! -e nothing
untouched norecord

# The port not there: natively a path with no device, under Wine a COM
# port Wine does not map.
if [ -n "$runner" ]; then
  unmap
  timeout 120 "${program[@]}" --as "$name" --interface $com --device QRT1440 update --dry-run >"$work/noport.out" 2>"$work/noport.err"
else
  timeout 120 "$qrtupdate" --as "$name" --interface $com --port "$work/no-such-port" --device QRT1440 update --dry-run \
    >"$work/noport.out" 2>"$work/noport.err"
fi
status=$?
check "port not found: exit 99 (got $status)" test "$status" -eq 99
check "port not found: says so" grep -q "^qrtupdate: $com (.*) not opened: " <(tr -d '\r' <"$work/noport.err")
check "port not found: no plan" test -z "$(grep 'dry run:' "$work/noport.out")"

# A USB serial number no adapter here reports (QRTUPDATE_COM<n>=usb:SERIAL,
# as the windows take it too): 99, naming what is there.
QRTUPDATE_COM14=usb:QRT-NO-SUCH-ADAPTER timeout 120 "${program[@]}" --as "$name" --interface $com --device QRT1440 \
  update --dry-run >"$work/nousb.out" 2>"$work/nousb.err"
status=$?
check "usb serial not found: exit 99 (got $status)" test "$status" -eq 99
check "usb serial not found: says so" grep -q \
  "^qrtupdate: $com (usb:QRT-NO-SUCH-ADAPTER) not opened: no USB adapter with serial number QRT-NO-SUCH-ADAPTER is plugged in; " \
  <(tr -d '\r' <"$work/nousb.err")

# The port held: an update runs on it (qrtsim paced at 1200 baud keeps it
# busy for minutes); the dry run must not open it beside that update. Only
# natively: Wine lets a second process open a COM port another one holds
# (Windows itself refuses it with ERROR_ACCESS_DENIED, which the same open
# path turns into 99).
if [ -z "$runner" ]; then
  sim_start "$work/held.sim" "$qrtsim" --baud 1200 --verbose --max-seconds 240 2>"$work/held.log" || exit 1
  map "$pty"
  timeout 240 "${program[@]}" --as "$name" --interface $com "${port[@]}" --device QRT1440 update \
    >"$work/holder.out" 2>"$work/holder.err" &
  holder=$!
  for _ in $(seq 600); do grep -q "FWU0" "$work/held.log" && break; sleep 0.1; done
  check "held: the other update has started" grep -q "FWU0" "$work/held.log"
  timeout 120 "${program[@]}" --as "$name" --interface $com "${port[@]}" --device QRT1440 update --dry-run \
    >"$work/held.out" 2>"$work/held.err"
  status=$?
  check "port held: exit 99 (got $status)" test "$status" -eq 99
  check "port held: says why" grep -q "^qrtupdate: $com (.*) not opened: " <(tr -d '\r' <"$work/held.err")
  stop_holder
  sim_kill
  unmap
fi

if [ $fail -ne 0 ]; then
  for f in "$work"/*/err "$work"/*.err; do echo "--- $f"; head -c 800 "$f"; echo; done
  exit 1
fi
echo "dry run${runner:+ under Wine}: ok"
