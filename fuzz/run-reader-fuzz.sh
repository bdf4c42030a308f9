#!/usr/bin/env bash
# Fuzzes one reader of outside input for SECONDS (default 60) from a few seed
# inputs of its real shape, and prints what the run covered.
#   fuzz/run-reader-fuzz.sh pe_page|catalogue_link|listing|wide_xml [SECONDS] [FUZZER]
# Without FUZZER the native build's fuzzer is built and used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/fuzz/fuzz-lib.sh"
which=${1:?usage: run-reader-fuzz.sh pe_page|catalogue_link|listing|wide_xml [SECONDS] [FUZZER]}
fuzz_prepare "${which}_fuzz" "${which}_fuzzer" "${2:-}" "${3:-}"
dict="$work/dict"
case $which in
  pe_page)
    printf 'http://127.0.0.1:18080/pe/WinPE10x64.wim&filename=WinPE10x64.wim&md5=0123456789ABCDEF0123456789ABCDEF&' > "$work/seeds/page"
    printf '<html>http://h/a&filename=&md5=&&&filename=x&' > "$work/seeds/broken"
    printf '"http"\n"&filename="\n"&md5="\n"&"\n' > "$dict"
    fuzz_run "PE page" 4096 -dict="$dict" ;;
  catalogue_link)
    printf 'http://127.0.0.1:18080/images/A.wim?type=A.wim&md5=0123456789ABCDEF0123456789ABCDEF&os_name=Windows+10+%%E4%%B8%%93%%E4%%B8%%9A%%E7%%89%%88&' > "$work/seeds/choice"
    printf 'http://h/x?type=blank' > "$work/seeds/blank"
    printf 'file:///C:/Windows/system32/calc.exe?type=blank' > "$work/seeds/local"
    printf 'http://h/?type=..%%5C..%%5Cx.wim&md5=&os_name=%%ZZ%%4' > "$work/seeds/odd"
    printf '"?type="\n"&md5="\n"&os_name="\n"blank"\n"localWIM"\n"%%E4"\n"%%2B"\n"http://"\n"file:"\n"\\\\"\n"..\\\\"\n' > "$dict"
    fuzz_run "catalogue link" 2048 -dict="$dict" ;;
  listing)
    printf 'C1:1\tC:\t30.00GB\t9.00GB\tPrimary\tNTFS\tWin7\tMBR\t1\r\n1:2\t  \t0.49GB\tunknown\tPrimary\tNTFS\tSystem Reserved\tMBR\t1\r\n' > "$work/seeds/mbr"
    printf 'D1:3\tD:\t100.00GB\t50.00GB\tGPT\tNTFS\t\tGPT\t3\r\n2:1\tC:\t60.00GB\t10.00GB\tPrimary\tNTFS\t\tDYNMBR\t2\r\n' > "$work/seeds/gpt"
    printf '"\\x09"\n"\\x0d\\x0a"\n"GB"\n"  "\n"MBR"\n"GPT"\n"DYNGPT"\n' > "$dict"
    fuzz_run "disk listing" 4096 -dict="$dict" ;;
  wide_xml)
    # The XML that the real wimlib-imagex wrote for the test images, as it came.
    cp "$top"/tests/backup/data/*.xml "$work/seeds/"
    fuzz_run "wide WIM XML" 16384 ;;
  *) echo "run-reader-fuzz.sh: unknown reader $which" >&2; exit 2 ;;
esac
