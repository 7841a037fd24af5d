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
# A compiler cache, where the machine has one, makes the builds of several checkouts share work.
# Its base folder is this checkout, so that paths below it count the same in every clone (unless
# the caller chose one).
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
fi
case "$mode" in
  plain) dir=build ;;
  # The sanitizer builds are unoptimised with line tables only: they build in half the time,
  # and the tests run on the virtual clock, where speed does not matter.
  sanitize) dir=build-asan; flags+=(-DLCDWRITE_SANITIZE=ON -DLCDWRITE_BENCH=OFF
    -DCMAKE_BUILD_TYPE=None "-DCMAKE_CXX_FLAGS=-O0 -g1") ;;
  tsan) dir=build-tsan; flags+=(-DLCDWRITE_TSAN=ON -DLCDWRITE_BENCH=OFF -DLCDWRITE_QT=OFF
    -DCMAKE_BUILD_TYPE=None "-DCMAKE_CXX_FLAGS=-O1 -g1") ;;
esac

cmake -S . -B "$dir" "${flags[@]}" > "$dir.cmake.log" 2>&1 || { cat "$dir.cmake.log"; exit 1; }
export QT_QPA_PLATFORM=offscreen
# Runs of the real program on ptys keep their default write journal in the build folder, not in
# the user's home.
export XDG_DATA_HOME="$PWD/$dir/test-home/share"
if [ "$mode" = tsan ]; then
  # The thread sanitizer watches the programs whose threads meet: the framework's threads and
  # message loop, the simulated machine, the Linux serial backend's I/O and modem threads, the
  # serial component's event thread, the protocol.
  programs=(test_framework test_platform_sim test_platform_posix test_comport test_protocol)
  cmake --build "$dir" -j "$(nproc)" --target "${programs[@]}"
  labels=$(IFS='|'; echo "${programs[*]}")
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300 -L "^($labels)\$"
  exit
fi
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/artifacts/fault-sweep-*.txt
status=0
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300 || status=$?
# The fault sweep's table (its tests write one line each; ctest shows output only on failure).
sweep=("$dir"/artifacts/fault-sweep-*.txt)
if [ -e "${sweep[0]}" ]; then
  head -n 1 "${sweep[0]}"
  tail -q -n 1 "${sweep[@]}"
fi
exit "$status"
