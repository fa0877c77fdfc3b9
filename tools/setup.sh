#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian 12 machine (as
# root). Packages already present are not touched; nothing is fetched
# beyond Debian's archive.
set -euo pipefail
packages=(
  cmake make g++ binutils pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 fonts-wine
  srecord xvfb xauth x11-utils imagemagick xdotool
  python3
  qemu-user lintian dpkg-dev zip unzip
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" != 0 ]; then
    echo "setup: these packages are missing; run as root to install them" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# Wine for the 32-bit Windows program, under CPU emulation (cached outside
# the clone, made once per machine).
bash "$(dirname "$0")/setup-wine32.sh"
