#!/usr/bin/env bash
# Sets up, builds and runs every test: the native build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the Windows build under
# Wine, the 32-bit Windows build under Wine on CPU emulation (this machine
# cannot execute 32-bit code) with a release bundle, that bundle's 32-bit
# window program on a virtual display, the packages, a two-minute soak of
# updates under faults, and a short fuzz run of the HEX import.
set -uo pipefail
cd "$(dirname "$0")/.."
top=$PWD
bash tools/setup.sh || exit 1
# What Wine needs from the environment (a private runtime folder, no
# Wayland display), the same whatever the caller's shell holds.
. cmake/wine-env.sh
qrt_wine_env || exit 1

logs=$top/build-logs
mkdir -p "$logs"
jobs=${JOBS:-2}
status=0
passed=0
failed=0

step() { echo; echo "==== $* ===="; }

# ctest_run NAME BUILD_DIR: runs a build's tests and adds up its counts.
ctest_run() {
  local name=$1 dir=$2
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" 2>&1 | tee "$logs/$name.log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/$name.log" | tail -n 1)
  if [ -n "$line" ]; then
    local total fail
    fail=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    passed=$((passed + total - fail))
    failed=$((failed + fail))
  else
    failed=$((failed + 1))
  fi
  [ "$rc" -eq 0 ] || status=1
}

build() {  # build NAME DIR CMAKE_ARGS...
  local name=$1 dir=$2; shift 2
  step "build: $name"
  if ! cmake -S . -B "$dir" -DQRT_WERROR=ON "$@" >"$logs/$name-configure.log" 2>&1; then
    cat "$logs/$name-configure.log"; status=1; failed=$((failed + 1)); return 1
  fi
  if ! cmake --build "$dir" -j"$jobs" >"$logs/$name-build.log" 2>&1; then
    grep -E -B2 -A8 'error|Error' "$logs/$name-build.log" | head -n 80; status=1; failed=$((failed + 1)); return 1
  fi
  echo "built $name"
}

if build native build -DCMAKE_BUILD_TYPE=Release -DQRT_BENCH=ON; then
  step "tests: native"; ctest_run native build
fi
if build sanitizers build-asan -DQRT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug; then
  step "tests: AddressSanitizer + UndefinedBehaviorSanitizer"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 ctest_run sanitizers build-asan
fi
if build windows build-win -DCMAKE_TOOLCHAIN_FILE=$top/cmake/mingw-w64-x86_64.cmake -DQRT_NATIVE_BIN=$top/build/bin; then
  step "tests: Windows under Wine"; ctest_run windows build-win
fi
# run_script NAME COMMAND...: one scripted test step, counted as one test.
run_script() {
  local name=$1; shift
  "$@" 2>&1 | tee "$logs/$name.log"
  if [ "${PIPESTATUS[0]}" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
}
# Two minutes of updates with faults, stops and cut lines, one plan after
# another from a fixed seed (tools/soak.sh): any violation fails the run.
if [ -x build/bin/qrtupdate ] && [ -x build/bin/qrtsim ]; then
  step "soak: two minutes of updates under faults (native, fixed seed)"
  run_script soak bash tools/soak.sh build/bin 2 qrt-test-all
fi
if build windows-i686 build-win32 -DCMAKE_TOOLCHAIN_FILE=$top/cmake/mingw-w64-i686.cmake -DQRT_TESTS=OFF; then
  step "tests: 32-bit Windows program under CPU emulation, release bundle"
  run_script bundle-win32 bash tests/release/bundle_win32.sh build-win32 build/bin
  step "tests: the bundle's 32-bit window program under CPU emulation and Xvfb"
  run_script window-win32 bash tests/release/window_win32.sh build-win32 build/bin "$logs/window-win32"
fi
# The Linux program on the kernel's own serial drivers (8250 UART, ftdi_sio,
# cdc_acm) in a QEMU guest; its first run downloads Debian's kernel.
step "tests: Linux program on real kernel drivers in a QEMU guest"
# kernel_stage NAME ARGS...: a guest run, repeated once when QEMU itself
# crashed (status 75); a second crash, like any other failure, counts.
kernel_stage() {
  local name=$1; shift
  bash tests/kernel/kernel_stage.sh "$@" 2>&1 | tee "$logs/$name.log"
  local st=${PIPESTATUS[0]}
  if [ "$st" -eq 75 ]; then
    echo "the emulator crashed during $name; running the guest once more"
    bash tests/kernel/kernel_stage.sh "$@" 2>&1 | tee -a "$logs/$name.log"
    st=${PIPESTATUS[0]}
  fi
  if [ "$st" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
}
kernel_stage kernel-guest build/bin
# The same guest with one update over three ports at once, one adapter pulled out.
kernel_stage kernel-guest-multi build/bin multi

step "packages: Debian package and Windows zip"
run_script package bash tests/release/package_test.sh

if [ -f tools/fuzz.sh ]; then
  step "fuzz: HEX import and page transfer (short runs)"
  if bash tools/fuzz.sh build-fuzz; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
fi

# Wine leaves its server running; end it so the run can finish cleanly.
wineserver -k >/dev/null 2>&1 || true

echo
echo "qrt: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || status=1
exit $status
