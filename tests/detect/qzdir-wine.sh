#!/usr/bin/env bash
# QzDir.exe under Wine, on two disks that are sfdisk images: physicaldrive0
# (MBR with logical partitions) and physicaldrive1 (GPT with EFI system,
# reserved and basic data partitions). Wine cannot tell a volume's disk
# extents, so the drives are tied to partitions by volume serial number:
# Q: carries the one of the MBR disk's first partition, C: the one of the
# GPT disk's basic data partition (the usual Windows layout).
#   qzdir-wine.sh LOADER QZDIR_EXE WORKDIR PREFIX
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
loader=$1 exe=$2
work=$(realpath -m "$3") prefix=$(realpath -m "$4")
rm -rf "$work"
mkdir -p "$work/q"
"$here/make-disk-images.sh" "$work/images"
"$here/../../scripts/wine-prefix.sh" "$prefix"
ln -sfn "$work/images/mbr.img" "$prefix/dosdevices/physicaldrive0"
ln -sfn "$work/images/gpt.img" "$prefix/dosdevices/physicaldrive1"
printf '1A2B3C4D\n' > "$work/q/.windows-serial"
printf 'DATA\n' > "$work/q/.windows-label"
ln -sfn "$work/q" "$prefix/dosdevices/q:"
printf '5E6F7081\n' > "$prefix/drive_c/.windows-serial"
printf 'WIN\n' > "$prefix/drive_c/.windows-label"
run() { MV_WINEPREFIX=$prefix "$here/../../scripts/wine-run.sh" "$loader" "$exe" "$@" 2>/dev/null; }

fail=0
rc=0
run -tavrin > "$work/out" || rc=$?
if [ $rc -ne 0 ]; then echo "QzDir -tavrin exited with $rc"; fail=1; fi
lines=$(wc -l < "$work/out")
crlf=$(grep -c $'\r$' "$work/out" || true)
[ "$lines" = "$crlf" ] || { echo "not every line ends in CR LF"; fail=1; }
listing=$(tr -d '\r' < "$work/out")
TAB=$'\t'
expected=(
  "1:1${TAB}Q:${TAB}1.00GB${TAB}FREE${TAB}Primary${TAB}NTFS${TAB}DATA${TAB}MBR${TAB}1"
  "1:2${TAB}  ${TAB}0.50GB${TAB}unknown${TAB}Logical${TAB}NTFS${TAB}${TAB}MBR${TAB}5"
  "1:3${TAB}  ${TAB}1.00GB${TAB}unknown${TAB}Logical${TAB}FAT32${TAB}${TAB}MBR${TAB}6"
  "1:4${TAB}  ${TAB}1.50GB${TAB}unknown${TAB}Logical${TAB}Linux${TAB}${TAB}MBR${TAB}7"
  "2:1${TAB}  ${TAB}0.10GB${TAB}unknown${TAB}GPT${TAB}EFI${TAB}${TAB}GPT${TAB}1"
  "2:2${TAB}  ${TAB}0.02GB${TAB}unknown${TAB}GPT${TAB}MSR${TAB}${TAB}GPT${TAB}2"
  "2:3${TAB}C:${TAB}3.88GB${TAB}FREE${TAB}GPT${TAB}NTFS${TAB}WIN${TAB}GPT${TAB}3"
)
mapfile -t got <<<"$listing"
if [ ${#got[@]} -ne ${#expected[@]} ]; then
  echo "expected ${#expected[@]} lines, got ${#got[@]}:"; printf '%s\n' "$listing"; fail=1
fi
for i in "${!expected[@]}"; do
  want=${expected[$i]} line=${got[$i]:-}
  if [[ $want == *FREE* ]]; then  # the free space of Q: and C: is the host's
    free=$(cut -f4 <<<"$line")
    [[ $free =~ ^[0-9]+\.[0-9][0-9]GB$ ]] || { echo "line $((i + 1)): free space '$free'"; fail=1; }
    line=$(awk -F'\t' -v OFS='\t' '{ $4 = "FREE"; print }' <<<"$line")
  fi
  [ "$line" = "$want" ] || { echo "line $((i + 1)): got '$line', expected '$want'"; fail=1; }
done

# Without "-tavrin" as the first argument: no output, exit code 1.
for args in "" "-TAVRIN" "x -tavrin" "-tavrin2"; do
  rc=0
  # shellcheck disable=SC2086
  run $args > "$work/none" || rc=$?
  if [ -s "$work/none" ] || [ "$rc" -ne 1 ]; then echo "QzDir '$args': exit $rc, output '$(cat "$work/none")'"; fail=1; fi
done
exit $fail
