#!/usr/bin/env bash
# Fetches the libpng source that the Windows builds compile (Debian's
# libpng1.6 source package) into a cache folder, once:
#   scripts/fetch-libpng.sh CACHE_DIR
# Leaves CACHE_DIR/src with png.h and the library's .c files. The package
# lists of a temporary deb-src source live in CACHE_DIR/apt and are removed
# afterwards; the machine's own sources are not touched.
set -euo pipefail
cache=${1:?usage: fetch-libpng.sh CACHE_DIR}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
if [ -f "$cache/src/png.h" ] && [ -f "$cache/src/pngread.c" ]; then exit 0; fi

work=$cache/apt
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/dl"
# The machine's own suite, as deb-src (the release's source: security
# updates of the package keep the same upstream tarball).
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
echo "deb-src http://deb.debian.org/debian $suite main" > "$work/sources.list"
apt_opts=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=-"
          -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
          -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root")
apt-get "${apt_opts[@]}" update -qq
(cd "$work/dl" && apt-get "${apt_opts[@]}" source --download-only -qq libpng1.6)
orig=$(ls "$work"/dl/libpng1.6_*.orig.tar.* | head -1)
rm -rf "$cache/src.tmp"
mkdir -p "$cache/src.tmp"
tar -xf "$orig" -C "$cache/src.tmp" --strip-components=1
rm -rf "$cache/src"
mv "$cache/src.tmp" "$cache/src"
rm -rf "$work"
echo "libpng source: $cache/src"
