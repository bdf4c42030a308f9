#!/usr/bin/env bash
# Fuzzes the WIM XML reader for SECONDS (default 60) from the XML that the
# real wimlib-imagex wrote for the test images (tests/backup/data), and prints
# what the run covered.
#   fuzz/run-wimxml-fuzz.sh [SECONDS] [FUZZER]
# Without FUZZER the native build's fuzzer is built and used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/fuzz/fuzz-lib.sh"
fuzz_prepare wimxml_fuzz wimxml_fuzzer "${1:-}" "${2:-}"
# The reader sees GBK text: the captured UTF-16LE files, converted.
for f in "$top"/tests/backup/data/*.xml; do
  iconv -f UTF-16LE -t GBK "$f" > "$work/seeds/$(basename "$f")" 2>/dev/null || cp "$f" "$work/seeds/"
done
cat > "$work/dict" <<'DICT'
"<IMAGE INDEX=\"1\">"
"</IMAGE>"
"<NAME>"
"</NAME>"
"<DESCRIPTION>"
"</DESCRIPTION>"
"<DISPLAYNAME>"
"</DISPLAYNAME>"
"<DISPLAYDESCRIPTION>"
"</DISPLAYDESCRIPTION>"
"<TOTALBYTES>"
"</TOTALBYTES>"
DICT
fuzz_run "WIM XML" 8192 -dict="$work/dict"
