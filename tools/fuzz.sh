#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS (default 30)
# on its seed corpus, at most QM_FUZZ_JOBS (default 4) at a time.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]      e.g. tools/fuzz.sh 600 zip rename
#
# Seeds are read from fuzz/corpus/<target>/ and never changed; what a run learns is
# kept in build-fuzz/corpus/<target>/ for the next run. A finding is written to
# build-fuzz/findings/<target>-crash-... (rerun it: build-fuzz/fuzz/fuzz_<target> FILE)
# and makes the script exit non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
jobs="${QM_FUZZ_JOBS:-4}"
build=build-fuzz

tools/deps.sh
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DQM_FUZZ=ON -DQM_BUILD_TESTS=OFF \
    -DQM_BUILD_BENCH=OFF -DQM_BUILD_UI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
fi
cmake --build "$build" --target qm_fuzz -- -j4

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

# The targets extract and rewrite files, each made durable with fsync: on a memory
# file system that costs nothing, on a disk it would be most of the run.
base_tmp="${QM_FUZZ_TMPDIR:-/dev/shm}"
[ -d "$base_tmp" ] && [ -w "$base_tmp" ] || base_tmp="${TMPDIR:-/tmp}"
TMPDIR="$(mktemp -d "$base_tmp/qmfuzz.XXXXXX")"
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1"
mkdir -p "$build/findings" "$build/logs"

run_one() {
  local t="$1"
  mkdir -p "$build/corpus/$t"
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$t-" "$build/corpus/$t" "fuzz/corpus/$t" >"$build/logs/$t.log" 2>&1
}

declare -A pids
for t in "${targets[@]}"; do
  [ -x "$build/fuzz/fuzz_$t" ] || { echo "no fuzz target $t" >&2; exit 2; }
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_one "$t" &
  pids[$t]=$!
done

failed=0
for t in "${targets[@]}"; do
  status=0
  wait "${pids[$t]}" || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$t.log" | tail -1)
  if [ "$status" -eq 0 ]; then
    printf 'fuzz %-12s ok       runs=%s\n' "$t" "${runs:-?}"
  else
    failed=1
    printf 'fuzz %-12s FINDING  (exit %s) see %s\n' "$t" "$status" "$build/logs/$t.log"
    grep -E 'FINDING|ERROR: |runtime error|Test unit written' "$build/logs/$t.log" | head -5 | sed 's/^/    /'
  fi
done
exit "$failed"
