#!/usr/bin/env bash
# Fuzzes the INF reader for SECONDS (default 60) from a few hand-made INF
# files (GBK, UTF-16 with its mark, a last section without a following "[",
# comments, double-byte names) and prints what the run covered.
#   fuzz/run-inf-fuzz.sh [SECONDS] [FUZZER]
# Without FUZZER the native build's fuzzer is built and used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
bin=${2:-}
if [ -z "$bin" ]; then
  [ -f "$top/build/native/build.ninja" ] || "$top/scripts/build.sh" native >/dev/null
  cmake --build "$top/build/native" --target inf_fuzz >/dev/null
  bin=$top/build/native/fuzz/inf_fuzzer
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/mv-inf-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/corpus"
printf 'Install\n[Version]\r\nCatalogFile=a.cat ; c\r\n[DestinationDirs]\r\nDefaultDestDir=11\r\nA.Sys=12\r\nB=10,sub\r\n[Install]\r\nCopyFiles=A.Sys,B\r\nInclude=x.inf\r\n[A.Sys]\r\na.sys,,,2\r\n[B]\r\n\tb.dll' > "$work/seeds/gbk"
printf 'install\n[Install]\nCopyFiles = A\n\n\n[A]\nx.sys' > "$work/seeds/lf-last"
printf 'S\n[S]\r\nDesc=\x81\x5b\x81\x5d;\xb5\xc4\r\n[T' > "$work/seeds/double-byte"
{ printf 'Strings\n\xff\xfe'; printf '[\0S\0t\0r\0i\0n\0g\0s\0]\0\r\0\n\0N\0=\0\x51\x7f\n\0'; } > "$work/seeds/utf16"
set +e
"$bin" -max_total_time="$secs" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus" "$work/seeds" > "$work/log" 2>&1
rc=$?
set -e
if [ $rc -ne 0 ]; then
  tail -60 "$work/log"
  mkdir -p "$top/build/fuzz-artifacts"
  cp "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$top/build/fuzz-artifacts/" 2>/dev/null || true
  echo "INF fuzzer FAILED (exit $rc); inputs kept in build/fuzz-artifacts/" >&2
  exit 1
fi
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1)
echo "INF fuzzer: ${secs}s clean, $execs inputs, $rate inputs/s, $cov, corpus $(ls "$work/corpus" | wc -l) files"
