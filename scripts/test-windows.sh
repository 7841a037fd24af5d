#!/usr/bin/env bash
# The Windows build, tested under Wine: installs what is missing (as root), cross-builds with
# MinGW-w64, and runs every unit test of that build under Wine through CTest's emulator, on a
# private Xvfb display and in a private Wine prefix below the build folder. The Win32 backend's
# serial behaviour table runs on a COM port mapped to a pty, its far end a native Linux program.
# Usage: scripts/test-windows.sh [--win64] [ctest arguments...]
#   default   32-bit (i686, PE32) in build-win32, the tool's home platform
#   --win64   64-bit (x86-64, PE32+) in build-win64
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

arch=i686
dir=build-win32
winearch=win32
if [ "${1:-}" = --win64 ]; then
  arch=x86_64
  dir=build-win64
  winearch=win64
  shift
fi

scripts/setup.sh --windows
scripts/windows-configure.sh "$dir" "$arch"
cmake --build "$dir" -j 2

# The Wine environment every Wine call of this run shares (scripts/wine-env.sh).
source scripts/wine-env.sh
# The serial behaviour table of the Win32 backend drives a pty's far end through ptyfarend and
# needs the modem-line shim in Wine's (32-bit) process. ld.so splits LD_PRELOAD at spaces and
# colons and cannot quote them: the shim goes in by its file name, found in its folder through
# LD_LIBRARY_PATH (a checkout's path may hold spaces).
wine_linux_tools "$root/$dir" "$root/build-win32/linux-tools" ptyfarend
export LCDWRITE_PTYFAREND="$root/build-win32/linux-tools/tools/ptyfarend"
export LCDWRITE_SHIM32="${WINE_SHIM32##*/}"
export LD_LIBRARY_PATH="${WINE_SHIM32%/*}${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
wine_env_start "$root/$dir" "$winearch"
trap wine_env_stop EXIT

ctest --test-dir "$dir" --output-on-failure -j 2 --timeout 300 "$@"
