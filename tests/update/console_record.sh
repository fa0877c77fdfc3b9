#!/usr/bin/env bash
# The update record (--report) and the JSON Lines stream (--json) of the
# console program, against qrtsim on a pseudo-terminal (under Wine through
# Wine's COM port mapping):
#   a full update: code 0, "updated", every controller ok with all pages
#     confirmed, the containers' digests those of the files;
#   a checksum refused at page 5: 4 confirmed, "failed", the channels
#     "not reached", never "updated";
#   a port that does not open: 99, nothing reached;
#   version replies holding bytes 0x80-0xFF and control characters: the
#     record and the stream are still written and parse;
#   usage errors and a name without a brand keyword: the stream still ends
#     in "result", the record says how the run ended;
#   a record whose folder is missing: 73 before anything runs.
# Every stream line must parse as JSON, "result" must come last and nothing
# else may be on standard output.
#
# usage: console_record.sh QRTUPDATE RUNNER QRTSIM
#   RUNNER is cmake/wine-run.sh for the Windows program, "" natively.
set -u
qrtupdate=$1 runner=$2 qrtsim=$3
name=QRT_Update_OP_FWV2.04
com=COM8  # a port number of our own: other Wine tests map other ones

. "$(dirname "$0")/../qrtsim-lib.sh"
console_test_start console-record 1
[ -n "${KEEP:-}" ] && trap - EXIT

# qrt ARGS...: the console program, natively or under Wine.
if [ -n "$runner" ]; then prog=(bash "$runner" "$qrtupdate"); else prog=("$qrtupdate"); fi
qrt() { "${prog[@]}" "$@"; }

# run OUTDIR SIMARGS -- QRTARGS: one update against qrtsim with --json and
# --report OUTDIR/record.json; sets status.
run() {
  local out=$1; shift
  local sim=()
  while [ "$1" != -- ]; do sim+=("$1"); shift; done
  shift
  mkdir -p "$out"
  if ! sim_start "$out/sim.out" "$qrtsim" --max-seconds 120 --exit-after-fwue "${sim[@]}"; then
    sim_kill; status=1; return
  fi
  local port=(--port "$pty")
  if [ -n "$runner" ]; then
    ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
    port=()
  fi
  timeout 120 "${prog[@]}" --as "$name" --interface $com "${port[@]}" --device QRT1440 --json \
    --report "$(winpath "$out/record.json")" "$@" update >"$out/stdout" 2>"$out/stderr"
  status=$?
  sim_finish "$status"
  [ -n "$runner" ] && rm -f "$WINEPREFIX/dosdevices/${com,,}"
}

# stream_ok FILE: every line is a JSON object with an "event", and the last,
# and only the last, is the "result".
stream_ok() {
  python3 - "$1" <<'PY'
import json, sys
lines = open(sys.argv[1], 'rb').read().replace(b'\r\n', b'\n').split(b'\n')
assert lines[-1] == b'', 'no newline at the end'
events = [json.loads(l) for l in lines[:-1]]
assert events and all('event' in e for e in events), 'an object without event'
assert events[-1]['event'] == 'result', 'result not last'
assert all(e['event'] != 'result' for e in events[:-1]), 'result before the end'
PY
}

# rec FILE PYTHON-EXPRESSION: the expression over the record r holds.
rec() {
  python3 -c "import json,sys; r=json.load(open(sys.argv[1], encoding='utf-8')); sys.exit(0 if ($2) else 1)" "$1"
}
# last FILE PYTHON-EXPRESSION: the same over the stream's last line e.
last() {
  python3 -c "import json,sys; e=json.loads(open(sys.argv[1],'rb').read().splitlines()[-1]); sys.exit(0 if ($2) else 1)" "$1"
}

# A full update.
run "$work/full" --
check "full update exits 0 (got $status)" test "$status" -eq 0
check "full: stream parses, result last" stream_ok "$work/full/stdout"
check "full: result 0" last "$work/full/stdout" 'e == {"event": "result", "code": 0, "meaning": "success", "reason": None}'
check "full: record of a success" rec "$work/full/record.json" \
  'r["code"] == 0 and r["updated"] and not r["interrupted"] and r["device"] == "QRT1440" and r["brand"] == "OP"
   and r["firmware_version"] == "2.04" and r["interface"] == "COM8" and r["finished"].endswith("Z")
   and [(c["name"], c["result"], c["pages"], c["confirmed"]) for c in r["controllers"]]
       == [("main", "ok", 350, 350)] + [("ch%d" % n, "ok", 80, 80) for n in range(1, 5)]
   and r["controllers"][0]["identification"] == "QRT1440"'
check "full: digests of the files" rec "$work/full/record.json" \
  "[(c['file'], c['bytes'], c['sha256'], c['listed_in']) for c in r['containers']] == [
     ('FW1C.qrt', 128000, '$(sha256sum <FW1C.qrt | cut -c1-64)', None),
     ('FW2B.qrt', 128000, '$(sha256sum <FW2B.qrt | cut -c1-64)', None)]"
check "full: controller events" python3 -c '
import json, sys
ev = [json.loads(l) for l in open(sys.argv[1], "rb")]
got = [(e["name"], e["state"]) for e in ev if e["event"] == "controller"]
want = [(n, s) for n in ["main", "ch1", "ch2", "ch3", "ch4"] for s in ["started", "ok"]]
bars = [e for e in ev if e["event"] == "progress"]
sys.exit(0 if got == want and len(bars) >= 670 and all(e["lower"] <= e["pos"] <= e["upper"] for e in bars) else 1)' "$work/full/stdout"

# A checksum refused at page 5.
run "$work/e2" --fault main:e2@5 --
check "e2 exits 3 (got $status)" test "$status" -eq 3
check "e2: stream parses, result last" stream_ok "$work/e2/stdout"
check "e2: record" rec "$work/e2/record.json" \
  'r["code"] == 3 and not r["updated"] and r["meaning"] == json.loads(open(sys.argv[1][:-11] + "stdout").read().splitlines()[-1])["meaning"]
   and [(c["name"], c["result"], c["confirmed"]) for c in r["controllers"]]
       == [("main", "failed", 4)] + [("ch%d" % n, "not reached", 0) for n in range(1, 5)]
   and r["controllers"][1]["identification"] is None
   and [m["text"] for m in r["messages"]] == ["Checksum Error!", "Error occured! Code:3"]'
check "e2: the result and the record say where" rec "$work/e2/record.json" \
  'r["reason"] == "a page\x27s checksum refused by the device; at controller main, page 5 of 350, file FW1C.qrt"
   and r["reason"] == json.loads(open(sys.argv[1][:-11] + "stdout").read().splitlines()[-1])["reason"]'

# A port that does not open.
mkdir -p "$work/noport"
if [ -n "$runner" ]; then port=(); else port=(--port "$work/no-such-tty"); fi
qrt --as "$name" --interface COM9 "${port[@]}" --device QRT1440 --json --report "$(winpath "$work/noport/record.json")" \
  update >"$work/noport/stdout" 2>"$work/noport/stderr"
status=$?
check "no port exits 99 (got $status)" test "$status" -eq 99
check "no port: stream parses" stream_ok "$work/noport/stdout"
check "no port: record" rec "$work/noport/record.json" \
  'r["code"] == 99 and not r["updated"] and r["interface"] == "COM9"
   and all(c["result"] == "not reached" for c in r["controllers"]) and len(r["controllers"]) == 5
   and r["messages"] == [{"icon": "warning", "text": "can not open port!"}]'

# Replies holding bytes no text encoding expects.
run "$work/bytes" --main-version $'0\x80\xff\x01\x1b\x7f00' --channel-version $'2=\t\xc3\x28\xfe\r\n00' --
check "odd bytes exits 0 (got $status)" test "$status" -eq 0
check "odd bytes: stream parses" stream_ok "$work/bytes/stdout"
check "odd bytes: record parses, bytes replaced" rec "$work/bytes/record.json" \
  'r["code"] == 0 and r["controllers"][0]["previous_version"] == "0\ufffd\ufffd\x01\x1b\x7f00"
   and r["controllers"][2]["previous_version"].startswith("\t\ufffd(")'

# Usage errors and a name without a brand keyword still end in "result".
for args in "--json --bogus" "--bogus --json" "--json --device" "--json --interface USB update"; do
  # shellcheck disable=SC2086
  qrt $args >"$work/usage.out" 2>"$work/usage.err"
  status=$?
  check "'$args' exits 64 (got $status)" test "$status" -eq 64
  check "'$args': stream parses" stream_ok "$work/usage.out"
  check "'$args': result 64" last "$work/usage.out" 'e["code"] == 64 and e["meaning"] == "usage error"'
  check "'$args': the reason on standard error" grep -q "^qrtupdate: " "$work/usage.err"
done
qrt --as plain.exe --json --report "$(winpath "$work/nobrand.json")" show >"$work/nobrand.out" 2>"$work/nobrand.err"
status=$?
check "no brand exits 78 (got $status)" test "$status" -eq 78
check "no brand: stream parses" stream_ok "$work/nobrand.out"
check "no brand: record" rec "$work/nobrand.json" \
  'r["code"] == 78 and r["device"] is None and r["controllers"] == [] and r["brand"] is None and not r["updated"]'
# Human text never reaches the stream.
qrt --as "$name" --json show info >"$work/show.out" 2>"$work/show.err"
check "show: only the result on the stream" last "$work/show.out" 'e["event"] == "result" and e["code"] == 0'
check "show: one line" test "$(wc -l <"$work/show.out")" -eq 1
check "show: window state on standard error" grep -q "^title: " "$work/show.err"
qrt --json --help >"$work/help.out" 2>"$work/help.err"
check "help: only the result on the stream" stream_ok "$work/help.out"
check "help: text on standard error" grep -q "^usage: qrtupdate" "$work/help.err"
# A record that cannot be written is found out before anything runs: 73,
# the reason said, and the stream still ends in "result".
qrt --as "$name" --json --report "$(winpath "$work/no-such-dir/r.json")" show >"$work/norec.out" 2>"$work/norec.err"
status=$?
check "unwritable record: 73 before the run (got $status)" test "$status" -eq 73
check "unwritable record: said" grep -q "^qrtupdate: the update record cannot be written to .*no-such-dir/r.json: " "$work/norec.err"
check "unwritable record: nothing shown" bash -c "! grep -q '^title: ' '$work/norec.err'"
check "unwritable record: result 73" last "$work/norec.out" 'e["code"] == 73'
check "unwritable record: no folder made" test ! -e "$work/no-such-dir"

if [ $fail -ne 0 ]; then
  for f in "$work"/*/stderr "$work"/*/record.json; do echo "--- $f"; head -c 1500 "$f"; echo; done
  exit 1
fi
echo "console record and JSON stream: ok"
