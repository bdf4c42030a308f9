#!/usr/bin/env bash
# Prepares the backup tests' Wine prefix: D: and E: fixed drives and F: a
# CD-ROM on fresh folders, and the user's documents folder made a folder of
# the test drives (a new prefix links it to the Linux home, which the tests
# must never write into). A marker file tells the tests the folder is theirs.
#   tests/backup/wine-setup.sh PREFIX DRIVES
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$1
drives=$2
rm -rf "$drives"
mkdir -p "$drives/d" "$drives/e" "$drives/f" "$drives/docs"
"$here/../../scripts/wine-prefix.sh" "$prefix" "d:hd:$drives/d" "e:hd:$drives/e" "f:cdrom:$drives/f" g:none
for user in "$prefix"/drive_c/users/*; do
  [ "$(basename "$user")" = Public ] && continue
  rm -rf "$user/Documents"
  ln -s "$(cd "$drives/docs" && pwd)" "$user/Documents"
done
touch "$drives/docs/mv-test-docs.marker"
