#!/usr/bin/env bash
# Writes the five sample Intel HEX files that the container-creation command
# reads, into the folder given as argument (created if missing):
#   QRT_front12x0.hex          300 pages (76800 bytes), every byte supplied
#   QRT_front14x0.hex          350 pages (89600 bytes), every byte supplied
#   QRT_front14x0_MURELL.hex   350 pages (89600 bytes), every byte supplied
#   QRT_channel_5A.hex         74 pages, inside the channel image's 80 pages
#   QRT_channel_10A.hex        80 pages, the whole channel image
# The contents are made up but firmware-like (a vector table, code-like
# bytes, version texts), different per file, and the same on every run.
# Records carry 16 bytes; a type 02 record opens the file and another one
# moves the segment base at every 64 KiB boundary. Front files end their
# lines with CR LF, channel files with LF, as both occur in practice.
set -eu
if [ $# -ne 1 ]; then
  echo "usage: $0 OUTPUT_FOLDER" >&2
  exit 2
fi
out=$1
mkdir -p "$out"

# gen NAME SEED BYTES LINE_END LABEL
gen() {
  LC_ALL=C awk -v seed="$2" -v size="$3" -v eol="$4" -v label="$5" '
    function hex2(v) { return sprintf("%02X", v) }
    function record(count, addr, type, data,    sum, i, line) {
      sum = count + int(addr / 256) + addr % 256 + type
      for (i = 0; i < count; i++) sum += data[i]
      line = ":" hex2(count) sprintf("%04X", addr) hex2(type)
      for (i = 0; i < count; i++) line = line hex2(data[i])
      line = line hex2((256 - sum % 256) % 256)
      printf "%s%s", line, (eol == "crlf" ? "\r\n" : "\n")
    }
    # Two small generators mixed: exact in any awk, period far above the image.
    function next_byte() {
      x1 = (x1 * 75 + 74) % 65537
      x2 = (x2 * 171) % 30269
      return (x1 + x2) % 256
    }
    BEGIN {
      for (i = 32; i < 127; i++) ord[sprintf("%c", i)] = i
      x1 = seed * 977 + 1; x2 = seed * 131 + 7
      n = 0
      # Vector table: 32 jumps into the code area.
      for (v = 0; v < 32; v++) {
        img[n++] = 12; img[n++] = 148
        target = 64 + v * 37 + seed * 5
        img[n++] = target % 256; img[n++] = int(target / 256) % 256
      }
      while (n < size) {
        if (n % 4096 == 0) {
          # A version text at the start of every 16 pages.
          text = sprintf("%s FW2.04 blk %02d ", label, n / 4096)
          for (i = 1; i <= length(text) && n < size; i++) img[n++] = ord[substr(text, i, 1)]
          continue
        }
        b = next_byte()
        # Code-like: op bytes from a small set, followed by operand bytes.
        if (n % 2 == 0) b = (b % 16) * 16 + 14 - (b % 3)
        img[n++] = b
      }
      z[0] = 0; z[1] = 0
      record(2, 0, 2, z)
      for (a = 0; a < size; a += 16) {
        if (a > 0 && a % 65536 == 0) {
          s = int(a / 16)
          d[0] = int(s / 256) % 256; d[1] = s % 256
          record(2, 0, 2, d)
        }
        count = (size - a < 16) ? size - a : 16
        for (i = 0; i < count; i++) rec[i] = img[a + i]
        record(count, a % 65536, 0, rec)
      }
      split("", none)
      record(0, 0, 1, none)
    }
  ' > "$out/$1"
}

gen QRT_front12x0.hex 1 76800 crlf "QRT12x0 front"
gen QRT_front14x0.hex 2 89600 crlf "QRT14x0 front"
gen QRT_front14x0_MURELL.hex 3 89600 crlf "ZVN1440 front"
gen QRT_channel_5A.hex 4 18944 lf "QRT ch 5A"
gen QRT_channel_10A.hex 5 20480 lf "QRT ch 10A"
