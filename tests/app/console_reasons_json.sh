#!/usr/bin/env bash
# The reason beside the code, once per kind, as a script reads it: the JSON
# stream's last line ("result": code, meaning, reason) and the record's
# "reason", against qrtsim on real pseudo-terminals and with real HEX files.
# The window's texts stay as they were: the boxes, the list lines. Kinds:
#  - a port not found, a port of another user (mode 600; run as the user
#    nobody, which needs root), a port whose lock a running update holds;
#  - code 6 both ways: no answer, and the wrong family's identification;
#  - HEX files (create): one missing (1), a record failing its checksum (9),
#    a data record beyond the image (10), each with file, line, address;
#  - a missing container in a folder holding another brand's set (7);
#  - success: reason null;
#  - a version reply holding ESC and BEL is shown escaped on standard output.
#
# usage: console_reasons_json.sh QRTUPDATE QRTSIM SAMPLE_HEX_SCRIPT
set -u
qrtupdate=$(realpath "$1") qrtsim=$(realpath "$2") make_hex=$(realpath "$3")

. "$(dirname "$0")/../qrtsim-lib.sh"
sim_workdir console-reasons-json
chmod 755 "$work"
cd "$work" || exit 1
mkdir fw && (cd fw && sim_random_containers) || exit 1

fail=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}
# The result line's and the record's fields.
result() { tail -n 1 "$work/stdout" | jq -r ".$1"; }
record() { jq -r ".$1" "$work/record.json"; }
# same_reason TEXT: the result and the record carry one reason holding TEXT.
same_reason() {
  local r
  r=$(result reason)
  [ "$r" = "$(record reason)" ] && [[ "$r" == *"$1"* ]] || { echo "  reason: $r"; return 1; }
}

# update DIR ARGS...: the QRT1440 update of the OP brand over COM3, in DIR,
# with --json and a record; sets rc.
update() {
  local dir=$1
  shift
  (cd "$dir" && exec "$qrtupdate" --as QRT_Update_OP_FWV2.04 --interface COM3 --device QRT1440 --json \
    --report "$work/record.json" "$@" update) >"$work/stdout" 2>"$work/stderr"
  rc=$?
}

# 1. A port that is not there.
update fw --port "$work/no-such-tty"
check "no device: 99 (status $rc)" [ "$rc" -eq 99 ]
check "no device: the reason names port, path and cause" same_reason "COM3 ($work/no-such-tty) not opened: not found"
check "no device: the box is the window's" grep -qF '"text":"can not open port!"' stdout

# 2. A port of another user, mode 600.
if [ "$(id -u)" -eq 0 ]; then
  mkdir -m 777 open
  sim_start sim-perm.out "$qrtsim" --max-seconds 60 || exit 1
  if ! chown root "$pty" || ! chmod 600 "$pty"; then echo "FAIL: chmod 600 $pty"; fail=1; fi
  (cd fw && setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$qrtupdate" --as QRT_Update_OP_FWV2.04 \
    --interface COM3 --device QRT1440 --port "$pty" --json --report "$work/open/record.json" update \
    >"$work/stdout" 2>/dev/null)
  rc=$?
  sim_kill
  cp open/record.json record.json
  check "permission: 99 (status $rc)" [ "$rc" -eq 99 ]
  check "permission: the reason names the owner and mode" \
    same_reason "not opened: no permission to read and write it; only its owner root may open it (mode 600)"
else
  echo "skip: the pty of another user needs root to give it away (this run is uid $(id -u))"
fi

# 3. A port whose lock a running update holds.
sim_start sim-lock.out "$qrtsim" --max-seconds 120 --baud 9600 || exit 1
(cd fw && "$qrtupdate" --as QRT_Update_OP_FWV2.04 --interface COM3 --device QRT1440 --port "$pty" update \
  >"$work/first.out" 2>"$work/first.err") &
first=$!
for _ in $(seq 100); do grep -q "Previous firmware" "$work/first.out" 2>/dev/null && break; sleep 0.1; done
check "lock: the first update is on the line" grep -q "Previous firmware" "$work/first.out"
update fw --port "$pty"
kill "$first" 2>/dev/null
wait "$first" 2>/dev/null
sim_kill
check "lock: 99 (status $rc)" [ "$rc" -eq 99 ]
check "lock: the reason says another program holds it" same_reason "not opened: in use by another program"

# 4. Code 6: a silent device, and one of the other family.
sim_start sim-silent.out "$qrtsim" --max-seconds 60 --fault main:silent || exit 1
update fw --port "$pty"
sim_kill
check "silent: 6 (status $rc)" [ "$rc" -eq 6 ]
check "silent: no answer" same_reason "wrong or no device; at controller main, file FW1C.qrt: no answer from the device"
check "silent: the box is the window's" grep -qF '"text":"Wrong or no device detected! - Process abort"' stdout

sim_start sim-family.out "$qrtsim" --max-seconds 60 --family 12x0 || exit 1
update fw --port "$pty"
sim_kill
check "other family: 6 (status $rc)" [ "$rc" -eq 6 ]
check "other family: what it answered and what was expected" \
  same_reason "at controller main, file FW1C.qrt: the device answered QRT1230, expected QRT1440"
check "other family: the console's line too" \
  grep -qxF "qrtupdate: code 6: wrong or no device; at controller main, file FW1C.qrt: the device answered QRT1230, expected QRT1440" stderr

# 5. HEX files: missing, a bad checksum, data beyond the image.
bash "$make_hex" hex >/dev/null || exit 1
create() {  # create DIR: the hidden mode's "Create Enc File" in DIR; sets rc
  (cd "$1" && exec "$qrtupdate" --as QRT_Update_WRAPIMAGES_OP_FWV2.04.exe --json --report "$work/record.json" create) \
    >"$work/stdout" 2>"$work/stderr"
  rc=$?
}
mkdir nohex
create nohex
check "missing HEX: 1 (status $rc)" [ "$rc" -eq 1 ]
check "missing HEX: the whole path and the system's words" \
  same_reason "a HEX file cannot be opened; $work/nohex/QRT_front12x0.hex: No such file or directory"
check "missing HEX: the boxes are the window's" \
  [ "$(jq -r 'select(.event == "message") | .text' stdout | tr '\n' '|')" = "Could not open file!|Couldn't open file!|" ]

mkdir badsum && cp hex/*.hex badsum/
# One data digit of line 7 changed.
awk 'NR == 7 { d = substr($0, 10, 1); $0 = substr($0, 1, 9) (d == "0" ? "1" : "0") substr($0, 11) } { print }' \
  hex/QRT_channel_5A.hex >badsum/QRT_channel_5A.hex
create badsum
check "bad checksum: 9 (status $rc)" [ "$rc" -eq 9 ]
check "bad checksum: file and line" same_reason "QRT_channel_5A.hex line 7: the record fails its checksum"

mkdir beyond && cp hex/*.hex beyond/
# Before the end record: a linear base of 0x400000 and one data byte there,
# as objcopy writes an ELF linked at that address.
lines=$(wc -l <hex/QRT_front12x0.hex)
awk -v n="$lines" 'NR == n { printf ":020000040040BA\r\n:01000000AA55\r\n" } { print }' hex/QRT_front12x0.hex \
  >beyond/QRT_front12x0.hex
create beyond
check "beyond: 10 (status $rc)" [ "$rc" -eq 10 ]
check "beyond: file, line and address" \
  same_reason "QRT_front12x0.hex line $((lines + 1)): a data record at address 0x400000 reaches beyond the firmware image"
check "beyond: the box is the window's" grep -qF '"text":"General Error! Update abort!"' stdout

# 6. A missing container, in a folder holding the MURELL set.
mkdir murell && cp fw/FW1E.qrt fw/FW2B.qrt murell/
update murell --port "$work/no-such-tty"
check "missing container: 7 (status $rc)" [ "$rc" -eq 7 ]
check "missing container: the folder searched and the other brand's set" \
  same_reason "FW1C.qrt is missing (looked for in $work/murell); that folder holds the MURELL containers (FW1E.qrt)"
check "missing container: the box is the window's" \
  grep -qF '"text":"Firmware file FW1C.qrt is missing or incomplete! Update abort!"' stdout

# 7. Success: no reason; and a version reply holding ESC and BEL shows
# escaped on the terminal's lines, as it came in the stream.
sim_start sim-ok.out "$qrtsim" --max-seconds 120 --exit-after-fwue --main-version $'\e[2J12\a3' || exit 1
update fw --port "$pty"
sim_finish "$rc"
check "success: 0 (status $rc)" [ "$rc" -eq 0 ]
check "success: the reason is null" [ "$(result reason)/$(record reason)" = "null/null" ]
check "the stream keeps the reply's bytes" \
  [ "$(jq -r 'select(.event == "list") | .text' stdout | grep '^Previous firmware main')" = $'Previous firmware main controller: \e[.2J12\a3' ]
sim_start sim-esc.out "$qrtsim" --max-seconds 120 --exit-after-fwue --main-version $'\e[2J12\a3' || exit 1
(cd fw && "$qrtupdate" --as QRT_Update_OP_FWV2.04 --interface COM3 --device QRT1440 --port "$pty" update) \
  >stdout 2>stderr
rc=$?
sim_finish "$rc"
check "escaped: the update succeeds (status $rc)" [ "$rc" -eq 0 ]
check "escaped: the version line" grep -qxF 'Previous firmware main controller: ?[.2J12?3' stdout
check "escaped: no ESC or BEL on the terminal's lines" [ "$(tr -cd '\033\007' <stdout | wc -c)" -eq 0 ]

exit $fail
