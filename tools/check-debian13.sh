#!/usr/bin/env bash
# Runs the test command on a fresh Debian 13 (trixie) system: makes a minimal
# chroot with debootstrap from Debian's archive, copies the committed state
# of this clone into it and runs tools/test-all.sh there as root (which
# installs the packages through tools/setup.sh first). As root:
#   tools/check-debian13.sh [--reuse] [DIR]
# DIR (default /var/tmp/qrt-debian13) is made afresh unless --reuse is given
# and it holds a finished base system. The log is DIR.log; the exit status is
# the test command's. It takes a while: the base system, about 1.5 GB of
# packages, the 32-bit Wine and every build.
#
# The chroot shares the machine's kernel, so the test command runs in a
# network namespace of its own: an X server it starts cannot meet one of the
# machine's under the same display number. Only the package set-up before it
# uses the network (the packages and the kernel-guest stage's kernel).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
mirror=${QRT_DEBIAN_MIRROR:-http://deb.debian.org/debian}

reuse=0
if [ "${1:-}" = --reuse ]; then reuse=1; shift; fi
dir=${1:-/var/tmp/qrt-debian13}
case $dir in /*) ;; *) dir=$PWD/$dir ;; esac
log=$dir.log

if [ "$(id -u)" != 0 ]; then
  echo "check-debian13: run as root (debootstrap and chroot need it)" >&2
  exit 2
fi
for t in debootstrap chroot unshare mount git tar; do
  command -v "$t" >/dev/null || { echo "check-debian13: $t is missing" >&2; exit 2; }
done
if [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
  echo "check-debian13: note: uncommitted changes are not tested (the chroot gets the last commit)" >&2
fi

mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[$i]}" || umount -l "${mounted[$i]}"
  done
  mounted=()
}
trap unmount_all EXIT
bind() {  # bind TYPE SOURCE TARGET: one mount, undone at exit
  mkdir -p "$3"
  if [ "$1" = bind ]; then mount --bind "$2" "$3"; else mount -t "$1" "$2" "$3"; fi || exit 2
  mounted+=("$3")
}

: >"$log"
say() { echo "check-debian13: $*" | tee -a "$log"; }
start=$SECONDS
if [ "$reuse" = 1 ] && [ -f "$dir/.qrt-base" ]; then
  say "reusing the base system in $dir"
else
  # Nothing of ours may be mounted below a folder that is removed.
  if grep -q " $dir/" /proc/mounts; then
    echo "check-debian13: something is still mounted below $dir" >&2
    exit 2
  fi
  rm -rf "$dir"
  say "making a Debian 13 base system in $dir from $mirror"
  if ! debootstrap --variant=minbase trixie "$dir" "$mirror" >>"$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "check-debian13: debootstrap failed (log: $log)" >&2
    exit 2
  fi
  touch "$dir/.qrt-base"
fi
cp /etc/resolv.conf "$dir/etc/resolv.conf"

rm -rf "$dir/qrt"
mkdir -p "$dir/qrt"
git -C "$top" archive HEAD | tar -x -C "$dir/qrt" || { echo "check-debian13: cannot copy the clone" >&2; exit 2; }
say "testing commit $(git -C "$top" rev-parse --short HEAD)"

bind proc proc "$dir/proc"
bind bind /sys "$dir/sys"
bind bind /dev "$dir/dev"
bind bind /dev/pts "$dir/dev/pts"
bind tmpfs tmpfs "$dir/dev/shm"

in_chroot() {
  chroot "$dir" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 TERM=dumb "$@"
}
say "$(in_chroot cat /etc/debian_version | sed 's/^/Debian /')"
say "set-up (tools/setup.sh)"
in_chroot bash -c 'cd /qrt && bash tools/setup.sh' 2>&1 | tee -a "$log"
rc=${PIPESTATUS[0]}
if [ "$rc" -ne 0 ]; then
  say "set-up failed with status $rc"
  exit 1
fi
# The kernel-guest stage's kernel comes from the archive: fetch it while the
# network is there (the test command below runs without one).
say "kernel-guest cache (tools/setup-kernel-guest.sh)"
in_chroot bash -c 'cd /qrt && bash tools/setup-kernel-guest.sh' 2>&1 | tee -a "$log"
rc=${PIPESTATUS[0]}
if [ "$rc" -ne 0 ]; then
  say "kernel-guest set-up failed with status $rc"
  exit 1
fi
say "g++ $(in_chroot g++ -dumpfullversion), $(in_chroot dpkg-query -W -f='wine ${Version}' wine64)"
say "test command (tools/test-all.sh)"
unshare --net bash -c 'ip link set lo up && exec "$@"' - \
  chroot "$dir" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 TERM=dumb bash -c 'cd /qrt && bash tools/test-all.sh' 2>&1 | tee -a "$log"
rc=${PIPESTATUS[0]}
say "test command ended with status $rc after $(((SECONDS - start) / 60)) min (log: $log)"
exit "$rc"
