#!/usr/bin/env bash
# The console program's update through a serial device server, as a user
# runs it: ser2net (Debian's package) on loopback with a configuration this
# script writes, its serial side a qrtsim pseudo-terminal at 19200n81,local.
# Scenarios, one ctest entry each:
#   full      full updates through RFC 2217 (with the record and --json) and
#             raw TCP, and COM3 mapped by QRTUPDATE_COM3 without --port,
#             every page byte-exact, "FWUE" last
#   drop      ser2net killed at main page 40: no success, no "FWUE", the end
#             within seconds; SIGTERM releases the connection (native)
#   refuse    nothing listening, an unknown host, a URL without its TCP port,
#             a raw port given as rfc2217://, a server that refuses 19200 baud
#             or never acknowledges a setting: each code 99 (64 for the URL)
#             with its reason, the device never reached
#   quirks    a server that never acknowledges the purge (the update goes on,
#             said once), a reply holding 0xFF that crosses once (a relay
#             between program and server plays both)
#   several   a network port beside a local one in one several-ports run
#
# usage: console_network.sh SCENARIO QRTUPDATE RUNNER QRTSIM
#   RUNNER is cmake/wine-run.sh for the Windows program, "" natively.
set -u
scenario=$1 qrtupdate=$2 runner=$3 qrtsim=$4
name=QRT_Update_OP_FWV2.04
here=$(cd "$(dirname "$0")" && pwd)
relay_py=$here/devserver_relay.py

. "$here/../qrtsim-lib.sh"
if ! command -v ser2net >/dev/null; then
  echo "FAIL: ser2net is not installed (tools/setup.sh installs it)"
  exit 1
fi
s2npid='' relaypid='' sim2pid=''
net_cleanup() {
  [ -n "$s2npid" ] && kill "$s2npid" 2>/dev/null && wait "$s2npid" 2>/dev/null
  [ -n "$relaypid" ] && kill "$relaypid" 2>/dev/null && wait "$relaypid" 2>/dev/null
  [ -n "$sim2pid" ] && kill "$sim2pid" 2>/dev/null && wait "$sim2pid" 2>/dev/null
  # Only the scenario that maps COM4 unmaps it: the other Wine tests that
  # share the prefix may have COM4 mapped at this moment.
  [ -n "$runner" ] && [ "$scenario" = several ] && rm -f "$WINEPREFIX/dosdevices/com4"
  return 0
}
console_test_start "console-network-$scenario" 1
sim_cleanup=net_cleanup

# free_port: a TCP port on loopback that nothing listens at now.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# listening PORT: true once something listens at PORT on loopback.
listening() { python3 - "$1" <<'EOF'
import socket, sys
s = socket.socket()
s.settimeout(1)
sys.exit(0 if s.connect_ex(("127.0.0.1", int(sys.argv[1]))) == 0 else 1)
EOF
}

# net_start OUT [qrtsim options...]: qrtsim on a pty and ser2net in front of
# it, with an RFC 2217 port (rport) and a raw TCP port (tport).
net_start() {
  local out=$1 _
  shift
  mkdir -p "$out"
  sim_start "$out/sim.out" "$qrtsim" --report "$out/sim.json" --dump-dir "$out/dump" --max-seconds 240 "$@" || return 1
  rport=$(free_port) tport=$(free_port)
  cat >"$out/ser2net.yaml" <<EOF
connection: &qrt-rfc2217
    accepter: telnet(rfc2217),tcp,127.0.0.1,$rport
    connector: serialdev,$pty,19200n81,local
connection: &qrt-raw
    accepter: tcp,127.0.0.1,$tport
    connector: serialdev,$pty,19200n81,local
    options:
      chardelay: false
EOF
  ser2net -n -d -c "$out/ser2net.yaml" -P "$out/ser2net.pid" >"$out/ser2net.log" 2>&1 &
  s2npid=$!
  for _ in $(seq 100); do
    listening "$rport" && listening "$tport" && return 0
    sleep 0.1
  done
  echo "FAIL: ser2net does not listen"; cat "$out/ser2net.log"
  return 1
}

# net_stop: ser2net and qrtsim stopped.
net_stop() {
  [ -n "$s2npid" ] && kill "$s2npid" 2>/dev/null && wait "$s2npid" 2>/dev/null
  s2npid=''
  sim_kill
}

# relay_start TARGET_PORT [relay options...]: the relay in front of a port;
# sets relay (its port).
relay_start() {
  local _
  python3 "$relay_py" "$@" >"$work/relay.out" 2>&1 &
  relaypid=$!
  relay=
  for _ in $(seq 100); do
    relay=$(head -n 1 "$work/relay.out" 2>/dev/null)
    [ -n "$relay" ] && return 0
    sleep 0.1
  done
  echo "FAIL: the relay printed no port"
  return 1
}
relay_stop() { [ -n "$relaypid" ] && kill "$relaypid" 2>/dev/null && wait "$relaypid" 2>/dev/null; relaypid=''; }

# run OUT ARGS...: the program with ARGS; status, OUT/lines (standard output),
# OUT/boxes (message boxes), OUT/errs (its own lines on standard error).
run() {
  local out=$1; shift
  mkdir -p "$out"
  if [ -n "$runner" ]; then
    timeout 240 bash "$runner" "$qrtupdate" --as "$name" "$@" >"$out/stdout" 2>"$out/stderr"
  else
    timeout 240 "$qrtupdate" --as "$name" "$@" >"$out/stdout" 2>"$out/stderr"
  fi
  status=$?
  # A run that did not end: what was still running then, for the failure's
  # report.
  if [ "$status" -eq 124 ]; then ps -eo pid,ppid,stat,etime,args >"$out/ps" 2>&1; fi
  tr -d '\r' <"$out/stdout" >"$out/lines"
  tr -d '\r' <"$out/stderr" | grep "^$name (" >"$out/boxes"
  tr -d '\r' <"$out/stderr" | grep "^qrtupdate: " >"$out/errs"
}

commands() { python3 -c 'import json,sys; print(" ".join(json.load(open(sys.argv[1]))["commands"]))' "$1"; }
full_commands="FWU0 pages main 350 FWU1 FWU pages ch1 80 FWU2 FWU pages ch2 80 FWU3 FWU pages ch3 80 FWU4 FWU pages ch4 80 FWUE"
success_box="$name (information): Firmware successfully updated! Please restart device!"

# check_full OUT: a whole update went through: status 0, the success box,
# every page byte-exact, FWUE last.
check_full() {
  local out=$1 what=$2
  check "$what: exit status 0 (got $status)" test "$status" -eq 0
  if [ "${json:-0}" = 1 ]; then
    check "$what: the success message" grep -q '"text":"Firmware successfully updated! Please restart device!"' \
      "$out/lines"
  else
    check "$what: the success box" test "$(grep -v "does not acknowledge a purge" "$out/boxes")" = "$success_box"
  fi
  sim_finish "$status"
  check "$what: every command, FWUE last" test "$(commands "$out/sim.json")" = "$full_commands"
  sim_check_qrt1440_pages "$out/dump"
}

# check_refused OUT CODE REASON: the run ended with CODE, no success, the
# reason in the program's own line, and the device received nothing.
check_refused() {
  local out=$1 code=$2 reason=$3
  check "$out: exit status $code (got $status)" test "$status" -eq "$code"
  check "$out: no success" test -z "$(grep -F "successfully" "$out/boxes")"
  check "$out: the reason '$reason'" grep -qF -- "$reason" "$out/errs"
}

case $scenario in
full)
  net_start "$work/rfc"
  url="rfc2217://127.0.0.1:$rport"
  run "$work/rfc" --interface COM3 --port "$url" --device QRT1440 --report "$(winpath "$work/rfc/record.json")" \
    --json update
  json=1 check_full "$work/rfc" "RFC 2217"
  check "the record: port, adapter, updated" python3 - "$work/rfc/record.json" "$url" <<'EOF'
import json, sys
r = json.load(open(sys.argv[1]))
assert r["interface"] == "COM3" and r["port"] == sys.argv[2], (r["interface"], r["port"])
assert r["adapter"]["description"] == "ser2net (%s)" % sys.argv[2], r["adapter"]
assert r["updated"] is True and r["code"] == 0
assert [c["confirmed"] for c in r["controllers"]] == [350, 80, 80, 80, 80]
EOF
  check "the JSON stream ends with result 0" test "$(tail -n 1 "$work/rfc/lines")" = \
    '{"event":"result","code":0,"meaning":"success","reason":null}'
  net_stop

  net_start "$work/raw"
  run "$work/raw" --interface COM3 --port "socket://127.0.0.1:$tport" --device QRT1440 update
  check_full "$work/raw" "raw TCP"
  net_stop

  # COM3 of the program reaches the server by its variable alone.
  net_start "$work/var"
  export QRTUPDATE_COM3="rfc2217://localhost:$rport"
  run "$work/var" --interface COM3 --device QRT1440 update
  unset QRTUPDATE_COM3
  check_full "$work/var" "QRTUPDATE_COM3"
  net_stop
  ;;

drop)
  net_start "$work/drop" --baud 115200
  url="rfc2217://127.0.0.1:$rport"
  # ser2net killed once main page 40 is confirmed.
  (
    for _ in $(seq 600); do
      grep -q "Page 40 of 350 - OK!" "$work/drop/stdout" 2>/dev/null && break
      sleep 0.05
    done
    kill -9 "$s2npid" 2>/dev/null
    date +%s.%N >"$work/drop/killed"
  ) &
  watcher=$!
  run "$work/drop" --interface COM3 --port "$url" --device QRT1440 update
  date +%s.%N >"$work/drop/ended"
  wait "$watcher"
  wait "$s2npid" 2>/dev/null
  s2npid=''
  case $status in 2 | 3 | 4 | 8) ;; *) check "killed server: code 2, 3, 4 or 8 (got $status)" false ;; esac
  check "killed server: no success" test -z "$(grep -F successfully "$work/drop/boxes")"
  check "killed server: 'Error occured' box" grep -q "Error occured! Code:$status" "$work/drop/boxes"
  sim_kill
  check "killed server: no FWUE" test -z "$(commands "$work/drop/sim.json" | grep -F FWUE)"
  # Bounded well above what it takes (about a second), so that a busy
  # machine does not fail it; a link that waited for every character would
  # take minutes.
  check "killed server: the end within seconds" python3 -c \
    "import sys; sys.exit(0 if float(open('$work/drop/ended').read()) - float(open('$work/drop/killed').read()) < 15 else 1)"

  if [ -z "$runner" ]; then
    # SIGTERM during the update (an asynchronous command of a script starts
    # with SIGINT ignored): 143, and the server's port is free again at once
    # (ser2net serves one connection at a time).
    net_start "$work/stop" --baud 115200
    url="rfc2217://127.0.0.1:$rport"
    "$qrtupdate" --as "$name" --interface COM3 --port "$url" --device QRT1440 update >"$work/stop/stdout" \
      2>"$work/stop/stderr" &
    pid=$!
    for _ in $(seq 600); do grep -q "Page 10 of 350 - OK!" "$work/stop/stdout" && break; sleep 0.05; done
    kill -TERM "$pid"
    wait "$pid"
    status=$?
    check "SIGTERM: exit status 143 (got $status)" test "$status" -eq 143
    run "$work/stop/again" --interface COM3 --port "$url" --device QRT1440 update
    check "after SIGTERM: the next update through the same port succeeds (got $status)" test "$status" -eq 0
    net_stop

    # SIGTERM after "FWUE" was written, while the program waits for the
    # server to confirm it (the relay holds that answer back two seconds):
    # the device is complete, and the run says so rather than the stop.
    net_start "$work/late"
    relay_start "$rport" --hold-reply 1:2=2
    "$qrtupdate" --as "$name" --interface COM3 --port "rfc2217://127.0.0.1:$relay" --device QRT1440 \
      --report "$work/late/record.json" update >"$work/late/stdout" 2>"$work/late/stderr" &
    pid=$!
    for _ in $(seq 1200); do grep -q "^held 1:2" "$work/relay.out" && break; sleep 0.05; done
    check "late stop: the relay held the answer after FWUE" grep -q "^held 1:2" "$work/relay.out"
    kill -TERM "$pid"
    wait "$pid"
    status=$?
    relay_stop
    tr -d '\r' <"$work/late/stderr" | grep "^$name (" >"$work/late/boxes"
    check_full "$work/late" "SIGTERM after FWUE"
    check "late stop: the stop is told, and that it cut nothing short" grep -q \
      "^qrtupdate: SIGTERM came after the closing command had been written to the device; the update was not cut short" \
      "$work/late/stderr"
    check "late stop: no stop line" test -z "$(grep -F "stopped by" "$work/late/stderr")"
    check "late stop: the record says updated, not interrupted" python3 - "$work/late/record.json" <<'EOF2'
import json, sys
r = json.load(open(sys.argv[1]))
assert r["code"] == 0 and r["updated"] is True and r["interrupted"] is False, (r["code"], r["updated"], r["interrupted"])
EOF2
    net_stop
  fi
  ;;

refuse)
  port=$(free_port)
  run "$work/nolisten" --interface COM3 --port "rfc2217://127.0.0.1:$port" --device QRT1440 update
  check_refused "$work/nolisten" 99 "connection refused"
  run "$work/nohost" --interface COM3 --port "rfc2217://no-such-host.invalid:4001" --device QRT1440 update
  check_refused "$work/nohost" 99 "unknown host 'no-such-host.invalid'"
  run "$work/noport" --interface COM3 --port "rfc2217://127.0.0.1" --device QRT1440 update
  check "URL without its TCP port: 64 (got $status)" test "$status" -eq 64
  run "$work/scheme" --interface COM3 --port "telnet://127.0.0.1:23" --device QRT1440 update
  check "another scheme: 64 (got $status)" test "$status" -eq 64
  export QRTUPDATE_COM3="rfc2217://127.0.0.1"
  run "$work/noportvar" --interface COM3 --device QRT1440 update
  unset QRTUPDATE_COM3
  check "QRTUPDATE_COM3 without its TCP port: 64 (got $status)" test "$status" -eq 64

  net_start "$work/servers"
  run "$work/raw" --interface COM3 --port "rfc2217://127.0.0.1:$tport" --device QRT1440 update
  check_refused "$work/raw" 99 "does not speak RFC 2217"
  relay_start "$rport" --answer 1=9600
  run "$work/baud" --interface COM3 --port "rfc2217://127.0.0.1:$relay" --device QRT1440 update
  check_refused "$work/baud" 99 "refused the baud rate 19200 (it answered 9600)"
  relay_stop
  relay_start "$rport" --drop-reply 4
  run "$work/stopbits" --interface COM3 --port "rfc2217://127.0.0.1:$relay" --device QRT1440 update
  check_refused "$work/stopbits" 99 "did not acknowledge the stop bits"
  relay_stop
  net_stop
  check "no update command reached the device" test -z "$(commands "$work/servers/sim.json" | grep FWU)"
  ;;

quirks)
  net_start "$work/nopurge"
  relay_start "$rport" --drop-reply 12
  run "$work/nopurge" --interface COM3 --port "rfc2217://127.0.0.1:$relay" --device QRT1440 update
  relay_stop
  check_full "$work/nopurge" "purge never acknowledged"
  check "purge never acknowledged: said once" test "$(grep -c "does not acknowledge a purge" "$work/nopurge/stderr")" -eq 1
  net_stop

  # The device's version reply holds 'Z', which the relay turns into 0xFF
  # (doubled, as Telnet carries it): the list line holds it once.
  net_start "$work/ff" --main-version 0203Z000
  relay_start "$rport" --data-ff
  run "$work/ff" --interface COM3 --port "rfc2217://127.0.0.1:$relay" --device QRT1440 update
  relay_stop
  check_full "$work/ff" "0xFF in a reply"
  # (On the terminal a byte that is not UTF-8 shows as '?'.)
  check "0xFF crosses once" test "$(head -n 1 "$work/ff/lines")" = \
    "Previous firmware main controller: 02.03?000"
  net_stop
  ;;

several)
  net_start "$work/several"
  # COM4 is a local port: a second qrtsim.
  "$qrtsim" --report "$work/several/sim4.json" --max-seconds 240 >"$work/several/sim4.out" &
  sim2pid=$!
  for _ in $(seq 100); do pty4=$(head -n 1 "$work/several/sim4.out"); [ -n "$pty4" ] && break; sleep 0.1; done
  if [ -n "$runner" ]; then
    ln -sfn "$pty4" "$WINEPREFIX/dosdevices/com4"
    export QRTUPDATE_COM3="rfc2217://127.0.0.1:$rport"
  else
    export QRTUPDATE_COM3="rfc2217://127.0.0.1:$rport" QRTUPDATE_COM4=$pty4
  fi
  run "$work/several" --interface COM3,COM4 --device QRT1440 --report "$(winpath "$work/several/fleet.json")" update
  unset QRTUPDATE_COM3 QRTUPDATE_COM4
  check "several: exit status 0 (got $status)" test "$status" -eq 0
  check "several: COM3's summary line names the URL" grep -q "^COM3	rfc2217://127.0.0.1:$rport	0	success	" \
    "$work/several/lines"
  check "several: COM4's summary line" grep -q "^COM4	.*	0	success	" "$work/several/lines"
  sim_finish "$status"
  kill "$sim2pid" 2>/dev/null; wait "$sim2pid" 2>/dev/null; sim2pid=''
  check "several: COM3 got every command" test "$(commands "$work/several/sim.json")" = "$full_commands"
  check "several: COM4 got every command" test "$(commands "$work/several/sim4.json")" = "$full_commands"
  sim_check_qrt1440_pages "$work/several/dump"
  check "several: the record" python3 - "$work/several/fleet.json" "rfc2217://127.0.0.1:$rport" <<'EOF'
import json, sys
d = json.load(open(sys.argv[1]))
assert d["code"] == 0
ports = {r["interface"]: r for r in d["devices"]}
assert ports["COM3"]["port"] == sys.argv[2] and ports["COM3"]["updated"] is True, ports["COM3"]
assert ports["COM3"]["adapter"]["description"].startswith("ser2net"), ports["COM3"]["adapter"]
assert ports["COM4"]["updated"] is True
EOF
  net_stop
  ;;
*)
  echo "usage: console_network.sh full|drop|refuse|quirks|several QRTUPDATE RUNNER QRTSIM" >&2
  exit 2
  ;;
esac

if [ $fail -ne 0 ]; then
  for f in "$work"/*/stderr "$work"/*/ser2net.log "$work"/*/ps; do echo "--- $f"; head -c 800 "$f"; echo; done
  exit 1
fi
echo "console update through a device server ($scenario): ok"
