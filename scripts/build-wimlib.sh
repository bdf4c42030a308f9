#!/usr/bin/env bash
# Cross-builds wimlib for Windows from its release source and copies the
# command-line tool and the library the program carries:
#   scripts/build-wimlib.sh TARBALL OUTDIR [HOST]
# HOST is i686-w64-mingw32 (the program's, default) or x86_64-w64-mingw32
# (the 64-bit test build).
# OUTDIR gets wimlib.exe, libwim-15.dll and the licence files. The build is
# cached in OUTDIR: it runs again only when the tarball (by its SHA-256) or
# this script changes, so an ordinary rebuild never repeats it.
# Needs autoconf, automake, libtool and pkg-config (the source is a tag
# archive without a generated configure) and the i686 mingw-w64 compiler.
set -euo pipefail
tarball=$(readlink -f "$1")
out=$(mkdir -p "$2" && cd "$2" && pwd)
host=${3:-i686-w64-mingw32}
cc=${MV_WIMLIB_CC:-$host-gcc-win32}
strip=${MV_WIMLIB_STRIP:-$host-strip}
jobs=${MV_JOBS:-2}

key="$(sha256sum "$tarball" | cut -d' ' -f1) $(sha256sum "$0" | cut -d' ' -f1) $host"
if [ -f "$out/stamp" ] && [ "$(cat "$out/stamp")" = "$key" ] &&
   [ -s "$out/wimlib.exe" ] && [ -s "$out/libwim-15.dll" ]; then
  exit 0
fi
for tool in autoreconf libtoolize pkg-config "$cc" "$strip"; do
  command -v "$tool" >/dev/null || { echo "build-wimlib: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

rm -f "$out/stamp"
work="$out/work"
rm -rf "$work"
mkdir -p "$work/src" "$work/obj"
start=$(date +%s)
tar -xzf "$tarball" -C "$work/src" --strip-components=1
log="$out/build.log"
{
  (cd "$work/src" && ./bootstrap)
  # No FUSE and no NTFS-3G on Windows; the library is linked with its own copy
  # of the compiler's runtime (without -static-libgcc the DLL needs
  # libgcc_s_dw2-1.dll, which the program does not carry).
  (cd "$work/obj" && "$work/src/configure" --host=$host CC="$cc" \
      --without-fuse --without-ntfs-3g --disable-static --disable-dependency-tracking)
  make -C "$work/obj" -j"$jobs" LDFLAGS=-static-libgcc
} >"$log" 2>&1 || { tail -40 "$log" >&2; echo "build-wimlib: failed, see $log" >&2; exit 1; }

"$strip" -o "$out/wimlib.exe" "$work/obj/.libs/wimlib-imagex.exe"
"$strip" -o "$out/libwim-15.dll" "$work/obj/.libs/libwim-15.dll"
cp "$work/src/COPYING" "$work/src/COPYING.GPLv3" "$work/src/COPYING.LGPL" "$out/"
rm -rf "$work"
echo "$key" > "$out/stamp"
echo "build-wimlib: built in $(( $(date +%s) - start )) s: $(stat -c %s "$out/wimlib.exe") + $(stat -c %s "$out/libwim-15.dll") bytes"
