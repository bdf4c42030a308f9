# Shared by the fuzz/run-*-fuzz.sh scripts (sourced, not run).
#   fuzz_prepare TARGET FUZZER [SECONDS] [BIN]: sets secs, bin (the native
#     build's fuzzer, built when no BIN is given) and work (a temporary folder,
#     removed at exit, with seeds/ and corpus/).
#   fuzz_run LABEL MAX_LEN [LIBFUZZER OPTIONS...]: runs the fuzzer over the
#     corpus and the seeds; on a finding shows the log's end, keeps the inputs
#     in build/fuzz-artifacts/ and exits 1; else prints what the run covered.
fuzz_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

fuzz_prepare() {
  local target=$1 fuzzer=$2
  secs=${3:-60}
  bin=${4:-}
  if [ -z "$bin" ]; then
    [ -f "$fuzz_top/build/native/build.ninja" ] || "$fuzz_top/scripts/build.sh" native >/dev/null
    cmake --build "$fuzz_top/build/native" --target "$target" >/dev/null
    bin=$fuzz_top/build/native/fuzz/$fuzzer
  fi
  work=$(mktemp -d "${TMPDIR:-/tmp}/mv-fuzz.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/seeds" "$work/corpus"
}

fuzz_run() {
  local label=$1 max_len=$2 rc
  shift 2
  set +e
  "$bin" -max_total_time="$secs" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$@" -artifact_prefix="$work/" "$work/corpus" "$work/seeds" > "$work/log" 2>&1
  rc=$?
  set -e
  if [ $rc -ne 0 ]; then
    tail -60 "$work/log"
    mkdir -p "$fuzz_top/build/fuzz-artifacts"
    cp "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$fuzz_top/build/fuzz-artifacts/" 2>/dev/null || true
    echo "$label fuzzer FAILED (exit $rc); inputs kept in build/fuzz-artifacts/" >&2
    exit 1
  fi
  local execs rate cov
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
  cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1)
  echo "$label fuzzer: ${secs}s clean, $execs inputs, $rate inputs/s, $cov, corpus $(ls "$work/corpus" | wc -l) files"
}
