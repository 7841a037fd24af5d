#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Usage: scripts/test.sh [--sanitize|--tsan]
#   --sanitize  a separate build with address and undefined-behaviour sanitizers
#   --tsan      a separate build with the thread sanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

mode=plain
case "${1:-}" in
  "") ;;
  --sanitize) mode=sanitize ;;
  --tsan) mode=tsan ;;
  *) echo "usage: $0 [--sanitize|--tsan]" >&2; exit 64 ;;
esac

scripts/setup.sh

flags=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "$mode" in
  plain) dir=build ;;
  sanitize) dir=build-asan; flags+=(-DLCDWRITE_SANITIZE=ON -DLCDWRITE_BENCH=OFF) ;;
  tsan) dir=build-tsan; flags+=(-DLCDWRITE_TSAN=ON -DLCDWRITE_BENCH=OFF) ;;
esac

cmake -S . -B "$dir" "${flags[@]}" > "$dir.cmake.log" 2>&1 || { cat "$dir.cmake.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300
