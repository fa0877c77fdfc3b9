#!/usr/bin/env bash
# The network link against a native server that ends or resets each
# connection while the program waits for an answer, a thousand times: every
# wait must end with the server's end said, none may hang. Natively and
# under Wine (where the peer being a native process matters: ser2net is one).
#   hangups.sh RUNNER TEST_PROGRAM   (RUNNER empty for a native program)
set -u
runner=$1 program=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d) || exit 1
server=''
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
python3 "$here/hangup_server.py" >"$work/port" 2>"$work/server.err" &
server=$!
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
port=$(head -1 "$work/port")
case $port in
  '' | *[!0-9]*) echo "hangups: the server did not start: $(cat "$work/server.err")" >&2; exit 1 ;;
esac
cmd=("$program" --gtest_filter='NetworkLink.AServerThatHangsUp*')
[ -n "$runner" ] && cmd=(bash "$runner" "${cmd[@]}")
QRT_TEST_HANGUP_PORT=$port timeout 150 "${cmd[@]}"
status=$?
if [ "$status" = 124 ]; then
  echo "hangups: the test program did not end within 150 s" >&2
fi
exit "$status"
