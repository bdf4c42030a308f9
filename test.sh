#!/usr/bin/env bash
# Runs every test: native unit tests (sanitizers), the contract tests under the
# 32-bit and 64-bit Wine loaders, the Windows program's own tests under Wine.
# Installs what it needs on a fresh Debian 12 machine (as root), builds, tests.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
./scripts/install-deps.sh
./scripts/build.sh

# Windows that tests open need a display: one private Xvfb for the whole run.
xvfb_pid=
if [ -z "${DISPLAY:-}" ] || [ -n "${CI:-}" ]; then
  for n in $(seq 90 130); do [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break; done
  Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=:$n
fi
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  WINEPREFIX="$top/build/wine/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

if ! ./scripts/runs-32bit.sh; then
  echo "note: this machine cannot run 32-bit programs; the 32-bit build's Wine tests are not run," \
       "the 64-bit build's Wine tests of the same sources are."
fi
# The tests serve on fixed loopback ports (the demo service host): as root the
# run gets a loopback of its own, so that a run in another checkout of this
# machine cannot take the port from it.
tests=(ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 900)
if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
  unshare --net sh -c 'ip link set lo up && exec "$@"' sh "${tests[@]}"
else
  "${tests[@]}"
fi
