#!/usr/bin/env bash
# Runs chosen tests again and again while every core is kept busy, to show
# that they do not depend on the machine being idle.
#   tests/under-load.sh BUILD_DIR RUNS CTEST_REGEX
# One busy loop per core runs beside the tests (ended on the way out). Prints
# one line per run and the count of passed runs; exits 0 only if every run
# passed. ctest's logs of failed runs are kept in BUILD_DIR/under-load/.
set -u
if [ $# -ne 3 ]; then
  echo "usage: $0 BUILD_DIR RUNS CTEST_REGEX" >&2
  exit 2
fi
dir=$1 runs=$2 regex=$3
logs=$dir/under-load
mkdir -p "$logs" || exit 1

loops=()
stop_loops() {
  local pid
  for pid in "${loops[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${loops[@]}"; do wait "$pid" 2>/dev/null; done
  loops=()
}
trap stop_loops EXIT
for _ in $(seq "$(nproc)"); do
  (while :; do :; done) &
  loops+=($!)
done

passed=0
for run in $(seq "$runs"); do
  start=$(date +%s%N)
  if ctest --test-dir "$dir" -R "$regex" --output-on-failure >"$logs/run-$run.log" 2>&1; then
    passed=$((passed + 1))
    result=passed
    rm -f "$logs/run-$run.log"
  else
    result="FAILED (log: $logs/run-$run.log)"
  fi
  ms=$((($(date +%s%N) - start) / 1000000))
  printf 'run %2d: %s (%d.%03d s)\n' "$run" "$result" $((ms / 1000)) $((ms % 1000))
done
echo "$passed of $runs runs passed under load ($(nproc) busy loops): $regex"
[ "$passed" -eq "$runs" ]
