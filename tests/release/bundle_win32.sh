#!/usr/bin/env bash
# A release bundle, and the 32-bit Windows program executed under the i386
# Wine of tools/setup-wine32.sh (CPU emulation: about 10 s per start, so a
# few long runs):
#   bundle   tools/bundle.sh makes a MURELL bundle, and an OP one from another
#            folder (relative paths, '&' in the version, the creation's
#            warning passed on); its refusals and --help
#   run A    the WRAPIMAGES name: start-up, `create` from the sample HEX files
#            (containers byte-identical to the native program's and to the
#            bundle's), then a full QRT1440 update over COM7 mapped to qrtsim
#   run B    the bundle's name and containers: start-up (brand and version
#            shown), a full ZVN1440 update over GPIB through the 32-bit
#            stand-in GPIB-32.DLL (the only run of the __stdcall binding):
#            one ibwrt per string, and the same bytes in the same order as
#            the native program's update over its own stand-in library
#   run C    the built name QRT1220.exe: "FILE RENAMED!" and exit status 78
#   run D    the bundle with one byte of FW2B.qrt changed: refused against its
#            SHA256SUMS with exit status 7, nothing sent (run B has the list too);
#            then a signed bundle's own program (signature required, trusting
#            only the bundle's key) with one byte of the signed SHA256SUMS
#            changed: refused with exit status 7, nothing sent
#   signed   tools/bundle.sh --sign-key with the development key and
#            --codesign-pfx with a certificate of the test's own CA: the
#            signature verifies with openssl and with the native program
#            (key id), the program's Authenticode signature verifies against
#            the CA and breaks with one byte changed
# The console front end of the 32-bit build stands for the Windows program:
# same start-up, logic and links, without a window.
#
# usage: bundle_win32.sh BUILD_WIN32 NATIVE_BIN
set -u
export LC_ALL=C
top=$(cd "$(dirname "$0")/../.." && pwd)
win32=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
run32=$top/tools/wine32-run.sh
native_standin=$native/../standin
for f in "$win32/bin/qrtupdate.exe" "$win32/standin/GPIB-32.DLL" "$native/qrtupdate" "$native/qrtsim" \
  "$native_standin/libgpib.so.0"; do
  [ -f "$f" ] || { echo "FAIL: $f is missing: build the 32-bit and the native build first"; exit 1; }
done
export WINEPREFIX=$win32/wineprefix32
. "$(dirname "$0")/../qrtsim-lib.sh"
unmap_com7() { rm -f "$WINEPREFIX/dosdevices/com7"; }
sim_workdir bundle-win32 unmap_com7
fail=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}
line() { tr -d '\r' <"$1" | grep "^$2: " | head -n 1 | cut -d' ' -f2-; }
boxes() { tr -d '\r' <"$1" | grep "^$2 ("; }
same_pages() { cmp -s "$1" <(head -c $(($3 * 256)) "$2"); }  # same_pages DUMP CONTAINER PAGES

bash "$top/tools/make-sample-hex.sh" "$work/hex" >/dev/null || exit 1
mkdir -p "$work/native"
cp "$work/hex"/*.hex "$work/native/"
(cd "$work/native" && "$native/qrtupdate" --as QRT_Update_WRAPIMAGES_OP_FWV2.04 create 2>/dev/null) || exit 1

# ---- the bundle ------------------------------------------------------------------
# MURELL's two containers come from its two HEX files alone.
bname=QRT_Update_MURELL_FWV1.23
mkdir -p "$work/murell-hex"
cp "$work/hex/QRT_front14x0_MURELL.hex" "$work/hex/QRT_channel_10A.hex" "$work/murell-hex/"
bash "$top/tools/bundle.sh" --brand MURELL --firmware 1.23 --hex "$work/murell-hex" --out "$work/dist" >/dev/null
check "bundle made" test -f "$work/dist/$bname.zip"
mkdir -p "$work/bundle"
(cd "$work/bundle" && unzip -q "$work/dist/$bname.zip")
check "bundle files" test "$(cd "$work/bundle" && ls | sort | tr '\n' ' ')" = \
  "FW1E.qrt FW2B.qrt $bname.exe README.txt SHA256SUMS "
check "bundle checksums" bash -c "cd '$work/bundle' && sha256sum --quiet -c SHA256SUMS && test \$(wc -l <SHA256SUMS) -eq 4"
check "bundle program is 32-bit" bash -c "objdump -f '$work/bundle/$bname.exe' | grep -q 'file format pei-i386'"
for args in "--brand ACME --firmware 1.23" "--brand OP --firmware 1.2" "--brand TALVO --firmware OP12"; do
  # shellcheck disable=SC2086
  bash "$top/tools/bundle.sh" $args --hex "$work/hex" --out "$work/refused" >/dev/null 2>"$work/refused.err"
  check "bundle refuses $args" test $? -ne 0 -a -s "$work/refused.err" -a ! -e "$work/refused"
done
check "  ... its containers those of the five-file creation" \
  bash -c "cmp -s '$work/bundle/FW1E.qrt' '$work/native/FW1E.qrt' && cmp -s '$work/bundle/FW2B.qrt' '$work/native/FW2B.qrt'"
mkdir -p "$work/nofront"
cp "$work/hex"/*.hex "$work/nofront/"
rm "$work/nofront/QRT_front14x0.hex"
bash "$top/tools/bundle.sh" --brand OP --firmware 2.04 --hex "$work/nofront" --out "$work/refused" >/dev/null 2>"$work/refused.err"
check "bundle refuses a missing HEX file it needs" test $? -ne 0 -a ! -e "$work/refused"
check "  ... saying it is missing" grep -q "^bundle.sh: missing $work/nofront/QRT_front14x0.hex" "$work/refused.err"
mkdir -p "$work/badhex"
cp "$work/hex"/*.hex "$work/badhex/"
printf ':10000000FF\n' >>"$work/badhex/QRT_channel_10A.hex"
bash "$top/tools/bundle.sh" --brand OP --firmware 2.04 --hex "$work/badhex" --out "$work/refused" >/dev/null 2>"$work/refused.err"
check "bundle refuses a HEX file the creation rejects, with its message" \
  grep -q "QRT_channel_10A.hex" "$work/refused.err"
check "  ... passing on the program's message" grep -qF "(warning): ERROR While Creating Enc File" "$work/refused.err"

# Started from another folder with relative --hex and --out, a version holding
# '&', and a front file with data beyond the 350 pages an update sends: the
# folders are the caller's, the README carries the version as given, and the
# creation's warning is passed on while the bundle is still made.
mkdir -p "$work/caller/hex"
cp "$work/hex"/*.hex "$work/caller/hex/"
{ grep -v '^:00000001FF' "$work/hex/QRT_front14x0.hex"; printf ':020000021000EC\n:10600000000102030405060708090A0B0C0D0E0F18\n:00000001FF\n'; } \
  >"$work/caller/hex/QRT_front14x0.hex"
(cd "$work/caller" && bash "$top/tools/bundle.sh" --brand OP --firmware '2&04' --hex hex --out dist >/dev/null 2>"$work/caller.err")
check "bundle from another folder, relative paths (exit status $?)" test -f "$work/caller/dist/QRT_Update_OP_FWV2&04.zip"
check "  ... README with the version as given" \
  bash -c "unzip -p '$work/caller/dist/QRT_Update_OP_FWV2&04.zip' README.txt | tr -d '\r' | grep -qxF 'QRT Update: firmware 2&04 for OP power supplies'"
check "  ... the warning passed on" grep -qF "qrtupdate: warning: QRT_front14x0.hex holds data up to address 0x1600F" "$work/caller.err"
check "bundle.sh --help: usage, exit status 0" bash -c "bash '$top/tools/bundle.sh' --help | grep -q '^usage: tools/bundle.sh'"
: >"$work/afile"
bash "$top/tools/bundle.sh" --brand OP --firmware 2.04 --hex "$work/hex" --out "$work/afile" >/dev/null 2>"$work/refused.err"
check "bundle refuses an output path that is a file" test $? -ne 0 -a ! -s "$work/afile"
check "  ... saying so" grep -q "is not a folder" "$work/refused.err"

# ---- signed: the list signed, the program code-signed ------------------------------
. "$top/tests/release/codesign-lib.sh"
devkey=$top/tests/keys/dev-signing-key-TESTS-ONLY.pem
dev_id=$(openssl pkey -in "$devkey" -pubout -outform DER | sha256sum | cut -c1-16)
make_codesign "$work/codesign" || exit 1
sname=QRT_Update_MURELL_FWV1.24
bash "$top/tools/bundle.sh" --brand MURELL --firmware 1.24 --hex "$work/hex" --out "$work/dist" --sign-key "$devkey" \
  "${codesign_args[@]}" >/dev/null 2>"$work/signed.err"
check "signed bundle made (exit status $?)" test -f "$work/dist/$sname.zip"
mkdir -p "$work/signed"
(cd "$work/signed" && unzip -q "$work/dist/$sname.zip")
check "signed bundle files" test "$(cd "$work/signed" && ls | sort | tr '\n' ' ')" = \
  "FW1E.qrt FW2B.qrt $sname.exe README.txt SHA256SUMS SHA256SUMS.pem SHA256SUMS.sig "
check "  ... the list verifies with openssl" bash -c "cd '$work/signed' && openssl dgst -sha256 -verify \
  <(openssl pkey -in '$devkey' -pubout) -signature SHA256SUMS.sig SHA256SUMS | grep -qx 'Verified OK'"
check "  ... and covers every other file" bash -c "cd '$work/signed' && sha256sum --quiet -c SHA256SUMS && test \$(wc -l <SHA256SUMS) -eq 5"
(cd "$work/signed" && "$native/qrtupdate" verify >"$work/signed-verify.out" 2>&1)
check "  ... the native program's verify: ok with the key id" test "$(head -n 1 "$work/signed-verify.out")" = \
  "SHA256SUMS.sig	ok	$dev_id"
check "  ... README tells the key id" bash -c "tr -d '\r' <'$work/signed/README.txt' | grep -q 'key id $dev_id'"
check "  ... program code-signed by the test's CA" codesigned "$work/codesign/ca.pem" "$work/signed/$sname.exe"
check "  ... one byte changed breaks it" codesign_breaks "$work/codesign/ca.pem" "$work/signed/$sname.exe"
bash "$top/tools/bundle.sh" --brand MURELL --firmware 1.24 --hex "$work/hex" --out "$work/refused" \
  --sign-key "$work/codesign/cs.key" >/dev/null 2>"$work/refused.err"
check "bundle refuses a signing key that is not P-256" test $? -ne 0 -a ! -e "$work/refused"
check "  ... saying so" grep -q "is not an ECDSA P-256 private key" "$work/refused.err"

# ---- run A: create, then a full update over COM ------------------------------------
aname=QRT_Update_WRAPIMAGES_TALVO_FWV2.04
mkdir -p "$work/a"
cp "$work/hex"/*.hex "$work/a/"
cp "$win32/bin/qrtupdate.exe" "$work/a/$aname.exe"
sim_start "$work/a-sim.out" "$native/qrtsim" --family 14x0 --channels 4 --report "$work/a-report.json" \
  --dump-dir "$work/a-dump" --max-seconds 900 --exit-after-fwue || exit 1
"$run32" --prepare || exit 1
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com7"
start=$SECONDS
(cd "$work/a" && timeout 900 "$run32" "$work/a/$aname.exe" --interface COM7 --device QRT1440 show create update \
  >"$work/a.out" 2>"$work/a.err")
rc=$?
echo "run A: $((SECONDS - start)) s"
sim_finish "$rc"
check "A: exit status 0 (got $rc)" test $rc -eq 0
check "A: TALVO title" test "$(line "$work/a.out" title)" = "TALVO QRT Update"
check "A: version in the caption" test "$(line "$work/a.out" update-button)" = \
  "UPDATE  FIRMWARE  OF  QRT1440  TO  VERSION  2.04"
check "A: hidden button shown" test "$(line "$work/a.out" create-enc-file)" = "shown"
check "A: the two boxes" test "$(boxes "$work/a.err" "$aname")" = "$aname (warning): Enc file created successfully!
$aname (information): Firmware successfully updated! Please restart device!"
for c in FW1A FW1C FW1E FW2A FW2B; do
  check "A: $c.qrt as the native program writes it" cmp -s "$work/a/$c.qrt" "$work/native/$c.qrt"
done
for c in FW1E FW2B; do
  check "bundle: $c.qrt as create writes it" cmp -s "$work/bundle/$c.qrt" "$work/a/$c.qrt"
done
check "A: main controller pages" same_pages "$work/a-dump/main.bin" "$work/a/FW1C.qrt" 350
for n in 1 2 3 4; do
  check "A: channel $n pages" same_pages "$work/a-dump/ch$n.bin" "$work/a/FW2B.qrt" 80
done
check "A: FWUE last" grep -q '"FWU4", "FWU", "pages ch4 80", "FWUE"\]' "$work/a-report.json"
rm -f "$WINEPREFIX/dosdevices/com7"

# ---- run B: the bundle's program over GPIB -------------------------------------------
mkdir -p "$work/b"
cp "$work/bundle"/*.qrt "$work/bundle/SHA256SUMS" "$work/b/"
cp "$win32/bin/qrtupdate.exe" "$work/b/$bname.exe"
start=$SECONDS
(cd "$work/b" && QRTSIM_GPIB="--family 14x0 --channels 4 --report Z:$work/b-report.json --dump-dir Z:$work/b-dump" \
  WINEPATH="Z:$win32/standin" timeout 900 "$run32" "$work/b/$bname.exe" --interface GPIB show update >"$work/b.out" 2>"$work/b.err")
rc=$?
echo "run B: $((SECONDS - start)) s"
check "B: exit status 0 (got $rc)" test $rc -eq 0
check "B: MURELL title" test "$(line "$work/b.out" title)" = "MURELL QRT Update"
check "B: ZVN banner" test "$(line "$work/b.out" banner)" = "ZVN"
check "B: version in the caption" test "$(line "$work/b.out" update-button)" = \
  "UPDATE  FIRMWARE  OF  ZVN1440  TO  VERSION  1.23"
check "B: only the success box" test "$(boxes "$work/b.err" "$bname")" = \
  "$bname (information): Firmware successfully updated! Please restart device!"
check "B: ibdev 0/30/0/12/0/0 and ibonl" grep -q '"ibdev": \[{"board": 0, "pad": 30, "sad": 0, "tmo": 12, "eot": 0, "eos": 0, "result": [0-9]*}\], "ibonl": \[{"ud": [0-9]*, "v": 0}\]' "$work/b-report.json"
check "B: main controller pages" same_pages "$work/b-dump/main.bin" "$work/b/FW1E.qrt" 350
for n in 1 2 3 4; do
  check "B: channel $n pages" same_pages "$work/b-dump/ch$n.bin" "$work/b/FW2B.qrt" 80
done
check "B: one ibwrt per string" grep -q '"ibwrt_calls": 2025,' "$work/b-report.json"
# The native program's update with the same bundle over its own stand-in:
# the device must receive the same bytes in the same order.
mkdir -p "$work/bn"
cp "$work/bundle"/*.qrt "$work/bundle/SHA256SUMS" "$work/bn/"
(cd "$work/bn" && QRTSIM_GPIB="--family 14x0 --channels 4 --report $work/bn-report.json" \
  LD_LIBRARY_PATH="$native_standin" timeout 300 "$native/qrtupdate" --as "$bname" --interface GPIB update \
  >"$work/bn.out" 2>"$work/bn.err")
rc=$?
check "B: native reference exits 0 (got $rc)" test $rc -eq 0
digest() { grep -o '"received_\(bytes\|fnv1a\)": [^,]*' "$1"; }
check "B: native reference digest" test "$(digest "$work/bn-report.json" | wc -l)" -eq 2
check "B: the same bytes as the native program's" test "$(digest "$work/b-report.json")" = "$(digest "$work/bn-report.json")"

# ---- run D: the bundle with one byte of FW2B.qrt changed ----------------------------
mkdir -p "$work/d"
cp "$work/bundle"/*.qrt "$work/bundle/SHA256SUMS" "$work/d/"
cp "$win32/bin/qrtupdate.exe" "$work/d/$bname.exe"
printf '\x5a' | dd of="$work/d/FW2B.qrt" bs=1 seek=4000 conv=notrunc status=none
cmp -s "$work/d/FW2B.qrt" "$work/bundle/FW2B.qrt" && printf '\xa5' | dd of="$work/d/FW2B.qrt" bs=1 seek=4000 conv=notrunc status=none
start=$SECONDS
(cd "$work/d" && QRTSIM_GPIB="--family 14x0 --channels 4 --report Z:$work/d-report.json" \
  WINEPATH="Z:$win32/standin" timeout 900 "$run32" "$work/d/$bname.exe" --interface GPIB update >"$work/d.out" 2>"$work/d.err")
rc=$?
echo "run D: $((SECONDS - start)) s"
check "D: changed FW2B.qrt exits 7 (got $rc)" test $rc -eq 7
check "D: the message names FW2B.qrt" test "$(boxes "$work/d.err" "$bname")" = \
  "$bname (warning): Firmware file FW2B.qrt does not match SHA256SUMS! Update abort!"
check "D: the device heard nothing" test ! -s "$work/d-report.json" -o -z "$(grep -o '"FWU0"' "$work/d-report.json" 2>/dev/null)"
# The signed bundle's program as bundle.sh built it (its console front end),
# with one byte of the signed list changed.
signed_win32=$top/build-win32-signed
cmake --build "$signed_win32" -j2 --target qrtupdate >"$work/signed-build.log" 2>&1
check "D: the signed bundle's console program builds" test $? -eq 0
mkdir -p "$work/ds"
cp "$work/signed"/*.qrt "$work/signed"/SHA256SUMS* "$work/ds/"
cp "$signed_win32/bin/qrtupdate.exe" "$work/ds/$sname.exe"
if [ "$(head -c 1 "$work/ds/SHA256SUMS")" = 0 ]; then printf 1; else printf 0; fi |
  dd of="$work/ds/SHA256SUMS" bs=1 conv=notrunc status=none
start=$SECONDS
(cd "$work/ds" && QRTSIM_GPIB="--family 14x0 --channels 4 --report Z:$work/ds-report.json" \
  WINEPATH="Z:$win32/standin" timeout 900 "$run32" "$work/ds/$sname.exe" --interface GPIB update >"$work/ds.out" 2>"$work/ds.err")
rc=$?
echo "run D, signed: $((SECONDS - start)) s"
check "D: signed list changed exits 7 (got $rc)" test $rc -eq 7
check "D: the message says the list does not match its signature" test "$(boxes "$work/ds.err" "$sname")" = \
  "$sname (warning): SHA256SUMS does not match its signature! Update abort!"
check "D: the device heard nothing" test ! -s "$work/ds-report.json" -o -z "$(grep -o '"FWU0"' "$work/ds-report.json" 2>/dev/null)"

# ---- run C: the built name holds no brand ---------------------------------------------
mkdir -p "$work/c"
cp "$win32/bin/qrtupdate.exe" "$work/c/QRT1220.exe"
start=$SECONDS
(cd "$work/c" && timeout 900 "$run32" "$work/c/QRT1220.exe" show >"$work/c.out" 2>"$work/c.err")
rc=$?
echo "run C: $((SECONDS - start)) s"
check "C: exit status 78 (got $rc)" test $rc -eq 78
check "C: FILE RENAMED!" test "$(tr -d '\r' <"$work/c.err" | grep -A1 "^QRT1220 (")" = "QRT1220 (warning): FILE RENAMED!
CLOSE PROGRAM!"

if [ $fail -ne 0 ]; then
  for f in "$work"/*.err "$work"/*-report.json; do echo "--- $f"; tail -c 800 "$f"; echo; done
  exit 1
fi
echo "bundle and 32-bit runs: ok"
