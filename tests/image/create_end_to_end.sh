#!/usr/bin/env bash
# The console program run as a user would in a folder of HEX files:
#   qrtupdate --as QRT_Update_WRAPIMAGES_OP_FWV2.04.exe create
# Checks the containers against the format (stated again here, in awk), the
# messages on standard error, the exit status, a second run giving the same
# bytes, missing or corrupt HEX files leaving the earlier containers alone, HEX
# files written by objcopy and srec_cat with their own record types giving
# the same containers, a record type the import does not read, and a front
# file holding more than an update sends.
# usage: create_end_to_end.sh QRTUPDATE INPUTS_FOLDER [RUNNER]
set -u
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
inputs=$(cd "$2" && pwd)
runner=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
name=QRT_Update_WRAPIMAGES_OP_FWV2.04
hexes="QRT_front12x0 QRT_channel_5A QRT_channel_10A QRT_front14x0 QRT_front14x0_MURELL"
containers="FW1A FW2A FW2B FW1C FW1E"
pages="300 300 300 350 350"

expect() {  # expect WHAT GOT WANT
  if [ "$2" != "$3" ]; then echo "FAIL: $1: got [$2], want [$3]"; fail=1; else echo "ok: $1"; fi
}

run_create() {  # run_create FOLDER [NAME]; sets out, err, rc
  local as=${2:-$name.exe}
  if [ -n "$runner" ]; then
    (cd "$1" && "$runner" "$exe" --as "$as" create >"$work/out" 2>"$work/err"); rc=$?
    out=$(tr -d '\r' <"$work/out")
  else
    out=$(cd "$1" && "$exe" --as "$as" create 2>"$work/err"); rc=$?
  fi
  # The message boxes; the console's own lines ("qrtupdate: ...") are
  # checked apart where a case needs them. Under Wine, Wine's own lines
  # share the program's standard error: they are kept apart in rest.
  local box="^${as%.exe} ("
  err=$(tr -d '\r' <"$work/err" | grep "$box")
  why=$(tr -d '\r' <"$work/err" | grep '^qrtupdate: ')
  rest=$(tr -d '\r' <"$work/err" | grep -v "$box" | grep -v '^qrtupdate: ')
}

# no_other_lines WHAT: the program wrote nothing but boxes and its own lines
# to standard error; under Wine what is left is Wine's, shown, not judged.
no_other_lines() {
  if [ -z "$runner" ]; then
    expect "$1: nothing else on standard error" "$rest" ""
  elif [ -n "$rest" ]; then
    echo "note: $1: Wine's own lines on standard error: $rest"
  fi
}

fresh() {  # fresh FOLDER: a folder holding the five HEX files
  rm -rf "$1"; mkdir -p "$1"
  for h in $hexes; do cp "$inputs/$h.hex" "$1/"; done
}

# The expected container of a plain binary over N pages: every page p < N
# with p mod 3 = 2 has byte j XORed with j; padded with zeros to 128000.
expected() {  # expected BIN PAGES OUT
  { od -An -v -tu1 "$1"; } | LC_ALL=C awk -v pages="$2" '
    function xor(a, b,    r, bit) {
      r = 0
      for (bit = 1; bit < 256; bit *= 2) {
        if ((int(a / bit) % 2) != (int(b / bit) % 2)) r += bit
      }
      return r
    }
    { for (i = 1; i <= NF; i++) v[n++] = $i }
    END {
      for (o = 0; o < 128000; o++) {
        b = (o < n) ? v[o] : 0
        p = int(o / 256)
        if (p < pages && p % 3 == 2) b = xor(b, o % 256)
        printf "%02x", b
        if (o % 32 == 31) printf "\n"
      }
    }' >"$3"
}
as_hex() { od -An -v -tx1 "$1" | tr -d ' \n' | fold -w 64; echo; }

i=0
for c in $containers; do
  set -- $pages; shift $i; expected "$inputs/$(echo $hexes | cut -d' ' -f$((i + 1))).bin" "$1" "$work/$c.expected"
  i=$((i + 1))
done
same_as_expected() { [ "$(as_hex "$1")" = "$(cat "$2")" ]; }

# 1. All five present: the five containers and one message, twice alike.
fresh "$work/a"
printf 'older' >"$work/a/FW1C.qrt"
run_create "$work/a"
expect "all: exit status" "$rc" 0
expect "all: messages" "$err" "$name (warning): Enc file created successfully!"
no_other_lines all
expect "all: standard output" "$out" ""
for c in $containers; do
  if same_as_expected "$work/a/$c.qrt" "$work/$c.expected"; then echo "ok: all: $c.qrt"; else echo "FAIL: all: $c.qrt differs from the format"; fail=1; fi
  cp "$work/a/$c.qrt" "$work/a/$c.first"
done
run_create "$work/a"
expect "again: exit status" "$rc" 0
for c in $containers; do
  if cmp -s "$work/a/$c.qrt" "$work/a/$c.first"; then echo "ok: again: $c.qrt identical"; else echo "FAIL: again: $c.qrt changed"; fail=1; fi
done

# 2. Only the first HEX file: FW1A.qrt is made, then the open failure; no
#    container is put in place (an older one survives, a missing one stays
#    missing) and nothing else is left behind.
rm -rf "$work/b"; mkdir -p "$work/b"; cp "$inputs/QRT_front12x0.hex" "$work/b/"
printf 'older' >"$work/b/FW2B.qrt"
run_create "$work/b"
expect "missing: exit status" "$rc" 1
expect "missing: messages" "$err" "$name (warning): Could not open file!
$name (warning): Couldn't open file!"
# The file by its whole path (as the system spells it) and the system's words.
case "$why" in
  "qrtupdate: code 1: a HEX file cannot be opened; "*QRT_channel_5A.hex:\ ?*) echo "ok: missing: why names the file" ;;
  *) echo "FAIL: missing: why: $why"; fail=1 ;;
esac
no_other_lines missing
expect "missing: FW2B.qrt untouched" "$(cat "$work/b/FW2B.qrt")" "older"
expect "missing: the folder" "$(cd "$work/b" && ls -A | tr '\n' ' ')" "FW2B.qrt QRT_front12x0.hex "

# 3. A set made before, then a checksum error in the third HEX file
#    (QRT_channel_10A.hex) after new first and second files: the earlier set
#    stays byte for byte (the same digests) and no stray file is left.
fresh "$work/c"
for c in $containers; do cp "$work/a/$c.first" "$work/c/$c.qrt"; done
sums_before=$(cd "$work/c" && sha256sum ./*.qrt)
files_before=$(cd "$work/c" && ls -A | tr '\n' ' ')
cp "$inputs/QRT_channel_5A.hex" "$work/c/QRT_front12x0.hex"
# One data digit of line 100 changed.
awk 'NR == 100 { d = substr($0, 10, 1); $0 = substr($0, 1, 9) (d == "0" ? "1" : "0") substr($0, 11) } { print }' \
  "$inputs/QRT_channel_10A.hex" >"$work/c/QRT_channel_10A.hex"
run_create "$work/c"
expect "third fails: exit status" "$rc" 9
expect "third fails: messages" "$err" "$name (warning): Checksum error during decoding file!
$name (warning): ERROR While Creating Enc File"
no_other_lines "third fails"
expect "third fails: the earlier set's digests" "$(cd "$work/c" && sha256sum ./*.qrt)" "$sums_before"
expect "third fails: no stray files" "$(cd "$work/c" && ls -A | tr '\n' ' ')" "$files_before"

# 4. Outside the hidden mode the button is hidden: a usage error, no file.
fresh "$work/d"
run_create "$work/d" QRT_Update_OP_FWV2.04.exe
expect "hidden button: exit status" "$rc" 64
expect "hidden button: no containers" "$(cd "$work/d" && ls ./*.qrt 2>/dev/null)" ""

# 5. HEX files that hold no firmware or are no regular files. Each run is
#    bounded: a FIFO must be refused at once, never waited on.
run_bounded() {  # run_bounded FOLDER: as run_create, ended after 120 s
  local as=$name.exe
  if [ -n "$runner" ]; then
    (cd "$1" && timeout 120 "$runner" "$exe" --as "$as" create >"$work/out" 2>"$work/err"); rc=$?
  else
    (cd "$1" && timeout 120 "$exe" --as "$as" create >"$work/out" 2>"$work/err"); rc=$?
  fi
  err=$(tr -d '\r' <"$work/err" | grep "^$name (")
}
fresh "$work/e"
: >"$work/e/QRT_channel_5A.hex"
run_bounded "$work/e"
expect "no data: exit status" "$rc" 11
expect "no data: messages" "$err" "$name (warning): General Error! Update abort!
$name (warning): ERROR While Creating Enc File"
expect "no data: no container" "$(cd "$work/e" && ls -A | grep -v '[.]hex$')" ""
fresh "$work/f"
rm "$work/f/QRT_front14x0.hex"; mkfifo "$work/f/QRT_front14x0.hex"
run_bounded "$work/f"
expect "FIFO HEX file: exit status" "$rc" 1
expect "FIFO HEX file: messages" "$err" "$name (warning): Could not open file!
$name (warning): Couldn't open file!"
fresh "$work/g"
mkfifo "$work/g/FW2B.qrt"
run_bounded "$work/g"
expect "FIFO container: exit status" "$rc" 99
expect "FIFO container: messages" "$err" "$name (warning): ERROR While Creating Enc File"
expect "FIFO container: still a FIFO" "$(test -p "$work/g/FW2B.qrt" && echo fifo)" "fifo"
expect "FIFO container: no container" "$(cd "$work/g" && ls -A | grep -v '[.]hex$')" "FW2B.qrt"

# 6. A UTF-8 byte-order mark before the first record changes nothing.
fresh "$work/h"
{ printf '\357\273\277'; cat "$inputs/QRT_front14x0.hex"; } >"$work/h/QRT_front14x0.hex"
run_bounded "$work/h"
expect "byte-order mark: exit status" "$rc" 0
if same_as_expected "$work/h/FW1C.qrt" "$work/FW1C.expected"; then echo "ok: byte-order mark: FW1C.qrt"; else echo "FAIL: byte-order mark: FW1C.qrt"; fail=1; fi

# 7. The same bytes as objcopy (from a compiled ELF file; from the binary
#    with --change-addresses) and srec_cat (-offset beyond 64 KiB) write
#    them: containers byte-identical to those of the 00/02 files above.
for variant in elf change offset; do
  rm -rf "$work/t"; mkdir -p "$work/t"
  for h in $hexes; do cp "$inputs/$h.$variant.hex" "$work/t/$h.hex"; done
  run_bounded "$work/t"
  expect "$variant: exit status" "$rc" 0
  expect "$variant: messages" "$err" "$name (warning): Enc file created successfully!"
  for c in $containers; do
    if cmp -s "$work/t/$c.qrt" "$work/a/$c.first"; then echo "ok: $variant: $c.qrt identical"; else echo "FAIL: $variant: $c.qrt differs"; fail=1; fi
  done
done

# 8. A record of type 06 in the 14x0 front file: code 12, its two messages,
#    and the console's line saying where; no container is written.
fresh "$work/u"
awk 'NR == 5 { print ":0400000601020304EC" } { print }' "$inputs/QRT_front14x0.hex" >"$work/u/QRT_front14x0.hex"
run_bounded "$work/u"
expect "type 06: exit status" "$rc" 12
expect "type 06: messages" "$err" "$name (warning): Unknown record type in HEX file!
$name (warning): ERROR While Creating Enc File"
expect "type 06: where" "$(tr -d '\r' <"$work/err" | grep '^qrtupdate:')" \
  "qrtupdate: QRT_front14x0.hex line 5: record type 06 is not read (only types 00 to 05 are); nothing was written from this file
qrtupdate: code 12: a HEX record of a type the import does not read (06 and above); QRT_front14x0.hex line 5: record type 06 is not read (only types 00 to 05 are)"
expect "type 06: containers" "$(cd "$work/u" && ls -A | grep -v '[.]hex$')" ""

# 9. The 14x0 front file with 16 bytes more at 0x16000, above the 350 pages
#    an update sends: the container is written whole all the same, with a
#    list line and a warning on standard error.
fresh "$work/v"
{ grep -v '^:00000001FF' "$inputs/QRT_front14x0.hex"; printf ':020000021000EC\r\n:10600000000102030405060708090A0B0C0D0E0F18\r\n:00000001FF\r\n'; } \
  >"$work/v/QRT_front14x0.hex"
run_bounded "$work/v"
expect "beyond the pages: exit status" "$rc" 0
expect "beyond the pages: messages" "$err" "$name (warning): Enc file created successfully!"
expect "beyond the pages: list line" "$(tr -d '\r' <"$work/out")" \
  "Warning: QRT_front14x0.hex holds data up to address 0x1600F, beyond the 350 pages of FW1C.qrt that are sent"
expect "beyond the pages: warning" "$(tr -d '\r' <"$work/err" | grep '^qrtupdate:')" \
  "qrtupdate: warning: QRT_front14x0.hex holds data up to address 0x1600F, but an update sends only the first 350 pages of FW1C.qrt (0x0 to 0x15DFF); the container holds that data, the device never receives it"
if [ "$(od -An -v -tx1 -j $((0x16000)) -N 16 "$work/v/FW1C.qrt" | tr -d ' \n')" = 000102030405060708090a0b0c0d0e0f ]; then
  echo "ok: beyond the pages: the data is in FW1C.qrt"
else
  echo "FAIL: beyond the pages: the data is not in FW1C.qrt"; fail=1
fi
for c in FW1A FW2A FW2B FW1E; do
  if cmp -s "$work/v/$c.qrt" "$work/a/$c.first"; then echo "ok: beyond the pages: $c.qrt"; else echo "FAIL: beyond the pages: $c.qrt"; fail=1; fi
done

exit $fail
