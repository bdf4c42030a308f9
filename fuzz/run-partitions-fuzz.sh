#!/usr/bin/env bash
# Fuzzes the partition-table reader for SECONDS (default 60) from seeds made
# with sfdisk, and prints what the run covered.
#   fuzz/run-partitions-fuzz.sh [SECONDS] [FUZZER]
# Without FUZZER the native build's fuzzer is built and used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
bin=${2:-}
if [ -z "$bin" ]; then
  [ -f "$top/build/native/build.ninja" ] || "$top/scripts/build.sh" native >/dev/null
  cmake --build "$top/build/native" --target partitions_fuzz >/dev/null
  bin=$top/build/native/fuzz/partitions_fuzzer
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/mv-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$top/tests/detect/make-disk-images.sh" "$work/images"
mkdir -p "$work/seeds" "$work/corpus"
for img in "$work"/images/small-*.img; do
  n=$(basename "$img" .img)
  for mode in 0 1 2 5; do
    { printf "\\x$(printf %02x $mode)"; cat "$img"; } > "$work/seeds/$n-$mode"
  done
done
# The first 64 KiB of the large images (their tables, cut short).
for img in mbr gpt; do
  { printf '\x00'; head -c 65536 "$work/images/$img.img"; } > "$work/seeds/$img-head"
done
set +e
"$bin" -max_total_time="$secs" -max_len=70000 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus" "$work/seeds" > "$work/log" 2>&1
rc=$?
set -e
if [ $rc -ne 0 ]; then
  tail -60 "$work/log"
  mkdir -p "$top/build/fuzz-artifacts"
  cp "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$top/build/fuzz-artifacts/" 2>/dev/null || true
  echo "partitions fuzzer FAILED (exit $rc); inputs kept in build/fuzz-artifacts/" >&2
  exit 1
fi
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1)
echo "partitions fuzzer: ${secs}s clean, $execs inputs, $rate inputs/s, $cov, corpus $(ls "$work/corpus" | wc -l) files"
