#!/usr/bin/env bash
# Fuzzes the readers of the boot configuration tool's output for SECONDS
# (default 60) from a few listings and create answers (English, Chinese, a
# UEFI manager, a verbose listing) and prints what the run covered.
#   fuzz/run-bcd-output-fuzz.sh [SECONDS] [FUZZER]
# Without FUZZER the native build's fuzzer is built and used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/fuzz/fuzz-lib.sh"
fuzz_prepare bcd_output_fuzz bcd_output_fuzzer "${1:-}" "${2:-}"
printf '\0The entry {0b2a1c3d-aaaa-4bbb-8ccc-123456789abc} was successfully created.\r\n' > "$work/seeds/created"
printf '\0\xd2\xd1\xb3\xc9\xb9\xa6\xb4\xb4\xbd\xa8 {0B2A1C3D-AAAA-4BBB-8CCC-123456789ABC}\xa1\xa3\r\n' > "$work/seeds/created-gbk"
printf '\0\r\nWindows Boot Manager\r\n--------------------\r\nidentifier              {bootmgr}\r\ndevice                  partition=\\Device\\HarddiskVolume1\r\npath                    \\EFI\\Microsoft\\Boot\\bootmgfw.efi\r\ndisplayorder            {current}\r\n                        {6b4c7f2e-1d3a-11e9-9a4b-0800279a5c1d}\r\n\r\nWindows Boot Loader\r\n-------------------\r\nidentifier              {current}\r\ndevice                  partition=C:\r\npath                    \\Windows\\system32\\winload.efi\r\n' > "$work/seeds/english"
printf '\1\r\nWindows \xc6\xf4\xb6\xaf\xb9\xdc\xc0\xed\xc6\xf7\r\n--------------------\r\n\xb1\xea\xca\xb6\xb7\xfb                  {bootmgr}\r\n\r\nWindows \xc6\xf4\xb6\xaf\xbc\xd3\xd4\xd8\xc6\xf7\r\n-------------------\r\n\xb1\xea\xca\xb6\xb7\xfb                  {6b4c7f2e-1d3a-11e9-9a4b-0800279a5c1d}\r\n\xc9\xe8\xb1\xb8                    partition=D:\r\n\xc2\xb7\xbe\xb6                    \\Windows\\system32\\winload.exe' > "$work/seeds/chinese"
fuzz_run "bcdedit output" 4096
