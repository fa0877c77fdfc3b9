# shellcheck shell=bash
# Shared by tools/package.sh and tools/bundle.sh (sourced from the top of
# the work tree): finding or making the builds that go into a release.

jobs=${JOBS:-2}

die() { echo "$(basename "$0"): $*" >&2; exit 1; }

# ensure_configured DIR CMAKE_ARGS...: configures DIR with the arguments when
# it holds no build yet.
ensure_configured() {
  local dir=$1; shift
  mkdir -p "$dir"
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    echo "configuring $dir"
    cmake -S . -B "$dir" -DQRT_WERROR=OFF "$@" >"$dir/release-build.log" 2>&1 \
      || { cat "$dir/release-build.log" >&2; die "cannot configure $dir"; }
  fi
}

# ensure_build DIR TARGET... -- CMAKE_ARGS...: configures DIR with the
# arguments when it holds no build yet (an existing one is reused as it is
# configured) and brings the targets up to date. Warnings do not stop a
# release build; the test command's builds treat them as errors.
ensure_build() {
  local dir=$1; shift
  local targets=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do targets+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  ensure_configured "$dir" "$@"
  local log=$dir/release-build.log
  echo "building ${targets[*]} in $dir"
  cmake --build "$dir" -j"$jobs" --target "${targets[@]}" >"$log" 2>&1 \
    || { grep -E -B2 -A8 'error|Error' "$log" | head -n 60 >&2; die "cannot build ${targets[*]} in $dir"; }
}

# The 32-bit and 64-bit Windows builds, in the test command's folders and,
# when missing, configured as it configures them.
ensure_windows_build() {  # ensure_windows_build i686|x86_64 TARGET...
  local arch=$1; shift
  if [ "$arch" = x86_64 ]; then
    ensure_build build-win "$@" -- -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake"
  else
    ensure_build build-win32 "$@" -- -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-i686.cmake" -DQRT_TESTS=OFF
  fi
}

# strip_exe i686|x86_64 IN OUT: the program without its debugging symbols.
strip_exe() {
  "$1-w64-mingw32-strip" --strip-all -o "$3" "$2" || die "cannot strip $2"
}

# unix2dos-like: text for Windows users with CR LF line ends.
crlf() { sed 's/$/\r/' "$1" >"$2"; }

# Authenticode signing of the Windows executables a release ships, with
# osslsigncode. codesign_pfx (a PKCS#12 file with the code-signing
# certificate and its key), codesign_pass_file (its password, first line)
# and codesign_ts_url (an RFC 3161 time-stamp server, optional) are set by
# the option parsing of the script.
codesign_pfx='' codesign_pass_file='' codesign_ts_url=''

# codesign_check: before any work, the options make sense together and the
# files are there.
codesign_check() {
  if [ -z "$codesign_pfx" ] && [ -z "$codesign_pass_file" ]; then
    [ -z "$codesign_ts_url" ] || die "--timestamp-url needs --codesign-pfx and --codesign-pass-file"
    return 0
  fi
  [ -n "$codesign_pfx" ] && [ -n "$codesign_pass_file" ] \
    || die "--codesign-pfx and --codesign-pass-file go together"
  [ -f "$codesign_pfx" ] && [ -r "$codesign_pfx" ] || die "no readable certificate file '$codesign_pfx'"
  [ -f "$codesign_pass_file" ] && [ -r "$codesign_pass_file" ] || die "no readable password file '$codesign_pass_file'"
  command -v osslsigncode >/dev/null || die "osslsigncode is missing; run tools/setup.sh as root"
}

# codesign_exe FILE: signs the executable in place (SHA-256, time-stamped
# when a server is given); nothing without --codesign-pfx. The signature is
# checked for its form afterwards (its chain is the user's Windows' to judge).
codesign_exe() {
  [ -n "$codesign_pfx" ] || return 0
  local ts=() log
  [ -n "$codesign_ts_url" ] && ts=(-ts "$codesign_ts_url")
  log=$(osslsigncode sign -pkcs12 "$codesign_pfx" -readpass "$codesign_pass_file" -n "QRT Update" -h sha256 \
    "${ts[@]}" -in "$1" -out "$1.signed" 2>&1) || { echo "$log" >&2; rm -f "$1.signed"; die "cannot code-sign $1"; }
  mv "$1.signed" "$1"
}

# abspath PATH: PATH taken from the caller's folder ($caller) when relative.
abspath() {
  case $1 in /*) echo "$1" ;; *) echo "$caller/$1" ;; esac
}
