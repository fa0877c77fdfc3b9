#!/usr/bin/env bash
# Four power supplies at once against one alone, in the same run: a full
# QRT1440 update at the update's 19200 baud, each device a qrtsim on its own
# pseudo-terminal paced as the wire would be (--baud 19200). The four are
# updated by one command (--interface COM10,COM11,COM12,COM13, one child
# process of the program per port); the one alone by the same program on
# COM10. Prints wall and CPU time (user + system of the updater and its
# children; the simulators' own time apart) of each and the ratios.
# Every update must succeed, every device must receive all its pages and
# "FWUE" last, or the script fails.
#
# usage: bench/multi/four_devices.sh BUILD_BIN [ROUNDS]
#   BUILD_BIN  the native build's bin folder (qrtupdate, qrtsim)
#   ROUNDS     how many times one alone and four at once are run, in turn (1)
# About 3.5 minutes per update, so 7 minutes per round. QRT_BENCH_BAUD sets
# another pace (0: none, a quick try of the script).
set -u
export LC_ALL=C
bin=$(cd "${1:?usage: four_devices.sh BUILD_BIN [ROUNDS]}" && pwd)
rounds=${2:-1}
baud=${QRT_BENCH_BAUD:-19200}
here=$(cd "$(dirname "$0")" && pwd)
for f in "$bin/qrtupdate" "$bin/qrtsim"; do
  [ -x "$f" ] || { echo "FAIL: $f is missing: build first" >&2; exit 1; }
done
. "$here/../../tests/qrtsim-lib.sh"

name=QRT_Update_OP_FWV2.04
ports=(10 11 12 13)
sims=()
stop_sims() {
  local pid
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${sims[@]}"; do wait "$pid" 2>/dev/null; done
  sims=()
}
sim_workdir four-devices stop_sims
cd "$work" || exit 1
sim_random_containers

# start_sims OUT N: N paced simulators; exports QRTUPDATE_COM10.. to their ptys.
# They keep their lines open after "FWUE", as devices do, so an updater that
# waits on an open line shows here as a run that does not end.
start_sims() {
  local out=$1 n=$2 i
  for ((i = 0; i < n; i++)); do
    mkdir -p "$out/sim$i"
    sim_start "$out/sim$i/out" "$bin/qrtsim" --baud "$baud" --family 14x0 --channels 4 --report "$out/sim$i/report.json" \
      --dump-dir "$out/sim$i/dump" --max-seconds 900 || return 1
    sims+=("$simpid")
    simpid=
    export "QRTUPDATE_COM${ports[$i]}=$pty"
  done
}


fail=0
check() {  # check DESCRIPTION COMMAND...
  if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi
}

# run OUT N: one update of N devices; sets wall (s) and cpu (s).
run() {
  local out=$1 n=$2 i list="" rc user sys
  mkdir -p "$out"
  start_sims "$out" "$n" || { fail=1; return 1; }
  for ((i = 0; i < n; i++)); do list+=${list:+,}COM${ports[$i]}; done
  # Wall, user and system time of the program and its children. Timed in a
  # subshell: this shell's own children include the simulators, and one that
  # ends (after "FWUE") while the update is timed would be counted with it.
  ( TIMEFORMAT='%R %U %S'
    { time timeout 900 "$bin/qrtupdate" --as "$name" --interface "$list" --device QRT1440 update \
        >"$out/stdout" 2>"$out/stderr"; } 2>"$out/time" )
  rc=$?
  # Each simulator writes its report as it is stopped.
  stop_sims
  read -r wall user sys <"$out/time"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  check "$n device(s): exit status 0 (got $rc)" test "$rc" -eq 0
  for ((i = 0; i < n; i++)); do
    check "$n device(s): COM${ports[$i]} ends with FWUE" grep -q '"pages ch4 80", "FWUE"\]' "$out/sim$i/report.json"
    check "$n device(s): COM${ports[$i]} main pages" cmp -s "$out/sim$i/dump/main.bin" <(head -c $((350 * 256)) FW1C.qrt)
  done
  if [ "$n" -gt 1 ]; then
    check "$n devices: a summary line with code 0 per port" \
      test "$(grep -cE $'^COM1[0-3]\t[^\t]+\t0\t' "$out/stdout")" -eq "$n"
  fi
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
for r in $(seq "$rounds"); do
  run "$work/one$r" 1
  one_wall=$wall one_cpu=$cpu
  run "$work/four$r" 4
  four_wall=$wall four_cpu=$cpu
  printf 'round %d: one device %s s wall, %s s CPU; four devices %s s wall, %s s CPU; wall ratio %s, CPU ratio %s\n' \
    "$r" "$one_wall" "$one_cpu" "$four_wall" "$four_cpu" \
    "$(awk -v a="$four_wall" -v b="$one_wall" 'BEGIN { printf "%.3f", a / b }')" \
    "$(awk -v a="$four_cpu" -v b="$one_cpu" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
  [ "$fail" -eq 0 ] || break
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$fail" -ne 0 ]; then
  for f in "$work"/*/stderr; do echo "--- $f"; tail -n 5 "$f"; done
  exit 1
fi
