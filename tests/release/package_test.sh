#!/usr/bin/env bash
# tools/package.sh as a release is made (lintian runs inside it and fails it
# on any error), then what the packages hold: the Debian package's files and
# Depends, its programs printing the project version, and the Windows zip's
# two builds of the right machine type with a README for Windows.
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

bash tools/package.sh >"$work/package.log" 2>&1
rc=$?
check "package.sh succeeds (lintian included)" test $rc -eq 0
[ $rc -eq 0 ] || { cat "$work/package.log"; exit 1; }

deb=dist/qrtupdate_${version}_$(dpkg --print-architecture).deb
check "deb files" test "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | tr '\n' ' ')" = \
  "./usr/bin/qrtsim ./usr/bin/qrtupdate ./usr/share/doc/qrtupdate/README.md.gz ./usr/share/doc/qrtupdate/changelog.gz ./usr/share/doc/qrtupdate/copyright ./usr/share/man/man1/qrtsim.1.gz ./usr/share/man/man1/qrtupdate.1.gz "
check "Depends computed from the binaries" bash -c "dpkg-deb -f '$deb' Depends | grep -q 'libc6 (>= .*libstdc++6 (>= '"
dpkg-deb -x "$deb" "$work/root"
for p in qrtupdate qrtsim; do
  check "$p --version" test "$("$work/root/usr/bin/$p" --version)" = "$p $version"
  check "$p(1) carries the version" bash -c "zcat '$work/root/usr/share/man/man1/$p.1.gz' | head -n 1 | grep -qF '\"$p $version\"'"
done

zipfile=dist/qrtupdate-$version-windows.zip
check "zip files" test "$(unzip -Z1 "$zipfile" | grep -v '/$' | sort | tr '\n' ' ')" = \
  "README.txt x64/QRT1220.exe x86/QRT1220.exe "
unzip -q "$zipfile" -d "$work/zip"
check "x86 build is 32-bit" bash -c "objdump -f '$work/zip/x86/QRT1220.exe' | grep -q 'file format pei-i386'"
check "x64 build is 64-bit" bash -c "objdump -f '$work/zip/x64/QRT1220.exe' | grep -q 'file format pei-x86-64'"
check "README.txt with CR LF line ends" bash -c "head -n 1 '$work/zip/README.txt' | grep -q \$'\r\$'"
exit $fail
