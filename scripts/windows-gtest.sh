#!/usr/bin/env bash
# GoogleTest for the MinGW-w64 cross builds. Debian packages no Windows build of it, but the
# googletest package ships its sources (/usr/src/googletest): this builds them with our toolchain
# files and installs them into the cross compiler's sysroot (/usr/<triplet>), where the
# cross build's find_package(GTest) finds them. As root; does nothing when already installed.
# Usage: scripts/windows-gtest.sh [i686|x86_64]...   (default: both)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arches=("$@")
[ "${#arches[@]}" -gt 0 ] || arches=(i686 x86_64)
for arch in "${arches[@]}"; do
  triplet="$arch-w64-mingw32"
  if [ -f "/usr/$triplet/lib/cmake/GTest/GTestConfig.cmake" ]; then
    continue
  fi
  work="$(mktemp -d)"
  cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_INSTALL_PREFIX="/usr/$triplet" -Dgtest_disable_pthreads=OFF >"$work.log" 2>&1 \
    || { cat "$work.log"; exit 1; }
  ninja -C "$work" -j2 install >>"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
  rm -rf "$work" "$work.log"
done
