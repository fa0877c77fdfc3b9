#!/usr/bin/env bash
# Stop signals during a console update over a COM port (qrtsim's pty; under
# Wine through Wine's COM port mapping). For each signal, sent once the list
# shows page 60 of the main controller: the exit status is 128 plus its
# number, the device never saw "FWUE" nor the rest of the pages, no error or
# success box follows, one line names the signal, and the port opens again at
# once (a "check" on it right after finds it free). Natively a second signal
# right after the first changes nothing.
# Under Wine only SIGINT is a Windows event (Wine turns it into CTRL_C_EVENT
# for the console handlers); SIGTERM and SIGHUP end a Wine process by Wine's
# own rules, without a Windows event, so they are tried natively only.
#
# usage: console_stop.sh QRTUPDATE RUNNER QRTSIM
#   RUNNER is cmake/wine-run.sh for the Windows program, "" natively.
set -u
qrtupdate=$1 runner=$2 qrtsim=$3
name=QRT_Update_OP_FWV2.04
com=COM2  # a port number of our own: other Wine tests map other ones

. "$(dirname "$0")/../qrtsim-lib.sh"
console_test_start console-stop 1
# Job control: a background job then keeps SIGINT as it is, instead of
# starting with it ignored.
set -m

# start_updater OUT ACTION: the program on qrtsim's pty, in the background (pid).
start_updater() {
  if [ -n "$runner" ]; then
    ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
    bash "$runner" "$qrtupdate" --as "$name" --interface $com --device QRT1440 --report record.json "$2" \
      >"$1/stdout" 2>"$1/stderr" &
  else
    "$qrtupdate" --as "$name" --interface $com --port "$pty" --device QRT1440 --report "$1/record.json" "$2" \
      >"$1/stdout" 2>"$1/stderr" &
  fi
  pid=$!
}

# stop_at_page SIGNAL EXPECTED [SECOND]: one update, stopped by SIGNAL after
# page 60; SECOND, if given, follows at once and must change nothing.
stop_at_page() {
  local sig=$1 expected=$2 second=${3:-} out=$work/$1 _ status
  mkdir -p "$out"
  # Paced at 115200 baud, so that the signal lands well inside the main
  # controller's 350 pages.
  if ! sim_start "$out/sim.out" "$qrtsim" --report "$out/report.json" --baud 115200 --max-seconds 120; then
    sim_kill
    fail=1
    return
  fi
  start_updater "$out" update
  # The signal goes once page 60 is confirmed, and only then: an update that
  # ends before (a reply the program gave up waiting for) is a failure of
  # its own, told with the program's own words, not a stop that came late.
  local deadline=$((SECONDS + 90)) reached=0
  while [ "$SECONDS" -lt "$deadline" ]; do
    if grep -q "^Page 60 of 350 - OK!" "$out/stdout" 2>/dev/null; then reached=1; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.02
  done
  if [ "$reached" = 0 ]; then
    kill -KILL "$pid" 2>/dev/null
    wait "$pid"
    echo "FAIL: $sig: the update never showed page 60, so no signal was sent (exit status $?; last list" \
      "line '$(tail -n 1 "$out/stdout" 2>/dev/null | tr -d '\r')'; $(tr -d '\r' <"$out/stderr" | grep '^qrtupdate:'))"
    sim_kill
    [ -n "$runner" ] && rm -f "$WINEPREFIX/dosdevices/${com,,}"
    fail=1
    return
  fi
  kill -s "$sig" "$pid"
  [ -n "$second" ] && kill -s "$second" "$pid"
  # The stop must be prompt: well within the 30 s the test allows.
  for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: $sig: the program is still running 30 s after the signal"
    kill -KILL "$pid"
    fail=1
  fi
  wait "$pid"
  status=$?
  tr -d '\r' <"$out/stderr" >"$out/err"
  # Under Wine the record lands in the working folder (a Windows path).
  [ -n "$runner" ] && mv -f record.json "$out/record.json" 2>/dev/null

  # The port is free again at once: the identification check opens it.
  mkdir -p "$out/again"
  start_updater "$out/again" check
  wait "$pid"
  tr -d '\r' <"$out/again/stderr" >"$out/again/err"
  sim_kill
  [ -n "$runner" ] && rm -f "$WINEPREFIX/dosdevices/${com,,}"

  check "$sig: exit status $expected (got $status)" test "$status" -eq "$expected"
  check "$sig: the line naming the signal" grep -q \
    "^qrtupdate: stopped by .*: the update did not end; the device needs a complete update$" "$out/err"
  check "$sig: no box after the stop" test -z "$(grep "^$name (" "$out/err")"
  check "$sig: page 60 was reached" grep -q "^Page 60 of 350 - OK!" "$out/stdout"
  check "$sig: no FWUE" grep -q '"commands": \["FWU0", "pages main [0-9]*"\]' "$out/report.json"
  local pages
  pages=$(grep -o '"pages main [0-9]*"' "$out/report.json" | grep -o '[0-9]*')
  check "$sig: the main controller's pages cut short (got ${pages:-none})" test "${pages:-350}" -lt 350
  # The update record says the run was stopped, with the stop's status, and
  # claims no more confirmed pages than the device received.
  check "$sig: the record says interrupted, code $expected, nothing updated" python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))
main = [c for c in r["controllers"] if c["name"] == "main"][0]
ok = (r["interrupted"] is True and r["code"] == int(sys.argv[2]) and r["updated"] is False
      and main["result"] != "ok" and main["confirmed"] <= int(sys.argv[3]) and r["messages"] == []
      and all(c["result"] == "not reached" for c in r["controllers"] if c["name"] != "main"))
sys.exit(0 if ok else 1)' "$out/record.json" "$expected" "${pages:-0}"
  check "$sig: the port opens again at once" test -z "$(grep "can not open port" "$out/again/err")"
  check "$sig: the check ran on the port" grep -q "^$name (" "$out/again/err"
}

if [ -z "$runner" ]; then
  # A second signal during the clean-up neither ends it nor changes the status.
  stop_at_page INT 130 TERM
  stop_at_page TERM 143
  stop_at_page HUP 129
else
  stop_at_page INT 130
fi

if [ $fail -ne 0 ]; then
  for f in "$work"/*/err "$work"/*/report.json "$work"/*/record.json "$work"/*/again/err; do echo "--- $f"; head -c 600 "$f"; echo; done
  exit 1
fi
echo "stop signals over COM: ok"
