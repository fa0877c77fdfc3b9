#!/usr/bin/env bash
# Runs the Windows serial tests under Wine against the native test peer: the
# peer makes a pseudo-terminal, Wine's dosdevices/com9 points at it, and the
# Windows program opens COM9 with the real Win32 calls.
#   wine_serial.sh <link_serial_tests.exe> <native link_ptypeer> <wine-run.sh>
set -u
exe=$1; peer=$2; runner=$3
com=9
if [ ! -x "$peer" ]; then
  echo "link_serial_wine: the native peer $peer is missing (build link_ptypeer natively)" >&2
  exit 1
fi
bindir=$(cd "$(dirname "$exe")" && pwd)
export WINEPREFIX=${WINEPREFIX:-"$(dirname "$bindir")/wineprefix"}
work=$(mktemp -d)
trap 'kill $peer_pid 2>/dev/null; rm -rf "$work"' EXIT

# The prefix must exist before its dosdevices folder gets our link.
if ! "$runner" "$exe" --gtest_list_tests >/dev/null 2>&1; then
  echo "wine_serial: $exe does not start under Wine" >&2
  exit 1
fi
mkdir -p "$WINEPREFIX/dosdevices"

run() {  # run <gtest filter>
  rm -f "$work/ready"
  "$peer" --link "$WINEPREFIX/dosdevices/com$com" --ready "$work/ready" --seconds 300 >/dev/null &
  peer_pid=$!
  for _ in $(seq 100); do [ -s "$work/ready" ] && break; sleep 0.1; done
  if [ ! -s "$work/ready" ]; then
    echo "link_serial_wine: the peer did not start" >&2
    return 1
  fi
  QRT_TEST_COM=$com "$runner" "$exe" --gtest_filter="$1"
  local rc=$?
  kill $peer_pid 2>/dev/null
  wait $peer_pid 2>/dev/null
  return $rc
}

# The hang-up test ends its peer, so it gets one of its own.
run '-SerialHangUp.*' || exit 1
run 'SerialHangUp.*' || exit 1
