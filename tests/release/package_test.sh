#!/usr/bin/env bash
# tools/package.sh as a release is made (lintian runs inside it and fails it
# on any error), then what the packages hold: the Debian package's files and
# Depends, its programs printing the project version, the window's desktop
# entry, icons and AppStream entry valid, and the Windows zip's window and
# console programs, each in two builds of the right machine type with a README for Windows, each code-signed
# (Authenticode) with a certificate of the test's own CA. A Release build
# without Qt gives no package, and says why.
set -u
export LC_ALL=C
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top" || exit 1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}
version=$(sed -n 's/^project(QrtUpdate VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

. "$top/tests/release/codesign-lib.sh"
make_codesign "$work/codesign" || { echo "FAIL: cannot make the test's code-signing certificate"; exit 1; }
bash tools/package.sh --codesign-pfx "$work/codesign/codesign.pfx" >"$work/refused.log" 2>&1
check "package.sh refuses --codesign-pfx without its password file" test $? -ne 0
check "  ... saying so" grep -q "go together" "$work/refused.log"

bash tools/package.sh "${codesign_args[@]}" >"$work/package.log" 2>&1
rc=$?
check "package.sh succeeds (lintian included)" test $rc -eq 0
[ $rc -eq 0 ] || { cat "$work/package.log"; exit 1; }

deb=dist/qrtupdate_${version}_$(dpkg --print-architecture).deb
app=org.qrt_update.QrtUpdate
icons=
for s in 128 16 256 32 48 64; do icons+="./usr/share/icons/hicolor/${s}x$s/apps/qrtupdate.png "; done
check "deb files" test "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')" = \
  "./usr/bin/qrtsim ./usr/bin/qrtupdate ./usr/bin/qrtupdate-gui ./usr/share/applications/$app.desktop \
./usr/share/doc/qrtupdate/README.md.gz ./usr/share/doc/qrtupdate/changelog.gz ./usr/share/doc/qrtupdate/copyright \
$icons./usr/share/man/man1/qrtsim.1.gz ./usr/share/man/man1/qrtupdate-gui.1.gz ./usr/share/man/man1/qrtupdate.1.gz \
./usr/share/metainfo/$app.metainfo.xml "
check "Depends computed from the binaries" bash -c "dpkg-deb -f '$deb' Depends | grep -q 'libc6 (>= .*libqt6widgets6.*libstdc++6 (>= '"
dpkg-deb -x "$deb" "$work/root"
check "desktop entry valid" desktop-file-validate "$work/root/usr/share/applications/$app.desktop"
check "AppStream entry valid" appstreamcli validate --no-net "$work/root/usr/share/metainfo/$app.metainfo.xml"
check "AppStream entry carries the version" grep -qF "<release version=\"$version\" date=\"20" \
  "$work/root/usr/share/metainfo/$app.metainfo.xml"
for s in 16 32 48 64 128 256; do
  check "${s}x$s icon" test "$(identify -format '%m %wx%h' "$work/root/usr/share/icons/hicolor/${s}x$s/apps/qrtupdate.png")" = \
    "PNG ${s}x$s"
done
for p in qrtupdate qrtupdate-gui qrtsim; do
  check "$p --version" test "$("$work/root/usr/bin/$p" --version)" = "$p $version"
  check "$p(1) carries the version" bash -c "zcat '$work/root/usr/share/man/man1/$p.1.gz' | head -n 1 | grep -qF '\"$p $version\"'"
done

# A Release build configured without Qt: no package, and the reason.
cmake -S . -B "$work/noqt" -DCMAKE_BUILD_TYPE=Release -DQRT_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON \
  >"$work/noqt.log" 2>&1
check "a build without Qt configures" test $? -eq 0
touch -d @1 "$deb"
QRT_RELEASE_DIR=$work/noqt bash tools/package.sh >"$work/noqt-package.log" 2>&1
check "without Qt package.sh fails" test $? -ne 0
check "and names what is missing" grep -qF "Qt 6 Widgets was not found (Debian: qt6-base-dev" "$work/noqt-package.log"
check "and leaves the package alone" test "$(stat -c %Y "$deb")" -eq 1

zipfile=dist/qrtupdate-$version-windows.zip
check "zip files" test "$(unzip -Z1 "$zipfile" | grep -v '/$' | sort | tr '\n' ' ')" = \
  "README.txt x64/QRT1220.exe x64/qrtupdate.exe x86/QRT1220.exe x86/qrtupdate.exe "
unzip -q "$zipfile" -d "$work/zip"
for exe in QRT1220 qrtupdate; do
  check "x86/$exe.exe is 32-bit" bash -c "objdump -f '$work/zip/x86/$exe.exe' | grep -q 'file format pei-i386'"
  check "x64/$exe.exe is 64-bit" bash -c "objdump -f '$work/zip/x64/$exe.exe' | grep -q 'file format pei-x86-64'"
done
check "README.txt says what qrtupdate.exe is" grep -q "^Beside each window program lies qrtupdate.exe" "$work/zip/README.txt"
for exe in x86/QRT1220.exe x64/QRT1220.exe x86/qrtupdate.exe x64/qrtupdate.exe; do
  check "$exe code-signed by the test's CA" codesigned "$work/codesign/ca.pem" "$work/zip/$exe"
  check "$exe: one byte changed breaks the signature" codesign_breaks "$work/codesign/ca.pem" "$work/zip/$exe"
done
check "README.txt with CR LF line ends" bash -c "head -n 1 '$work/zip/README.txt' | grep -q \$'\r\$'"
exit $fail
