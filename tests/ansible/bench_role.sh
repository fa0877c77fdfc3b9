#!/usr/bin/env bash
# contrib/ansible's role as a line with three bench PCs runs it: one
# ansible-playbook over an inventory of three hosts on this machine
# (ansible_connection=local), each with a working folder and a qrtsim of its
# own, the third one's device refusing page 5's checksum. Two records say
# "updated" and their devices received the containers byte for byte; the
# third host fails with code 3 and its reason; nothing outside the test's
# folder is touched. The package install task runs in check mode on a small
# .deb made here, so that the machine stays as it was.
#
# usage: bench_role.sh QRTUPDATE QRTSIM
set -u
# Ansible needs a UTF-8 locale; C.UTF-8 is always there.
export LC_ALL=C.UTF-8
qrtupdate=$(realpath "$1") qrtsim=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
role_dir=$(cd "$here/../../contrib/ansible" && pwd)
if ! command -v ansible-playbook >/dev/null; then
  echo "FAIL: no ansible-playbook (tools/setup.sh installs ansible-core)"
  exit 1
fi
. "$here/../qrtsim-lib.sh"
sims=()
stop_sims() { for p in "${sims[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; sims=(); }
sim_workdir ansible-bench stop_sims
fail=0
check() {  # check DESCRIPTION COMMAND...
  if ! "${@:2}"; then echo "FAIL: $1"; fail=1; fi
}
export ANSIBLE_LOCAL_TEMP=$work/ansible-tmp ANSIBLE_REMOTE_TEMP=$work/ansible-tmp ANSIBLE_HOME=$work/ansible-home
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_ROLES_PATH=$role_dir/roles

# The release bundle on the "controller".
mkdir -p "$work/bundle"
(cd "$work/bundle" && sim_random_containers && sha256sum FW*.qrt >SHA256SUMS)

# One simulator per bench; the third refuses page 5 of the main controller.
declare -A pty_of
for h in bench1 bench2 bench3; do
  fault=()
  [ "$h" = bench3 ] && fault=(--fault main:e2@5)
  mkdir -p "$work/$h"
  sim_start "$work/$h/sim.out" "$qrtsim" --report "$work/$h/sim.json" --dump-dir "$work/$h/dump" --max-seconds 400 \
    "${fault[@]}" || exit 1
  sims+=("$simpid")
  pty_of[$h]=$pty
done
simpid=

{
  echo "[benches]"
  for h in bench1 bench2 bench3; do
    echo "$h qrtupdate_workdir=$work/$h/work qrtupdate_ports='[{\"interface\": \"COM10\", \"port\": \"${pty_of[$h]}\"}]'"
  done
  echo "[benches:vars]"
  echo "ansible_connection=local"
  echo "ansible_python_interpreter=$(command -v python3)"
  echo "qrtupdate_program=$qrtupdate"
  echo "qrtupdate_bundle=$work/bundle"
  echo "qrtupdate_records_dir=$work/records"
} >"$work/inventory.ini"

timeout 900 ansible-playbook -i "$work/inventory.ini" "$role_dir/bench.yml" >"$work/play.out" 2>&1
status=$?
check "the play fails for one host (status $status)" test "$status" -eq 2

for h in bench1 bench2; do
  rec=$(ls "$work/records/$h"/record-*.json 2>/dev/null | head -n 1)
  check "$h: a record fetched" test -n "$rec"
  check "$h: the record says updated" test "$(jq -r .updated "$rec" 2>/dev/null)" = true
  check "$h: ok in the recap" grep -qE "^$h +: ok=[0-9]+ +changed=[0-9]+ +unreachable=0 +failed=0" "$work/play.out"
done
stop_sims  # the simulators write their dumps as they end
for h in bench1 bench2; do
  sim_check_qrt1440_pages "$work/$h/dump" "$work/bundle"
done
rec3=$(ls "$work/records/bench3"/record-*.json 2>/dev/null | head -n 1)
check "bench3: its record fetched too" test -n "$rec3"
check "bench3: the record says not updated, code 3" \
  test "$(jq -r '"\(.updated) \(.code)"' "$rec3" 2>/dev/null)" = "false 3"
check "bench3: failed in the recap" grep -qE "^bench3 +: ok=[0-9]+ +changed=[0-9]+ +unreachable=0 +failed=1" "$work/play.out"
check "bench3: the failure gives code 3 and its reason" \
  grep -qE "qrtupdate ended with code 3: .*(checksum|Checksum).*page 5" "$work/play.out"
check "bench3: the device got no FWUE" sh -c "! grep -q FWUE '$work/bench3/sim.json'"
for h in bench1 bench2 bench3; do
  check "$h: the working folder holds the bundle and one record, nothing else" \
    test "$(cd "$work/$h/work" && ls | sed 's/^record-.*\.json$/record/' | tr '\n' ' ')" = \
    "FW1A.qrt FW1C.qrt FW1E.qrt FW2A.qrt FW2B.qrt SHA256SUMS record "
done
check "the bundle left as it was" sh -c "cd '$work/bundle' && sha256sum -c --quiet SHA256SUMS"

# The install task, in check mode: a package of the program made here, which
# ansible's apt module reads and reports it would install, without
# installing it.
pkg=$work/pkg
mkdir -p "$pkg/DEBIAN" "$pkg/usr/bin"
cp "$qrtupdate" "$pkg/usr/bin/qrtupdate-bench-test"
printf 'Package: qrtupdate-bench-test\nVersion: 0.0.1\nArchitecture: %s\nMaintainer: test <test@localhost>\nDescription: test package\n' \
  "$(dpkg --print-architecture)" >"$pkg/DEBIAN/control"
dpkg-deb --build --root-owner-group "$pkg" "$work/test.deb" >/dev/null || { echo "FAIL: no test package"; exit 1; }
timeout 300 ansible-playbook -i "$work/inventory.ini" "$role_dir/bench.yml" --check --tags install --limit bench1 \
  -e "qrtupdate_deb=$work/test.deb" >"$work/install.out" 2>&1
status=$?
check "install in check mode: the play ends well (status $status)" test "$status" -eq 0
check "install in check mode: the package would be installed" \
  grep -qE "^changed: \[bench1\]" <(sed -n '/Install the Debian package/,/^$/p' "$work/install.out")
check "install in check mode: nothing installed" sh -c "! dpkg -s qrtupdate-bench-test >/dev/null 2>&1"

if [ $fail -ne 0 ]; then
  echo "--- play"; tail -n 60 "$work/play.out"
  echo "--- install"; tail -n 30 "$work/install.out"
  exit 1
fi
echo "ansible bench role: ok"
