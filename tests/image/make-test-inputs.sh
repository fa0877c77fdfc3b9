#!/usr/bin/env bash
# Inputs of the image tests, made at build time into the folder given:
#   <name>.hex          the five sample files (tools/make-sample-hex.sh)
#   <name>.bin          their bytes from address 0, as objcopy reads them
#   <name>.objcopy.hex  those bytes written back by objcopy (16-byte records, CR LF)
#   <name>.srec.hex     and by srec_cat (32-byte records, LF), with type 02
#                       segment records instead of its default type 04
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
