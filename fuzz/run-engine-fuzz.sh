#!/usr/bin/env bash
# Fuzzes one of the download engine's readers for SECONDS (default 60):
# "engine_head" (the response head: Content-Length, Content-Range and the
# verdict on an answer) or "control_file" (the control file kept beside a
# download), from seeds written here, and prints what the run covered.
#   fuzz/run-engine-fuzz.sh engine_head|control_file [SECONDS] [FUZZER]
# Without FUZZER the native build's fuzzer is built and used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-}
case $which in
  engine_head|control_file) ;;
  *) echo "usage: fuzz/run-engine-fuzz.sh engine_head|control_file [SECONDS] [FUZZER]" >&2; exit 2 ;;
esac
. "$top/fuzz/fuzz-lib.sh"
fuzz_prepare "${which}_fuzz" "${which}_fuzzer" "${2:-}" "${3:-}"
if [ "$which" = engine_head ]; then
  # status (2 bytes, little-endian), the request's start (8 bytes), what the
  # task knew (1 byte), then "Content-Length\nContent-Range".
  seed() { { printf "$1"; printf '\x00\x00\x10\x00\x00\x00\x00\x00'; printf "$2"; printf '%s\n%s' "$3" "$4"; } > "$work/seeds/$5"; }
  seed '\xce\x00' '\x0b' 1000 'bytes 1024-2047/8192' part
  seed '\xc8\x00' '\x00' 8192 '' whole
  seed '\xa0\x01' '\x19' 0 'bytes */4096' unsatisfied
  seed '\xce\x00' '\x08' '' 'bytes 0-99/*' no-total
  seed '\xf4\x01' '\x00' '' '' server-error
  cat > "$work/dict" <<'DICT'
"bytes "
"*/"
"-"
"/"
"\x0a"
DICT
  fuzz_run "Engine response head" 256 -dict="$work/dict"
else
  # Control files as the engine writes them: mode byte (bit 0: fix the
  # checksum), magic, version, segment count, total, segments, CRC-32.
  python3 - "$work/seeds" <<'PY'
import struct, sys, zlib
def record(total, segs):
    b = b"XLDC" + struct.pack("<IIq", 1, len(segs), total)
    for s in segs:
        b += struct.pack("<qqq", *s)
    return b + struct.pack("<I", zlib.crc32(b) & 0xffffffff)
cases = {
    "open": record(-1, [(0, 4096, -1)]),
    "one": record(10000, [(0, 5000, 10000)]),
    "split": record(5368709120, [(0, 100, 4294967296), (4294967296, 4294967300, 5368709120)]),
    "four": record(4000, [(0, 10, 1000), (1000, 1500, 2000), (2000, 2000, 3000), (3000, 3999, 4000)]),
}
for name, data in cases.items():
    for mode in (0, 1):
        open("%s/%s-%d" % (sys.argv[1], name, mode), "wb").write(bytes([mode]) + data)
PY
  fuzz_run "Engine control file" 1024
fi
