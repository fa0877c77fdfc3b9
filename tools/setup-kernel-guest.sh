#!/usr/bin/env bash
# Fetches what the kernel-guest test stage boots: Debian's own kernel (the
# package linux-image-amd64 depends on) and a static busybox, downloaded with
# `apt-get download` and unpacked, never installed.
#
# One cache folder outside the clone, made once per machine (about 70 MB of
# downloads, half a minute):
#   vmlinuz   the kernel
#   modules/  the kernel's lib/modules/VERSION/kernel/{drivers/usb,fs/configfs}
#             (what the guest loads: USB host, serial and gadget drivers),
#             uncompressed
#   busybox   the static busybox
#   ready     written last; holds the key the cache was made for (package
#             names and versions). A cache without it, or made for other
#             packages, is made again.
# The folder: $QRT_KERNEL_GUEST_DIR, else /var/cache/qrt-kernel-guest for
# root, else ~/.cache/qrt-kernel-guest. tests/kernel/kernel_stage.sh boots it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/kernel-guest-env.sh"
C=$QRT_KERNEL_GUEST_DIR

for t in apt-get apt-cache dpkg-deb flock xz; do
  command -v "$t" >/dev/null || { echo "setup-kernel-guest: $t is missing" >&2; exit 1; }
done
# The kernel package of the moment: linux-image-amd64 is a meta-package that
# depends on exactly one versioned image package.
candidate() { apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: //p'; }
look_up() {
  kernel_pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n 1)
  kernel_version=
  [ -n "$kernel_pkg" ] && kernel_version=$(candidate "$kernel_pkg")
  busybox_version=$(candidate busybox-static)
  [ -n "$kernel_version" ] && [ "$kernel_version" != "(none)" ] && [ -n "$busybox_version" ] \
    && [ "$busybox_version" != "(none)" ]
}
# A fresh machine may have no package lists yet, and old lists may name
# versions the archive no longer holds: root reads them anew once.
lists_fresh=0
refresh_lists() {
  [ "$(id -u)" = 0 ] && [ "$lists_fresh" = 0 ] || return 1
  echo "setup-kernel-guest: reading the package lists anew"
  apt-get update -q >"${TMPDIR:-/tmp}/qrt-kernel-guest-apt.log" 2>&1 || { cat "${TMPDIR:-/tmp}/qrt-kernel-guest-apt.log" >&2; return 1; }
  lists_fresh=1
}
if ! look_up && ! { refresh_lists && look_up; }; then
  echo "setup-kernel-guest: apt knows no linux-image-amd64 or busybox-static (as root: apt-get update)" >&2
  exit 1
fi
# Bump the recipe number when the steps below change, so old caches are redone.
key="recipe 1; $kernel_pkg $kernel_version; busybox-static $busybox_version"

mkdir -p "$(dirname "$C")"
exec 9>"$C.lock"
flock 9
if [ -f "$C/ready" ] && [ "$(cat "$C/ready")" = "$key" ] && [ -f "$C/vmlinuz" ] && [ -x "$C/busybox" ] \
   && [ -d "$C/modules/drivers/usb" ]; then
  exit 0
fi

echo "setup-kernel-guest: fetching $kernel_pkg $kernel_version and busybox-static into $C (once per machine)"
start=$SECONDS
rm -rf "$C"
mkdir -p "$C/debs" "$C/unpacked"
download() {
  (cd "$C/debs" && apt-get -q -o APT::Sandbox::User="$(id -un)" download \
    "$kernel_pkg=$kernel_version" "busybox-static=$busybox_version") >"$C/download.log" 2>&1
}
if ! download; then
  # The lists may be older than the archive; with new ones the versions
  # (and so the key) may change.
  if refresh_lists && look_up; then
    key="recipe 1; $kernel_pkg $kernel_version; busybox-static $busybox_version"
    download || { cat "$C/download.log" >&2; exit 1; }
  else
    cat "$C/download.log" >&2
    exit 1
  fi
fi
for d in "$C"/debs/*.deb; do dpkg-deb -x "$d" "$C/unpacked"; done

vmlinuz=$(find "$C/unpacked/boot" -maxdepth 1 -name 'vmlinuz-*' | head -n 1)
[ -n "$vmlinuz" ] || { echo "setup-kernel-guest: $kernel_pkg holds no vmlinuz" >&2; exit 1; }
# Debian 12's packages put modules and programs under /lib and /bin, Debian
# 13's (merged /usr) under /usr/lib and /usr/bin.
kdir=
for m in "$C/unpacked/lib/modules" "$C/unpacked/usr/lib/modules"; do
  [ -d "$m" ] && kdir=$(find "$m" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  [ -n "$kdir" ] && break
done
[ -n "$kdir" ] && [ -d "$kdir/kernel/drivers/usb" ] || { echo "setup-kernel-guest: $kernel_pkg holds no USB modules" >&2; exit 1; }
busybox=
for b in "$C/unpacked/bin/busybox" "$C/unpacked/usr/bin/busybox"; do [ -x "$b" ] && busybox=$b; done
[ -n "$busybox" ] || { echo "setup-kernel-guest: busybox-static holds no bin/busybox" >&2; exit 1; }

mkdir -p "$C/modules/drivers" "$C/modules/fs"
cp -a "$kdir/kernel/drivers/usb" "$C/modules/drivers/"
cp -a "$kdir/kernel/fs/configfs" "$C/modules/fs/"
# busybox's insmod takes plain modules only.
find "$C/modules" -name '*.ko.xz' -exec xz -d {} +
cp "$vmlinuz" "$C/vmlinuz"
cp "$busybox" "$C/busybox"
basename "$kdir" >"$C/kernel-release"
rm -rf "$C/debs" "$C/unpacked" "$C/download.log"
echo "$key" >"$C/ready"
echo "setup-kernel-guest: ready in $((SECONDS - start)) s"
