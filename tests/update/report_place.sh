#!/usr/bin/env bash
# Where the update record (--report) may go, checked before the port opens:
# every refusal ends with exit status 73 and its reason on standard error,
# leaves the path as it was, and the device (qrtsim, its line left open)
# receives nothing at all. Refused: a missing folder, a read-only folder (a
# read-only bind mount, which root meets as the real thing), a device (a
# private mount namespace stands a node of its own in for /dev/null, so that
# a fault could never touch the system's), a FIFO, a folder, a symbolic
# link, a file that holds no record, and the names the update reads
# (containers, SHA256SUMS and its signature files). Then a record under a
# 255-byte name is written, and written again over the earlier one.
# Under Wine: the missing folder, a device name (COM1.json, NUL), the names
# the update reads and a file that holds no record.
#
# usage: report_place.sh QRTUPDATE RUNNER QRTSIM
set -u
qrtupdate=$1 runner=$2 qrtsim=$3
name=QRT_Update_OP_FWV2.04
com=COM6  # a port number of our own: other Wine tests map other ones

. "$(dirname "$0")/../qrtsim-lib.sh"
console_test_start report-place 1
if [ -n "$runner" ]; then prog=(bash "$runner" "$qrtupdate"); else prog=("$qrtupdate"); fi

# The simulator stays up for every refused run; its report must show that
# not one byte reached it.
sim_start "$work/sim.out" "$qrtsim" --max-seconds 240 --report "$work/sim-refused.json" || exit 1
if [ -n "$runner" ]; then
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
  port=()
else
  port=(--port "$pty")
fi

# refused WHAT REPORT_PATH [WRAPPER...]: the update with --report
# REPORT_PATH must end with 73 and say why, naming the path.
refused() {
  local what=$1 path=$2
  shift 2
  timeout 60 "$@" "${prog[@]}" --as "$name" --interface $com "${port[@]}" --device QRT1440 --json \
    --report "$path" update >"$work/stdout" 2>"$work/stderr"
  local rc=$?
  check "$what: exit status 73 (got $rc)" test "$rc" -eq 73
  check "$what: the reason names the path" grep -qF "qrtupdate: the update record cannot be written to $path: " "$work/stderr"
  check "$what: nothing was sent, it says" grep -qF "; nothing was sent to the device" "$work/stderr"
  check "$what: the stream's result is 73" bash -c "tail -n 1 '$work/stdout' | tr -d '\r' | grep -qF '\"code\":73'"
  reason=$(tr -d '\r' <"$work/stderr" | grep -F "cannot be written to" | sed 's/.*: \([^:]*\); nothing was sent.*/\1/')
}

mkdir plain
refused "missing folder" "$(winpath "$work/no-such-dir/unit.json")"
check "missing folder: said ($reason)" grep -qF "does not exist" "$work/stderr"
check "missing folder: not made" test ! -e "$work/no-such-dir"

for f in FW1C.qrt FW2B.qrt SHA256SUMS SHA256SUMS.sig SHA256SUMS.pem; do
  [ -e "$f" ] || printf 'bundle file\n' >"$f"
  sum=$(sha256sum "$f")
  refused "the update's $f" "$f"
  check "$f: said ($reason)" grep -qF "it is $f, a file the update reads" "$work/stderr"
  check "$f: unchanged" test "$(sha256sum "$f")" = "$sum"
done
rm -f SHA256SUMS SHA256SUMS.sig SHA256SUMS.pem

printf 'notes of the bench\n' >notes.txt
refused "a file that holds no record" notes.txt
check "notes.txt: unchanged" test "$(cat notes.txt)" = "notes of the bench"

if [ -n "$runner" ]; then
  for dev in COM1.json NUL; do
    refused "the device name $dev" "$dev"
    check "$dev: said ($reason)" grep -qF "it is a device" "$work/stderr"
  done
else
  mkfifo fifo.json
  refused "a FIFO" "$work/fifo.json"
  check "FIFO: still a FIFO" test -p fifo.json
  refused "a folder" "$work/plain"
  check "folder: still a folder, empty" test -d plain -a -z "$(ls -A plain)"
  printf '{"program": {}}\n' >target.json
  ln -s target.json link.json
  refused "a symbolic link" "$work/link.json"
  check "link: still a link to the same file" test "$(readlink link.json)" = target.json -a "$(cat target.json)" = '{"program": {}}'
  # A private mount namespace: a read-only bind mount, and a device node of
  # the namespace's own over /dev/null.
  mkdir ro nodes
  unshare -m bash -c '
    mount --bind ro ro && mount -o remount,bind,ro ro || exit 2
    mount -t tmpfs none nodes && mknod nodes/null c 1 3 && mount --bind nodes/null /dev/null || exit 2
    "$@"' -- "${prog[@]}" --as "$name" --interface $com "${port[@]}" --device QRT1440 --report "$work/ro/unit.json" \
    update >"$work/stdout" 2>"$work/stderr"
  rc=$?
  check "read-only folder: exit status 73 (got $rc)" test "$rc" -eq 73
  check "read-only folder: said" grep -qF "no file can be made in the folder $work/ro (Read-only file system)" "$work/stderr"
  refused "the device /dev/null" /dev/null unshare -m bash -c '
    mount -t tmpfs none nodes && mknod nodes/null c 1 3 && mount --bind nodes/null /dev/null || exit 2
    exec "$@"' --
  check "/dev/null: said ($reason)" grep -qF "it is a device, not a file" "$work/stderr"
  check "/dev/null: still a device" test -c /dev/null
fi

sim_kill
check "the device received nothing" python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))
sys.exit(0 if r["received_bytes"] == 0 and r["commands"] == [] else 1)' "$work/sim-refused.json"

# A record at a 255-byte name: its temporary name stays within the limit;
# twice, the second replacing the first.
if [ -z "$runner" ]; then
  long=$(printf 'r%.0s' $(seq 250)).json
  for run in first second; do
    sim_start "$work/sim.out" "$qrtsim" --max-seconds 240 --exit-after-fwue || exit 1
    timeout 120 "$qrtupdate" --as "$name" --interface $com --port "$pty" --device QRT1440 --report "$long" update \
      >"$work/stdout" 2>"$work/stderr"
    rc=$?
    sim_finish "$rc"
    check "255-byte name, $run run: exit status 0 (got $rc)" test "$rc" -eq 0
    check "255-byte name, $run run: a record" python3 -c '
import json, sys
sys.exit(0 if json.load(open(sys.argv[1]))["updated"] else 1)' "$long"
  done
  check "255-byte name: no temporary file left" test -z "$(ls -A | grep -F .part)"
fi

[ -n "$runner" ] && rm -f "$WINEPREFIX/dosdevices/${com,,}"
if [ $fail -ne 0 ]; then
  cat "$work/stderr"
  exit 1
fi
echo "the record's place: ok"
