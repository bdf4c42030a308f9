#!/usr/bin/env bash
# Runs the program under Wine against the local demo service host.
#
# Installs what it needs, builds the program, starts the demo service host
# (nginx on 127.0.0.1:18080, files under out/demo), prepares a Wine prefix
# (out/wine-demo: D: is a data drive, Chinese locale) and starts
# dist/MV_OSR.exe in a Wine desktop with window frames.
#
# With a display the program runs until you close it. Without one (or with
# MV_DEMO_HEADLESS=1) it runs on a private Xvfb: after MV_DEMO_WAIT seconds
# (default 8) a screenshot is saved as out/demo-screenshot.png and the program
# closes itself. Everything started here is stopped at the end.
#
# The window opens on the catalogue step (MV_DEMO_PAGE, default "0.2": page
# 0, step 2; "0" leaves it on the first step). Where the kernel cannot run
# 32-bit programs the 64-bit build of the same sources is shown.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"

./scripts/install-deps.sh
if ./scripts/runs-32bit.sh; then
  ./scripts/build.sh win32
  exe=dist/MV_OSR.exe loader=/usr/lib/wine/wine
else
  echo "this machine cannot run 32-bit programs: showing the 64-bit build"
  ./scripts/build.sh win64
  exe=build/win64/app/MV_OSR.exe loader=/usr/lib/wine/wine64
fi
export MV_OSR_START_PAGE=${MV_DEMO_PAGE:-0.2}

out=$top/out
mkdir -p "$out"
wait_s=${MV_DEMO_WAIT:-8}
export MV_SERVICE_HOST=${MV_SERVICE_HOST:-http://127.0.0.1:18080}

xvfb_pid=
prefix=$out/wine-demo/prefix
cleanup() {
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  python3 demo/host.py stop --out "$out/demo" >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

python3 demo/host.py start --out "$out/demo" --host "$MV_SERVICE_HOST"

# The demo prefix: the tests' set-up, plus D: as a fixed data drive.
./scripts/wine-prefix.sh "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$out/wine-demo/drive_d" "$prefix/drive_c/demo"
ln -sfn "$out/wine-demo/drive_d" "$prefix/dosdevices/d:"
/usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Drives' /v d: /d hd /f /reg:64 >/dev/null 2>&1
/usr/lib/wine/wineserver -k 2>/dev/null || true   # drive types are read at the server's start
/usr/lib/wine/wineserver -w
cp "$exe" "$prefix/drive_c/demo/MV_OSR.exe"

headless=${MV_DEMO_HEADLESS:-}
[ -n "${DISPLAY:-}" ] || headless=1
if [ -n "$headless" ]; then
  for n in $(seq 60 99); do [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break; done
  Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=:$n
  sleep 1
  # The program closes itself a little after the screenshot.
  MV_OSR_CLOSE_AFTER_MS=$(( (wait_s + 3) * 1000 )) \
    "$loader" explorer /desktop=mv,1024x768 'C:\demo\MV_OSR.exe' >/dev/null 2>&1 &
  sleep "$wait_s"
  import -display "$DISPLAY" -window root "$out/demo-screenshot.png"
  echo "screenshot: out/demo-screenshot.png"
  timeout 30 /usr/lib/wine/wineserver -w || true
else
  echo "MV_OSR.exe is running under Wine; close its window to end the demo."
  "$loader" explorer /desktop=mv,1024x768 'C:\demo\MV_OSR.exe' >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
fi
echo "work directory of the demo: out/wine-demo/drive_d/MV_OSR (D:\\MV_OSR)"
