#!/usr/bin/env bash
# Fuzzes the catalogue page reader for SECONDS (default 60) from seed pages
# (the demo host's page shape and a few broken ones), and prints what the run
# covered.
#   fuzz/run-catalogue-links-fuzz.sh [SECONDS] [FUZZER]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/fuzz/fuzz-lib.sh"
fuzz_prepare catalogue_links_fuzz catalogue_links_fuzzer "${1:-}" "${2:-}"
printf '\x00<!DOCTYPE html><html><head><meta charset="utf-8"></head><body><ul><li><a href="http://127.0.0.1:18080/images/A.wim?type=A.wim&amp;md5=0123456789ABCDEF0123456789ABCDEF&amp;&amp;os_name=Windows+10&amp;">Windows 10 \xe4\xb8\x93\xe4\xb8\x9a\xe7\x89\x88</a></li><li><a href="?type=localWIM">local</a></li></ul></body></html>' > "$work/seeds/demo"
printf '\x01<meta http-equiv="Content-Type" content="text/html; charset=gb2312"><A HREF=../x?type=b TITLE=\xd6\xd0>\xd6\xd0&#20013;<b>x</b></A><!-- <a href=y?type=c> --><script>"<a href=z?type=d>"</script>' > "$work/seeds/gbk"
printf '\x02<a href="//h/x?type=1&#x26;md5=2">a<a href=\x27/p/./q/../r?type=3\x27 title="t">&nbsp;<style>a{}</style>' > "$work/seeds/broken"
fuzz_run "catalogue links" 8192 -dict=<(printf '"<a "\n"href="\n"?type="\n"</a>"\n"<!--"\n"-->"\n"<script>"\n"</script>"\n"&amp;"\n"&#x"\n"charset="\n"<meta "\n"../"\n"//"\n')
