#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: a machine that already has everything is left alone.
#
# A package mirror that is half-way through a sync must not stop a fresh
# machine: `apt-get update` is retried a few times and a partial index failure
# is only a warning; when the install then fails on multi-arch dependencies
# that do not meet (an i386 index older than the amd64 one), it is retried with
# the release's own suite pinned first. Whatever still fails is said plainly.
set -euo pipefail

PKGS=(
  cmake ninja-build g++ make pkg-config autoconf automake libtool
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 mingw-w64-tools binutils-mingw-w64-i686
  wine wine64 wine32:i386
  xvfb xauth imagemagick fonts-wqy-microhei x11-utils xdotool
  wimtools fdisk nginx curl aria2 clang lld libclang-rt-14-dev libcurl4-openssl-dev
  libgtest-dev googletest python3
  locales ccache time
  libz-mingw-w64-dev libpng-dev
  wine32-preloader:i386 iproute2
)

# Tunables (the script's own test sets them; nobody else needs to).
update_tries=${MV_APT_UPDATE_TRIES:-3}
retry_pause=${MV_APT_RETRY_PAUSE:-15}
os_release=${MV_OS_RELEASE_FILE:-/etc/os-release}
sources_dir=${MV_APT_SOURCES_DIR:-/etc/apt/sources.list.d}
runs_32bit=${MV_RUNS_32BIT:-$(dirname "$0")/runs-32bit.sh}

say() { echo "install-deps: $*" >&2; }

# The codename of the running release ("bookworm"), empty when unknown.
release_codename() {
  [ -r "$os_release" ] || return 0
  (. "$os_release" && echo "${VERSION_CODENAME:-}")
}

# apt-get update, retried; a failure after the last try is a warning only:
# the indexes that did arrive are used, and the install says what is missing.
apt_update() {
  local try out
  out=$(mktemp)
  for ((try = 1; try <= update_tries; try++)); do
    if apt-get update -qq >"$out" 2>&1; then
      rm -f "$out"
      return 0
    fi
    if [ "$try" -lt "$update_tries" ]; then
      say "apt-get update failed (try $try of $update_tries), trying again in ${retry_pause}s"
      sleep "$retry_pause"
    fi
  done
  say "warning: apt-get update still fails after $update_tries tries; going on with the package indexes there are:"
  grep -E '^(E|W):' "$out" | tail -n 5 >&2 || tail -n 5 "$out" >&2
  rm -f "$out"
  return 0
}

# True when an install log shows dependencies that cannot be met, the mark of
# package indexes that disagree with each other.
unmet_dependencies() {
  grep -qE 'held broken packages|[Uu]nmet dependencies|but it is not going to be installed|but [^ ]+ is to be installed' "$1"
}

# apt-get install of the given packages; on unmet dependencies once more with
# the release suite pinned. Ends the script with a clear message on failure.
apt_install() {
  local out release
  out=$(mktemp)
  if apt-get install -y -qq --no-install-recommends "$@" >"$out" 2>&1; then
    rm -f "$out"
    return 0
  fi
  release=$(release_codename)
  if unmet_dependencies "$out" && [ -n "$release" ]; then
    say "dependencies do not meet (package indexes out of step?); retrying with the suite $release pinned"
    if apt-get install -y -qq --no-install-recommends -t "$release" "$@" >"$out" 2>&1; then
      rm -f "$out"
      return 0
    fi
  fi
  say "error: could not install the packages: $*"
  say "apt-get said:"
  grep -E '^(E|W):|Depends:|broken' "$out" | tail -n 15 >&2 || tail -n 15 "$out" >&2
  say "check the package sources (apt-get update) and run this script again"
  rm -f "$out"
  exit 1
}

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
  apt_update
  apt_install "${missing[@]}"
fi

# The release program's emulated smoke test (where 32-bit programs cannot run
# natively, or with MV_WITH_EMULATOR=1) needs qemu-i386 8.0 or later: before
# it all threads of a process shared one descriptor table, and a 32-bit Wine
# thread died at its first signal. Debian 12 has 7.2; its backports suite
# (added from the mirror the release already uses) has a newer one. Only
# MV_WITH_EMULATOR=1 makes a failure here an error: otherwise the rest of the
# tests must not wait on a backports suite the mirror may not carry, and the
# smoke test, finding no emulator, says it was skipped.
emulator_ok() {
  local major
  major=$(qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
  [ -n "$major" ] && [ "$major" -ge 8 ]
}
install_emulator() {
  if [ "$(id -u)" -ne 0 ]; then
    say "qemu-i386 8.0 or later is missing (run as root to install it)"
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  local suite=() release list mirror
  release=$(release_codename)
  if [ "$release" = bookworm ]; then
    list=$sources_dir/mv-bookworm-backports.list
    mirror=$(apt-get indextargets --format '$(REPO_URI)' "Release: $release" 'Target-Of: deb' | head -n 1)
    if [ ! -e "$list" ] && [ -n "$mirror" ]; then
      echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $release-backports main" >"$list"
    fi
    apt_update
    suite=(-t "$release-backports")
  fi
  apt_install "${suite[@]}" qemu-user
  emulator_ok || { say "error: qemu-i386 is still older than 8.0: $(qemu-i386 --version 2>&1 | head -n 1)"; exit 1; }
}
if ! emulator_ok && { [ -n "${MV_WITH_EMULATOR:-}" ] || ! "$runs_32bit"; }; then
  if ! (install_emulator); then
    [ -n "${MV_WITH_EMULATOR:-}" ] && exit 1
    say "warning: no qemu-i386 8.0 or later; the release program's emulated smoke test will not run"
  fi
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
