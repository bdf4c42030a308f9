#!/usr/bin/env bash
# Download engine benchmarks, measured in one run on loopback against the
# project's test server. Prints throughput ratios (higher is better for the
# engine) with their goals:
#   engine / curl            1 GiB, unlimited server                 goal >= 1.0
#   engine / aria2c -x4      server limited per connection           goal >= 1.5
#   engine / curl            server limited per connection           goal >= 3
#   FileMd5 / md5sum         1 GiB file                              goal >= 0.95
# Builds an optimised, sanitizer-free tree in build/bench; files go to a
# tmpfs folder that is removed at the end.
#   bench/run.sh [--size-mib N] [--rate BYTES_PER_S] [--limited-mib N] [--rounds N]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
size_mib=1024
rounds=4
rate=8000000
limited_mib=64
while [ $# -gt 0 ]; do
  case $1 in
    --size-mib) size_mib=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --limited-mib) limited_mib=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: bench/run.sh [--size-mib N] [--rate BPS] [--limited-mib N] [--rounds N]" >&2; exit 2 ;;
  esac
done
for tool in curl aria2c md5sum; do
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
cleanup() {
  [ -n "$srv_pid" ] && kill "$srv_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$bdir/tools/testserver/xl_testserver" --port-file "$work/port" >/dev/null 2>&1 &
srv_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")
get=$bdir/tools/xldl/xldl_get

now() { date +%s.%N; }
# seconds a command takes
timed() {
  local t0 t1
  t0=$(now)
  "$@" >/dev/null 2>&1 || { echo "bench: failed: $*" >&2; exit 1; }
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }' 
}
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
t_curl= t_eng=
for round in $(seq "$rounds"); do
  t_curl=$(best "$t_curl" "$(timed curl -sf -o "$work/curl.bin" "$url")")
  t_eng=$(best "$t_eng" "$(timed "$get" --no-resume "$url" "$work/engine.bin")")
  same "$work/curl.bin" "$work/engine.bin"
  rm -f "$work/engine.bin"
done
printf '   curl      %6.2f s  %7s MiB/s\n' "$t_curl" "$(rate_of "$size_mib" "$t_curl")"
printf '   engine    %6.2f s  %7s MiB/s\n' "$t_eng" "$(rate_of "$size_mib" "$t_eng")"
r1=$(ratio "$t_curl" "$t_eng")

lbytes=$((limited_mib * 1048576))
lurl="http://127.0.0.1:$port/gen/$lbytes?seed=8&rate=$rate"
echo "== ${limited_mib} MiB, server limited to $rate bytes/s per connection"
t_lcurl=$(timed curl -sf -o "$work/lcurl.bin" "$lurl")
t_aria=$(timed aria2c -q -x4 -s4 -k1M --file-allocation=none --allow-overwrite=true --auto-file-renaming=false \
  -d "$work" -o aria.bin "$lurl")
t_leng=$(timed "$get" --no-resume "$lurl" "$work/lengine.bin")
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
t_md5sum= t_filemd5=
for round in 1 2 3; do
  t_md5sum=$(best "$t_md5sum" "$(timed md5sum "$work/curl.bin")")
  t_filemd5=$(best "$t_filemd5" "$(timed "$bdir/bench/filemd5_bench" "$work/curl.bin")")
done
printf '   md5sum    %6.2f s\n   FileMd5   %6.2f s\n' "$t_md5sum" "$t_filemd5"
r4=$(ratio "$t_md5sum" "$t_filemd5")

echo
echo "engine / curl, ${size_mib} MiB:          $r1   (goal >= 1.0)"
echo "engine / aria2c -x4, limited:     $r2   (goal >= 1.5)"
echo "engine / curl, limited:           $r3   (goal >= 3)"
echo "FileMd5 / md5sum, ${size_mib} MiB:       $r4   (goal >= 0.95)"
