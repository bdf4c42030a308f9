#!/usr/bin/env bash
# Fuzzes the catalogue page reader for SECONDS (default 60) from seed pages
# (the demo host's page shape and a few broken ones), and prints what the run
# covered.
#   fuzz/run-catalogue-links-fuzz.sh [SECONDS] [FUZZER]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
bin=${2:-}
if [ -z "$bin" ]; then
  [ -f "$top/build/native/build.ninja" ] || "$top/scripts/build.sh" native >/dev/null
  cmake --build "$top/build/native" --target catalogue_links_fuzz >/dev/null
  bin=$top/build/native/fuzz/catalogue_links_fuzzer
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/mv-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/corpus"
printf '\x00<!DOCTYPE html><html><head><meta charset="utf-8"></head><body><ul><li><a href="http://127.0.0.1:18080/images/A.wim?type=A.wim&amp;md5=0123456789ABCDEF0123456789ABCDEF&amp;&amp;os_name=Windows+10&amp;">Windows 10 \xe4\xb8\x93\xe4\xb8\x9a\xe7\x89\x88</a></li><li><a href="?type=localWIM">local</a></li></ul></body></html>' > "$work/seeds/demo"
printf '\x01<meta http-equiv="Content-Type" content="text/html; charset=gb2312"><A HREF=../x?type=b TITLE=\xd6\xd0>\xd6\xd0&#20013;<b>x</b></A><!-- <a href=y?type=c> --><script>"<a href=z?type=d>"</script>' > "$work/seeds/gbk"
printf '\x02<a href="//h/x?type=1&#x26;md5=2">a<a href=\x27/p/./q/../r?type=3\x27 title="t">&nbsp;<style>a{}</style>' > "$work/seeds/broken"
set +e
"$bin" -max_total_time="$secs" -max_len=8192 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -dict=<(printf '"<a "\n"href="\n"?type="\n"</a>"\n"<!--"\n"-->"\n"<script>"\n"</script>"\n"&amp;"\n"&#x"\n"charset="\n"<meta "\n"../"\n"//"\n') \
  -artifact_prefix="$work/" "$work/corpus" "$work/seeds" > "$work/log" 2>&1
rc=$?
set -e
if [ $rc -ne 0 ]; then
  tail -60 "$work/log"
  mkdir -p "$top/build/fuzz-artifacts"
  cp "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$top/build/fuzz-artifacts/" 2>/dev/null || true
  echo "catalogue links fuzzer FAILED (exit $rc); inputs kept in build/fuzz-artifacts/" >&2
  exit 1
fi
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1)
echo "catalogue links fuzzer: ${secs}s clean, $execs inputs, $rate inputs/s, $cov, corpus $(ls "$work/corpus" | wc -l) files"
