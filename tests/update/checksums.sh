#!/usr/bin/env bash
# The bundle's SHA256SUMS as a user meets it, with lists written by the real
# sha256sum, natively and with the Windows program under Wine (there the
# digests come from CNG):
#   verify   files of sizes around the hashing chunk and the containers
#            listed by sha256sum are "ok" (the program's SHA-256 agrees with
#            sha256sum's); a changed and a missing file are told, exit 7; no
#            list, and a name holding a path, end in 7 with the reason
#   update   over COM to qrtsim: a list as the release bundle writes it (one
#            line upper-case and binary-marked) updates; a changed byte in
#            FW2B.qrt, FW2B.qrt not listed, and SHA256SUMS as a FIFO or a
#            folder are refused with exit 7 and their message, and qrtsim
#            receives nothing; nothing waits on the FIFO; a container one
#            byte too long is refused by update (listed or not) and verify
#            alike, with the reason on standard error
#
# usage: checksums.sh QRTUPDATE RUNNER QRTSIM
#   RUNNER is cmake/wine-run.sh for the Windows program, "" natively.
set -u
export LC_ALL=C
qrtupdate=$1 runner=$2 qrtsim=$3
name=QRT_Update_OP_FWV2.04
com=COM13  # a port number of our own: other Wine tests map other ones

if [ ! -x "$qrtsim" ]; then
  echo "SKIP: no native qrtsim ($qrtsim); configure the Windows build with -DQRT_NATIVE_BIN=<native build>/bin"
  exit 77
fi

. "$(dirname "$0")/../qrtsim-lib.sh"
unmap() { [ -n "$runner" ] && rm -f "$WINEPREFIX/dosdevices/${com,,}"; }
if [ -n "$runner" ]; then
  bindir=$(cd "$(dirname "$qrtupdate")" && pwd)
  export WINEPREFIX=${WINEPREFIX:-$(dirname "$bindir")/wineprefix}
fi
sim_workdir checksums unmap
fail=0
check() {  # check DESCRIPTION COMMAND...
  if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi
}
if [ -n "$runner" ]; then program=(bash "$runner" "$qrtupdate"); else program=("$qrtupdate"); fi
[ -n "$runner" ] && "${program[@]}" --help >/dev/null 2>&1  # creates the prefix on first use

# verify DIR: runs the action there; sets status, out (lines) and err.
verify() {
  (cd "$1" && timeout 120 "${program[@]}" verify >"$work/verify.out" 2>"$work/verify.err")
  status=$?
  out=$(tr -d '\r' <"$work/verify.out")
  err=$(tr -d '\r' <"$work/verify.err")
}

# ---- verify ------------------------------------------------------------------------
v=$work/verify
mkdir -p "$v"
cd "$v" || exit 1
sim_random_containers
sizes="0 1 55 56 63 64 65535 65536 65537 196615 1572864"
for s in $sizes; do head -c "$s" /dev/urandom >"size$s"; done
sha256sum FW*.qrt size* >SHA256SUMS
expected=$(sed 's/^[0-9a-f]\{64\}  \(.*\)$/\1\tok/' SHA256SUMS)
verify "$v"
check "sound folder: exit 0 (got $status; $err)" test "$status" -eq 0
check "sound folder: every file ok, in list order" test "$out" = "$expected"
check "sound folder: no complaint" test -z "$(grep '^qrtupdate:' <<<"$err")"

printf '\x5a' | dd of=size65537 bs=1 seek=65536 conv=notrunc status=none
rm FW1E.qrt
verify "$v"
check "changed and missing: exit 7 (got $status)" test "$status" -eq 7
check "changed file differs" grep -qx "size65537	differs" <<<"$out"
check "missing file" grep -qx "FW1E.qrt	missing" <<<"$out"
check "the others still ok" test "$(grep -c '	ok$' <<<"$out")" -eq 14

# A name that leads out of the folder is not read, whatever it holds.
echo secret >"$work/outside"
sha256sum size0 >SHA256SUMS
(cd "$work" && sha256sum outside) | sed 's/  outside/  ..\/outside/' >>SHA256SUMS
verify "$v"
check "path in the list: exit 7 (got $status)" test "$status" -eq 7
check "path in the list: only the plain name checked" test "$out" = "size0	ok"
check "path in the list: said why" grep -q "\.\./outside is not a file name in the working folder" <<<"$err"

rm SHA256SUMS
verify "$v"
check "no list: exit 7 (got $status)" test "$status" -eq 7
check "no list: said why" grep -q "no SHA256SUMS in the working folder" <<<"$err"
check "no list: nothing on stdout" test -z "$out"

# ---- update --------------------------------------------------------------------------
u=$work/update
mkdir -p "$u"
cd "$u" || exit 1
sim_random_containers

# run_update OUT: one QRT1440 update over COM against qrtsim; sets status.
run_update() {
  local out=$1
  mkdir -p "$out"
  sim_start "$out/sim.out" "$qrtsim" --report "$out/report.json" --dump-dir "$out/dump" --max-seconds 240 \
    --exit-after-fwue || { sim_kill; status=1; return; }
  if [ -n "$runner" ]; then
    ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
    timeout 240 bash "$runner" "$qrtupdate" --as "$name" --interface $com --device QRT1440 update >"$out/stdout" 2>"$out/stderr"
  else
    timeout 240 "$qrtupdate" --as "$name" --interface $com --port "$pty" --device QRT1440 update >"$out/stdout" 2>"$out/stderr"
  fi
  status=$?
  sim_finish "$status"
  unmap
  tr -d '\r' <"$out/stderr" | grep "^$name (" >"$out/boxes"
}
# refused OUT BOX: the update ended with code 7, only that box, and qrtsim
# heard nothing.
refused() {
  check "$1: exit 7 (got $status)" test "$status" -eq 7
  check "$1: its message" test "$(cat "$work/$1/boxes")" = "$name (warning): $2"
  check "$1: the device received nothing" grep -q '"commands": \[\]' "$work/$1/report.json"
}

# The list as the release bundle writes it, one line upper-case and marked
# binary as `sha256sum -b` on Windows writes it.
{ sha256sum FW1A.qrt FW1C.qrt FW2A.qrt; sha256sum -b FW2B.qrt | tr a-f A-F; } >SHA256SUMS
run_update "$work/listed"
check "listed: exit 0 (got $status)" test "$status" -eq 0
check "listed: only the success box" test "$(cat "$work/listed/boxes")" = \
  "$name (information): Firmware successfully updated! Please restart device!"
check "listed: FWUE last" grep -q '"FWU4", "FWU", "pages ch4 80", "FWUE"\]' "$work/listed/report.json"
check "listed: channel 4 pages" cmp -s "$work/listed/dump/ch4.bin" <(head -c $((80 * 256)) FW2B.qrt)

cp FW2B.qrt FW2B.keep
printf '\xff' | dd of=FW2B.qrt bs=1 seek=100000 conv=notrunc status=none
cmp -s FW2B.qrt FW2B.keep && printf '\x00' | dd of=FW2B.qrt bs=1 seek=100000 conv=notrunc status=none
run_update "$work/changed"
refused changed "Firmware file FW2B.qrt does not match SHA256SUMS! Update abort!"
mv FW2B.keep FW2B.qrt

grep -v FW2B SHA256SUMS >SUMS.new && mv SUMS.new SHA256SUMS
run_update "$work/unlisted"
refused unlisted "Firmware file FW2B.qrt is not listed in SHA256SUMS! Update abort!"

# A container one byte too long, listed with the digest sha256sum gives the
# whole file: update and verify judge it alike, and refuse it for its size;
# without a list the update refuses it too.
cp FW2B.qrt FW2B.keep
printf 'x' >>FW2B.qrt
sha256sum FW1A.qrt FW1C.qrt FW2A.qrt FW2B.qrt >SHA256SUMS
why="FW2B.qrt holds more than 128000 bytes; a firmware container holds exactly 128000 bytes"
run_update "$work/long"
refused long "Firmware file FW2B.qrt is missing or incomplete! Update abort!"
check "long: the console says why" grep -qF "qrtupdate: code 7: a firmware container missing or incomplete, or not matching SHA256SUMS: $why" \
  <(tr -d '\r' <"$work/long/stderr")
verify "$u"
check "long: verify exits 7 (got $status)" test "$status" -eq 7
check "long: verify says differs" test "$out" = "$(printf 'FW1A.qrt\tok\nFW1C.qrt\tok\nFW2A.qrt\tok\nFW2B.qrt\tdiffers')"
check "long: verify says why" grep -qxF "qrtupdate: verify: $why" <<<"$err"
rm SHA256SUMS
run_update "$work/long-unlisted"
refused long-unlisted "Firmware file FW2B.qrt is missing or incomplete! Update abort!"
mv FW2B.keep FW2B.qrt

rm -f SHA256SUMS && mkfifo SHA256SUMS
run_update "$work/fifo"
refused fifo "SHA256SUMS cannot be read! Update abort!"
rm SHA256SUMS && mkdir SHA256SUMS
run_update "$work/folder"
refused folder "SHA256SUMS cannot be read! Update abort!"

if [ $fail -ne 0 ]; then
  for f in "$work"/*/stderr "$work"/verify.err; do echo "--- $f"; head -c 600 "$f"; echo; done
  exit 1
fi
echo "checksums${runner:+ under Wine}: ok"
