#!/usr/bin/env bash
# Inputs of the image tests, made at build time into the folder given:
#   <name>.hex          the five sample files (tools/make-sample-hex.sh)
#   <name>.bin          their bytes from address 0, as objcopy reads them
#   <name>.objcopy.hex  those bytes written back by objcopy (16-byte records, CR LF)
#   <name>.srec.hex     and by srec_cat (32-byte records, LF), with type 02
#                       segment records instead of its default type 04
# The same bytes at the same addresses as the standard tools write them
# with their own record types:
#   <name>.elf.hex      objcopy from an ELF file compiled from them (gcc, ld):
#                       a start address record (05) from the entry point
#   <name>.change.hex   objcopy from the binary in two parts, the second moved
#                       to its place with --change-addresses: 02 and 03 records
#   <name>.offset.hex   srec_cat, the bytes from 64 KiB on placed with -offset
#                       (just 0 for a channel file): linear address records (04)
# Tests that run under Wine can read these without running the tools.
set -eu
out=$1
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/../../tools/make-sample-hex.sh" "$out"
for hex in "$out"/QRT_*.hex; do
  case $hex in *.objcopy.hex|*.srec.hex) continue ;; esac
  base=${hex%.hex}
  objcopy -I ihex -O binary "$hex" "$base.bin"
  objcopy -I binary -O ihex "$base.bin" "$base.objcopy.hex"
  srec_cat "$base.bin" -binary -o "$base.srec.hex" -intel -address-length=3
done

# A C file of the bytes in a section of their own, linked at address 0 with
# the code somewhere far above; objcopy writes only that section.
tools_variants() {  # tools_variants BASE
  local base=$1 work
  work=$(mktemp -d)
  od -An -v -tu1 "$base.bin" | LC_ALL=C awk '
    BEGIN { printf "__attribute__((section(\".fw\"), used)) const unsigned char fw[] = {" }
    { for (i = 1; i <= NF; i++) printf "%s%s", (n++ ? "," : ""), $i; printf "\n" }
    END { print "};"; print "void _start(void) { for (;;) {} }" }' >"$work/fw.c"
  gcc -c -O0 -fno-pic -o "$work/fw.o" "$work/fw.c"
  ld -nostdlib -Ttext=0x100000 --section-start=.fw=0 -e _start -o "$work/fw.elf" "$work/fw.o"
  objcopy -O ihex -j .fw "$work/fw.elf" "$base.elf.hex"
  grep -q '^:04000005' "$base.elf.hex"

  local size cut
  size=$(stat -c %s "$base.bin")
  cut=$((size / 3))
  head -c "$cut" "$base.bin" >"$work/head.bin"
  tail -c +$((cut + 1)) "$base.bin" >"$work/tail.bin"
  objcopy -I binary -O ihex "$work/head.bin" "$work/head.hex"
  objcopy -I binary -O ihex --change-addresses "$cut" "$work/tail.bin" "$work/tail.hex"
  { grep -v '^:00000001FF' "$work/head.hex"; cat "$work/tail.hex"; } >"$base.change.hex"
  grep -q '^:04000003' "$base.change.hex"

  if [ "$size" -gt 65536 ]; then
    head -c 65536 "$base.bin" >"$work/low.bin"
    tail -c +65537 "$base.bin" >"$work/high.bin"
    srec_cat "$work/low.bin" -binary "$work/high.bin" -binary -offset 0x10000 -o "$base.offset.hex" -intel
  else
    srec_cat "$base.bin" -binary -offset 0 -o "$base.offset.hex" -intel
  fi
  grep -q '^:02000004' "$base.offset.hex"
  rm -rf "$work"
}
for hex in "$out"/QRT_*.hex; do
  case $hex in *.*.hex) continue ;; esac
  tools_variants "${hex%.hex}"
done
