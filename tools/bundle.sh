#!/usr/bin/env bash
# Makes the release bundle of one brand and firmware version:
#   tools/bundle.sh --brand TALVO|OP|MURELL --firmware V --hex DIR [--out DIR]
#                   [--sign-key KEY.pem]
#                   [--codesign-pfx FILE --codesign-pass-file FILE [--timestamp-url URL]]
# writes OUT/QRT_Update_<BRAND>_FWV<V>.zip (OUT defaults to dist/) holding
#   QRT_Update_<BRAND>_FWV<V>.exe  the 32-bit Windows program, named so that
#                                  it selects the brand and announces V
#   the containers the brand's update reads (OP and TALVO: FW1A, FW1C, FW2A,
#   FW2B; MURELL: FW1E, FW2B), made from DIR's Intel HEX files of those
#   containers (OP and TALVO: four, MURELL: QRT_front14x0_MURELL.hex and
#   QRT_channel_10A.hex) by the program's own container creation (the
#   console front end's `create`)
#   SHA256SUMS                     over every other file of the zip
#   README.txt                     for the end user
# With --sign-key (an ECDSA P-256 private key in PEM) also
#   SHA256SUMS.sig                 the key's signature over SHA256SUMS, as
#                                  `openssl dgst -sha256 -sign` writes it
#   SHA256SUMS.pem                 the key's public half (listed in SHA256SUMS)
# and the program is built (in build-win32-signed) to trust that key and to
# refuse any folder without a list it signed. With --codesign-pfx the
# program is signed (Authenticode) with osslsigncode before it is listed.
# Refuses, before anything is written, a brand outside the three, a version
# that is not exactly four characters usable in a Windows file name, a name
# that would select another brand, a HEX file it needs that is missing, and
# HEX files the creation rejects (its own messages are passed on).
set -euo pipefail
export LC_ALL=C  # lengths in bytes, as the program counts them
# Relative --hex and --out name folders of the caller's, not of the project.
caller=$PWD
cd "$(dirname "$0")/.."
top=$PWD
. tools/release-lib.sh

usage() {
  echo "usage: tools/bundle.sh --brand TALVO|OP|MURELL --firmware V --hex DIR [--out DIR] [--sign-key KEY.pem]" >&2
  echo "       [--codesign-pfx FILE --codesign-pass-file FILE [--timestamp-url URL]]" >&2
  exit 64
}

help() {
  cat <<'EOT'
usage: tools/bundle.sh --brand TALVO|OP|MURELL --firmware V --hex DIR [--out DIR] [--sign-key KEY.pem]
       [--codesign-pfx FILE --codesign-pass-file FILE [--timestamp-url URL]]

Makes OUT/QRT_Update_<BRAND>_FWV<V>.zip (OUT: dist/ of the project unless
--out says otherwise; relative folders are taken from the current folder):
the 32-bit Windows program named QRT_Update_<BRAND>_FWV<V>.exe, the firmware
containers the brand's update reads, SHA256SUMS and README.txt.

The containers are built from the Intel HEX files in DIR by the program's own
container creation; only the files of the brand's containers are read (OP
and TALVO: all but QRT_front14x0_MURELL.hex; MURELL: QRT_front14x0_MURELL.hex
and QRT_channel_10A.hex). They are the maker's firmware: neither the
Debian package nor the Windows zip carries them, only a bundle made here.

  HEX file in DIR            container  pages sent  highest address sent
  QRT_front12x0.hex          FW1A.qrt   300         0x12BFF
  QRT_channel_5A.hex         FW2A.qrt    80         0x04FFF
  QRT_channel_10A.hex        FW2B.qrt    80         0x04FFF
  QRT_front14x0.hex          FW1C.qrt   350         0x15DFF
  QRT_front14x0_MURELL.hex   FW1E.qrt   350         0x15DFF

Each container holds 500 pages (addresses up to 0x1F3FF); data beyond the
pages sent is kept in the container, never sent, and warned about.

Containers each model's update reads, and the pages sent of each:

| brand | model | main controller | pages sent | channel controllers | pages sent |
| OP, TALVO | QRT1220 | FW1A.qrt | 300 | 1: FW2B.qrt, 2: FW2A.qrt | 80 |
| OP, TALVO | QRT1230 | FW1A.qrt | 300 | 1 to 3: FW2A.qrt | 80 |
| OP, TALVO | QRT1430 | FW1C.qrt | 350 | 1 to 3: FW2B.qrt | 80 |
| OP, TALVO | QRT1440 | FW1C.qrt | 350 | 1 to 4: FW2B.qrt | 80 |
| MURELL | ZVN1440 | FW1E.qrt | 350 | 1 to 4: FW2B.qrt | 80 |

HEX record types read: 00 data, 01 end of file, 02 extended segment address,
04 extended linear address, 03 and 05 start address (checked, ignored).
Any other type is refused (exit status 12 of the creation).

--sign-key KEY.pem signs the list: an ECDSA P-256 private key in PEM (as
`openssl ecparam -name prime256v1 -genkey -noout -out KEY.pem` writes it).
The bundle then also holds SHA256SUMS.sig, the signature over SHA256SUMS
(`openssl dgst -sha256 -sign KEY.pem -out SHA256SUMS.sig SHA256SUMS`), and
SHA256SUMS.pem, the public key; its program is built in build-win32-signed
to trust that public key and to refuse any folder without a list it signed
(-DQRT_REQUIRE_SIGNATURE=ON; the hidden mode excepted).

--codesign-pfx FILE --codesign-pass-file FILE sign the program (Authenticode,
SHA-256) with the certificate and key in the PKCS#12 FILE, whose password is
the first line of the pass file; --timestamp-url URL has the signature
time-stamped by that RFC 3161 server.

Refuses, before anything is written, a brand outside the three, a version
that is not exactly four characters usable in a Windows file name, a name
that would select another brand, an output path that is not a folder, a
signing key that is not an ECDSA P-256 private key, code-signing files that
are missing, a HEX file the brand needs that is missing, and HEX files the
creation rejects (its own messages are passed
on).
EOT
  exit 0
}
brand='' firmware='' hexdir='' out=dist sign_key=''
firmware_given='' out_given=''
while [ $# -gt 0 ]; do
  case $1 in
    --brand) [ $# -ge 2 ] || usage; brand=$2; shift 2 ;;
    --firmware) [ $# -ge 2 ] || usage; firmware=$2; firmware_given=1; shift 2 ;;
    --hex) [ $# -ge 2 ] || usage; hexdir=$2; shift 2 ;;
    --out) [ $# -ge 2 ] || usage; out=$2; out_given=1; shift 2 ;;
    --sign-key) [ $# -ge 2 ] || usage; sign_key=$(abspath "$2"); shift 2 ;;
    --codesign-pfx) [ $# -ge 2 ] || usage; codesign_pfx=$(abspath "$2"); shift 2 ;;
    --codesign-pass-file) [ $# -ge 2 ] || usage; codesign_pass_file=$(abspath "$2"); shift 2 ;;
    --timestamp-url) [ $# -ge 2 ] || usage; codesign_ts_url=$2; shift 2 ;;
    -h|--help) help ;;
    *) echo "bundle.sh: unknown argument '$1'" >&2; usage ;;
  esac
done
[ -n "$brand" ] && [ -n "$firmware_given" ] && [ -n "$hexdir" ] || usage

case $brand in
  TALVO) title="TALVO QRT Update"; containers="FW1A FW1C FW2A FW2B"; models="QRT1220, QRT1230, QRT1430 and QRT1440" ;;
  OP) title="Orvelt&Pannik QRT Update"; containers="FW1A FW1C FW2A FW2B"; models="QRT1220, QRT1230, QRT1430 and QRT1440" ;;
  MURELL) title="MURELL QRT Update"; containers="FW1E FW2B"; models="ZVN1440" ;;
  *) die "unknown brand '$brand': TALVO, OP or MURELL" ;;
esac
# The creation's work list, in its order: HEX file and container.
create_jobs="QRT_front12x0:FW1A QRT_channel_5A:FW2A QRT_channel_10A:FW2B QRT_front14x0:FW1C QRT_front14x0_MURELL:FW1E"
# The HEX files of the containers the brand ships; only these are read.
needed=''
for job in $create_jobs; do
  case " $containers " in *" ${job#*:} "*) needed+="${job%:*} " ;; esac
done
# The program reads exactly four characters (bytes) after "FWV"; they end
# up in a Windows file name.
if [ ${#firmware} -ne 4 ]; then
  die "the firmware version must be exactly 4 characters (the program reads 4 after FWV), not '$firmware'"
fi
case $firmware in
  *[^!-~]* | *[\"*/:\<\>?\\\|]*) die "the firmware version '$firmware' holds a character a Windows file name cannot carry" ;;
esac
case $hexdir in /*) ;; *) hexdir=$caller/$hexdir ;; esac
[ -d "$hexdir" ] || die "no folder '$hexdir' of HEX files"
hexdir=$(cd "$hexdir" && pwd)
for h in $needed; do
  if [ ! -e "$hexdir/$h.hex" ]; then
    list=$(printf '%s.hex, ' $needed)
    die "missing $hexdir/$h.hex: the $brand bundle's containers are made from ${list%, }"
  fi
  [ -f "$hexdir/$h.hex" ] || die "$hexdir/$h.hex is not a file"
done
if [ "$out_given" ]; then
  case $out in /*) ;; *) out=$caller/$out ;; esac
else
  out=$top/$out
fi
# Before any work: the zip goes into a folder, never over a file.
if [ -e "$out" ] && [ ! -d "$out" ]; then die "the output path '$out' is not a folder"; fi
codesign_check
if [ -n "$sign_key" ]; then
  [ -f "$sign_key" ] && [ -r "$sign_key" ] || die "no readable signing key '$sign_key'"
  openssl pkey -in "$sign_key" -noout -text 2>/dev/null | grep -q '^ASN1 OID: prime256v1$' \
    || die "the signing key '$sign_key' is not an ECDSA P-256 private key in PEM (openssl ecparam -name prime256v1 -genkey -noout)"
fi

name=QRT_Update_${brand}_FWV$firmware
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ensure_build build qrtupdate --
qrtupdate=$top/build/bin/qrtupdate

# The name must present the brand asked for and announce the version (a
# version such as OP12 would turn a TALVO name into an OP one).
shown=$("$qrtupdate" --as "$name.exe" show info 2>"$work/show.err") || { cat "$work/show.err" >&2; die "$name.exe does not start"; }
[ "$(sed -n 's/^title: //p' <<<"$shown")" = "$title" ] \
  || die "the name $name.exe does not select the brand $brand (its title: $(sed -n 's/^title: //p' <<<"$shown"))"
versions=$(sed -n 's/^Firmware Version [^:]*: //p' <<<"$shown")
[ -n "$versions" ] || die "the Info dialog of $name.exe shows no firmware version"
while read -r v; do
  [ "$v" = "$firmware" ] || die "the name $name.exe announces the version '$v', not '$firmware'"
done <<<"$versions"

# The containers, made as the hidden mode makes them. The creation reads all
# five HEX files and writes all five containers or none; a HEX file the
# brand does not ship is stood in for by one data byte, and its container
# is dropped.
standin() { printf ':0100000000FF\r\n:00000001FF\r\n' >"$1"; }
create_in() {  # create_in FOLDER REAL_HEX...: the creation with only those files real
  local dir=$1 job h; shift
  rm -rf "$dir"; mkdir -p "$dir"
  for job in $create_jobs; do
    h=${job%:*}
    case " $* " in *" $h "*) cp "$hexdir/$h.hex" "$dir/" ;; *) standin "$dir/$h.hex" ;; esac
  done
  (cd "$dir" && "$qrtupdate" --as "QRT_Update_WRAPIMAGES_${brand}_FWV$firmware.exe" create \
     >"$dir.out" 2>"$dir.err")
}
# shellcheck disable=SC2086
if ! create_in "$work/create" $needed; then
  # Which file was refused: each of the brand's files alone, in the
  # creation's order; the first the creation refuses is named.
  failed=
  for h in $needed; do
    create_in "$work/alone" "$h" || { failed=$h.hex; break; }
  done
  echo "bundle.sh: the container creation refused $hexdir/${failed:-(a HEX file)}:" >&2
  cat "$work/create.err" >&2
  exit 1
fi
# Data a HEX file holds beyond the pages an update sends: the containers
# keep it, the device never receives it; the program's warning is passed on.
grep '^qrtupdate: warning:' "$work/create.err" >&2 || [ $? -eq 1 ] || die "cannot read the creation's messages"

b=$work/bundle
mkdir -p "$b"
if [ -n "$sign_key" ]; then
  # A program of its own that trusts this key, and only lists it signed.
  signed_build=build-win32-signed
  mkdir -p "$signed_build"
  openssl pkey -in "$sign_key" -pubout -out "$b/SHA256SUMS.pem" || die "cannot take the public key of '$sign_key'"
  cp "$b/SHA256SUMS.pem" "$signed_build/trusted-key.pem"
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$signed_build" -DQRT_WERROR=OFF -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-i686.cmake" \
    -DQRT_TESTS=OFF -DQRT_TRUSTED_KEYS="$PWD/$signed_build/trusted-key.pem" -DQRT_REQUIRE_SIGNATURE=ON \
    "${launcher[@]}" >"$signed_build/release-build.log" 2>&1 \
    || { cat "$signed_build/release-build.log" >&2; die "cannot configure $signed_build"; }
  ensure_build "$signed_build" QRT1220 --
  strip_exe i686 "$signed_build/bin/QRT1220.exe" "$b/$name.exe"
else
  ensure_windows_build i686 QRT1220
  strip_exe i686 build-win32/bin/QRT1220.exe "$b/$name.exe"
fi
codesign_exe "$b/$name.exe"
for c in $containers; do cp "$work/create/$c.qrt" "$b/"; done
# Plain text replacement: a version may hold characters such as & that a
# sed replacement would take as commands.
readme=$(<docs/release/bundle-README.txt)
container_list=$(for c in $containers; do printf '%s.qrt, ' "$c"; done)
container_list=${container_list%, }
readme=${readme//@NAME@/"$name"}
readme=${readme//@BRAND@/"$brand"}
readme=${readme//@FIRMWARE@/"$firmware"}
readme=${readme//@CONTAINERS@/"$container_list"}
readme=${readme//@MODELS@/"$models"}
signature_text=''
if [ -n "$sign_key" ]; then
  signature_text=$(<docs/release/bundle-README-signed.txt)
  key_id=$(openssl pkey -pubin -in "$b/SHA256SUMS.pem" -outform DER | sha256sum | cut -c1-16)
  signature_text=$'\n'${signature_text//@KEYID@/"$key_id"}
fi
readme=${readme//@SIGNATURE@/"$signature_text"}
printf '%s\n' "$readme" >"$work/README.txt"
crlf "$work/README.txt" "$b/README.txt"
files=("$name.exe")
for c in $containers; do files+=("$c.qrt"); done
files+=(README.txt)
[ -n "$sign_key" ] && files+=(SHA256SUMS.pem)
(cd "$b" && sha256sum "${files[@]}" >SHA256SUMS)
if [ -n "$sign_key" ]; then
  (cd "$b" && openssl dgst -sha256 -sign "$sign_key" -out SHA256SUMS.sig SHA256SUMS) || die "cannot sign SHA256SUMS"
  # The signature must verify as the README tells users to check it.
  (cd "$b" && openssl dgst -sha256 -verify SHA256SUMS.pem -signature SHA256SUMS.sig SHA256SUMS >/dev/null) \
    || die "the signature over SHA256SUMS does not verify"
  files+=(SHA256SUMS.sig)
fi

mkdir -p "$out"
zipfile=$out/$name.zip
rm -f "$zipfile"
(cd "$b" && zip -X -q "$zipfile" "${files[@]}" SHA256SUMS)
echo "wrote $zipfile"
