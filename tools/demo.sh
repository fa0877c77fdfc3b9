#!/usr/bin/env bash
# The main job: a full firmware update of a QRT1440, end to end, against the
# simulated power supply.
#   1. set up and build (native);
#   2. write the five sample Intel HEX files into a work folder;
#   3. build the five firmware containers from them in the hidden mode;
#   4. start qrtsim on a pseudo-terminal;
#   5. update a QRT1440 over that port with the console program;
#   6. compare what every controller of the simulated device received with
#      the containers, and print the verdict.
# BUILD_DIR chooses the build folder (default build); the work folder is
# <build>/demo. The full list of the update is kept in <build>/demo/update.log.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$top/$build ;; esac

bash tools/setup.sh
echo "== building in $build"
cmake -S . -B "$build" -DQRT_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target qrtupdate qrtsim >/dev/null
bin=$build/bin

work=$build/demo
rm -rf "$work"
mkdir -p "$work"
cd "$work"

echo "== sample HEX files"
bash "$top/tools/make-sample-hex.sh" "$work" >/dev/null
ls -l ./*.hex | awk '{ printf "  %-28s %8d bytes\n", $NF, $5 }'

echo "== containers (hidden mode: QRT_Update_WRAPIMAGES_OP_FWV2.04.exe create)"
"$bin/qrtupdate" --as QRT_Update_WRAPIMAGES_OP_FWV2.04.exe create
ls -l ./*.qrt | awk '{ printf "  %-28s %8d bytes\n", $NF, $5 }'

echo "== simulated QRT1440 on a pseudo-terminal"
simpid=
cleanup() { if [ -n "$simpid" ]; then kill "$simpid" 2>/dev/null || true; wait "$simpid" 2>/dev/null || true; fi; }
trap cleanup EXIT
"$bin/qrtsim" --family 14x0 --channels 4 --report "$work/received.json" --dump-dir "$work/received" \
  --exit-after-fwue --max-seconds 600 >"$work/qrtsim.out" &
simpid=$!
pty=
for _ in $(seq 100); do
  pty=$(head -n 1 "$work/qrtsim.out" 2>/dev/null || true)
  [ -n "$pty" ] && break
  sleep 0.1
done
if [ -z "$pty" ]; then
  echo "qrtsim did not start" >&2
  exit 1
fi
echo "  qrtsim serves $pty"

echo "== update: qrtupdate --as QRT_Update_OP_FWV2.04 --interface COM3 --port $pty --device QRT1440 update"
# The list lines and message boxes as they come, every 50th page line
# shown; all of it in update.log.
set +e
# Line-buffered so that the message boxes (standard error) keep their place.
stdbuf -oL "$bin/qrtupdate" --as QRT_Update_OP_FWV2.04 --interface COM3 --port "$pty" --device QRT1440 update 2>&1 |
  tee "$work/update.log" |
  awk '/^Page [0-9]+ of [0-9]+ - / { if ($2 % 50 != 0 && $2 != $4 && $0 !~ /ERROR/) next } { print "  " $0; fflush() }'
status=${PIPESTATUS[0]}
set -e
echo "  exit status $status"
wait "$simpid" 2>/dev/null || true
simpid=

echo "== what the simulated device received"
ok=1
[ "$status" -eq 0 ] || ok=0
# compare CONTROLLER CONTAINER PAGES
compare() {
  local got=$work/received/$1.bin want_bytes=$(($3 * 256))
  if [ -f "$got" ] && [ "$(stat -c %s "$got")" -eq "$want_bytes" ] && cmp -s "$got" <(head -c "$want_bytes" "$2"); then
    printf '  %-5s %3d of %3d pages arrived as sent (first %d pages of %s)\n' "$1" "$3" "$3" "$3" "$2"
  else
    local n=0
    [ -f "$got" ] && n=$(($(stat -c %s "$got") / 256))
    printf '  %-5s MISMATCH: %d pages received, %d expected from %s\n' "$1" "$n" "$3" "$2"
    ok=0
  fi
}
compare main FW1C.qrt 350
for c in 1 2 3 4; do compare "ch$c" FW2B.qrt 80; done
commands=$(grep -o '"commands": \[[^]]*\]' "$work/received.json" || true)
echo "  ${commands:-no command record}"
case $commands in *'"FWU4", "FWU", "pages ch4 80", "FWUE"]') ;; *) ok=0 ;; esac

if [ $ok -eq 1 ]; then
  echo "VERDICT: update succeeded; every page of the main controller and of the four channels arrived as sent, FWUE last."
else
  echo "VERDICT: FAILED (see $work/update.log and $work/received.json)"
  exit 1
fi
