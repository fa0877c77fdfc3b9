#!/bin/sh
# Runs inside the kernel guest of kernel_stage.sh (busybox sh, as root), after
# /init has loaded the USB host, serial and gadget drivers. Every check sends
# one line "QRTK PASS name" or "QRTK FAIL name: why" to the host over the
# guest's third UART (ttyS2), which QEMU writes to a file the host counts; the
# last line is "QRTK END". "QRTK UNPLUG id" asks the host to remove the USB
# device id through QEMU's monitor.
#
# The ports (the host starts one qrtsim behind each, except COM20):
#   COM2  /dev/ttyS1    the 16550A UART (8250 driver)
#   COM10 /dev/ttyUSB0  FTDI adapter ftdi0 (ftdi_sio): full update
#   COM11 /dev/ttyUSB1  FTDI adapter ftdi1: pulled out mid-update
#   COM12 /dev/ttyUSB2  FTDI adapter ftdi2: the update after the gadget's removal,
#                       through COM5 standing for its serial number (usb:QRTK-FTDI2)
#   COM20 /dev/ttyACM0  CDC-ACM (cdc_acm), whose far end is the gadget's
#                       /dev/ttyGS0 (g_serial on dummy_hcd), served by a
#                       qrtsim inside the guest
# With "multi" on the kernel command line, the several-ports checks run
# instead (guest-multi.sh).
R=/dev/ttyS2
stty -F "$R" 115200 raw -echo 2>/dev/null
exec 3>"$R"
name=QRT_Update_OP_FWV2.04
success="$name (information): Firmware successfully updated! Please restart device!"

pass() { echo "QRTK PASS $1" >&3; }
fail() { echo "QRTK FAIL $1: $2" >&3; }
check() {  # check NAME WHY COMMAND...: PASS when COMMAND succeeds
  n=$1 why=$2
  shift 2
  if "$@"; then pass "$n"; else fail "$n" "$why"; fi
}
now() { cut -d' ' -f1 /proc/uptime; }
# elapsed START: seconds since START (a reading of now), two decimals
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

# wait_line FILE PATTERN SECONDS: waits until a line of FILE matches PATTERN
# (grep -E) while the update of pid $upid runs.
wait_line() {
  i=0
  while [ "$i" -lt $(($3 * 10)) ]; do
    grep -qE "$2" "$1" 2>/dev/null && return 0
    kill -0 "$upid" 2>/dev/null || { grep -qE "$2" "$1" 2>/dev/null; return; }
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}
# wait_end SECONDS: waits for the update of pid $upid; sets ustatus (124:
# still running after SECONDS, then stopped).
wait_end() {
  i=0
  while kill -0 "$upid" 2>/dev/null; do
    if [ "$i" -ge $(($1 * 10)) ]; then
      kill -9 "$upid" 2>/dev/null
      wait "$upid" 2>/dev/null
      ustatus=124
      return
    fi
    sleep 0.1
    i=$((i + 1))
  done
  wait "$upid"
  ustatus=$?
}
# start_update DIR COM [MODEL]: the console update on COM in the background
# (pid upid), its output in DIR.
start_update() {
  mkdir -p "$1"
  (cd /fw && exec qrtupdate --as "$name" --interface "$2" --device "${3:-QRT1440}" ${4:+--port "$4"} update \
    >"$1/out" 2>"$1/err") &
  upid=$!
}
boxes() { grep "^$name (" "$1/err"; }
latency() { cat "/sys/bus/usb-serial/devices/$1/latency_timer" 2>&1; }
flags() { kernel_serial_flags "$1" 2>&1; }
show() { for f in "$@"; do echo "--- $f" >&3; head -c 800 "$f" | tr -d '\r' >&3; echo >&3; done; }

if [ -s /tmp/insmod.failed ]; then
  fail modules "not loaded: $(tr '\n' ' ' </tmp/insmod.failed)"
else
  pass modules
fi
# The adapters and the gadget's port appear once USB enumeration is done.
for _ in $(seq 100); do
  [ -e /dev/ttyUSB2 ] && [ -e /dev/ttyACM0 ] && [ -e /dev/ttyGS0 ] && break
  sleep 0.1
done

if grep -qw multi /proc/cmdline; then
  . /guest-multi.sh
  echo "QRTK END" >&3
  exit 0
fi

# --- ports, as sysfs describes the real devices
qrtupdate ports >/tmp/ports 2>/tmp/ports.err
pstatus=$?
tab=$(printf '\t')
check ports-status "ports exited $pstatus" test "$pstatus" -eq 0
check ports-uart "no 16550A line for COM2" grep -qxF "COM2${tab}/dev/ttyS1${tab}16550A UART (driver serial)" /tmp/ports
check ports-ftdi "no FTDI line for COM10" grep -qE \
  "^COM10${tab}/dev/ttyUSB0${tab}QEMU QEMU USB SERIAL \(USB 0403:6001, serial [^,]+, driver ftdi_sio\)\$" /tmp/ports
check ports-ftdi-count "not three FTDI adapters (COM10-COM12)" test "$(grep -c 'driver ftdi_sio' /tmp/ports)" -eq 3
# g_serial in its default CDC-ACM mode: vendor 0525, product a4a7.
check ports-acm "no CDC-ACM line for COM20" grep -qE \
  "^COM20${tab}/dev/ttyACM0${tab}[^(]*Gadget Serial[^(]* \(USB 0525:a4a7, .*driver cdc_acm\)\$" /tmp/ports
show /tmp/ports /tmp/ports.err
# The same as JSON Lines, field by field; the adapters' serial numbers are
# the ones QEMU was given.
qrtupdate ports --json >/tmp/ports.json 2>/tmp/ports.json.err
check ports-json-ftdi "no JSON line for COM10 with its fields" grep -qE \
  '^\{"event":"port","com":"COM10","path":"/dev/ttyUSB0","description":"[^"]*","vid":"0403","pid":"6001","manufacturer":"QEMU","product":"QEMU USB SERIAL","serial":"QRTK-FTDI0","driver":"ftdi_sio"\}$' \
  /tmp/ports.json
# A serial number no adapter reports: refused before anything is sent,
# naming the ones there are.
(cd /fw && exec qrtupdate --as "$name" --interface COM5 --port usb:QRTK-NONE --device QRT1440 update \
  >/tmp/unknown.out 2>/tmp/unknown.err)
ustatus=$?
check usb-serial-unknown-status "usb:QRTK-NONE exited $ustatus" test "$ustatus" -eq 99
check usb-serial-unknown-reason "usb:QRTK-NONE: no reason naming the adapters" grep -qF \
  "not opened: no USB adapter with serial number QRTK-NONE is plugged in; serial numbers here: QRTK-FTDI0 (COM10), QRTK-FTDI1 (COM11), QRTK-FTDI2 (COM12)" \
  /tmp/unknown.err
[ "$ustatus" -eq 99 ] || show /tmp/ports.json /tmp/unknown.err

# --- a full update over the FTDI adapter; low latency while it is held
lat0=$(latency ttyUSB0)
flag0=$(flags /dev/ttyUSB0)
start_update /tmp/com10 COM10
if wait_line /tmp/com10/out "^Page 20 of 350 " 120; then
  check ftdi-latency-held "latency_timer read $(latency ttyUSB0) while held" test "$(latency ttyUSB0)" = 1
  check ftdi-flag-held "TIOCGSERIAL said $(flags /dev/ttyUSB0) while held" test "$(flags /dev/ttyUSB0)" = "low_latency 1"
else
  fail ftdi-latency-held "the update never reached page 20"
  fail ftdi-flag-held "the update never reached page 20"
fi
wait_end 300
check ftdi-update "COM10 update exited $ustatus" test "$ustatus" -eq 0
check ftdi-box "COM10: not the success box" test "$(boxes /tmp/com10)" = "$success"
check ftdi-latency-after "latency_timer $lat0 before, $(latency ttyUSB0) after" test "$(latency ttyUSB0)" = "$lat0"
check ftdi-flag-after "TIOCGSERIAL said $flag0 before, $(flags /dev/ttyUSB0) after" \
  test "$flag0" = "low_latency 0" -a "$(flags /dev/ttyUSB0)" = "$flag0"
[ "$ustatus" -eq 0 ] || show /tmp/com10/out /tmp/com10/err

# --- the second adapter pulled out in the middle of the main controller's pages
start_update /tmp/com11 COM11
if wait_line /tmp/com11/out "^Page 60 of 350 " 120; then
  t0=$(now)
  echo "QRTK UNPLUG ftdi1" >&3
  wait_end 60
  took=$(elapsed "$t0")
  check unplug-ftdi-fails "COM11 update exited $ustatus after the adapter went" \
    test "$ustatus" -ne 0 -a "$ustatus" -ne 124
  check unplug-ftdi-message "COM11: no error box, or a success" \
    sh -c "grep -q '^$name (warning): ' /tmp/com11/err && ! grep -q successfully /tmp/com11/err /tmp/com11/out"
  check unplug-ftdi-time "COM11 update ended ${took} s after the unplug request" \
    awk -v t="$took" 'BEGIN { exit !(t < 15) }'
  echo "QRTK NOTE ftdi unplug: exit $ustatus, ${took} s after the request; $(boxes /tmp/com11 | tr '\n' '|')" >&3
  check unplug-ftdi-gone "/dev/ttyUSB1 still there" test ! -e /dev/ttyUSB1
  check unplug-ftdi-not-listed "COM11 still listed" sh -c "! qrtupdate ports | grep -q '^COM11'"
else
  fail unplug-ftdi-fails "the COM11 update never reached page 60"
  show /tmp/com11/out /tmp/com11/err
  wait_end 5
fi

# --- right after it, a full update over the UART; low latency while held
flag0=$(flags /dev/ttyS1)
start_update /tmp/com2 COM2
if wait_line /tmp/com2/out "^Page 5 of 350 " 120; then
  check uart-flag-held "TIOCGSERIAL said $(flags /dev/ttyS1) while held" test "$(flags /dev/ttyS1)" = "low_latency 1"
else
  fail uart-flag-held "the update never reached page 5"
fi
wait_end 300
check uart-update "COM2 update exited $ustatus" test "$ustatus" -eq 0
check uart-box "COM2: not the success box" test "$(boxes /tmp/com2)" = "$success"
check uart-flag-after "TIOCGSERIAL said $flag0 before, $(flags /dev/ttyS1) after" \
  test "$flag0" = "low_latency 0" -a "$(flags /dev/ttyS1)" = "$flag0"
[ "$ustatus" -eq 0 ] || show /tmp/com2/out /tmp/com2/err

# --- CDC-ACM: the device plays on the gadget's end of the line
# sim_acm DIR: qrtsim on /dev/ttyGS0 in the background (pid spid).
sim_acm() {
  mkdir -p "$1/dump"
  qrtsim --tty /dev/ttyGS0 --dump-dir "$1/dump" --exit-after-fwue --max-seconds 240 >"$1/sim.out" 2>"$1/sim.err" &
  spid=$!
  for _ in $(seq 50); do [ -s "$1/sim.out" ] && return 0; sleep 0.1; done
  return 1
}
# same_pages DUMP CONTAINER PAGES: the dump is the container's first pages
same_pages() { head -c $(($3 * 256)) "$2" | cmp -s - "$1"; }

if sim_acm /tmp/acm; then
  start_update /tmp/com20 COM20
  wait_end 300
  check acm-update "COM20 update exited $ustatus" test "$ustatus" -eq 0
  check acm-box "COM20: not the success box" test "$(boxes /tmp/com20)" = "$success"
  for _ in $(seq 50); do kill -0 "$spid" 2>/dev/null || break; sleep 0.1; done
  kill "$spid" 2>/dev/null
  wait "$spid"
  check acm-main-pages "main controller pages differ" same_pages /tmp/acm/dump/main.bin /fw/FW1C.qrt 350
  ok=1
  for c in 1 2 3 4; do same_pages "/tmp/acm/dump/ch$c.bin" /fw/FW2B.qrt 80 || ok=0; done
  check acm-channel-pages "channel controller pages differ" test "$ok" = 1
  [ "$ustatus" -eq 0 ] || show /tmp/com20/out /tmp/com20/err /tmp/acm/sim.err
else
  fail acm-update "qrtsim could not serve /dev/ttyGS0"
  show /tmp/acm/sim.err
fi

# --- the gadget pulled off the bus mid-update (its pull-up dropped, as if
# unplugged); the update on another adapter right after it succeeds
udc=$(ls /sys/class/udc | head -n 1)
if sim_acm /tmp/acm2; then
  start_update /tmp/com20b COM20
  if wait_line /tmp/com20b/out "^Page 60 of 350 " 120; then
    t0=$(now)
    echo disconnect >"/sys/class/udc/$udc/soft_connect"
    wait_end 60
    took=$(elapsed "$t0")
    check unplug-acm-fails "COM20 update exited $ustatus after the gadget went" \
      test "$ustatus" -ne 0 -a "$ustatus" -ne 124
    check unplug-acm-message "COM20: no error box, or a success" \
      sh -c "grep -q '^$name (warning): ' /tmp/com20b/err && ! grep -q successfully /tmp/com20b/err /tmp/com20b/out"
    check unplug-acm-time "COM20 update ended ${took} s after the disconnect" \
      awk -v t="$took" 'BEGIN { exit !(t < 15) }'
    echo "QRTK NOTE acm unplug: exit $ustatus, ${took} s; $(boxes /tmp/com20b | tr '\n' '|')" >&3
  else
    fail unplug-acm-fails "the COM20 update never reached page 60"
    show /tmp/com20b/out /tmp/com20b/err
    wait_end 5
  fi
  kill "$spid" 2>/dev/null
  wait "$spid"
else
  fail unplug-acm-fails "qrtsim could not serve /dev/ttyGS0"
fi
# COM12's adapter reached by its serial number alone, through a COM number
# that has no device of its own.
start_update /tmp/com12 COM5 QRT1440 usb:QRTK-FTDI2
wait_end 300
check after-acm-update "COM12 update exited $ustatus" test "$ustatus" -eq 0
check after-acm-box "COM12: not the success box" test "$(boxes /tmp/com12)" = "$success"
[ "$ustatus" -eq 0 ] || show /tmp/com12/out /tmp/com12/err

echo "QRTK END" >&3
