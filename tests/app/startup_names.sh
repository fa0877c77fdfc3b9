#!/usr/bin/env bash
# Starts the console program under real file names: a symbolic link (POSIX)
# or a renamed copy (Windows, under Wine), as a user would rename it.
set -u
exe=$1
runner=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

run_as() {  # run_as NAME ACTION... ; sets out, err, rc
  local name=$1; shift
  if [ -n "$runner" ]; then
    cp "$exe" "$work/$name.exe"
    out=$("$runner" "$work/$name.exe" "$@" 2>"$work/err"); rc=$?
    out=$(printf '%s' "$out" | tr -d '\r')
  else
    ln -sf "$exe" "$work/$name"
    out=$("$work/$name" "$@" 2>"$work/err"); rc=$?
  fi
  err=$(tr -d '\r' <"$work/err")
}
expect() {  # expect WHAT GOT WANT
  if [ "$2" != "$3" ]; then echo "FAIL: $1: got [$2], want [$3]"; fail=1; else echo "ok: $1"; fi
}
line() { printf '%s\n' "$out" | grep "^$1: " | head -n1 | cut -d' ' -f2-; }

run_as QRT_Update_TALVO_FWV2.04 show
expect "TALVO rc" "$rc" 0
expect "TALVO title" "$(line title)" "TALVO QRT Update"
expect "TALVO device" "$(line device)" ">>> Please select your power supply <<<"

run_as QRT_Update_OP_FWV2.04 --device QRT1440 show
expect "OP title" "$(line title)" "Orvelt&Pannik QRT Update"
expect "OP caption" "$(line update-button)" "UPDATE  FIRMWARE  OF  QRT1440  TO  VERSION  2.04"

run_as QRT_Update_MURELL_FWV2.04 show
expect "MURELL banner" "$(line banner)" "ZVN"
expect "MURELL list" "$(line device-list)" "disabled"
expect "MURELL caption" "$(line update-button)" "UPDATE  FIRMWARE  OF  ZVN1440  TO  VERSION  2.04"

run_as QRT_Update_WRAPIMAGES_OP_FWV2.04 show
expect "hidden mode" "$(line create-enc-file)" "shown"

run_as talvo_fwv2.04 show
expect "no brand rc" "$rc" 78
expect "no brand box" "$(printf '%s\n' "$err" | head -n 2)" "talvo_fwv2.04 (warning): FILE RENAMED!
CLOSE PROGRAM!"
expect "then how to give a brand" "$(printf '%s\n' "$err" | sed -n '3s/.*\(or give --as QRT_Update_OP_FWV2.04\)$/\1/p')" \
  "or give --as QRT_Update_OP_FWV2.04"

# --version prints the project version, whatever the name.
run_as QRT1220 --version
expect "--version" "$out" "qrtupdate $(sed -n 's/^project(QrtUpdate VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")"

# --as overrides the program's own name.
run_as QRT1220 --as QRT_Update_OP_FWV2.04.exe show
expect "--as title" "$(line title)" "Orvelt&Pannik QRT Update"

# USB is refused before any action runs: nothing is shown or sent.
run_as QRT_Update_OP_FWV2.04 show --interface USB update
expect "USB rc" "$rc" 64
expect "USB output" "$out" ""
expect "USB refusal" "$(printf '%s\n' "$err" | head -n1)" \
  "qrtupdate: USB is not supported at the moment: choose COM1..COM29 or GPIB"

exit $fail
