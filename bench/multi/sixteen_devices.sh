#!/usr/bin/env bash
# Sixteen power supplies at once against one alone, in the same run: a full
# QRT1440 update at the update's 19200 baud, each device a qrtsim on its own
# pseudo-terminal paced as the wire would be (--baud 19200). The sixteen are
# updated by one command (--interface COM10,...,COM25, one child process of
# the program per port); the one alone by the same program on COM10.
# Prints, for each: wall time, CPU time (user + system of the program and its
# children, as getrusage(RUSAGE_CHILDREN) counts them; the simulators apart),
# the peak memory of the program itself and of its largest child, and the peak
# of their resident memory summed; then the ratios. Target: wall time of the
# sixteen at most 1.05 x the one's. Every update must succeed, every device
# must receive all its pages and "FWUE" last, or the script fails.
#
# usage: bench/multi/sixteen_devices.sh BUILD_BIN [ROUNDS]
#   BUILD_BIN  the native build's bin folder (qrtupdate, qrtsim)
#   ROUNDS     how many times one alone and sixteen at once are run, in turn (1)
# About 3.2 minutes per update, so 6.5 minutes per round. QRT_BENCH_BAUD sets
# another pace (0: none, a quick try of the script).
set -u
export LC_ALL=C
bin=$(cd "${1:?usage: sixteen_devices.sh BUILD_BIN [ROUNDS]}" && pwd)
rounds=${2:-1}
baud=${QRT_BENCH_BAUD:-19200}
here=$(cd "$(dirname "$0")" && pwd)
for f in "$bin/qrtupdate" "$bin/qrtsim"; do
  [ -x "$f" ] || { echo "FAIL: $f is missing: build first" >&2; exit 1; }
done
. "$here/../../tests/qrtsim-lib.sh"

name=QRT_Update_OP_FWV2.04
ports=($(seq 10 25))
sims=()
stop_sims() {
  local pid
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${sims[@]}"; do wait "$pid" 2>/dev/null; done
  sims=()
}
sim_workdir sixteen-devices stop_sims
cd "$work" || exit 1
sim_random_containers

# start_sims OUT N: N paced simulators; exports QRTUPDATE_COM10.. to their ptys.
# They keep their lines open after "FWUE", as devices do.
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

# figure OUT KEY: one figure of OUT/usage.json.
figure() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$1/usage.json" "$2"; }

# run OUT N: one update of N devices; OUT/usage.json holds its figures.
run() {
  local out=$1 n=$2 i list="" rc
  mkdir -p "$out"
  start_sims "$out" "$n" || { fail=1; return 1; }
  for ((i = 0; i < n; i++)); do list+=${list:+,}COM${ports[$i]}; done
  # Measured by a process of its own, whose children are the program and
  # what it starts, not the simulators.
  python3 "$here/tree_usage.py" "$out/usage.json" 900 "$bin/qrtupdate" --as "$name" --interface "$list" \
    --device QRT1440 update >"$out/stdout" 2>"$out/stderr"
  rc=$?
  # Each simulator writes its report as it is stopped.
  stop_sims
  check "$n device(s): exit status 0 (got $rc)" test "$rc" -eq 0
  for ((i = 0; i < n; i++)); do
    check "$n device(s): COM${ports[$i]} ends with FWUE" grep -q '"pages ch4 80", "FWUE"\]' "$out/sim$i/report.json"
    check "$n device(s): COM${ports[$i]} main pages" cmp -s "$out/sim$i/dump/main.bin" <(head -c $((350 * 256)) FW1C.qrt)
    check "$n device(s): COM${ports[$i]} channel 4 pages" \
      cmp -s "$out/sim$i/dump/ch4.bin" <(head -c $((80 * 256)) FW2B.qrt)
  done
  if [ "$n" -gt 1 ]; then
    check "$n devices: a summary line with code 0 per port" \
      test "$(grep -cE $'^COM[12][0-9]\t[^\t]+\t0\t' "$out/stdout")" -eq "$n"
  fi
}

# describe OUT: one line of figures.
describe() {
  python3 - "$1/usage.json" <<'EOF'
import json, sys
u = json.load(open(sys.argv[1]))
print("%.1f s wall, %.2f s CPU (%.2f user, %.2f system); peak memory: program %d kB, largest child %d kB "
      "(%d children), all at once %d kB" % (u["wall_s"], u["user_s"] + u["system_s"], u["user_s"], u["system_s"],
                                            u["parent_peak_kb"], u["child_peak_kb"], u["children"], u["tree_peak_kb"]))
EOF
}

ratio() { awk -v a="$1" -v b="$2" -v f="$3" 'BEGIN { printf f, (b > 0 ? a / b : 0) }'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
for r in $(seq "$rounds"); do
  run "$work/one$r" 1 || break
  run "$work/sixteen$r" 16 || break
  [ "$fail" -eq 0 ] || break
  o=$work/one$r s=$work/sixteen$r
  echo "round $r: one device: $(describe "$o")"
  echo "round $r: sixteen devices: $(describe "$s")"
  ocpu=$(awk -v u="$(figure "$o" user_s)" -v s="$(figure "$o" system_s)" 'BEGIN { print u + s }')
  scpu=$(awk -v u="$(figure "$s" user_s)" -v s="$(figure "$s" system_s)" 'BEGIN { print u + s }')
  wall_ratio=$(ratio "$(figure "$s" wall_s)" "$(figure "$o" wall_s)" %.3f)
  echo "round $r: sixteen / one: wall $wall_ratio (target at most 1.05), CPU $(ratio "$scpu" "$ocpu" %.2f)," \
    "memory all at once $(ratio "$(figure "$s" tree_peak_kb)" "$(figure "$o" tree_peak_kb)" %.2f)"
  check "round $r: wall ratio $wall_ratio at most 1.05" awk -v w="$wall_ratio" 'BEGIN { exit !(w <= 1.05) }'
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$fail" -ne 0 ]; then
  for f in "$work"/*/stderr; do echo "--- $f"; tail -n 5 "$f"; done
  exit 1
fi
