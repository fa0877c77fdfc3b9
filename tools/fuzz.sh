#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each briefly: the Intel HEX import for
# about a minute from the seed corpus in tests/fuzz/corpus (real HEX files),
# then the whole update command (every model's main and channel controllers
# through "FWUE", against arbitrary device replies and stop requests) for
# about 40 s from tests/fuzz/transfer-corpus.
#
#   tools/fuzz.sh BUILD_DIR            short runs, as the test command does
#
# Longer runs, e.g. overnight on all cores, keeping what they learn:
#   QRT_FUZZ_SECONDS=28800 QRT_FUZZ_TRANSFER_SECONDS=28800 QRT_FUZZ_JOBS=$(nproc) tools/fuzz.sh build-fuzz
# The grown corpora stay in BUILD_DIR/fuzz-corpus and BUILD_DIR/fuzz-transfer-
# corpus and are used again by the next run; an input that fails is written
# to BUILD_DIR/fuzz-artifacts/ and can be replayed with:
#   BUILD_DIR/bin/hex_import_fuzz FILE   or   BUILD_DIR/bin/page_transfer_fuzz FILE
# Once the fault is mended, keep the input in tests/fuzz/crashes/TARGET/
# (hex_import, page_transfer, checksum_list): every native build has each
# target as a plain program (build/bin/TARGET_replay) that ctest runs over
# the seed corpus and those files, and the runs here start from them too.
# Exit status: 0 when no input failed.
set -eu
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
# An absolute path: the update-command target works in a folder of its own
# (the update reads its containers from the working folder), and libFuzzer
# writes new corpus entries relative to the working folder.
mkdir -p "$1"
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
seconds=${QRT_FUZZ_SECONDS:-60}
transfer_seconds=${QRT_FUZZ_TRANSFER_SECONDS:-40}
jobs=${QRT_FUZZ_JOBS:-1}

CC=clang CXX=clang++ cmake -S "$src" -B "$build" -DQRT_FUZZ=ON -DQRT_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target hex_import_fuzz page_transfer_fuzz

mkdir -p "$build/fuzz-corpus" "$build/fuzz-transfer-corpus" "$build/fuzz-artifacts"
# A target's seed folders: its corpus and, where it has any, the inputs that once failed.
seeds=()
set_seeds() {
  seeds=("$src/tests/fuzz/$1")
  if [ -d "$src/tests/fuzz/crashes/$2" ]; then seeds+=("$src/tests/fuzz/crashes/$2"); fi
}
common=(-artifact_prefix="$build/fuzz-artifacts/" -print_final_stats=1 -timeout=20)
if [ "$jobs" -gt 1 ]; then
  common+=(-jobs="$jobs" -workers="$jobs")
fi
echo "== HEX import (${seconds} s)"
set_seeds corpus hex_import
"$build/bin/hex_import_fuzz" -max_total_time="$seconds" -max_len=4096 -dict="$src/tests/fuzz/hex.dict" "${common[@]}" \
  "$build/fuzz-corpus" "${seeds[@]}"
echo "== update command (${transfer_seconds} s)"
set_seeds transfer-corpus page_transfer
"$build/bin/page_transfer_fuzz" -max_total_time="$transfer_seconds" -max_len=2048 "${common[@]}" \
  "$build/fuzz-transfer-corpus" "${seeds[@]}"

# The SHA256SUMS list (parser, file, size limit, lookup): arbitrary bytes, for about 20 s from the lists in
# tests/fuzz/checksum-corpus; replay a failure with BUILD_DIR/bin/checksum_list_fuzz FILE.
checksum_seconds=${QRT_FUZZ_CHECKSUM_SECONDS:-20}
cmake --build "$build" -j2 --target checksum_list_fuzz
mkdir -p "$build/fuzz-checksum-corpus"
echo "== checksum list (${checksum_seconds} s)"
set_seeds checksum-corpus checksum_list
"$build/bin/checksum_list_fuzz" -max_total_time="$checksum_seconds" -max_len=4096 "${common[@]}" \
  "$build/fuzz-checksum-corpus" "${seeds[@]}"
