#!/usr/bin/env bash
# Several COM ports in one update: one qrtsim per port, each on its own pty
# (under Wine through Wine's COM port mapping). Every simulator keeps its
# line open after "FWUE", as a real power supply does, and the program must
# end within 30 s of the last "FWUE" it sent. One scenario per run:
#   three          three ports, the second refusing page 8's checksum: the
#                  first and third get every page and "FWUE", the second stops
#                  alone at page 8 without "FWUE"; the transfers overlap;
#                  every list line is prefixed with its port; the summary (in
#                  the order given) and the exit status say 3; the record
#                  holds the three ports' records in that order
#   first-failure  two ports failing with different codes (4, then 3): the
#                  exit status and the record's code are the first port's
#   json           two ports with --json: every event carries its interface,
#                  each port ends with one port_result, the one result is the
#                  last line, nothing else is on standard output
#   killed         one port's process killed: that port is lost (70), the
#                  others finish
#   stop           SIGINT to the program: every child stops, no device gets
#                  "FWUE", each port opens again at once with its settings as
#                  before, status 130 (natively and under Wine)
#   tty            on a terminal: one line per port rewritten in place
#   usage          each usage error (64) before anything runs
#   wine           under Wine, COM3 and COM4 (names Windows keeps for its
#                  devices): both updated at once, the program ends, and the
#                  merged record says updated with code 0 for each
#
# usage: console_several.sh SCENARIO QRTUPDATE RUNNER QRTSIM
#   RUNNER is cmake/wine-run.sh for the Windows program, "" natively.
set -u
scenario=$1 qrtupdate=$2 runner=$3 qrtsim=$4
name=QRT_Update_OP_FWV2.04
# Port numbers of our own: other Wine tests map other ones. The Windows
# scenario takes low numbers on purpose: COM1 to COM9 are device names there
# even with an extension.
coms=(COM21 COM22 COM23)
[ "$scenario" = wine ] && coms=(COM3 COM4)
case $scenario in
  three | first-failure | json | killed | stop | tty | usage | wine) ;;
  *)
    echo "usage: $0 three|first-failure|json|killed|stop|tty|usage|wine QRTUPDATE RUNNER QRTSIM" >&2
    exit 2
    ;;
esac

if [ ! -x "$qrtsim" ]; then
  echo "SKIP: no native qrtsim ($qrtsim); configure the Windows build with -DQRT_NATIVE_BIN=<native build>/bin"
  exit 77
fi

. "$(dirname "$0")/../qrtsim-lib.sh"
sims=()
stop_sims() {
  local p
  for p in "${sims[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  sims=()
  if [ -n "$runner" ]; then for c in "${coms[@]}"; do rm -f "$WINEPREFIX/dosdevices/${c,,}"; done; fi
}
# end_sims: after an update; the simulators keep their lines open, as a
# device does, and are stopped; each writes its report as it ends.
end_sims() { stop_sims; }
sim_workdir "console-several-$scenario" stop_sims
cd "$work" || exit 1
sim_random_containers
# Job control: a background job keeps SIGINT instead of starting with it ignored.
set -m

fail=0
check() {  # check DESCRIPTION COMMAND...
  if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi
}

if [ -n "$runner" ]; then
  bindir=$(cd "$(dirname "$qrtupdate")" && pwd)
  export WINEPREFIX=${WINEPREFIX:-$(dirname "$bindir")/wineprefix}
  bash "$runner" "$qrtupdate" --help >/dev/null 2>&1
  prog=(bash "$runner" "$qrtupdate")
else
  prog=("$qrtupdate")
fi

# start_sims OUTDIR ARGS1 ARGS2 ...: one qrtsim per argument string (split at
# spaces), the i-th on coms[i]; ptys[i] its slave.
start_sims() {
  local out=$1 i=0 a
  shift
  mkdir -p "$out"
  ptys=()
  for a in "$@"; do
    # shellcheck disable=SC2086
    # --verbose: each command on its standard error, "FWUE" included.
    if ! sim_start "$out/sim$i.out" bash -c 'err=$1; shift; exec "$@" 2>"$err"' _ "$out/sim$i.err" \
      "$qrtsim" --max-seconds 180 --verbose --report "$out/sim$i.json" $a; then
      return 1
    fi
    sims+=("$simpid")
    simpid=
    ptys+=("$pty")
    if [ -n "$runner" ]; then
      ln -sfn "$pty" "$WINEPREFIX/dosdevices/${coms[$i],,}"
    else
      export "QRTUPDATE_${coms[$i]}=$pty"
    fi
    i=$((i + 1))
  done
}

# A sim report's commands, one line: "FWU0 | pages main 350 | ...".
commands() {
  python3 -c 'import json,sys; print(" | ".join(json.load(open(sys.argv[1]))["commands"]))' "$1"
}
full='FWU0 | pages main 350 | FWU1 | FWU | pages ch1 80 | FWU2 | FWU | pages ch2 80 | FWU3 | FWU | pages ch3 80 | FWU4 | FWU | pages ch4 80 | FWUE'

# wait_for FILE PATTERN PID: until FILE holds PATTERN or PID has ended (30 s at most).
wait_for() {
  local _
  for _ in $(seq 1500); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    kill -0 "$3" 2>/dev/null || return 1
    sleep 0.02
  done
  return 1
}

# ended PID: waits for it (30 s at most, then kills it); sets status.
ended() {
  local _
  for _ in $(seq 300); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$1" 2>/dev/null; then
    echo "FAIL: the program is still running 30 s on"
    kill -KILL "$1"
    fail=1
  fi
  wait "$1"
  status=$?
}

# run_bounded OUT "I J ..." ARGS...: runs the program with ARGS in the
# background (stdout and stderr in OUT). Once the simulators I, J, ... have
# all received "FWUE", or the program has ended (180 s at most), it has 30 s
# to end: a program that waits on a line the device keeps open fails here.
# Sets status.
run_bounded() {
  local out=$1 expect=$2 _ i all
  shift 2
  "${prog[@]}" "$@" >"$out/stdout" 2>"$out/stderr" &
  local pid=$!
  for _ in $(seq 1800); do
    kill -0 "$pid" 2>/dev/null || break
    all=1
    for i in $expect; do grep -qx 'qrtsim: FWUE' "$out/sim$i.err" 2>/dev/null || all=0; done
    [ -n "$expect" ] && [ $all -eq 1 ] && break
    sleep 0.1
  done
  ended "$pid"
}

# ---- three ports, the second refusing page 8 ------------------------------
scenario_three() {
  out=$work/three
  if start_sims "$out" "" "--fault main:e2@8" ""; then
    run_bounded "$out" "0 2" --as "$name" --interface "${coms[0]},${coms[1]}" --interface "${coms[2]}" \
      --device QRT1440 --report "$out/record.json" update
    end_sims
    check "three: exit status 3 (got $status)" test "$status" -eq 3
    for i in 0 2; do
      check "three: ${coms[$i]} got every page and FWUE" test "$(commands "$out/sim$i.json")" = "$full"
    done
    check "three: ${coms[1]} stopped alone at page 8, no FWUE" test "$(commands "$out/sim1.json")" = "FWU0 | pages main 8"
    printf '%s\t%s\t0\tsuccess\t\n%s\t%s\t3\ta page'"'"'s checksum refused by the device\t\n%s\t%s\t0\tsuccess\t\n' \
      "${coms[0]}" "${ptys[0]}" "${coms[1]}" "${ptys[1]}" "${coms[2]}" "${ptys[2]}" >"$out/summary.expected"
    tail -n 3 "$out/stdout" | sed 's/\t[0-9]*\.[0-9][0-9]$/\t/' >"$out/summary"
    check "three: the summary lines, in the order given" cmp -s "$out/summary" "$out/summary.expected"
    check "three: every other line prefixed by its port" test -z "$(head -n -3 "$out/stdout" | grep -v '^COM2[123]: ')"
    check "three: list lines prefixed" grep -q "^${coms[2]}: Page 5 of 350 - OK!$" "$out/stdout"
    check "three: the refusal's box prefixed, on stderr" grep -q "^${coms[1]}: $name (warning): Checksum Error!$" "$out/stderr"
    # The transfers overlap: each full port's first page comes before the
    # other's last one.
    check "three: the transfers overlap" python3 - "$out/stdout" "${coms[0]}" "${coms[2]}" <<'PY'
import re, sys
first, last = {}, {}
for i, line in enumerate(open(sys.argv[1])):
    m = re.match(r'(COM\d+): Page \d+ of \d+', line)
    if m and m.group(1) in sys.argv[2:4]:
        first.setdefault(m.group(1), i)
        last[m.group(1)] = i
sys.exit(0 if len(first) == 2 and max(first.values()) < min(last.values()) else 1)
PY
    check "three: the record of the three ports" python3 - "$out/record.json" "${coms[@]}" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert list(d) == ['devices', 'code'] and d['code'] == 3, d.keys()
assert [r['interface'] for r in d['devices']] == sys.argv[2:5]
assert [r['code'] for r in d['devices']] == [0, 3, 0]
assert [r['updated'] for r in d['devices']] == [True, False, True]
bad = {c['name']: (c['result'], c['confirmed']) for c in d['devices'][1]['controllers']}
assert bad['main'] == ('failed', 7) and bad['ch1'][0] == 'not reached', bad
PY
  else
    fail=1
  fi
  stop_sims
}

# ---- two ports failing with different codes -------------------------------------
# The first port given fails later (no address echo at page 40, code 4) than
# the second (checksum refused at page 3, code 3): the status is the first
# port's, neither the last failing port's nor the first to fail.
scenario_first_failure() {
  out=$work/first-failure
  if start_sims "$out" "--fault main:addr@40" "--fault main:e2@3"; then
    run_bounded "$out" "" --as "$name" --interface "${coms[0]},${coms[1]}" --device QRT1440 \
      --report "$out/record.json" update
    end_sims
    check "first-failure: exit status 4, the first port's (got $status)" test "$status" -eq 4
    check "first-failure: ${coms[0]} says 4" grep -q "^${coms[0]}	${ptys[0]}	4	" "$out/stdout"
    check "first-failure: ${coms[1]} says 3" grep -q "^${coms[1]}	${ptys[1]}	3	" "$out/stdout"
    check "first-failure: the record's code is the first port's" python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
assert d["code"] == 4 and [r["code"] for r in d["devices"]] == [4, 3], (d["code"], [r["code"] for r in d["devices"]])
assert not any(r["updated"] for r in d["devices"])' "$out/record.json"
  else
    fail=1
  fi
  stop_sims
}

# ---- --json with two ports ---------------------------------------------------
scenario_json() {
  out=$work/json
  if start_sims "$out" "" ""; then
    run_bounded "$out" "0 1" --as "$name" --interface "${coms[0]},${coms[1]}" --device QRT1440 --json \
      --report "$out/record.json" update
    end_sims
    check "json: exit status 0 (got $status)" test "$status" -eq 0
    check "json: every event tagged, one port_result per port, the one result last" python3 - "$out/stdout" "${coms[0]}" "${coms[1]}" <<'PY'
import json, sys
lines = open(sys.argv[1], 'rb').read().split(b'\n')
assert lines[-1] == b''
events = [json.loads(l) for l in lines[:-1]]
assert events[-1] == {'event': 'result', 'code': 0, 'meaning': 'success', 'reason': None}, events[-1]
assert sum(e['event'] == 'result' for e in events) == 1, 'more than one result'
ports = sys.argv[2:4]
assert all(e.get('interface') in ports for e in events[:-1])
for p in ports:
    mine = [e for e in events if e.get('interface') == p]
    assert mine[-1] == {'event': 'port_result', 'interface': p, 'code': 0, 'meaning': 'success', 'reason': None}, mine[-1]
    assert sum(e['event'] == 'port_result' for e in mine) == 1
    assert sum(e['event'] == 'list' and e['text'].startswith('Page ') for e in mine) == 350 + 4 * 80
    assert [e['state'] for e in mine if e['event'] == 'controller'] == ['started', 'ok'] * 5
PY
    check "json: the summary on stderr" grep -q "^${coms[1]}	${ptys[1]}	0	success	" "$out/stderr"
    check "json: the record" python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
assert d["code"] == 0 and len(d["devices"]) == 2 and all(r["updated"] for r in d["devices"])
assert all(c["confirmed"] == c["pages"] and c["result"] == "ok" for r in d["devices"] for c in r["controllers"])' \
      "$out/record.json"
  else
    fail=1
  fi
  stop_sims
}

# ---- one port's process killed ------------------------------------------------
scenario_killed() {
  out=$work/killed
  if start_sims "$out" "" "--baud 115200" ""; then
    "${prog[@]}" --as "$name" --interface "${coms[0]},${coms[1]},${coms[2]}" --device QRT1440 \
      --report "$out/record.json" update >"$out/stdout" 2>"$out/stderr" &
    pid=$!
    wait_for "$out/stdout" "^${coms[1]}: Page 20 of 350" "$pid"
    # The child whose command line names the second port.
    child=$(ps -o pid=,args= --ppid "$pid" | awk -v c="${coms[1]}" '$0 ~ "--interface " c " " {print $1}')
    check "killed: the second port's process found" test -n "$child"
    [ -n "$child" ] && kill -KILL "$child"
    ended "$pid"
    end_sims
    check "killed: exit status 70 (got $status)" test "$status" -eq 70
    check "killed: its summary line says 70" grep -q "^${coms[1]}	${ptys[1]}	70	" "$out/stdout"
    check "killed: the reason on stderr" grep -q "^qrtupdate: ${coms[1]}: the update's process killed by signal 9 (SIGKILL)" "$out/stderr"
    for i in 0 2; do
      check "killed: ${coms[$i]} finished" grep -q "^${coms[$i]}	${ptys[$i]}	0	success	" "$out/stdout"
      check "killed: ${coms[$i]} got FWUE" test "$(commands "$out/sim$i.json")" = "$full"
    done
    check "killed: the record says so" python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
assert d["code"] == 70 and [r["code"] for r in d["devices"]] == [0, 70, 0]
assert d["devices"][1]["interface"] == sys.argv[2] and d["devices"][1]["updated"] is False' "$out/record.json" "${coms[1]}"
  else
    fail=1
  fi
  stop_sims
}

# ---- SIGINT during an update of two ports (natively and under Wine) --------------
scenario_stop() {
out=$work/stop
if start_sims "$out" "--baud 115200" "--baud 115200"; then
  before=()
  if [ -z "$runner" ]; then for i in 0 1; do before+=("$(stty -g -F "${ptys[$i]}")"); done; fi
  rec=$out/record.json
  [ -n "$runner" ] && rec=Z:$out/record.json
  "${prog[@]}" --as "$name" --interface "${coms[0]},${coms[1]}" --device QRT1440 --report "$rec" update \
    >"$out/stdout" 2>"$out/stderr" &
  pid=$!
  wait_for "$out/stdout" "^${coms[0]}: Page 20 of 350" "$pid" && wait_for "$out/stdout" "^${coms[1]}: Page 20 of 350" "$pid"
  kill -INT "$pid"
  ended "$pid"
  tr -d '\r' <"$out/stdout" >"$out/out"
  check "stop: exit status 130 (got $status)" test "$status" -eq 130
  for i in 0 1; do
    check "stop: ${coms[$i]} reports 130" grep -q "^${coms[$i]}	.*	130	stopped by SIGINT" "$out/out"
    if [ -z "$runner" ]; then
      check "stop: ${coms[$i]}'s settings as before" test "$(stty -g -F "${ptys[$i]}")" = "${before[$i]}"
    fi
  done
  check "stop: the record says interrupted" python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
assert d["code"] == 130 and all(r["interrupted"] and r["code"] == 130 for r in d["devices"])' "$out/record.json"
  # Each port is free again at once: a dry run opens it with the update's
  # settings (and takes its lock) and sends nothing.
  for i in 0 1; do
    "${prog[@]}" --as "$name" --interface "${coms[$i]}" --device QRT1440 --dry-run update \
      >"$out/again$i.out" 2>"$out/again$i.err"
    rc=$?
    check "stop: ${coms[$i]} opens again (dry run: $rc, $(head -c 300 "$out/again$i.err"))" test "$rc" -eq 0
  done
  # qrtsim writes its report when it ends.
  stop_sims
  for i in 0 1; do
    c=$(commands "$out/sim$i.json")
    check "stop: ${coms[$i]} cut short without FWUE (got $c)" bash -c '[[ "$1" =~ ^FWU0\ \|\ pages\ main\ [0-9]+$ ]] && [ "${1##* }" -lt 350 ]' _ "$c"
  done
else
  fail=1
fi
stop_sims
}

# ---- Windows: two ports at once, on COM3 and COM4 ------------------------------
scenario_wine() {
  out=$work/wine
  # A name with spaces, quotes and backslashes (before a quote and before a
  # letter) reaches each child whole; the part after the last backslash is
  # the file name that chooses the brand.
  wname='C:\odd \\"dir\\\QRT_Update_OP_FWV2.04 a" b'
  wfile='QRT_Update_OP_FWV2.04 a" b'
  if start_sims "$out" "" ""; then
    # The record as a production line names it: relative, in the folder the
    # program works in.
    cd "$out" || exit 1
    cp "$work"/FW*.qrt . || exit 1
    run_bounded "$out" "0 1" --as "$wname" --interface "${coms[0]}" --interface "${coms[1]}" --device QRT1440 \
      --report fleet.json update
    cd "$work" || exit 1
    end_sims
    tr -d '\r' <"$out/stdout" >"$out/out"
    tr -d '\r' <"$out/stderr" >"$out/err"
    check "wine: exit status 0 (got $status)" test "$status" -eq 0
    check "wine: every child wrote its record" test -z "$(grep 'record cannot be written' "$out/err")"
    got=()
    for i in 0 1; do
      c=$(commands "$out/sim$i.json")
      check "wine: ${coms[$i]} got every page and FWUE" test "$c" = "$full"
      [ "$c" = "$full" ] && got+=("${coms[$i]}")
      check "wine: ${coms[$i]}'s summary line" grep -q "^${coms[$i]}	//./${coms[$i]}	0	success	[0-9.]*$" "$out/out"
      check "wine: ${coms[$i]}'s list lines prefixed" grep -q "^${coms[$i]}: Page 80 of 80 - OK!$" "$out/out"
    done
    # Each device that received every page and "FWUE" is recorded as
    # updated, with code 0: a line reading the record would flash it again
    # otherwise.
    check "wine: the record" python3 - "$out/fleet.json" "$wfile" "${coms[0]}" "${coms[1]}" "${got[@]}" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert d["code"] == 0, d["code"]
assert [r["interface"] for r in d["devices"]] == sys.argv[3:5]
for r in d["devices"]:
    if r["interface"] in sys.argv[5:]:
        assert r["updated"] is True and r["code"] == 0, (r["interface"], r["updated"], r["code"], r["messages"])
assert all(r["program"]["name"] == sys.argv[2] for r in d["devices"]), [r["program"] for r in d["devices"]]
PY
  else
    fail=1
  fi
  stop_sims
}

# ---- on a terminal: one line per port, rewritten in place -----------------------
scenario_tty() {
  out=$work/tty
  if start_sims "$out" "" ""; then
    # The simulators keep their lines open: a program that does not end is
    # cut off (timeout's 124) rather than left hanging.
    timeout 150 script -qefc "$(printf '%q ' "${prog[@]}" --as "$name" --interface "${coms[0]},${coms[1]}" --device QRT1440 update)" \
      "$out/typescript" >/dev/null 2>&1 </dev/null
    status=$?
    check "tty: exit status 0 (got $status)" test "$status" -eq 0
    check "tty: the lines rewritten in place, no list lines" python3 - "$out/typescript" "${coms[0]}" "${coms[1]}" <<'PY'
import re, sys
t = open(sys.argv[1], 'rb').read().decode('utf-8', 'replace')
assert '\x1b[2A' in t, 'no cursor up over the two lines'
assert 'Page 5 of 350' not in t, 'a list line on the terminal'
for p in sys.argv[2:4]:
    assert re.search(re.escape(p) + r'  ch4  page 80 of 80  done', t), p
PY
  else
    fail=1
  fi
  stop_sims
}

# ---- usage errors: found before anything runs ------------------------------------
scenario_usage() {
  usage() {  # usage MESSAGE ARGS...
    local err
    err=$("${prog[@]}" --as "$name" --report "$work/usage.json" "${@:2}" 2>&1 >/dev/null)
    local rc=$?
    check "usage '${*:2}': status 64 (got $rc)" test "$rc" -eq 64
    check "usage '${*:2}': says '$1'" grep -qF "qrtupdate: $1" <<<"$err"
    check "usage '${*:2}': the record says 64" python3 -c '
import json, sys; d = json.load(open(sys.argv[1])); sys.exit(0 if d["code"] == 64 and d["device"] is None else 1)' "$work/usage.json"
  }
  usage "COM5 is given twice" --interface COM5,COM6,COM5 update
  usage "COM5 is given twice" --interface COM5 --interface COM5 update
  usage "GPIB cannot be updated together with other ports" --interface COM5,GPIB update
  usage "GPIB cannot be updated together with other ports" --interface GPIB --interface COM5 update
  usage "USB cannot be updated together with other ports" --interface USB,COM5 update
  usage "--port names the device behind one port" --interface COM5,COM6 --port /dev/null update
  usage "'info' runs on one port only" --interface COM5,COM6 info
  usage "'check' runs on one port only" --interface COM5,COM6 show check
  usage "'verify' runs on one port only" --interface COM5,COM6 verify
  usage "unknown interface ''" --interface COM5, update
  out=$("${prog[@]}" --as "$name" --interface COM5,COM5 --json update 2>/dev/null)
  check "usage with --json: only the result, with its reason" \
    test "${out#'{"event":"result","code":64,"meaning":"usage error","reason":"'}" != "$out" -a "$(printf '%s\n' "$out" | wc -l)" -eq 1
}

case $scenario in
  three) scenario_three ;;
  first-failure) scenario_first_failure ;;
  json) scenario_json ;;
  killed) scenario_killed ;;
  stop) scenario_stop ;;
  tty) scenario_tty ;;
  usage) scenario_usage ;;
  wine) scenario_wine ;;
esac

if [ $fail -ne 0 ]; then
  for f in "$work"/*/stderr; do echo "--- $f"; head -c 1500 "$f"; echo; done
  exit 1
fi
echo "several ports, $scenario${runner:+ under Wine}: ok"
