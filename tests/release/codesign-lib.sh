# shellcheck shell=bash
# Sourced by the release tests: a certificate authority and a code-signing
# certificate of the test's own, made with openssl, and the Authenticode
# check of a signed Windows program against that authority.

# make_codesign DIR: writes DIR/ca.pem, DIR/codesign.pfx and its password
# file DIR/codesign.pass; sets codesign_args to the options of bundle.sh and
# package.sh that sign with them.
make_codesign() {
  local d=$1
  mkdir -p "$d"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$d/ca.key" -out "$d/ca.pem" -days 30 -subj "/CN=QRT Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null || return 1
  openssl req -newkey rsa:2048 -nodes -keyout "$d/cs.key" -out "$d/cs.csr" -subj "/CN=QRT Test Code Signing" \
    2>/dev/null || return 1
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$d/ext.cnf"
  openssl x509 -req -in "$d/cs.csr" -CA "$d/ca.pem" -CAkey "$d/ca.key" -CAcreateserial -out "$d/cs.pem" -days 30 \
    -extfile "$d/ext.cnf" 2>/dev/null || return 1
  echo "test pass $$" >"$d/codesign.pass"
  openssl pkcs12 -export -inkey "$d/cs.key" -in "$d/cs.pem" -certfile "$d/ca.pem" -out "$d/codesign.pfx" \
    -passout "file:$d/codesign.pass" || return 1
  codesign_args=(--codesign-pfx "$d/codesign.pfx" --codesign-pass-file "$d/codesign.pass")
}

# codesigned CA EXE: the program's Authenticode signature verifies against
# the test's authority.
codesigned() {
  osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1
}

# codesign_breaks CA EXE: with one byte in the middle of the program changed
# (a copy), its signature no longer verifies.
codesign_breaks() {
  local copy=$2.changed size
  cp "$2" "$copy" || return 1
  size=$(stat -c %s "$copy")
  printf '\x5a' | dd of="$copy" bs=1 seek=$((size / 2)) conv=notrunc status=none
  cmp -s "$copy" "$2" && printf '\xa5' | dd of="$copy" bs=1 seek=$((size / 2)) conv=notrunc status=none
  ! codesigned "$1" "$copy"
  local rc=$?
  rm -f "$copy"
  return $rc
}
