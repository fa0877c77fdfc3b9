# shellcheck shell=bash
# Where the kernel and busybox of tools/setup-kernel-guest.sh live (sourced).
if [ -z "${QRT_KERNEL_GUEST_DIR:-}" ]; then
  if [ "$(id -u)" = 0 ]; then
    QRT_KERNEL_GUEST_DIR=/var/cache/qrt-kernel-guest
  else
    QRT_KERNEL_GUEST_DIR=${XDG_CACHE_HOME:-$HOME/.cache}/qrt-kernel-guest
  fi
fi
export QRT_KERNEL_GUEST_DIR
