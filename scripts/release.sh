#!/usr/bin/env bash
# Builds the release into dist/ (never committed), from this checkout, as root on Debian 12:
#   lcdwrite_VERSION_ARCH.deb          the Debian package (checked by lintian: no errors)
#   lcdwrite-VERSION-win32.exe         the Windows installer (32-bit programs)
#   lcdwrite-VERSION-win32.zip         the same programs, the example and scenarios, unpacked as is
#   lcdwrite-VERSION-win32-debug.zip   the Windows programs' debug information
#   SHA256SUMS
# The version is the one in CMakeLists.txt's project(); dates inside the packages come from the
# last commit (SOURCE_DATE_EPOCH). Builds in build-release and build-release-win32.
#
#   scripts/release.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

scripts/setup.sh --windows --release
# CPack packs the files with a library that reads file names in the locale's character set, and
# makensis refuses an argument it cannot read in it ("main argv conversion failed"): in the C
# locale (ASCII) a checkout below "Prüfstand 2" can be neither packed nor made an installer.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  if [ -n "${LC_ALL:-}" ]; then export LC_ALL=C.UTF-8; else export LC_CTYPE=C.UTF-8; fi
fi
SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null || date +%s)"
export SOURCE_DATE_EPOCH
cache=()
if command -v ccache >/dev/null; then cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
configure() {
  local dir="$1"
  shift
  cmake -S . -B "$dir" -G Ninja -DLCDWRITE_TESTS=OFF -DLCDWRITE_BENCH=OFF "${cache[@]}" "$@" \
    >"$dir.cmake.log" 2>&1 || { cat "$dir.cmake.log"; exit 1; }
}

# Linux: the Debian package, stripped by CPack. -O2, as every build here (GCC 12 warns falsely
# at -O3).
configure build-release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build-release -j 2 --target lcdwrite lcdwrite_icon lcdwrite_docs
rm -f build-release/lcdwrite_*.deb
(cd build-release && cpack -G DEB >cpack.log 2>&1) || { cat build-release/cpack.log; exit 1; }
deb="$(ls build-release/lcdwrite_*.deb)"
lintian --fail-on error "$deb"

# Windows, 32-bit: optimised and with debug information, which the build splits off into
# lcdwrite.exe.debug and lcdwrite.com.debug beside the stripped programs.
scripts/windows-sqlite.sh build-release-win32
configure build-release-win32 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g -DNDEBUG" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake"
cmake --build build-release-win32 -j 2 --target lcdwrite
rm -f build-release-win32/lcdwrite-*-win32.*
(cd build-release-win32 && cpack -G "ZIP;NSIS" >cpack.log 2>&1) ||
  { cat build-release-win32/cpack.log; exit 1; }

rm -rf dist
mkdir dist
cp "$deb" build-release-win32/lcdwrite-*-win32.exe build-release-win32/lcdwrite-*-win32.zip dist/
installer="$(basename dist/lcdwrite-*-win32.exe .exe)"
(cd build-release-win32/app &&
  cmake -E tar cf "$root/dist/$installer-debug.zip" --format=zip lcdwrite.exe.debug lcdwrite.com.debug)
(cd dist && sha256sum -- * >SHA256SUMS)

echo "release: dist/"
(cd dist && ls -l)
echo "lcdwrite.exe $(stat -c %s build-release-win32/app/lcdwrite.exe) bytes, its debug information $(stat -c %s build-release-win32/app/lcdwrite.exe.debug) bytes"
