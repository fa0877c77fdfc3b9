#!/usr/bin/env bash
# Signed lists as a user meets them, with signatures written by the real
# openssl, natively and with the Windows program under Wine (there CNG checks
# them), against a qrtsim on a low COM number that keeps its line open after
# "FWUE" as a real power supply does:
#   signed     a bundle signed with the development key (trusted by this
#              build): verify says ok with the key's id, the update runs and
#              its record names the key
#   refused    one byte of SHA256SUMS changed with the signature kept, a
#              signature by a key the program does not trust (its public key
#              beside it), a truncated signature: exit 7, the message box,
#              verify's bad/untrusted line, and qrtsim heard nothing
#   required   the program as built with QRT_REQUIRE_SIGNATURE=ON: a bundle
#              without SHA256SUMS.sig and a folder without any list are
#              refused (exit 7, nothing sent), and the same folder updates
#              under the hidden mode's name
#
# usage: signatures.sh QRTUPDATE QRTUPDATE_SIGNED_ONLY RUNNER QRTSIM DEV_KEY
#   RUNNER is cmake/wine-run.sh for the Windows programs, "" natively.
set -u
export LC_ALL=C
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
qrtupdate=$(absolute "$1") required=$(absolute "$2") runner=$3 qrtsim=$4 devkey=$(absolute "$5")
name=QRT_Update_OP_FWV2.04
com=COM5  # a low number, a reserved device name on Windows; no other Wine test maps it

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
sim_workdir signatures unmap
fail=0
check() {  # check DESCRIPTION COMMAND...
  if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi
}
run() {  # run SECONDS PROGRAM ARGS...: the program, under Wine for the Windows build, bounded
  local seconds=$1
  shift
  if [ -n "$runner" ]; then timeout "$seconds" bash "$runner" "$@"; else timeout "$seconds" "$@"; fi
}
[ -n "$runner" ] && run 120 "$qrtupdate" --help >/dev/null 2>&1  # creates the prefix on first use
key_id() { openssl pkey -in "$1" -pubout -outform DER | sha256sum | cut -c1-16; }
dev_id=$(key_id "$devkey")
openssl ecparam -name prime256v1 -genkey -noout -out "$work/other.pem" || exit 1
other_id=$(key_id "$work/other.pem")

# The bundle: containers, their list, and the list signed as bundle.sh signs it.
bundle=$work/bundle
mkdir -p "$bundle"
(cd "$bundle" && sim_random_containers && sha256sum FW1A.qrt FW1C.qrt FW2A.qrt FW2B.qrt >SHA256SUMS &&
  openssl dgst -sha256 -sign "$devkey" -out SHA256SUMS.sig SHA256SUMS) || exit 1
folder() {  # folder NAME: a copy of the bundle; sets dir
  dir=$work/$1
  cp -r "$bundle" "$dir"
}

# verify PROGRAM DIR: sets status, out (lines) and err.
verify() {
  (cd "$2" && run 120 "$1" verify >"$work/verify.out" 2>"$work/verify.err")
  status=$?
  out=$(tr -d '\r' <"$work/verify.out")
  err=$(tr -d '\r' <"$work/verify.err")
}

# run_update PROGRAM DIR AS: a QRT1440 update over COM5 against qrtsim,
# working in DIR, with the record DIR/record.json; sets status and
# boxes. qrtsim keeps its line open; after a run that ended 0 it is stopped
# once its report shows "FWUE".
run_update() {
  local program=$1 dir=$2 as=$3 _
  sim_start "$dir.sim" "$qrtsim" --report "$dir.report.json" --max-seconds 240 || { sim_kill; status=1; return; }
  if [ -n "$runner" ]; then
    ln -sfn "$pty" "$WINEPREFIX/dosdevices/${com,,}"
    (cd "$dir" && timeout 240 bash "$runner" "$program" --as "$as" --interface $com --device QRT1440 \
      --report record.json update >"$dir.stdout" 2>"$dir.stderr")
  else
    (cd "$dir" && timeout 240 "$program" --as "$as" --interface $com --port "$pty" --device QRT1440 \
      --report record.json update >"$dir.stdout" 2>"$dir.stderr")
  fi
  status=$?
  if [ "$status" -eq 0 ]; then
    for _ in $(seq 300); do grep -q '"FWUE"' "$dir.report.json" 2>/dev/null && break; sleep 0.1; done
  fi
  sim_kill
  unmap
  boxes=$(tr -d '\r\0' <"$dir.stderr" | grep -a "^$as (")
}
# refused WHAT BOX: the update ended with code 7, only that box, the device
# received nothing, and the record holds no signature.
refused() {
  check "$1: exit 7 (got $status)" test "$status" -eq 7
  check "$1: its message ($boxes)" test "$boxes" = "$name (warning): $2"
  check "$1: the device received nothing" grep -q '"commands": \[\]' "$dir.report.json"
  check "$1: no signature in the record" grep -q '"signature": null' "$dir/record.json"
}
updated() {  # updated WHAT AS
  check "$1: exit 0 (got $status; $boxes)" test "$status" -eq 0
  # Wine's own lines may run into the last one; the box itself starts it.
  check "$1: only the success box" test "$(grep -c . <<<"$boxes")" -eq 1
  check "$1: the success box" grep -q "^$2 (information): Firmware successfully updated! Please restart device!" <<<"$boxes"
  check "$1: FWUE last" grep -q '"FWU4", "FWU", "pages ch4 80", "FWUE"\]' "$dir.report.json"
}

# ---- signed ---------------------------------------------------------------------------
folder signed
verify "$qrtupdate" "$dir"
check "signed: verify exits 0 (got $status; $err)" test "$status" -eq 0
check "signed: verify's signature line first" test "$(head -n 1 <<<"$out")" = "SHA256SUMS.sig	ok	$dev_id"
check "signed: then every container ok" test "$(grep -c '^FW..\.qrt	ok$' <<<"$out")" -eq 4
run_update "$qrtupdate" "$dir" $name
updated signed $name
check "signed: the record names the key" \
  grep -q "\"signature\":{\"key\":\"$dev_id\"}" <(tr -d ' \r\n' <"$dir/record.json")

# ---- refused ---------------------------------------------------------------------------
folder changed
first=$(head -c 1 "$dir/SHA256SUMS")
if [ "$first" = 0 ]; then printf 1; else printf 0; fi | dd of="$dir/SHA256SUMS" bs=1 conv=notrunc status=none
run_update "$qrtupdate" "$dir" $name
refused changed "SHA256SUMS does not match its signature! Update abort!"
check "changed: the console's line says why" grep -q "^qrtupdate: code 7: .*: SHA256SUMS.sig does not verify SHA256SUMS" "$dir.stderr"
verify "$qrtupdate" "$dir"
check "changed: verify exits 7 (got $status)" test "$status" -eq 7
check "changed: verify says bad" test "$(head -n 1 <<<"$out")" = "SHA256SUMS.sig	bad"
check "changed: and why" grep -q "does not verify SHA256SUMS with any trusted key ($dev_id)" <<<"$err"

folder untrusted
openssl dgst -sha256 -sign "$work/other.pem" -out "$dir/SHA256SUMS.sig" "$dir/SHA256SUMS" || exit 1
openssl pkey -in "$work/other.pem" -pubout -out "$dir/SHA256SUMS.pem" || exit 1
run_update "$qrtupdate" "$dir" $name
refused untrusted "SHA256SUMS is signed by an untrusted key! Update abort!"
verify "$qrtupdate" "$dir"
check "untrusted: verify exits 7 (got $status)" test "$status" -eq 7
check "untrusted: verify names the signer's key" test "$(head -n 1 <<<"$out")" = "SHA256SUMS.sig	untrusted	$other_id"

folder truncated
head -c 40 "$bundle/SHA256SUMS.sig" >"$dir/SHA256SUMS.sig"
run_update "$qrtupdate" "$dir" $name
refused truncated "SHA256SUMS does not match its signature! Update abort!"
verify "$qrtupdate" "$dir"
check "truncated: verify says bad, exit 7 (got $status)" test "$status" -eq 7 -a "$(head -n 1 <<<"$out")" = "SHA256SUMS.sig	bad"

# ---- required ------------------------------------------------------------------------
folder unsigned
rm "$dir/SHA256SUMS.sig"
run_update "$required" "$dir" $name
refused "required, unsigned" "No signed SHA256SUMS! Update abort!"
verify "$required" "$dir"
check "required, unsigned: verify exits 7 (got $status)" test "$status" -eq 7
check "required, unsigned: verify says missing" test "$(head -n 1 <<<"$out")" = "SHA256SUMS.sig	missing"
verify "$required" "$bundle"
check "required, signed: verify exits 0 (got $status; $err)" test "$status" -eq 0

folder nolist
rm "$dir/SHA256SUMS.sig" "$dir/SHA256SUMS"
run_update "$required" "$dir" $name
refused "required, no list" "No signed SHA256SUMS! Update abort!"
hidden=QRT_Update_WRAPIMAGES_OP_FWV2.04
run_update "$required" "$dir" $hidden
updated "required, hidden mode" $hidden

if [ $fail -ne 0 ]; then
  for f in "$work"/*.stderr "$work"/verify.err; do echo "--- $f"; head -c 600 "$f"; echo; done
  exit 1
fi
echo "signatures${runner:+ under Wine}: ok"
