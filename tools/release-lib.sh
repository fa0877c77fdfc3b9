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
