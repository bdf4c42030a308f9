#!/usr/bin/env bash
# Screenshots of every page and wizard step of the real program under Wine,
# for docs/screens (the README shows them):
#   scripts/screens.sh [OUTDIR]      (default docs/screens)
# Starts the demo service host so that pages that load from it have it, runs
# each page on a private Xvfb and cuts the picture to the window.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
out=${1:-docs/screens}
if ./scripts/runs-32bit.sh; then
  ./scripts/build.sh win32
  exe=dist/MV_OSR.exe wintool=build/win32/tests/app/mv_test_wintool.exe
else
  ./scripts/build.sh win64   # this kernel cannot run 32-bit programs
  exe=build/win64/app/MV_OSR.exe wintool=build/win64/tests/app/mv_test_wintool.exe
fi
demo_out=$top/out/screens-demo
export MV_SERVICE_HOST=${MV_SERVICE_HOST:-http://127.0.0.1:18080}
trap 'python3 demo/host.py stop --out "$demo_out" >/dev/null 2>&1 || true' EXIT
python3 demo/host.py start --out "$demo_out" --host "$MV_SERVICE_HOST"
python3 tests/ui/test_e2e_window.py --exe "$exe" --wintool "$wintool" --work "$top/out/screens-work" --screens "$out"
