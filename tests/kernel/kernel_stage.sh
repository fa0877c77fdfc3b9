#!/usr/bin/env bash
# The Linux program on the kernel's own serial drivers: Debian's kernel boots
# in a QEMU guest (CPU emulation, TCG) whose 16550A UART and FTDI USB-serial
# adapters lead to pseudo-terminals on this machine, where qrtsim plays the
# power supply; a CDC-ACM port comes from a USB gadget inside the guest
# (g_serial on dummy_hcd), served there by qrtsim --tty. The guest runs
# guest.sh (or, with "multi", guest-multi.sh) and sends one PASS or FAIL line
# per check over a UART of its own, which QEMU writes to a file; this script
# counts them, asks QEMU's monitor to pull adapters out when the guest says
# so, and compares what the host's simulators received with the containers
# byte for byte. A guest that hangs is stopped at the time-out and fails.
#
# usage: kernel_stage.sh BIN_DIR [multi]
#   BIN_DIR: the native build's bin folder (qrtupdate, qrtsim, kernel_serial_flags)
# The kernel comes from tools/setup-kernel-guest.sh's cache (made on first use).
# Exit status 0 when every check passed, 1 otherwise.
set -u
bindir=$(cd "$1" && pwd) || exit 1
mode=${2:-single}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
limit=${QRT_KERNEL_TIMEOUT:-420}  # seconds for the whole guest run

for f in qrtupdate qrtsim kernel_serial_flags; do
  [ -x "$bindir/$f" ] || { echo "FAIL: $bindir/$f is missing (build the native tree first)"; exit 1; }
done
for t in qemu-system-x86_64 cpio gzip ldd mkfifo timeout; do
  command -v "$t" >/dev/null || { echo "FAIL: $t is missing (run tools/setup.sh as root)"; exit 1; }
done
bash "$top/tools/setup-kernel-guest.sh" || { echo "FAIL: the guest's kernel could not be made ready"; exit 1; }
. "$top/tools/kernel-guest-env.sh"
C=$QRT_KERNEL_GUEST_DIR

. "$top/tests/qrtsim-lib.sh"
pids=()
stop_all() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  pids=()
}
sim_workdir kernel stop_all
cd "$work" || exit 1
begin=$SECONDS

# --- the guest's initramfs
root=$work/root
mkdir -p "$root/bin" "$root/proc" "$root/sys" "$root/dev" "$root/tmp" "$root/fw" "$root/lib/modules"
cp "$C/busybox" "$root/bin/busybox" || exit 1
cp "$bindir/qrtupdate" "$bindir/qrtsim" "$bindir/kernel_serial_flags" "$root/bin/" || exit 1
# The shared libraries the programs load, and the loader, at their own paths.
libs=$(for b in qrtupdate qrtsim kernel_serial_flags; do
  ldd "$bindir/$b" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }'
done | sort -u)
[ -n "$libs" ] || { echo "FAIL: ldd named no library"; exit 1; }
for l in $libs; do cp -L --parents "$l" "$root/" || exit 1; done
# The drivers, in load order (each after those it depends on).
modules="fs/configfs/configfs drivers/usb/common/usb-common drivers/usb/core/usbcore
  drivers/usb/host/xhci-hcd drivers/usb/host/xhci-pci drivers/usb/serial/usbserial
  drivers/usb/serial/ftdi_sio drivers/usb/class/cdc-acm drivers/usb/gadget/udc/udc-core
  drivers/usb/gadget/udc/dummy_hcd drivers/usb/gadget/libcomposite drivers/usb/gadget/function/u_serial
  drivers/usb/gadget/function/usb_f_acm drivers/usb/gadget/legacy/g_serial"
: >"$root/modules.order"
for m in $modules; do
  cp "$C/modules/$m.ko" "$root/lib/modules/" || { echo "FAIL: the cache holds no $m.ko"; exit 1; }
  basename "$m" >>"$root/modules.order"
done
(cd "$root/fw" && sim_random_containers) || exit 1
cp "$here/guest.sh" "$root/guest.sh" || exit 1
if [ -f "$here/guest-multi.sh" ]; then cp "$here/guest-multi.sh" "$root/guest-multi.sh" || exit 1; fi
cat >"$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox mount -t proc proc /proc
/bin/busybox --install -s /bin
export PATH=/bin
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for m in $(cat /modules.order); do
  insmod "/lib/modules/$m.ko" 2>>/tmp/insmod.err || echo "$m" >>/tmp/insmod.failed
done
sh /guest.sh
sync
poweroff -f
EOF
chmod +x "$root/init" "$root/guest.sh"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz" || { echo "FAIL: initramfs"; exit 1; }

# --- the simulators behind the UART and the adapters
declare -A pty
for s in uart ftdi0 ftdi1 ftdi2; do
  mkdir -p "$work/$s/dump"
  if ! sim_start "$work/$s/sim.out" "$bindir/qrtsim" --dump-dir "$work/$s/dump" --report "$work/$s/report.json" \
    --max-seconds "$limit"; then
    echo "FAIL: qrtsim for $s did not start"
    exit 1
  fi
  pids+=("$simpid")
  simpid=
  pty[$s]=$pty
done

# --- the guest
mkfifo "$work/mon.in" "$work/mon.out" || exit 1
cat "$work/mon.out" >"$work/monitor.log" &
pids+=($!)
: >"$work/results.txt"
append="console=ttyS0 panic=-1 loglevel=3"
[ "$mode" = multi ] && append="$append multi"
usb=()
# Each adapter reports a serial number of its own, as real ones do: the
# guest chooses a port by it (--port usb:SERIAL).
for s in ftdi0 ftdi1 ftdi2; do
  usb+=(-chardev "serial,id=c$s,path=${pty[$s]}" -device "usb-serial,chardev=c$s,id=$s,serial=QRTK-${s^^}")
done
boot=$SECONDS
timeout "$limit" qemu-system-x86_64 -accel tcg -m 512 -nodefaults -display none -no-reboot \
  -kernel "$C/vmlinuz" -initrd "$work/initrd.gz" -append "$append" \
  -serial "file:$work/console.log" -monitor "pipe:$work/mon" \
  -chardev "serial,id=cuart,path=${pty[uart]}" -device isa-serial,chardev=cuart \
  -chardev "file,id=cres,path=$work/results.txt" -device isa-serial,chardev=cres \
  -device qemu-xhci "${usb[@]}" >"$work/qemu.log" 2>&1 &
qpid=$!
pids+=("$qpid")
# The guest asks for adapters to be pulled out; each is removed once.
unplugged=" "
while kill -0 "$qpid" 2>/dev/null; do
  for id in $(tr -d '\r' <"$work/results.txt" | sed -n 's/^QRTK UNPLUG \([a-z0-9]*\)$/\1/p'); do
    case "$unplugged" in *" $id "*) continue ;; esac
    timeout 5 sh -c "echo device_del $id >\"$work/mon.in\"" || echo "FAIL: the monitor took no device_del $id"
    unplugged="$unplugged$id "
  done
  sleep 0.1
done
wait "$qpid"
qstatus=$?
guest_time=$((SECONDS - boot))

# --- the count
fail=0
passed=0
failed=0
tr -d '\r' <"$work/results.txt" >"$work/results"
sed '/^QRTK BEGIN record$/,/^QRTK STOP record$/d' "$work/results" | grep -v '^QRTK \(PASS\|FAIL\|END\|UNPLUG\|NOTE\)' \
  | sed 's/^/  guest: /'
grep '^QRTK \(PASS\|FAIL\|NOTE\|UNPLUG\)' "$work/results"
passed=$(grep -c '^QRTK PASS ' "$work/results")
failed=$(grep -c '^QRTK FAIL ' "$work/results")
if [ "$qstatus" -ne 0 ]; then
  echo "FAIL: the guest did not end by itself within $limit s (QEMU's status $qstatus)"
  failed=$((failed + 1))
elif ! grep -qx 'QRTK END' "$work/results"; then
  echo "FAIL: the guest ended before its last check"
  failed=$((failed + 1))
fi
# Every check the guest script makes must have reported.
if [ "$mode" = multi ]; then
  required="modules multi-ran multi-summary multi-status multi-com11-shorter multi-com11-no-success
    multi-others-success"
else
  required="modules ports-status ports-uart ports-ftdi ports-ftdi-count ports-acm ports-json-ftdi
    usb-serial-unknown-status usb-serial-unknown-reason
    ftdi-latency-held ftdi-flag-held ftdi-update ftdi-box ftdi-latency-after ftdi-flag-after
    unplug-ftdi-fails unplug-ftdi-message unplug-ftdi-time unplug-ftdi-gone unplug-ftdi-not-listed
    uart-flag-held uart-update uart-box uart-flag-after
    acm-update acm-box acm-main-pages acm-channel-pages
    unplug-acm-fails unplug-acm-message unplug-acm-time after-acm-update after-acm-box"
fi
for r in $required; do
  if ! grep -qE "^QRTK (PASS|FAIL) $r(:|\$)" "$work/results"; then
    echo "FAIL: the guest never reported $r"
    failed=$((failed + 1))
  fi
done

# What the host's simulators received, byte for byte.
host_check() {  # host_check NAME COMMAND...
  if "${@:2}"; then echo "PASS $1"; passed=$((passed + 1)); else echo "FAIL $1"; failed=$((failed + 1)); fi
}
same_pages() { cmp -s "$1" <(head -c $(($3 * 256)) "$2"); }
stop_all  # the simulators write their dumps as they end
if [ "$mode" != multi ]; then
  for s in uart ftdi0 ftdi2; do
    host_check "$s-main-pages" same_pages "$work/$s/dump/main.bin" "$root/fw/FW1C.qrt" 350
    for c in 1 2 3 4; do host_check "$s-ch$c-pages" same_pages "$work/$s/dump/ch$c.bin" "$root/fw/FW2B.qrt" 80; done
    host_check "$s-fwue" grep -q '"FWU4", "FWU", "pages ch4 80", "FWUE"\]' "$work/$s/report.json"
  done
  # The adapter pulled out got part of the main controller's pages, never a channel's.
  host_check ftdi1-cut-short grep -qE '"commands": \["FWU0", "pages main [0-9]+"\]' "$work/ftdi1/report.json"
elif [ -f "$here/kernel_multi_host.sh" ]; then
  . "$here/kernel_multi_host.sh"
fi

echo "kernel guest: boot and checks took $guest_time s, the whole stage $((SECONDS - begin)) s"
if [ "$failed" -ne 0 ] || [ "$passed" -eq 0 ]; then
  echo "--- console (last lines)"; tail -n 40 "$work/console.log"
  echo "--- qemu"; tail -n 20 "$work/qemu.log"
  echo "--- monitor"; tail -n 20 "$work/monitor.log"; echo
  fail=1
fi
echo "kernel guest ($mode): $passed passed, $failed failed"
# QEMU under TCG has crashed now and then on its own (a segmentation fault in
# the emulator, nothing the guest's program can cause). Such a run proves
# nothing either way: say so with a status of its own, which lets the caller
# run the stage once more instead of reading it as the program's failure.
if [ "$fail" -ne 0 ] && [ "$qstatus" -gt 128 ] && [ "$qstatus" -ne 137 ]; then
  echo "QEMU itself ended by signal $((qstatus - 128)) (status $qstatus): the emulator crashed, not a check"
  exit 75
fi
exit $fail
