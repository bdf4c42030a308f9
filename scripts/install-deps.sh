#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: a machine that already has everything is left alone.
set -euo pipefail

PKGS=(
  cmake ninja-build g++ make pkg-config
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 mingw-w64-tools binutils-mingw-w64-i686
  wine wine64 wine32:i386
  xvfb xauth imagemagick fonts-wqy-microhei x11-utils xdotool
  wimtools fdisk nginx curl aria2 clang libclang-rt-14-dev libcurl4-openssl-dev
  libgtest-dev googletest python3
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
