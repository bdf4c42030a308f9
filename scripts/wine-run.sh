#!/usr/bin/env bash
# Runs a cross-built program under Wine: the ctest emulator of the Windows builds.
#   scripts/wine-run.sh LOADER PROGRAM [ARGS...]
# The prefix is MV_WINEPREFIX (default build/wine/prefix), prepared on first use.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
loader=$1; shift
prefix=${MV_WINEPREFIX:-$here/../build/wine/prefix}
"$here/wine-prefix.sh" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
exec "$loader" "$@"
