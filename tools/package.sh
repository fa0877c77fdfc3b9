#!/usr/bin/env bash
# Makes the release packages in dist/:
#   qrtupdate_<version>_<arch>.deb    qrtupdate and qrtsim from a Release build,
#                                     their man pages, the README and the
#                                     copyright file; Depends computed from the
#                                     binaries; lintian must report no error
#   qrtupdate-<version>-windows.zip   x86/QRT1220.exe (32-bit), x64/QRT1220.exe
#                                     (64-bit) and README.txt
# Needs the set-up of tools/setup.sh. The native programs come from their own
# Release build (build-release) with Debian's hardening flags; the Windows
# programs from the test command's build-win and build-win32, made if missing.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/release-lib.sh
for t in dpkg-deb dpkg-shlibdeps lintian zip gzip; do
  command -v "$t" >/dev/null || die "$t is missing; run tools/setup.sh as root"
done

rel=build-release
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
ensure_build "$rel" qrtupdate qrtsim -- -DCMAKE_BUILD_TYPE=Release -DQRT_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
ensure_windows_build i686 QRT1220
ensure_windows_build x86_64 QRT1220

version=$("$rel/bin/qrtupdate" --version | sed -n 's/^qrtupdate \([0-9][0-9.]*\)$/\1/p')
[ -n "$version" ] || die "qrtupdate --version printed no version"
arch=$(dpkg --print-architecture)
# Dates in the package come from the last commit, so that a rebuild of the
# same commit gives the same files.
epoch=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH=$epoch
maintainer="QRT Update developers <qrtupdate@qrt-update.org>"

mkdir -p dist
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ---- Debian package ------------------------------------------------------------
pkg=$work/pkg
doc=$pkg/usr/share/doc/qrtupdate
mkdir -p "$pkg/DEBIAN" "$pkg/usr/bin" "$pkg/usr/share/man/man1" "$doc"
for b in qrtupdate qrtsim; do
  install -m 0755 "$rel/bin/$b" "$pkg/usr/bin/$b"
  strip --remove-section=.comment --remove-section=.note --strip-unneeded "$pkg/usr/bin/$b"
  sed -e "s/@QRT_VERSION@/$version/" -e "s/@QRT_DATE@/$(date -u -d "@$epoch" +%Y-%m-%d)/" docs/man/$b.1 \
    | gzip -9n >"$pkg/usr/share/man/man1/$b.1.gz"
done
gzip -9n <README.md >"$doc/README.md.gz"
cp docs/release/copyright "$doc/copyright"
{
  echo "qrtupdate ($version) unstable; urgency=medium"
  echo
  echo "  * Release $version."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$epoch")"
} | gzip -9n >"$doc/changelog.gz"

# Depends: the shared libraries the two programs link, as dpkg-shlibdeps
# finds them (libgpib.so.0 and libftd2xx.so are loaded at run time only
# when GPIB or the USB probe is used; neither is in Debian).
mkdir -p "$work/src/debian"
printf 'Source: qrtupdate\n\nPackage: qrtupdate\nArchitecture: any\n' >"$work/src/debian/control"
if ! (cd "$work/src" && dpkg-shlibdeps -O -e"$pkg/usr/bin/qrtupdate" -e"$pkg/usr/bin/qrtsim") \
     >"$work/shlibdeps.out" 2>"$work/shlibdeps.err"; then
  cat "$work/shlibdeps.err" >&2
  die "dpkg-shlibdeps failed"
fi
depends=$(sed -n 's/^shlibs:Depends=//p' "$work/shlibdeps.out")
[ -n "$depends" ] || die "dpkg-shlibdeps found no dependencies"

find "$pkg" -exec touch -h -d "@$epoch" {} +
chmod -R u+rwX,go+rX,go-w "$pkg"
(cd "$pkg" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$pkg/DEBIAN/md5sums"
cat >"$pkg/DEBIAN/control" <<EOF
Package: qrtupdate
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$pkg" | cut -f1)
Depends: $depends
Section: electronics
Priority: optional
Description: firmware updater for QRT and ZVN lab power supplies
 qrtupdate sends new firmware to QRT and ZVN multi-channel laboratory
 power supplies over a serial port or GPIB: it loads the firmware
 containers of the chosen model and transfers them page by page to the
 main controller and to each channel controller. The name it is started
 under chooses the brand (TALVO, OP, MURELL) and the firmware version
 it announces; a hidden mode builds the containers from Intel HEX files.
 .
 qrtsim plays the power supply on a pseudo-terminal, for trying the
 updater without a device.
EOF
deb=dist/qrtupdate_${version}_$arch.deb
rm -f "$deb"
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$deb" >/dev/null
echo "lintian $deb"
# lintian exits non-zero on errors; warnings are printed and allowed.
lintian --fail-on error "$deb" | tee "$work/lintian.out" \
  || die "lintian reports errors for $deb"
echo "wrote $deb"

# ---- Windows zip -----------------------------------------------------------------
win=$work/win
mkdir -p "$win/x86" "$win/x64"
strip_exe i686 build-win32/bin/QRT1220.exe "$win/x86/QRT1220.exe"
strip_exe x86_64 build-win/bin/QRT1220.exe "$win/x64/QRT1220.exe"
sed "s/@QRT_VERSION@/$version/" docs/release/windows-README.txt >"$work/README.txt"
crlf "$work/README.txt" "$win/README.txt"
find "$win" -exec touch -h -d "@$epoch" {} +
zipfile=dist/qrtupdate-$version-windows.zip
rm -f "$zipfile"
(cd "$win" && zip -X -q -r "$OLDPWD/$zipfile" README.txt x86 x64)
echo "wrote $zipfile"
