#!/usr/bin/env bash
# Makes the release packages in dist/:
#   qrtupdate_<version>_<arch>.deb    qrtupdate, the window qrtupdate-gui and
#                                     qrtsim from a Release build, their man
#                                     pages, the desktop entry, the icon in the
#                                     hicolor sizes, the AppStream entry, the
#                                     README and the copyright file; Depends
#                                     computed from the binaries; lintian must
#                                     report no error
#   qrtupdate-<version>-windows.zip   the window program QRT1220.exe and the
#                                     console program qrtupdate.exe, each in
#                                     x86/ (32-bit) and x64/ (64-bit), and
#                                     README.txt
# Options: --codesign-pfx FILE --codesign-pass-file FILE [--timestamp-url URL]
# sign the Windows programs (Authenticode, with osslsigncode) before they
# are zipped.
# Needs the set-up of tools/setup.sh (Qt 6 for the window: without it the
# package is not made). The native programs come from their own
# Release build (build-release) with Debian's hardening flags; the Windows
# programs from the test command's build-win and build-win32, made if missing.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
. tools/release-lib.sh
while [ $# -gt 0 ]; do
  case $1 in
    --codesign-pfx) [ $# -ge 2 ] || die "--codesign-pfx needs a file"; codesign_pfx=$(abspath "$2"); shift 2 ;;
    --codesign-pass-file) [ $# -ge 2 ] || die "--codesign-pass-file needs a file"; codesign_pass_file=$(abspath "$2"); shift 2 ;;
    --timestamp-url) [ $# -ge 2 ] || die "--timestamp-url needs a URL"; codesign_ts_url=$2; shift 2 ;;
    *) die "unknown argument '$1' (usage: tools/package.sh [--codesign-pfx FILE --codesign-pass-file FILE [--timestamp-url URL]])" ;;
  esac
done
codesign_check
for t in dpkg-deb dpkg-shlibdeps lintian zip gzip desktop-file-validate appstreamcli; do
  command -v "$t" >/dev/null || die "$t is missing; run tools/setup.sh as root"
done

# QRT_RELEASE_DIR: another folder for the native Release build.
rel=${QRT_RELEASE_DIR:-build-release}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
ensure_configured "$rel" -DCMAKE_BUILD_TYPE=Release -DQRT_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
# The window is part of the package: without Qt the build has no
# qrtupdate-gui, and a package without it is not made.
has_qt() { grep -qx 'QRT_HAVE_QT:INTERNAL=ON' "$rel/CMakeCache.txt"; }
if ! has_qt; then
  # Qt may have been installed since this build was configured.
  cmake -S . -B "$rel" >"$rel/release-build.log" 2>&1 || { cat "$rel/release-build.log" >&2; die "cannot configure $rel"; }
  has_qt || die "Qt 6 Widgets was not found (Debian: qt6-base-dev; tools/setup.sh installs it), so $rel has no" \
    "qrtupdate-gui: the package would lack its window"
fi
ensure_build "$rel" qrtupdate qrtupdate-gui qrtsim
ensure_windows_build i686 QRT1220 qrtupdate
ensure_windows_build x86_64 QRT1220 qrtupdate

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
# The version and the release date in the man pages and the AppStream entry.
stamp() { sed -e "s/@QRT_VERSION@/$version/" -e "s/@QRT_DATE@/$(date -u -d "@$epoch" +%Y-%m-%d)/" "$1"; }
for b in qrtupdate qrtupdate-gui qrtsim; do
  install -m 0755 "$rel/bin/$b" "$pkg/usr/bin/$b"
  strip --remove-section=.comment --remove-section=.note --strip-unneeded "$pkg/usr/bin/$b"
  stamp docs/man/$b.1 | gzip -9n >"$pkg/usr/share/man/man1/$b.1.gz"
done
# The window on the desktop: its menu entry, its icon in the hicolor theme's
# usual sizes, and its AppStream entry for the software centres.
app=org.qrt_update.QrtUpdate
install -D -m 0644 ui/qt/$app.desktop "$pkg/usr/share/applications/$app.desktop"
desktop-file-validate "$pkg/usr/share/applications/$app.desktop" || die "$app.desktop does not validate"
for s in 16 32 48 64 128 256; do
  install -D -m 0644 app/res/art/icon-$s.png "$pkg/usr/share/icons/hicolor/${s}x$s/apps/qrtupdate.png"
done
mkdir -p "$pkg/usr/share/metainfo"
stamp ui/qt/$app.metainfo.xml >"$pkg/usr/share/metainfo/$app.metainfo.xml"
appstreamcli validate --no-net "$pkg/usr/share/metainfo/$app.metainfo.xml" >"$work/appstream.out" 2>&1 \
  || { cat "$work/appstream.out" >&2; die "$app.metainfo.xml does not validate"; }
gzip -9n <README.md >"$doc/README.md.gz"
cp docs/release/copyright "$doc/copyright"
{
  echo "qrtupdate ($version) unstable; urgency=medium"
  echo
  echo "  * Release $version."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$epoch")"
} | gzip -9n >"$doc/changelog.gz"

# Depends: the shared libraries the three programs link, as dpkg-shlibdeps
# finds them (libgpib.so.0 and libftd2xx.so are loaded at run time only
# when GPIB or the USB probe is used; neither is in Debian).
mkdir -p "$work/src/debian"
printf 'Source: qrtupdate\n\nPackage: qrtupdate\nArchitecture: any\n' >"$work/src/debian/control"
if ! (cd "$work/src" && dpkg-shlibdeps -O -e"$pkg/usr/bin/qrtupdate" -e"$pkg/usr/bin/qrtupdate-gui" -e"$pkg/usr/bin/qrtsim") \
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
 qrtupdate-gui shows the same main window as the Windows program;
 qrtupdate does the same work on the command line.
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
for exe in QRT1220 qrtupdate; do
  strip_exe i686 "build-win32/bin/$exe.exe" "$win/x86/$exe.exe"
  strip_exe x86_64 "build-win/bin/$exe.exe" "$win/x64/$exe.exe"
  codesign_exe "$win/x86/$exe.exe"
  codesign_exe "$win/x64/$exe.exe"
done
sed "s/@QRT_VERSION@/$version/" docs/release/windows-README.txt >"$work/README.txt"
crlf "$work/README.txt" "$win/README.txt"
find "$win" -exec touch -h -d "@$epoch" {} +
zipfile=dist/qrtupdate-$version-windows.zip
rm -f "$zipfile"
(cd "$win" && zip -X -q -r "$OLDPWD/$zipfile" README.txt x86 x64)
echo "wrote $zipfile"
