#!/usr/bin/env bash
# Prepares Wine for the 32-bit Windows program on a machine that cannot
# execute 32-bit x86 code: Debian's i386 Wine runs under qemu-i386 (CPU
# emulation) beside the system's 64-bit Wine, sharing its wineserver.
#
# Everything lives in one cache folder outside the clone, made once per
# machine (about 2 GB, 100 MB of downloads, a few minutes):
#   apt/     a private apt state that downloads the i386 packages (nothing is
#            installed and no foreign architecture is added to the system)
#   root/    the i386 packages unpacked (qemu's -L root): Wine, the C library,
#            and the X and font libraries of the 32-bit window program
#   host/    a tree laid out like the system's Wine, whose 32-bit loader
#            usr/lib/wine/wine starts the i386 loader under qemu-i386
#   prefix/  a Wine prefix made by wineboot through that tree
#   ready    written last; holds the key the cache was made for. A cache
#            without it, or made for another system Wine, is made again.
# The folder: $QRT_WINE32_DIR, else /var/cache/qrt-wine32 for root, else
# ~/.cache/qrt-wine32. tools/wine32-run.sh runs a program with it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine32-env.sh"
C=$QRT_WINE32_DIR

for t in qemu-i386 /usr/lib/wine/wine64 apt-get dpkg-deb flock; do
  command -v "$t" >/dev/null || { echo "setup-wine32: $t is missing (run tools/setup.sh as root)" >&2; exit 1; }
done
wine_version=$(dpkg-query -W -f='${Version}' wine64)
# Bump the recipe number when the steps below change, so old caches are redone.
key="recipe 6; wine $wine_version; qemu $(dpkg-query -W -f='${Version}' qemu-user)"

mkdir -p "$(dirname "$C")"
exec 9>"$C.lock"
flock 9
if [ -f "$C/ready" ] && [ "$(cat "$C/ready")" = "$key" ] && [ -x "$C/root/usr/lib/wine/wine" ] \
   && [ -x "$C/host/usr/lib/wine/wine" ] && [ -f "$C/prefix/system.reg" ]; then
  exit 0
fi

echo "setup-wine32: making the 32-bit Wine in $C (once per machine, a few minutes)"
start=$SECONDS
rm -rf "$C"
mkdir -p "$C/apt/lists/partial" "$C/apt/cache/archives/partial" "$C/apt/sources.list.d" "$C/debs"

# Only the system's Debian sources: other sources may carry no i386 lists
# or be out of reach.
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  if grep -qE 'debian\.org|debian-archive-keyring|^deb(-src)? .*/debian(-security)?/? ' "$f"; then
    cp "$f" "$C/apt/sources.list.d/"
  fi
done
if [ -z "$(ls -A "$C/apt/sources.list.d")" ]; then
  echo "setup-wine32: no Debian source found in /etc/apt" >&2
  exit 1
fi
: >"$C/apt/sources.list"
apt_opts=(-q -o APT::Architecture=i386 -o APT::Architectures=i386
  -o Dir::State::Lists="$C/apt/lists" -o Dir::Cache="$C/apt/cache" -o Dir::State::status=/dev/null
  -o Dir::Etc::SourceList="$C/apt/sources.list" -o Dir::Etc::SourceParts="$C/apt/sources.list.d"
  -o APT::Sandbox::User=root)
apt-get "${apt_opts[@]}" update >"$C/apt/update.log" 2>&1 || { cat "$C/apt/update.log" >&2; exit 1; }
# The i386 Wine must be the very version of the system's 64-bit Wine: both
# halves talk to one wineserver.
(cd "$C/debs" && apt-get "${apt_opts[@]}" download "wine32=$wine_version" "libwine=$wine_version" libc6 libgcc-s1)
# The libraries Wine's 32-bit X11 driver (winex11.so) and its font code
# (win32u.so) load, with everything they depend on, for the window program.
# A|B names a library whose package was renamed (Debian 13's 64-bit time
# transition): the first name the archive has is taken.
x_libs=()
for group in libx11-6 libx11-data libxext6 libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 \
  libxcomposite1 libxfixes3 libxcb1 libxau6 libxdmcp6 libbsd0 libmd0 \
  libfreetype6 libfontconfig1 libexpat1 'libpng16-16t64|libpng16-16' zlib1g libbrotli1 libbz2-1.0; do
  pick=
  for p in ${group//|/ }; do
    if apt-cache "${apt_opts[@]}" show "$p" >/dev/null 2>&1; then pick=$p; break; fi
  done
  [ -n "$pick" ] || { echo "setup-wine32: the archive has no i386 package $group" >&2; exit 1; }
  x_libs+=("$pick")
done
(cd "$C/debs" && apt-get "${apt_opts[@]}" download "${x_libs[@]}")
R=$C/root H=$C/host
mkdir -p "$R"
for d in "$C"/debs/*.deb; do dpkg-deb -x "$d" "$R"; done
# Debian's packages put some libraries under /lib and others under /usr/lib;
# a Debian system merges the two, and the emulated root must as well: the
# i386 dynamic loader looks for libraries Wine opens at run time (libX11,
# libfreetype, ...) in /lib/i386-linux-gnu only, and qemu-i386 gives the
# guest no environment of the host's loader to point it elsewhere.
if [ -d "$R/lib/i386-linux-gnu" ] && [ ! -L "$R/lib/i386-linux-gnu" ]; then
  mkdir -p "$R/usr/lib/i386-linux-gnu"
  for f in "$R"/lib/i386-linux-gnu/* "$R"/lib/i386-linux-gnu/.[!.]*; do
    [ -e "$f" ] || [ -L "$f" ] || continue
    t=$R/usr/lib/i386-linux-gnu/$(basename "$f")
    if [ -e "$t" ] || [ -L "$t" ]; then
      echo "setup-wine32: $(basename "$f") is both in /lib and /usr/lib of the i386 packages" >&2
      exit 1
    fi
    mv "$f" "$t"
  done
  rmdir "$R/lib/i386-linux-gnu"
  ln -s ../usr/lib/i386-linux-gnu "$R/lib/i386-linux-gnu"
fi
# The root's own library cache: without it the i386 loader reads the host's
# /etc/ld.so.cache and takes whatever i386 libraries the host has (a
# multilib /lib32/libc.so.6, no libX11), and the window program's X11
# driver fails to load ("no driver could be loaded"). Its entries are host
# paths into the root, which qemu-i386 passes on unchanged.
printf '%s\n' "$R/usr/lib/i386-linux-gnu" >"$R/etc/ld.so.conf"
"$(command -v ldconfig || echo /sbin/ldconfig)" -X -C "$R/etc/ld.so.cache" -f "$R/etc/ld.so.conf" \
  || { echo "setup-wine32: ldconfig cannot make the library cache of $R" >&2; exit 1; }
[ -f "$R/usr/lib/i386-linux-gnu/libX11.so.6" ] && [ -f "$R/usr/lib/i386-linux-gnu/libfreetype.so.6" ] \
  || { echo "setup-wine32: the i386 X and font libraries are missing after unpacking" >&2; exit 1; }
[ -x "$R/usr/lib/wine/wine" ] || { echo "setup-wine32: the i386 loader is missing from wine32" >&2; exit 1; }
cp /usr/lib/x86_64-linux-gnu/wine/i386-windows/zlib1.dll "$R/usr/lib/i386-linux-gnu/wine/i386-windows/"

# The 64-bit loader finds its 32-bit partner and its libraries relative to
# its own path, hence a copy in a tree of its own.
mkdir -p "$H/usr/lib/wine" "$H/usr/lib/x86_64-linux-gnu/wine" "$H/usr/share"
cp /usr/lib/wine/wine64 "$H/usr/lib/wine/wine64"
ln -s /usr/lib/wine/wineserver64 "$H/usr/lib/wine/wineserver"
ln -s /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$H/usr/lib/x86_64-linux-gnu/wine/x86_64-unix"
ln -s /usr/lib/x86_64-linux-gnu/wine/x86_64-windows "$H/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"
ln -s /usr/share/wine "$H/usr/share/wine"
# Debian ships no preloader; -R keeps Wine's address-space reservation
# under qemu short (about 10 s instead of 48 s per start).
cat >"$H/usr/lib/wine/wine" <<EOF
#!/bin/sh
WINELOADERNOEXEC=1 exec qemu-i386 -R 0x88000000 -L "$R" "$R/usr/lib/wine/wine" "\$@"
EOF
chmod +x "$H/usr/lib/wine/wine"
# Wine 10 (Debian 13) starts a 32-bit process with the loader beside its own,
# "$R/usr/lib/wine/wine", which this machine cannot execute; it tries
# "wine-preloader LOADER ARGS..." there first. That name, which Debian does
# not ship, becomes the same step through qemu-i386. (Wine 8 goes through
# the wrapper above and never looks here.)
cat >"$R/usr/lib/wine/wine-preloader" <<EOF
#!/bin/sh
WINELOADERNOEXEC=1 exec qemu-i386 -R 0x88000000 -L "$R" "\$@"
EOF
chmod +x "$R/usr/lib/wine/wine-preloader"
ln -sfn "$H/usr/lib/wine/wine64" "$R/usr/lib/wine/wine64"

export WINEPREFIX=$C/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$H/usr/lib/wine/wine64" wineboot -u >"$C/wineboot.log" 2>&1 || { cat "$C/wineboot.log" >&2; exit 1; }
/usr/lib/wine/wineserver64 -w
[ -f "$C/prefix/system.reg" ] || { echo "setup-wine32: wineboot made no prefix" >&2; exit 1; }
# A 32-bit program must run before the cache is trusted.
if ! smoke=$(WINESERVER=/usr/lib/wine/wineserver64 WINELOADER=$H/usr/lib/wine/wine64 WINELOADERNOEXEC=1 \
       qemu-i386 -R 0x88000000 -L "$R" "$R/usr/lib/wine/wine" 'C:\windows\syswow64\cmd.exe' /c echo qrt-wine32 2>&1) \
   || ! grep -q qrt-wine32 <<<"$smoke"; then
  echo "setup-wine32: a 32-bit program does not run:" >&2
  echo "$smoke" >&2
  exit 1
fi
/usr/lib/wine/wineserver64 -w
rm -rf "$C/debs" "$C/apt/cache"
echo "$key" >"$C/ready"
echo "setup-wine32: ready in $((SECONDS - start)) s"
