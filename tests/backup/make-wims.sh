#!/usr/bin/env bash
# Makes the WIM/ESD files the image-information tests read, with the native
# wimlib-imagex, and what `wimlib-imagex info` says of each image:
#   tests/backup/make-wims.sh OUTDIR
# OUTDIR gets
#   editions.wim  three images with NAME, DISPLAYNAME and DISPLAYDESCRIPTION
#   partial.wim   three images; the second has no DESCRIPTION and no
#                 DISPLAYNAME, the third a Chinese name
#   solid.esd     two images in one solid LZMS resource (as ESD files are)
#   single.wim    one image
#   empty.wim     a WIM without images
#   not-a-wim.wim plain bytes
#   expected.txt  one line per image: file|index|name|description|display
#                 name|display description|total bytes|size in GiB, two decimals
set -euo pipefail
out=$(mkdir -p "$1" && cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/mv-wims.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p t1/sub t2 t3
printf 'small\n' > t1/a.txt
head -c 200000 /dev/zero | tr '\0' 'x' > t1/sub/b.txt
head -c 150000 /dev/urandom > t2/c.bin
printf '%s\n' 中文文件 > t3/说明.txt
head -c 1000 /dev/zero > t3/z.bin
q() { wimlib-imagex "$@" >/dev/null; }

rm -f "$out"/*.wim "$out"/*.esd
q capture t1 "$out/editions.wim" "Windows 10 Home" "Home edition"
q append  t2 "$out/editions.wim" "Windows 10 Pro" "Pro edition"
q append  t3 "$out/editions.wim" "Windows 10 Education" "Education edition"
for i in 1 2 3; do
  q info "$out/editions.wim" $i --image-property DISPLAYNAME="Display $i" \
      --image-property DISPLAYDESCRIPTION="Display description $i"
done
# Sizes of real editions (the tool keeps what the metadata says).
q info "$out/editions.wim" 1 --image-property TOTALBYTES=16395918868
q info "$out/editions.wim" 2 --image-property TOTALBYTES=4294967296

q capture t1 "$out/partial.wim" "First" "First description"
q append  t2 "$out/partial.wim" "Second"
q append  t3 "$out/partial.wim" "第三个系统" "第三个描述"
q info "$out/partial.wim" 1 --image-property DISPLAYNAME="Shown first"
q info "$out/partial.wim" 3 --image-property DISPLAYNAME="显示三"

q capture t1 "$out/solid.esd" "Solid one" "Solid first" --solid
q append  t3 "$out/solid.esd" "Solid two" "Solid second" --solid
q info "$out/solid.esd" 1 --image-property TOTALBYTES=9128475122

q capture t2 "$out/single.wim" "Only image" "The only one"

# A WIM with no image left: capture one, then delete it.
q capture t2 "$out/empty.wim" "Gone"
q delete "$out/empty.wim" 1

head -c 4096 /dev/urandom > "$out/not-a-wim.wim"

# What wimlib itself reports, per image.
: > "$out/expected.txt"
for f in editions.wim partial.wim solid.esd single.wim; do
  wimlib-imagex info "$out/$f" | awk -v file="$f" '
    /^Index:/ { idx=$2; name=""; desc=""; dname=""; ddesc=""; }
    /^Name:/ { sub(/^Name: */, ""); name=$0 }
    /^Description:/ { sub(/^Description: */, ""); desc=$0 }
    /^Display Name:/ { sub(/^Display Name: */, ""); dname=$0 }
    /^Display Description:/ { sub(/^Display Description: */, ""); ddesc=$0 }
    /^Total Bytes:/ { printf "%s|%s|%s|%s|%s|%s|%s|%.2f GB\n", file, idx, name, desc, dname, ddesc, $3, $3 / 1073741824 }
  ' >> "$out/expected.txt"
done
