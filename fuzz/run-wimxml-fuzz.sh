#!/usr/bin/env bash
# Fuzzes the WIM XML reader for SECONDS (default 60) from the XML that the
# real wimlib-imagex wrote for the test images (tests/backup/data), and prints
# what the run covered.
#   fuzz/run-wimxml-fuzz.sh [SECONDS] [FUZZER]
# Without FUZZER the native build's fuzzer is built and used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
bin=${2:-}
if [ -z "$bin" ]; then
  [ -f "$top/build/native/build.ninja" ] || "$top/scripts/build.sh" native >/dev/null
  cmake --build "$top/build/native" --target wimxml_fuzz >/dev/null
  bin=$top/build/native/fuzz/wimxml_fuzzer
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/mv-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/corpus"
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
set +e
"$bin" -max_total_time="$secs" -max_len=8192 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -dict="$work/dict" -artifact_prefix="$work/" "$work/corpus" "$work/seeds" > "$work/log" 2>&1
rc=$?
set -e
if [ $rc -ne 0 ]; then
  tail -60 "$work/log"
  mkdir -p "$top/build/fuzz-artifacts"
  cp "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$top/build/fuzz-artifacts/" 2>/dev/null || true
  echo "WIM XML fuzzer FAILED (exit $rc); inputs kept in build/fuzz-artifacts/" >&2
  exit 1
fi
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1)
echo "WIM XML fuzzer: ${secs}s clean, $execs inputs, $rate inputs/s, $cov, corpus $(ls "$work/corpus" | wc -l) files"
