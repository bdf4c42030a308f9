#!/usr/bin/env bash
# The release program's smoke test under the 32-bit user-mode emulator, by
# hand (./test.sh runs it by itself only where 32-bit programs cannot run
# natively; here it runs emulated even where they can):
#   scripts/smoke-32bit.sh
# Installs the emulator and builds the release if needed; the emulated
# prefix is kept in build/win32/smoke32.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
MV_WITH_EMULATOR=1 ./scripts/install-deps.sh
./scripts/build.sh win32
host=$(sed -n 's/^MV_SERVICE_HOST:STRING=//p' build/win32/CMakeCache.txt)
exec ./scripts/emulate-i386.py python3 tests/smoke/smoke_32bit.py --exe dist/MV_OSR.exe \
  --work build/win32/smoke32 --service-host "${host:-http://127.0.0.1:18080}" \
  --wintool build/win32/tests/app/mv_test_wintool.exe --regedit build/win32/tests/boot/regedit_v6.exe
