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
  locales ccache
  libz-mingw-w64-dev libpng-dev
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
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
fi

# Wine names Unix files in the code set of the locale: without a generated
# zh_CN.UTF-8, LC_ALL=zh_CN.UTF-8 falls back to ASCII and files with Chinese
# names cannot be created under Wine.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "the zh_CN.UTF-8 locale is missing (run as root to generate it)" >&2
    exit 1
  fi
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# The libpng source the Windows builds compile (Debian's libpng1.6 source
# package), cached under build/ (the configure step fetches it too when
# missing).
"$(dirname "$0")/fetch-libpng.sh" "$(cd "$(dirname "$0")/.." && pwd)/build/libpng-cache"
