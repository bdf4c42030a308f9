#!/usr/bin/env bash
# Prepares the Wine prefix of the image-information tests: the test WIM/ESD
# files in DRIVES/e/wims, E: a fixed drive on DRIVES/e.
#   tests/backup/wim-wine-setup.sh PREFIX DRIVES
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$1 drives=$2
"$here/make-wims.sh" "$drives/e/wims"
rm -rf "$drives/e/MV_OSR"
"$here/../../scripts/wine-prefix.sh" "$prefix" "e:hd:$drives/e" d:none
