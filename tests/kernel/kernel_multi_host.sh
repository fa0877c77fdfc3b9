# shellcheck shell=bash
# Sourced by kernel_stage.sh after a "multi" guest run: what the host's
# simulators received and the record the guest sent. The UART's and the
# first adapter's devices got every page and "FWUE"; the adapter pulled out
# got part of the main controller's pages and nothing after; the record has
# one entry per port in the order given, only COM11's failed, and its code
# is COM11's.
for s in uart ftdi0; do
  host_check "multi-$s-main-pages" same_pages "$work/$s/dump/main.bin" "$root/fw/FW1C.qrt" 350
  for c in 1 2 3 4; do host_check "multi-$s-ch$c-pages" same_pages "$work/$s/dump/ch$c.bin" "$root/fw/FW2B.qrt" 80; done
  host_check "multi-$s-fwue" grep -q '"FWU4", "FWU", "pages ch4 80", "FWUE"\]' "$work/$s/report.json"
done
host_check multi-ftdi1-cut-short grep -qE '"commands": \["FWU0", "pages main [0-9]+"\]' "$work/ftdi1/report.json"
sed -n '/^QRTK BEGIN record$/,/^QRTK STOP record$/p' "$work/results" | sed '1d;$d' >"$work/multi-record.json"
record_says() {
  python3 - "$work/multi-record.json" <<'PY'
import json, sys
try:
    doc = json.load(open(sys.argv[1]))
    devices = doc["devices"]
    ports = [d["interface"] for d in devices]
    codes = [d["code"] for d in devices]
    updated = [d["updated"] for d in devices]
except Exception as e:
    print("  record: %s" % e)
    sys.exit(1)
print("  record: ports %s, codes %s, updated %s, code %s" % (ports, codes, updated, doc.get("code")))
ok = (ports == ["COM2", "COM10", "COM11"] and codes[0] == 0 and codes[1] == 0 and codes[2] != 0
      and updated == [True, True, False] and doc.get("code") == codes[2])
sys.exit(0 if ok else 1)
PY
}
host_check multi-record record_says
