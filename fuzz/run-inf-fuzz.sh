#!/usr/bin/env bash
# Fuzzes the INF reader for SECONDS (default 60) from a few hand-made INF
# files (GBK, UTF-16 with its mark, a last section without a following "[",
# comments, double-byte names) and prints what the run covered.
#   fuzz/run-inf-fuzz.sh [SECONDS] [FUZZER]
# Without FUZZER the native build's fuzzer is built and used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/fuzz/fuzz-lib.sh"
fuzz_prepare inf_fuzz inf_fuzzer "${1:-}" "${2:-}"
printf 'Install\n[Version]\r\nCatalogFile=a.cat ; c\r\n[DestinationDirs]\r\nDefaultDestDir=11\r\nA.Sys=12\r\nB=10,sub\r\n[Install]\r\nCopyFiles=A.Sys,B\r\nInclude=x.inf\r\n[A.Sys]\r\na.sys,,,2\r\n[B]\r\n\tb.dll' > "$work/seeds/gbk"
printf 'install\n[Install]\nCopyFiles = A\n\n\n[A]\nx.sys' > "$work/seeds/lf-last"
printf 'S\n[S]\r\nDesc=\x81\x5b\x81\x5d;\xb5\xc4\r\n[T' > "$work/seeds/double-byte"
{ printf 'Strings\n\xff\xfe'; printf '[\0S\0t\0r\0i\0n\0g\0s\0]\0\r\0\n\0N\0=\0\x51\x7f\n\0'; } > "$work/seeds/utf16"
fuzz_run "INF" 4096
