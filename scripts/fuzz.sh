#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz: clang, address and undefined-behaviour sanitizers)
# in build-fuzz/ and runs each one for a bounded time, starting from its seed corpus in the tree
# (as many at once as the machine has processors).
# Usage: scripts/fuzz.sh [--time SECONDS] [TARGET...]   (targets: config scenario formtext
#        broadcast sysfs journal; all by default; 60 seconds each by default)
# Prints per target the executions, the corpus (inputs and bytes) and the findings. A finding's
# input is kept in build-fuzz/findings/TARGET/; the script then ends with status 1.
# The corpus grown by a run stays in build-fuzz/corpus/TARGET/ (never written into the tree).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --time) seconds="$2"; shift 2 ;;
    -*) echo "usage: $0 [--time SECONDS] [TARGET...]" >&2; exit 64 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(config scenario formtext broadcast sysfs journal)

scripts/setup.sh --fuzz

dir=build-fuzz
flags=(-G Ninja -DCMAKE_BUILD_TYPE=None "-DCMAKE_CXX_FLAGS=-O1 -g1" -DCMAKE_CXX_COMPILER=clang++-14
  -DLCDWRITE_FUZZ=ON -DLCDWRITE_TESTS=OFF -DLCDWRITE_BENCH=OFF -DLCDWRITE_QT=OFF)
if command -v ccache >/dev/null; then flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" "${flags[@]}" > "$dir.cmake.log" 2>&1 || { cat "$dir.cmake.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

# One target's run; its log holds libFuzzer's final statistics.
run_target() {
  local t="$1"
  local work="$dir/corpus/$t" findings="$dir/findings/$t"
  mkdir -p "$work" "$findings"
  rm -f "$findings"/*
  # New inputs go to the working corpus; the seeds are only read.
  local status=0
  "$dir/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=8192 -print_final_stats=1 -close_fd_mask=1 -artifact_prefix="$findings/" \
    "$work" "tests/fuzz/corpus/$t" > "$dir/fuzz-$t.log" 2>&1 || status=$?
  echo "$status" > "$dir/fuzz-$t.status"
}

# As many targets at a time as the machine has processors: each gets its whole time.
jobs=$(nproc)
running=0
for t in "${targets[@]}"; do
  run_target "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

failed=0
summary=()
for t in "${targets[@]}"; do
  work="$dir/corpus/$t"
  findings="$dir/findings/$t"
  log="$dir/fuzz-$t.log"
  status=$(cat "$dir/fuzz-$t.status")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l)
  inputs=$(find "$work" "tests/fuzz/corpus/$t" -type f | wc -l)
  bytes=$(find "$work" "tests/fuzz/corpus/$t" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  if [ "$status" != 0 ] || [ "$found" != 0 ]; then
    failed=1
    echo "fuzz: $t found a problem (status $status); its report:" >&2
    grep -v '^#' "$log" | tail -n 60 >&2
  fi
  summary+=("$(printf '%-10s %12s %8s %10s %9s' "$t" "${runs:-?}" "$inputs" "$bytes" "$found")")
done
printf '%-10s %12s %8s %10s %9s\n' target executions inputs bytes findings
printf '%s\n' "${summary[@]}"
exit "$failed"
