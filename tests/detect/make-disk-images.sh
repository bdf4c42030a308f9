#!/usr/bin/env bash
# Makes the disk images the partition tests read, with sfdisk, into OUTDIR:
#   mbr.img  4 GiB (sparse): NTFS primary, extended container with three
#            logical partitions (NTFS, FAT32, Linux); the first partition
#            carries an NTFS-like boot sector with volume serial 1A2B3C4D
#   gpt.img  4 GiB (sparse): EFI system, Microsoft reserved, basic data; the
#            basic data partition has an NTFS-like boot sector, serial 5E6F7081
#   small-*.img  the same layouts (and a dynamic one) packed into 64 KiB,
#            as seeds for the fuzzer
#   make-disk-images.sh OUTDIR
set -euo pipefail
out=${1:?usage: make-disk-images.sh OUTDIR}
mkdir -p "$out"
export LC_ALL=C
ESP=C12A7328-F81F-11D2-BA4B-00A0C93EC93B
MSR=E3C9E316-0B5C-4DB8-817D-F92DF00215AE
BDP=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
LDMMETA=5808C8AA-7E8F-42E0-85D2-E1E90434CFB3
LDMDATA=AF9B60A0-1431-4F62-BC68-3311714A69AD

mk() {  # mk FILE SIZE  (table on stdin)
  rm -f "$1.tmp"
  truncate -s "$2" "$1.tmp"
  sfdisk -q --no-reread --no-tell-kernel "$1.tmp" >/dev/null
  mv -f "$1.tmp" "$1"
}

mk "$out/mbr.img" 4G <<T
label: dos
label-id: 0x4d565a31
size=1GiB, type=7
type=5
size=512MiB, type=7
size=1GiB, type=c
type=83
T
# An NTFS boot sector (OEM name and serial are what the listing looks at).
ntfs_boot() {  # ntfs_boot FILE SECTOR SERIAL-BYTES
  {
    printf '\xeb\x52\x90NTFS    '
    head -c $((0x48 - 11)) /dev/zero
    printf "$3\\x00\\x00\\x00\\x00"
    head -c $((510 - 0x50)) /dev/zero
    printf '\x55\xaa'
  } | dd of="$1" bs=512 seek="$2" conv=notrunc status=none
}
ntfs_boot "$out/mbr.img" 2048 '\x4d\x3c\x2b\x1a'

mk "$out/gpt.img" 4G <<T
label: gpt
size=100MiB, type=$ESP, name="EFI system partition"
size=16MiB, type=$MSR, name="Microsoft reserved partition"
type=$BDP, name="Basic data partition"
T
ntfs_boot "$out/gpt.img" 239616 '\x81\x70\x6f\x5e'

mk "$out/small-mbr.img" 64K <<T
label: dos
start=4, size=20, type=7
start=30, size=60, type=5
start=34, size=10, type=83
start=48, size=10, type=b
start=62, size=20, type=7
T
mk "$out/small-gpt.img" 64K <<T
label: gpt
table-length: 4
first-lba: 4
start=4, size=20, type=$ESP
start=24, size=16, type=$MSR
start=40, size=40, type=$BDP
T
mk "$out/small-dyngpt.img" 64K <<T
label: gpt
table-length: 4
first-lba: 4
start=4, size=16, type=$MSR
start=20, size=20, type=$LDMMETA
start=40, size=60, type=$LDMDATA
T
mk "$out/small-dynmbr.img" 64K <<T
label: dos
start=4, size=100, type=42
T
