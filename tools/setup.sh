#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian 12 or Debian 13
# machine (as root). Packages already present are not touched; nothing is
# fetched beyond Debian's archive.
set -euo pipefail
packages=(
  cmake make g++ binutils pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 fonts-wine
  srecord xvfb xauth x11-utils imagemagick xdotool
  python3
  qemu-user lintian dpkg-dev zip unzip
  libssl-dev openssl nlohmann-json3-dev
  osslsigncode
  qt6-base-dev fonts-liberation2 desktop-file-utils appstream
)
# The kernel-guest test stage: QEMU's PC, cpio for the guest's initramfs and
# xz for its modules
# (the kernel itself is fetched by tools/setup-kernel-guest.sh).
packages+=(qemu-system-x86 cpio xz-utils)
# The network link's tests and benchmark: a serial device server on loopback.
packages+=(ser2net)
# Tests that read the console's JSON Lines (update --dry-run, the Ansible
# role); the Ansible role's test runs ansible-playbook.
packages+=(jq ansible-core)
# The answers are read whole before they are matched: under pipefail a grep -q
# that stops early makes the writer die of SIGPIPE, and the test fail.
installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == *'install ok installed'* ]]; }
available() { [[ $(apt-cache policy "$1" 2>/dev/null) =~ Candidate:\ [^\(] ]]; }

# Packages whose name differs between releases: the first of each group that
# is installed, else the first that the archive offers. The choice follows the
# archive, not the release name (the compiler runtime for the sanitizers and
# the fuzzer is libclang-rt-14-dev on Debian 12; Debian 13 only has the
# unversioned libclang-rt-dev, which Debian 12 offers too from 12.1 on).
alternatives=(
  "libclang-rt-dev libclang-rt-14-dev"
)
choose() {  # choose "A B ...": prints the package to use, or nothing
  local p
  for p in $1; do installed "$p" && { echo "$p"; return; }; done
  for p in $1; do available "$p" && { echo "$p"; return; }; done
  return 0  # none: an empty answer, not a failure that set -e would end on
}
lists_fresh=0
for group in "${alternatives[@]}"; do
  pick=$(choose "$group")
  if [ -z "$pick" ] && [ "$lists_fresh" = 0 ] && [ "$(id -u)" = 0 ]; then
    # A fresh system may have no package lists yet.
    apt-get update -q
    lists_fresh=1
    pick=$(choose "$group")
  fi
  if [ -z "$pick" ]; then
    echo "setup: the archive offers none of: $group" >&2
    exit 1
  fi
  packages+=("$pick")
done

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" != 0 ]; then
    echo "setup: these packages are missing; run as root to install them" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  [ "$lists_fresh" = 1 ] || apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# Wine for the 32-bit Windows program, under CPU emulation (cached outside
# the clone, made once per machine).
bash "$(dirname "$0")/setup-wine32.sh"
