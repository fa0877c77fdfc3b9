# Sourced by guest.sh with "multi" on the kernel command line: one update over
# the UART and two FTDI adapters at once (COM2, COM10, COM11), the second
# adapter pulled out in the middle of its main controller's pages. Only that
# port may fail; the summary lines, the exit status and the record must say
# so. The record goes to the host between "QRTK BEGIN record" and "QRTK STOP
# record" lines, which kernel_multi_host.sh reads.
tab=$(printf '\t')
mkdir -p /tmp/multi
(cd /fw && exec qrtupdate --as "$name" --interface COM2,COM10,COM11 --device QRT1440 \
  --report /tmp/multi/record.json update >/tmp/multi/out 2>/tmp/multi/err) &
upid=$!
if wait_line /tmp/multi/out "^COM11: Page 60 of 350 " 180; then
  echo "QRTK UNPLUG ftdi1" >&3
else
  fail multi-unplug "COM11 never reached page 60 (does --interface take several ports?)"
fi
wait_end 400
check multi-ran "the several-ports update exited $ustatus" test "$ustatus" -ne 64 -a "$ustatus" -ne 124
# COM<n> TAB path TAB code TAB meaning TAB seconds, one per port in the order given.
grep -E "^COM[0-9]+${tab}" /tmp/multi/out >/tmp/multi/summary
field() { awk -F"$tab" -v p="$1" -v f="$2" '$1 == p { print $f }' /tmp/multi/summary; }
summary_ok() {
  test "$(cut -f1,2 /tmp/multi/summary | tr '\t\n' ' |')" = "COM2 /dev/ttyS1|COM10 /dev/ttyUSB0|COM11 /dev/ttyUSB1|" &&
    test "$(field COM2 3)" = 0 && test "$(field COM10 3)" = 0 && test -n "$(field COM11 3)" && test "$(field COM11 3)" != 0
}
if summary_ok; then
  pass multi-summary
else
  fail multi-summary "summary lines: $(tr '\t\n' ' |' </tmp/multi/summary)"
  for f in /tmp/multi/out /tmp/multi/err; do echo "--- $f (end)" >&3; tail -c 1500 "$f" >&3; echo >&3; done
fi
check multi-status "exit status $ustatus, COM11's code $(field COM11 3)" test "$ustatus" = "$(field COM11 3)"
check multi-com11-shorter "COM11 took $(field COM11 5) s, COM10 $(field COM10 5) s" \
  awk -v a="$(field COM11 5)" -v b="$(field COM10 5)" 'BEGIN { exit !(a != "" && b != "" && a + 0 < b + 0) }'
check multi-com11-no-success "a success said for COM11" \
  sh -c "! grep -h '^COM11: ' /tmp/multi/out /tmp/multi/err | grep -q successfully"
check multi-others-success "no success box for COM2 and COM10" sh -c "
  grep -h '^COM2: ' /tmp/multi/out /tmp/multi/err | grep -q 'Firmware successfully updated!' &&
  grep -h '^COM10: ' /tmp/multi/out /tmp/multi/err | grep -q 'Firmware successfully updated!'"
echo "QRTK NOTE multi: exit $ustatus; $(tr '\t\n' ' |' </tmp/multi/summary)" >&3
echo "QRTK BEGIN record" >&3
cat /tmp/multi/record.json >&3 2>/dev/null
echo >&3
echo "QRTK STOP record" >&3
