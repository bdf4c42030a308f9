#!/usr/bin/env bash
# Fuzzes the partition-table reader for SECONDS (default 60) from seeds made
# with sfdisk, and prints what the run covered.
#   fuzz/run-partitions-fuzz.sh [SECONDS] [FUZZER]
# Without FUZZER the native build's fuzzer is built and used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/fuzz/fuzz-lib.sh"
fuzz_prepare partitions_fuzz partitions_fuzzer "${1:-}" "${2:-}"
"$top/tests/detect/make-disk-images.sh" "$work/images"
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
fuzz_run "partitions" 70000
