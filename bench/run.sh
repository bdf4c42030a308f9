#!/usr/bin/env bash
# Download engine benchmarks, measured in one run on loopback against the
# project's test server. Prints throughput ratios (higher is better for the
# engine) with their goals:
#   engine / curl            1 GiB, unlimited server                 goal >= 1.0
#   engine / aria2c -x4      server limited per connection           goal >= 1.5
#   engine / curl            server limited per connection           goal >= 3
#   FileMd5 / md5sum         1 GiB file                              goal >= 0.95
#   FileMd5 of the 32-bit program under Wine / md5sum                goal >= 0.95
# and for the download checked by its running digest (the engine's MD5 of
# what it wrote, ready when the last byte lands):
#   last byte -> digest / FileMd5 pass, one connection, 1 GiB        goal <= 0.10
#   download + digest: (curl then md5sum) / engine, 1 GiB            goal >= 1.8
#   the same on the limited server: (aria2c -x4 then md5sum) / engine goal >= 1.5
#   the engine's peak memory during the 1 GiB download               goal <= 32 MiB
# and, with --startup, the program's start under Wine against a minimal
# window program (bench/startup.py).
# Builds an optimised, sanitizer-free tree in build/bench, and the Windows
# driver with the program's own flags in build/bench-win32 (run in the Wine
# prefix build/wine/bench); files go to a tmpfs folder removed at the end.
# The machine may be shared: beside the wall-clock ratios (the goals) it
# prints the ratios of CPU seconds, which other work disturbs much less.
#   bench/run.sh [--size-mib N] [--rate BYTES_PER_S] [--limited-mib N] [--rounds N] [--startup]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
size_mib=1024
rounds=4
rate=8000000
limited_mib=64
startup=
while [ $# -gt 0 ]; do
  case $1 in
    --startup) startup=1; shift ;;
    --size-mib) size_mib=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --limited-mib) limited_mib=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: bench/run.sh [--size-mib N] [--rate BPS] [--limited-mib N] [--rounds N] [--startup]" >&2; exit 2 ;;
  esac
done
for tool in curl aria2c md5sum /usr/bin/time; do
  command -v $tool >/dev/null || { echo "bench: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

bdir=$top/build/bench
if [ ! -f "$bdir/build.ninja" ]; then
  cmake -S "$top" -B "$bdir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMV_SANITIZE=OFF >/dev/null
fi
cmake --build "$bdir" --target xldl_get xl_testserver filemd5_bench >/dev/null

base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=/tmp
work=$(mktemp -d "$base/xldl-bench.XXXXXX")
srv_pid=
wine_started=
cleanup() {
  [ -n "$srv_pid" ] && kill "$srv_pid" 2>/dev/null || true
  [ -z "$wine_started" ] || /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$bdir/tools/testserver/xl_testserver" --port-file "$work/port" >/dev/null 2>&1 &
srv_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")
get=$bdir/tools/xldl/xldl_get

# seconds a command takes, wall and CPU (user + system): "WALL CPU"
timed() {
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "bench: failed: $*" >&2; exit 1; }
  awk '{ printf "%.3f %.3f", $1, $2 + $3 }' "$work/time"
}
wall() { echo "${1% *}"; }
cpu() { echo "${1#* }"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
rate_of() { awk -v m="$1" -v t="$2" 'BEGIN { printf "%.1f", m / t }'; }
same() {
  [ "$(md5sum < "$1" | cut -d' ' -f1)" = "$(md5sum < "$2" | cut -d' ' -f1)" ] || { echo "bench: $1 and $2 differ" >&2; exit 1; }
}

bytes=$((size_mib * 1048576))
url="http://127.0.0.1:$port/gen/$bytes?seed=7"
echo "== ${size_mib} MiB from an unlimited loopback server"
# The machine is shared: alternating rounds, the best of each side.
best() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (a == "" || b < a) ? b : a }'; }
t_curl= t_eng= c_curl= c_eng=
for round in $(seq "$rounds"); do
  t=$(timed curl -sf -o "$work/curl.bin" "$url")
  t_curl=$(best "$t_curl" "$(wall "$t")") c_curl=$(best "$c_curl" "$(cpu "$t")")
  t=$(timed "$get" --no-md5 --no-resume "$url" "$work/engine.bin")
  t_eng=$(best "$t_eng" "$(wall "$t")") c_eng=$(best "$c_eng" "$(cpu "$t")")
  same "$work/curl.bin" "$work/engine.bin"
  rm -f "$work/engine.bin"
done
printf '   curl      %6.2f s  %7s MiB/s   CPU %5.2f s\n' "$t_curl" "$(rate_of "$size_mib" "$t_curl")" "$c_curl"
printf '   engine    %6.2f s  %7s MiB/s   CPU %5.2f s\n' "$t_eng" "$(rate_of "$size_mib" "$t_eng")" "$c_eng"
r1=$(ratio "$t_curl" "$t_eng")
c1=$(ratio "$c_curl" "$c_eng")

lbytes=$((limited_mib * 1048576))
lurl="http://127.0.0.1:$port/gen/$lbytes?seed=8&rate=$rate"
echo "== ${limited_mib} MiB, server limited to $rate bytes/s per connection"
t_lcurl=$(wall "$(timed curl -sf -o "$work/lcurl.bin" "$lurl")")
# One connection's time is set by the rate; the two multi-connection
# downloaders' depend on how soon they spread out: best of three each.
t_aria= t_leng=
for round in 1 2 3; do
  rm -f "$work/aria.bin" "$work/lengine.bin"
  t_aria=$(best "$t_aria" "$(wall "$(timed aria2c -q -x4 -s4 -k1M --file-allocation=none --allow-overwrite=true \
    --auto-file-renaming=false -d "$work" -o aria.bin "$lurl")")")
  t_leng=$(best "$t_leng" "$(wall "$(timed "$get" --no-md5 --no-resume "$lurl" "$work/lengine.bin")")")
done
same "$work/lcurl.bin" "$work/lengine.bin"
same "$work/lcurl.bin" "$work/aria.bin"
printf '   curl      %6.2f s\n   aria2c -x4 %5.2f s\n   engine    %6.2f s\n' "$t_lcurl" "$t_aria" "$t_leng"
r2=$(ratio "$t_aria" "$t_leng")
r3=$(ratio "$t_lcurl" "$t_leng")
rm -f "$work"/l*.bin "$work/aria.bin"

echo "== digest of the ${size_mib} MiB file"
want=$(md5sum < "$work/curl.bin" | cut -d' ' -f1)
got=$("$bdir/bench/filemd5_bench" "$work/curl.bin" | tr 'A-F' 'a-f')
[ "$got" = "$want" ] || { echo "bench: FileMd5 gave $got, md5sum $want" >&2; exit 1; }
# Digests are short next to the scheduling noise of a shared machine: five rounds.
t_md5sum= t_filemd5= c_md5sum= c_filemd5=
for round in 1 2 3 4 5; do
  t=$(timed md5sum "$work/curl.bin")
  t_md5sum=$(best "$t_md5sum" "$(wall "$t")") c_md5sum=$(best "$c_md5sum" "$(cpu "$t")")
  t=$(timed "$bdir/bench/filemd5_bench" "$work/curl.bin")
  t_filemd5=$(best "$t_filemd5" "$(wall "$t")") c_filemd5=$(best "$c_filemd5" "$(cpu "$t")")
done
printf '   md5sum    %6.2f s   CPU %5.2f s\n   FileMd5   %6.2f s   CPU %5.2f s\n' "$t_md5sum" "$c_md5sum" "$t_filemd5" "$c_filemd5"
r4=$(ratio "$t_md5sum" "$t_filemd5")
c4=$(ratio "$c_md5sum" "$c_filemd5")

echo "== download checked by the running digest"
want_up=$(echo "$want" | tr 'a-f' 'A-F')
# The engine with its digest: "WALL LAG_MS PEAK_KB"; fails when the digest
# is not the file's.
verified() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$get" "$@" > "$work/out" 2>/dev/null || { echo "bench: failed: $*" >&2; exit 1; }
  local digest lag
  digest=$(sed -n 's/.*, md5 \([0-9A-F-]*\), lag \([0-9]*\)$/\1/p' "$work/out")
  lag=$(sed -n 's/.*, md5 \([0-9A-F-]*\), lag \([0-9]*\)$/\2/p' "$work/out")
  echo "$digest $lag $(cat "$work/time")"
}
# Last byte to digest, one connection: the file on loopback, and a link of
# 300 MB/s (slower than one core's MD5, as every real link is).
lag_best= lag_link= v_eng= v_peak=0 v_ref=
for round in $(seq "$rounds"); do
  read -r d lag w peak <<<"$(verified --connections 1 --no-resume "$url" "$work/v1.bin")"
  [ "$d" = "$want_up" ] || { echo "bench: running digest $d, md5sum $want" >&2; exit 1; }
  lag_best=$(best "$lag_best" "$lag")
  [ "$peak" -gt "$v_peak" ] && v_peak=$peak
  rm -f "$work/v1.bin"
  read -r d lag w peak <<<"$(verified --connections 1 --no-resume "$url&rate=300000000" "$work/v1.bin")"
  [ "$d" = "$want_up" ] || { echo "bench: running digest $d, md5sum $want" >&2; exit 1; }
  lag_link=$(best "$lag_link" "$lag")
  rm -f "$work/v1.bin"
  # Download + check: the engine against curl then md5sum.
  read -r d lag w peak <<<"$(verified --no-resume "$url" "$work/v.bin")"
  [ "$d" = "$want_up" ] || { echo "bench: running digest $d, md5sum $want" >&2; exit 1; }
  v_eng=$(best "$v_eng" "$w")
  [ "$peak" -gt "$v_peak" ] && v_peak=$peak
  rm -f "$work/v.bin"
  t1=$(wall "$(timed curl -sf -o "$work/vc.bin" "$url")")
  t2=$(wall "$(timed md5sum "$work/vc.bin")")
  v_ref=$(best "$v_ref" "$(awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.3f", a + b }')")
  rm -f "$work/vc.bin"
done
lag_s=$(awk -v m="$lag_best" 'BEGIN { printf "%.3f", m / 1000 }')
lag_link_s=$(awk -v m="$lag_link" 'BEGIN { printf "%.3f", m / 1000 }')
printf '   last byte -> digest, 1 connection    %6.3f s   (FileMd5 pass %.2f s)\n' "$lag_s" "$t_filemd5"
printf '   the same at 300 MB/s                 %6.3f s\n' "$lag_link_s"
printf '   engine, download + digest            %6.2f s\n   curl then md5sum                     %6.2f s\n' "$v_eng" "$v_ref"
# The limited server: aria2c -x4 then md5sum against the engine with its digest.
v_leng= v_laria=
for round in 1 2 3; do
  read -r d lag w peak <<<"$(verified --no-resume "$lurl" "$work/vl.bin")"
  v_leng=$(best "$v_leng" "$w")
  lwant=$(md5sum < "$work/vl.bin" | cut -d' ' -f1 | tr 'a-f' 'A-F')
  [ "$d" = "$lwant" ] || { echo "bench: running digest $d, md5sum $lwant (limited)" >&2; exit 1; }
  rm -f "$work/vl.bin" "$work/aria.bin"
  t1=$(wall "$(timed aria2c -q -x4 -s4 -k1M --file-allocation=none --allow-overwrite=true \
    --auto-file-renaming=false -d "$work" -o aria.bin "$lurl")")
  t2=$(wall "$(timed md5sum "$work/aria.bin")")
  v_laria=$(best "$v_laria" "$(awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.3f", a + b }')")
done
rm -f "$work/aria.bin"
printf '   limited: engine + digest %6.2f s, aria2c -x4 then md5sum %6.2f s\n' "$v_leng" "$v_laria"
printf '   engine peak memory (largest of the runs above): %.1f MiB\n' "$(awk -v k="$v_peak" 'BEGIN { print k / 1024 }')"
r6=$(awk -v a="$lag_s" -v b="$t_filemd5" 'BEGIN { printf "%.2f", a / b }')
r6b=$(awk -v a="$lag_link_s" -v b="$t_filemd5" 'BEGIN { printf "%.3f", a / b }')
r7=$(ratio "$v_ref" "$v_eng")
r8=$(ratio "$v_laria" "$v_leng")
peak_mib=$(awk -v k="$v_peak" 'BEGIN { printf "%.1f", k / 1024 }')

# The digest the user runs: the 32-bit program's FileMd5 (Win32 adapter,
# ReadFile) under Wine, built with the program's flags. The driver times the
# digest itself, so that Wine's start does not count. Where this machine
# cannot run 32-bit programs, the 64-bit build stands in, and says so.
wine_label="FileMd5, 32-bit under Wine"
r5="n/a (no Wine)" c5="n/a"
if [ -x /usr/lib/wine/wine64 ] && command -v i686-w64-mingw32-g++-win32 >/dev/null; then
  wine_cfg=win32 loader=/usr/lib/wine/wine toolchain=mingw-i686
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    wine_cfg=win64 loader=/usr/lib/wine/wine64 toolchain=mingw-x86_64
    wine_label="FileMd5, 64-bit under Wine*"
  fi
  wdir=$top/build/bench-$wine_cfg
  if [ ! -f "$wdir/build.ninja" ]; then
    cmake -S "$top" -B "$wdir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain.cmake" >/dev/null
  fi
  cmake --build "$wdir" --target filemd5_bench >/dev/null
  export WINEPREFIX=$top/build/wine/bench WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/.bench-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    DISPLAY= /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    touch "$WINEPREFIX/.bench-ready"
  fi
  wine_started=1
  # A new prefix maps Z: to the Linux root.
  wpath="Z:$(echo "$work/curl.bin" | tr / '\\')"
  t_wine= c_wine=
  for round in 1 2 3 4 5; do
    out=$(DISPLAY= "$loader" "$wdir/bench/filemd5_bench.exe" "$wpath" 2>/dev/null) || { echo "bench: FileMd5 under Wine failed" >&2; exit 1; }
    read -r wdigest wwall wcpu <<<"$out"
    [ "$(echo "$wdigest" | tr 'A-F' 'a-f')" = "$want" ] || { echo "bench: FileMd5 under Wine gave $wdigest, md5sum $want" >&2; exit 1; }
    t_wine=$(best "$t_wine" "$wwall") c_wine=$(best "$c_wine" "$wcpu")
  done
  printf '   %-9s %6.2f s   CPU %5.2f s   (%s build under Wine)\n' "FileMd5" "$t_wine" "$c_wine" "$wine_cfg"
  r5=$(ratio "$t_md5sum" "$t_wine")
  c5=$(ratio "$c_md5sum" "$c_wine")
fi

echo
printf '%-38s%s   (goal >= 1.0)\n' "engine / curl, ${size_mib} MiB:" "$r1"
printf '%-38s%s   (goal >= 1.5)\n' "engine / aria2c -x4, limited:" "$r2"
printf '%-38s%s   (goal >= 3)\n' "engine / curl, limited:" "$r3"
printf '%-38s%s   (goal >= 0.95)\n' "FileMd5 / md5sum, ${size_mib} MiB:" "$r4"
printf '%-38s%s   (goal >= 0.95)\n' "$wine_label / md5sum:" "$r5"
printf '%-38s%s   (goal <= 0.10)\n' "last byte -> digest / FileMd5:" "$r6"
printf '%-38s%s   (a 300 MB/s link)\n' "  the same, 300 MB/s:" "$r6b"
printf '%-38s%s   (goal >= 1.8)\n' "(curl; md5sum) / engine, ${size_mib} MiB:" "$r7"
printf '%-38s%s   (goal >= 1.5)\n' "(aria2c -x4; md5sum) / engine, lim.:" "$r8"
printf '%-38s%s MiB   (goal <= 32)\n' "engine peak memory:" "$peak_mib"
[ "$wine_label" = "${wine_label%\*}" ] || echo "   * this machine cannot run 32-bit programs: the 64-bit build stands in"
echo
echo "CPU seconds (user + system), less disturbed by other work on the machine:"
printf '%-38s%s\n' "engine / curl, ${size_mib} MiB:" "$c1"
printf '%-38s%s\n' "FileMd5 / md5sum, ${size_mib} MiB:" "$c4"
printf '%-38s%s\n' "$wine_label / md5sum:" "$c5"

# The program's start under Wine, against a minimal window program in the
# same prefix (the 64-bit build of the tree's win64 configuration where this
# machine cannot run 32-bit programs).
if [ -n "$startup" ]; then
  echo
  prog=$top/dist/MV_OSR.exe cfg=win32
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1 || [ ! -f "$prog" ]; then
    prog=$top/build/win64/app/MV_OSR.exe cfg=win64
  fi
  if [ ! -f "$prog" ]; then
    echo "startup: build the program first (scripts/build.sh win64)"
  else
    cmake --build "$top/build/$cfg" --target minimal_window >/dev/null
    python3 "$top/bench/startup.py" --exe "$prog" --baseline "$top/build/$cfg/bench/minimal_window.exe" \
      --work "$top/build/bench-startup"
  fi
fi
