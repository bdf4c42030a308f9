#!/usr/bin/env bash
# Runs the hand-off test under Wine in a prefix of its own: it writes the task
# file, markers and record file into C: and puts a regedit.exe with an NT6
# version into the Windows directory, which the shared test prefix must not
# see. The own prefix is a hard-linked copy of the shared one (registry files
# and the user folders copied for real, as wine-notes.md describes), so it
# costs a few megabytes. A 32-bit program reading C:\windows\regedit.exe gets
# syswow64's copy, and Wine answers version queries for that name from its
# built-in one unless told to load the file first.
#   run_wine_handoff.sh LOADER TEST_EXE REGEDIT_EXE PREFIX
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
loader=$1 test_exe=$2 regedit=$3 prefix=$4
shared=$top/build/wine/prefix
"$top/scripts/wine-prefix.sh" "$shared"
(
  flock 9
  if [ ! -f "$prefix/.boot-copy-ready" ]; then
    rm -rf "$prefix"
    cp -al "$shared" "$prefix"
    for reg in "$shared"/*.reg; do cp --remove-destination "$reg" "$prefix/"; done
    rm -rf "$prefix/drive_c/users"
    cp -a "$shared/drive_c/users" "$prefix/drive_c/users"
    touch "$prefix/.boot-copy-ready"
  fi
) 9>"$prefix.lock"
# Replace, never write through, the hard-linked files.
cp --remove-destination "$regedit" "$prefix/drive_c/windows/regedit.exe"
[ ! -d "$prefix/drive_c/windows/syswow64" ] || cp --remove-destination "$regedit" "$prefix/drive_c/windows/syswow64/regedit.exe"
export MV_WINEPREFIX=$prefix
export WINEDLLOVERRIDES="mscoree,mshtml=;regedit.exe=n,b"
exec "$top/scripts/wine-run.sh" "$loader" "$test_exe" --gtest_brief=1
