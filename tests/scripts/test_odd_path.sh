#!/usr/bin/env bash
# The scripts work from a checkout in any folder: a copy of the scripts, the example and the
# scenarios, with the programs of this build in its build folder, below the temporary folder in
# "Prüfstand 2/lcdwrite" (a space and an umlaut), and scripts/test-hardware.sh --twin started
# from another folder runs a whole write there (its modem-line shim preloaded from that folder:
# ld.so splits LD_PRELOAD at spaces).
# Usage: test_odd_path.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(realpath "$1") build=$(realpath "$2")
base=$(mktemp -d)
trap 'rm -rf "$base"' EXIT
copy="$base/Prüfstand 2/lcdwrite"
mkdir -p "$copy"
(cd "$src" && cp -r --parents scripts app/examples board/scenarios "$copy/")
for file in app/lcdwrite tools/boardsim tests/support/liblcd_modemshim.so tests/support/nullmodem; do
  mkdir -p "$copy/build/${file%/*}"
  cp "$build/$file" "$copy/build/$file"
done

status=0
(cd "$base" && env -u LCDWRITE_BUILD_DIR bash "$copy/scripts/test-hardware.sh" --twin) > "$base/out.txt" 2>&1 ||
  status=$?
if [ "$status" != 0 ] || ! grep -q '^PASSED on the simulated twin' "$base/out.txt"; then
  cat "$base/out.txt"
  echo "FAIL: scripts/test-hardware.sh --twin from $copy ended with $status"
  exit 1
fi
echo "passed: scripts/test-hardware.sh --twin from $copy"
