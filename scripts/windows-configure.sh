#!/usr/bin/env bash
# The Windows cross-build's folder, configured once: SQLite for the journal from Debian's source
# package (windows-sqlite.sh), then CMake with the MinGW-w64 toolchain for ARCH (i686, the
# tool's home, by default), Release, without the benchmarks.
# Usage: scripts/windows-configure.sh BUILD_DIR [ARCH]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:?usage: $0 BUILD_DIR [ARCH]}
arch=${2:-i686}
scripts/windows-sqlite.sh "$dir"
[ -f "$dir/build.ninja" ] && exit 0
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DLCDWRITE_BENCH=OFF \
  $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) \
  -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/toolchain-mingw-$arch.cmake" >"$dir.cmake.log" 2>&1 \
  || { cat "$dir.cmake.log"; exit 1; }
