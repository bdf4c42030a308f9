#!/usr/bin/env bash
# Runs a command while the test server listens on a free loopback port, which
# the command finds in MV_TEST_SERVER_PORT (Wine passes it to Windows
# programs). The server ends with the command.
#   with-server.sh SERVER COMMAND [ARGS...]
set -euo pipefail
server=$1; shift
dir=$(mktemp -d /tmp/xlts-run.XXXXXX)
coproc SRV { exec "$server" --port-file "$dir/port" --exit-with-stdin >/dev/null 2>&1; }
srv_pid=$SRV_PID
cleanup() { kill "$srv_pid" 2>/dev/null || true; wait "$srv_pid" 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT
for _ in $(seq 200); do [ -s "$dir/port" ] && break; sleep 0.05; done
[ -s "$dir/port" ] || { echo "test server did not start" >&2; exit 1; }
export MV_TEST_SERVER_PORT=$(cat "$dir/port")
"$@"
