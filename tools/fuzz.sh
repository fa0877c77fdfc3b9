#!/usr/bin/env bash
# Builds the libFuzzer target of the Intel HEX import with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs it for about a
# minute from the seed corpus in tests/fuzz/corpus (real HEX files).
#
#   tools/fuzz.sh BUILD_DIR            short run (60 s), as the test command does
#
# Longer run, e.g. overnight on all cores, keeping what it learns:
#   QRT_FUZZ_SECONDS=28800 QRT_FUZZ_JOBS=$(nproc) tools/fuzz.sh build-fuzz
# The grown corpus stays in BUILD_DIR/fuzz-corpus and is used again by the
# next run; an input that fails is written to BUILD_DIR/fuzz-artifacts/ and
# can be replayed with: BUILD_DIR/bin/hex_import_fuzz FILE
# Exit status: 0 when no input failed.
set -eu
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$1
src=$(cd "$(dirname "$0")/.." && pwd)
seconds=${QRT_FUZZ_SECONDS:-60}
jobs=${QRT_FUZZ_JOBS:-1}

CC=clang CXX=clang++ cmake -S "$src" -B "$build" -DQRT_FUZZ=ON -DQRT_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target hex_import_fuzz

mkdir -p "$build/fuzz-corpus" "$build/fuzz-artifacts"
args=(-max_total_time="$seconds" -max_len=4096 -dict="$src/tests/fuzz/hex.dict"
      -artifact_prefix="$build/fuzz-artifacts/" -print_final_stats=1)
if [ "$jobs" -gt 1 ]; then
  args+=(-jobs="$jobs" -workers="$jobs")
fi
exec "$build/bin/hex_import_fuzz" "${args[@]}" "$build/fuzz-corpus" "$src/tests/fuzz/corpus"
