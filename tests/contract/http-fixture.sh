#!/usr/bin/env bash
# A small HTTP server on loopback for the contract cases of FetchUrl under Wine.
#   http-fixture.sh start DIR URLFILE   serves DIR on a free port, writes its
#                                       base address to URLFILE
#   http-fixture.sh stop DIR            ends the server started for DIR
set -euo pipefail
cmd=${1:?usage: http-fixture.sh start DIR URLFILE | stop DIR}
dir=${2:?missing DIR}
case $cmd in
  start)
    urlfile=${3:?missing URLFILE}
    mkdir -p "$dir/net_available"
    printf '\xd5\xfd\xb3\xa3' > "$dir/net_available/available.txt"   # "正常" in GBK
    # The fetch bound (kFetchLimitBytes) and one byte over it.
    head -c $((4 << 20)) /dev/zero > "$dir/limit.bin"
    head -c $(((4 << 20) + 1)) /dev/zero > "$dir/over-limit.bin"
    rm -f "$urlfile"
    mkdir -p "$(dirname "$urlfile")"
    if [ -f "$dir.pid" ]; then kill "$(cat "$dir.pid")" 2>/dev/null || true; fi
    python3 -c '
import functools, http.server, sys, time
class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path == "/silent":
            time.sleep(60)  # a server that never answers
            return
        super().do_GET()
    def log_message(self, *a):
        pass
handler = functools.partial(Handler, directory=sys.argv[1])
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
with open(sys.argv[2] + ".tmp", "w") as f:
    f.write("http://127.0.0.1:%d" % server.server_address[1])
import os
os.rename(sys.argv[2] + ".tmp", sys.argv[2])
server.serve_forever()
' "$dir" "$urlfile" </dev/null >/dev/null 2>&1 &
    echo $! > "$dir.pid"
    for _ in $(seq 100); do [ -s "$urlfile" ] && exit 0; sleep 0.05; done
    echo "http-fixture.sh: the server did not start" >&2
    exit 1
    ;;
  stop)
    if [ -f "$dir.pid" ]; then kill "$(cat "$dir.pid")" 2>/dev/null || true; rm -f "$dir.pid"; fi
    ;;
  *) echo "http-fixture.sh: unknown command $cmd" >&2; exit 2 ;;
esac
