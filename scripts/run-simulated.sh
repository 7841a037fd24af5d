#!/usr/bin/env bash
# The tool's main job on the simulated machine: installs what is missing, builds lcdwrite, and
# writes the sample Quorix.lcd (app/examples) into the simulated board, in real time (about
# 45 s), in a window when a display is there and in the console otherwise. Extra arguments go
# to lcdwrite (for example --fast, --simulate=board/scenarios/lost-echo.scenario).
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > build.cmake.log 2>&1 ||
  { cat build.cmake.log; exit 1; }
cmake --build build --target lcdwrite -j "$(nproc)"

# The tool reads Quorix.lcd from its current directory; file names given here are taken from
# where this script was started.
start=$here
args=()
simulate=--simulate
for arg in "$@"; do
  case "$arg" in
    --simulate=/*) simulate= ; args+=("$arg") ;;
    --simulate=*) simulate= ; args+=("--simulate=$start/${arg#--simulate=}") ;;
    --simulate) simulate= ; args+=("$arg") ;;
    *) args+=("$arg") ;;
  esac
done
cd app/examples
exec "$root/build/app/lcdwrite" $simulate "${args[@]}"
