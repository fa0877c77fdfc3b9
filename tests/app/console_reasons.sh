#!/usr/bin/env bash
# What the console program tells a user when things go wrong, and what it
# leaves behind, against qrtsim on real pseudo-terminals:
#  - the port's terminal settings (stty -a) are the same after a successful
#    and after a failed update as before it;
#  - the line that says why a port was not opened: no device at the path, a
#    pty of another user with mode 600 (run as the user nobody, when this
#    test runs as root), a port whose lock a running update holds;
#  - the line after an error code: its meaning and where it happened;
#  - a name without a brand word: how to give one, with a link that works
#    from any folder;
#  - -C DIR: containers and a relative --port are taken inside DIR;
#  - on a terminal the progress bar keeps one line, the list lines scroll
#    above it.
#
# usage: console_reasons.sh QRTUPDATE QRTSIM
set -u
qrtupdate=$(realpath "$1") qrtsim=$(realpath "$2")

. "$(dirname "$0")/../qrtsim-lib.sh"
sim_workdir console-reasons
chmod 755 "$work"
cd "$work" || exit 1
mkdir fw && (cd fw && sim_random_containers) || exit 1

fail=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}
has() { grep -qF -- "$2" "$1"; }  # has FILE TEXT
why() { grep '^qrtupdate: ' "$work/stderr" | tail -n 1; }

# update ARGS... : the QRT1440 update of the OP brand over COM3, started in
# the folder fw (or UPD_DIR); sets rc, output in stdout and stderr.
update() {
  (cd "${UPD_DIR:-fw}" && exec "$qrtupdate" --as QRT_Update_OP_FWV2.04 --interface COM3 --device QRT1440 "$@"     update) >"$work/stdout" 2>"$work/stderr"
  rc=$?
}

# The settings a user might have on the line before: not raw, not 19200 (a
# pty keeps speed and modes; it refuses a change of the character format).
user_settings() {
  if ! stty -F "$pty" 9600 sane -echo ixany; then echo "FAIL: stty on $pty"; fail=1; fi
}

# 1. A successful update leaves the settings as found (qrtsim stays after
# FWUE, so its pty is there to look at).
sim_start sim1.out "$qrtsim" --max-seconds 120 || exit 1
user_settings
stty -a -F "$pty" >before
update --port "$pty"
stty -a -F "$pty" >after
check "the update succeeds (status $rc)" [ "$rc" -eq 0 ]
check "a finished update leaves stty -a as it was" cmp -s before after
sim_kill

# 2. A failed update (no address echo at page 3) too, and says where; at
# page 1, before any page was answered, too.
sim_start sim2.out "$qrtsim" --max-seconds 120 --fault main:addr@3 || exit 1
user_settings
stty -a -F "$pty" >before
update --port "$pty"
stty -a -F "$pty" >after
sim_kill
check "the failed update ends with 4 (status $rc)" [ "$rc" -eq 4 ]
check "a failed update leaves stty -a as it was" cmp -s before after
check "code 4 says its meaning and where: $(why)" \
  [ "$(why)" = "qrtupdate: code 4: a page address not echoed; at controller main, page 3 of 350, file FW1C.qrt" ]

sim_start sim2b.out "$qrtsim" --max-seconds 120 --fault main:addr@1 || exit 1
update --port "$pty"
sim_kill
check "code 4 at the first page: $(why)" \
  [ "$(why)" = "qrtupdate: code 4: a page address not echoed; at controller main, page 1 of 350, file FW1C.qrt" ]

# A wrong channel identification names the channel and its file.
sim_start sim3.out "$qrtsim" --max-seconds 120 --fault ch2:ident || exit 1
update --port "$pty"
sim_kill
check "code 6 names the channel: $(why)" \
  [ "$(why)" = "qrtupdate: code 6: wrong or no device; at controller ch2, file FW2B.qrt: the device answered QRT0000CH, expected QRT1230CH" ]

# 3. No device at the path.
update --port "$work/no-such-tty"
check "a missing device ends with 99 (status $rc)" [ "$rc" -eq 99 ]
check "and says so: $(why)" \
  grep -qF "qrtupdate: COM3 ($work/no-such-tty) not opened: not found" stderr
check "after the window's box" grep -qF "can not open port!" stderr

# 4. A pty of another user with mode 600, and one of group tty with mode 660.
if [ "$(id -u)" -eq 0 ]; then
  sim_start sim4.out "$qrtsim" --max-seconds 60 || exit 1
  if ! chown root "$pty" || ! chmod 600 "$pty"; then echo "FAIL: chmod 600 $pty"; fail=1; fi
  (cd fw && setpriv --reuid=nobody --regid=nogroup --clear-groups -- \
    "$qrtupdate" --as QRT_Update_OP_FWV2.04 --interface COM3 --device QRT1440 --port "$pty" update \
    >/dev/null 2>"$work/stderr.nobody")
  rc=$?
  check "mode 600 of another user ends with 99 (status $rc)" [ "$rc" -eq 99 ]
  check "and names the owner and the mode" \
    grep -qF "not opened: no permission to read and write it; only its owner root may open it (mode 600)" \
    "$work/stderr.nobody"
  if ! chgrp tty "$pty" || ! chmod 660 "$pty"; then echo "FAIL: chmod 660 $pty"; fail=1; fi
  (cd fw && setpriv --reuid=nobody --regid=nogroup --clear-groups -- \
    "$qrtupdate" --as QRT_Update_OP_FWV2.04 --interface COM3 --device QRT1440 --port "$pty" update \
    >/dev/null 2>"$work/stderr.nobody")
  check "mode 660 of group tty says which group to join" \
    grep -qF "add yourself to the group tty" "$work/stderr.nobody"
  sim_kill
else
  echo "skip: the pty of another user needs root to give it away (this run is uid $(id -u))"
fi

# 5. A port whose lock a running update holds: qrtsim paced at 9600 baud
# keeps the first update on the line for minutes.
sim_start sim5.out "$qrtsim" --max-seconds 120 --baud 9600 || exit 1
(cd fw && "$qrtupdate" --as QRT_Update_OP_FWV2.04 --interface COM3 --device QRT1440 --port "$pty" update \
  >"$work/first.out" 2>"$work/first.err") &
first=$!
for _ in $(seq 100); do grep -q "Previous firmware" "$work/first.out" 2>/dev/null && break; sleep 0.1; done
check "the first update is on the line" grep -q "Previous firmware" "$work/first.out"
update --port "$pty"
kill "$first" 2>/dev/null
wait "$first" 2>/dev/null
sim_kill
check "a port in use ends with 99 (status $rc)" [ "$rc" -eq 99 ]
check "and says another program holds it: $(why)" grep -qF "not opened: in use by another program" stderr

# 6. A name without a brand word.
ln -s "$qrtupdate" qrtupdate
./qrtupdate show >stdout 2>stderr
rc=$?
check "no brand ends with 78 (status $rc)" [ "$rc" -eq 78 ]
check "and says how to give one" grep -qF "give --as QRT_Update_OP_FWV2.04" stderr
# The link it shows works when made in any other folder.
hint=$(sed -n "s/.*make a link such as '\(ln -s [^']*\)'.*/\1/p" stderr)
check "the link hint names the program by its absolute path: $hint" [ "${hint#ln -s /}" != "$hint" ]
mkdir elsewhere
(cd elsewhere && eval "$hint" && ./QRT_Update_OP_FWV2.04 show >../stdout 2>../stderr)
rc=$?
check "the hinted link, made in another folder, starts the OP program (status $rc)" [ "$rc" -eq 0 ]
check "and shows the window" grep -q "^title: " stdout

# 7. -C DIR: the containers, and a relative --port, inside DIR.
sim_start sim6.out "$qrtsim" --max-seconds 120 --dump-dir "$work/dump" --exit-after-fwue || exit 1
ln -sf "$pty" fw/port
UPD_DIR=. update -C fw --port port
sim_finish "$rc"
check "-C fw with --port port updates (status $rc)" [ "$rc" -eq 0 ]
check "with fw's main container" cmp -s <(head -c $((350 * 256)) fw/FW1C.qrt) dump/main.bin
UPD_DIR=. update -C no-such-folder --port port
check "-C of a missing folder is a usage error (status $rc)" [ "$rc" -eq 64 ]
check "that names the folder" has stderr "-C no-such-folder: cannot work there"

# 8. The progress bar on a terminal: one bar line, list lines above it.
sim_start sim7.out "$qrtsim" --max-seconds 120 --exit-after-fwue || exit 1
(cd fw && script -qec "'$qrtupdate' --as QRT_Update_OP_FWV2.04 --interface COM3 --device QRT1440 --port '$pty' update" \
  "$work/typescript" >/dev/null)
rc=$?
sim_finish "$rc"
check "the update on a terminal succeeds (status $rc)" [ "$rc" -eq 0 ]
# What stays visible of each line: the text after its last carriage return.
bars=$(sed 's/\r$//; s/.*\r//' typescript | grep -c '^\[[# ]*\] ')
pages=$(grep -c "Page .* - OK!" typescript)
check "670 page lines" [ "$pages" -eq 670 ]
check "one bar line on the terminal, not $bars" [ "$bars" -eq 1 ]

exit $fail
