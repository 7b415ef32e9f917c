#!/usr/bin/env bash
# Runs a test beside the test HTTP server (tests/support/picture_server.py):
#   with_picture_server.sh WORK_DIR COMMAND...
# The server serves WORK_DIR/www; the test learns where from TESSAREN_TEST_SERVER
# (127.0.0.1:PORT), TESSAREN_TEST_ROOT (the folder served) and TESSAREN_TEST_LOG (the
# request log), both Unix paths. The command's exit status is the script's.
set -uo pipefail
work=$1
shift
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$work" && mkdir -p "$work/www"
python3 "$here/picture_server.py" "$work/www" "$work/port" "$work/requests.log" &
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
for _ in $(seq 1200); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { echo "the test server did not start"; exit 1; }
export TESSAREN_TEST_SERVER="127.0.0.1:$(cat "$work/port")"
export TESSAREN_TEST_ROOT="$work/www" TESSAREN_TEST_LOG="$work/requests.log"
"$@"
