#!/usr/bin/env bash
# A full QRT1440 update through a serial device server against the bound the
# wire and the network set. qrtsim plays the device at the update's 19200
# baud (--baud 19200) on a pseudo-terminal; ser2net serves that pty on
# loopback as an RFC 2217 port; a relay (qrt_delay_relay, built with
# -DQRT_BENCH=ON from bench/network/delay_relay.cpp) between the program and
# ser2net holds each direction back by half of a round-trip time RTT. The console program updates through
# rfc2217://127.0.0.1:<relay>.
#
# The bound at each RTT is the wire bound (every character both ways at 10
# bits, plus the protocol's own pauses: 186.74 s) plus one RTT for every
# exchange that waits for the server: the 2,020 writes that wait for a
# reply (main: FWU0, the announcement, 3 per page for 350 pages; each of
# four channels: FWU, the announcement, 3 per page for 80 pages), the 6
# purges (each waits for its acknowledgement), the 3 of the opening
# (TCP connect, Telnet options, line settings) and the one that confirms
# the closing "FWUE" reached the server: 2,030 round trips. After that
# confirmation the program holds the connection 0.2 s (and the closing
# command's time on the line) before it closes, since a server may drop
# bytes still on their way to its line; that hold is in the network bound.
# The same update over the pty itself is the comparison.
#
# Prints one line per run: what, seconds, bound, ratio, and for the network
# runs the TCP segments the program sent (all, and those carrying data, as
# the kernel counts them for its socket: ss -ti, read every 0.2 s while it
# runs; the last read misses at most the last few).
# Every update must succeed and the device must get "FWUE" last, or the
# script fails.
#
# usage: bench/network/through_ser2net.sh BUILD_BIN [RTT_MS...]
#   BUILD_BIN  the native build's bin folder (qrtupdate, qrtsim, and
#              qrt_delay_relay from a build with -DQRT_BENCH=ON)
#   RTT_MS     round-trip times to measure (default: 0 1 5 20), "pty" for
#              the update over the pty alone (included by default), and
#              "direct" for ser2net without the relay in between
# About 3.2 to 4 minutes per run, 17 minutes for the default set.
# QRT_BENCH_BAUD sets another pace (0: none, a quick try of the script).
set -u
export LC_ALL=C
bin=$(cd "${1:?usage: through_ser2net.sh BUILD_BIN [RTT_MS...]}" && pwd)
shift
runs=("$@")
[ ${#runs[@]} -gt 0 ] || runs=(pty 0 1 5 20)
baud=${QRT_BENCH_BAUD:-19200}
here=$(cd "$(dirname "$0")" && pwd)
for f in "$bin/qrtupdate" "$bin/qrtsim" "$bin/qrt_delay_relay"; do
  [ -x "$f" ] || { echo "FAIL: $f is missing: build first (with -DQRT_BENCH=ON)" >&2; exit 1; }
done
command -v ser2net >/dev/null || { echo "FAIL: ser2net is not installed (tools/setup.sh)" >&2; exit 1; }
. "$here/../../tests/qrtsim-lib.sh"

s2npid='' relaypid='' sspid=''
stop_all() {
  local p
  for p in "$sspid" "$relaypid" "$s2npid"; do [ -n "$p" ] && kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
  s2npid='' relaypid='' sspid=''
  return 0
}
sim_workdir net-bench stop_all
cd "$work" || exit 1
sim_random_containers
name=QRT_Update_OP_FWV2.04

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
listening() { python3 -c 'import socket,sys; s=socket.socket(); s.settimeout(1); sys.exit(s.connect_ex(("127.0.0.1",int(sys.argv[1]))))' "$1"; }

wire_bound() {  # seconds at the baud rate, with the 1.0 s of pauses
  python3 -c "
main = 4 + 7 + 8 + 6 + 6 + 350 * 532
channel = 4 + 3 + 9 + 8 + 6 + 6 + 80 * 532 + 1
print((main + 4 * channel + 4) * 10 / $baud + 1.0 if $baud else 1.0)"
}
round_trips=2030
hold=0.2  # the network link's hold after the confirmed closing command

status=0
for run in "${runs[@]}"; do
  sim_start "$work/sim.out" "$bin/qrtsim" --baud "$baud" --report "$work/sim.json" --max-seconds 900 || exit 1
  port=$pty
  if [ "$run" != pty ]; then
    rport=$(free_port)
    printf 'connection: &bench\n    accepter: telnet(rfc2217),tcp(nodelay=true),127.0.0.1,%s\n    connector: serialdev,%s,19200n81,local\n    options:\n      chardelay: false\n' \
      "$rport" "$pty" >"$work/ser2net.yaml"
    ser2net -n -d -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 &
    s2npid=$!
    for _ in $(seq 100); do listening "$rport" && break; sleep 0.1; done
    if [ "$run" = direct ]; then
      relay=$rport
    else
      half_us=$(python3 -c "print(round($run * 1000 / 2))")
      "$bin/qrt_delay_relay" "$rport" "$half_us" >"$work/relay.out" 2>&1 &
      relaypid=$!
      for _ in $(seq 100); do relay=$(head -n 1 "$work/relay.out"); [ -n "$relay" ] && break; sleep 0.1; done
    fi
    port="rfc2217://127.0.0.1:$relay"
    # The program's socket is the one whose far end is the relay.
    (
      while :; do
        line=$(ss -tinH state established "( dport = :$relay )" 2>/dev/null | tr '\n' ' ')
        [ -n "$line" ] && echo "$line" >"$work/ss.last"
        sleep 0.2
      done
    ) &
    sspid=$!
    rm -f "$work/ss.last"
  fi
  t0=$(date +%s.%N)
  "$bin/qrtupdate" --as "$name" --interface COM3 --port "$port" --device QRT1440 update >"$work/out" 2>"$work/err"
  rc=$?
  t1=$(date +%s.%N)
  sim_finish "$rc"
  last=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["commands"][-1])' "$work/sim.json" 2>/dev/null)
  if [ "$rc" -ne 0 ] || [ "$last" != FWUE ]; then
    echo "FAIL: $run: exit status $rc, last command '$last'" >&2
    cat "$work/err" >&2
    status=1
  fi
  segs=''
  if [ "$run" != pty ]; then
    segs=$(grep -o ' segs_out:[0-9]*\| data_segs_out:[0-9]*' "$work/ss.last" 2>/dev/null | tr -d ' ' | tr '\n' ' ')
  fi
  stop_all
  python3 -c "
import sys
run, t, wire, trips = sys.argv[1], float(sys.argv[3]) - float(sys.argv[2]), float(sys.argv[4]), int(sys.argv[5])
rtt = 0.0 if run in ('pty', 'direct') else float(run) / 1000
bound = wire + rtt * trips + (0.0 if run == 'pty' else float(sys.argv[7]))
what = {'pty': 'local pty', 'direct': 'RFC 2217, no relay'}.get(run, 'RFC 2217, RTT %s ms' % run)
print('%-22s %8.2f s  bound %8.2f s  ratio %.4f  %s' % (what, t, bound, t / bound, sys.argv[6]))
" "$run" "$t0" "$t1" "$(wire_bound)" "$round_trips" "$segs" "$hold"
done
exit $status
