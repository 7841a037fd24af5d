#!/usr/bin/env bash
# The Windows packages as a user meets them, under Wine: builds the zip and the NSIS installer
# from the 32-bit cross-build, installs silently (/S), runs the installed program from the
# command prompt (`wine cmd /c`, the only place Wine shows what a real prompt would: it hands its
# own terminal to window programs) for a whole simulated write, one recorded in a journal and read
# back with --history, and a refused command line,
# uninstalls silently and checks that nothing the installer made is left: no file, no folder, no
# Start-menu entry, no registry key.
#
#   scripts/test-installer-wine.sh
#
# Uses build-win32 and its private Wine prefix (scripts/wine-env.sh), as scripts/test-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
dir=build-win32

scripts/setup.sh --windows --release
scripts/windows-sqlite.sh "$dir"
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DLCDWRITE_BENCH=OFF \
    $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >"$dir.cmake.log" 2>&1 \
    || { cat "$dir.cmake.log"; exit 1; }
fi
cmake --build "$dir" -j 2 --target lcdwrite
rm -f "$dir"/lcdwrite-*-win32.exe "$dir"/lcdwrite-*-win32.zip
(cd "$dir" && cpack -G "ZIP;NSIS" >cpack.log 2>&1) || { cat "$dir/cpack.log"; exit 1; }
installer="$(ls "$root/$dir"/lcdwrite-*-win32.exe)"
zip="$(ls "$root/$dir"/lcdwrite-*-win32.zip)"
echo "installer: $(basename "$installer") $(stat -c %s "$installer") bytes, $(basename "$zip") $(stat -c %s "$zip") bytes"

failed=0
fail() { echo "installer: FAILED: $*" >&2; failed=1; }

# The zip holds the same programs and the example.
listing="$(cmake -E tar tf "$zip")"
for f in lcdwrite.exe lcdwrite.com examples/Quorix.lcd scenarios/healthy.scenario; do
  grep -qx "lcdwrite-[0-9.]*-win32/$f" <<<"$listing" || fail "the zip has no $f"
done

source scripts/wine-env.sh
wine_env_start "$root/$dir" win32
trap wine_env_stop EXIT
drive="$WINEPREFIX/drive_c"
work='C:\lcdwrite-installer-test'
work_unix="$drive/lcdwrite-installer-test"
rm -rf "$work_unix"

# What exists before, to compare with what is left after the uninstall. Temporary folders are
# left out: Wine's own files come and go there, and the uninstaller runs from a copy there, which
# the system deletes later. The registry is compared as its list of keys.
snapshot_files() {
  (cd "$drive" && find . -path './users/*/Temp' -prune -o -path './users/*/AppData/Local/Temp' -prune \
    -o -path './windows/temp' -prune -o -print | sort)
}
snapshot_keys() {
  wine_env_restart  # the wineserver writes the registry to its files when it ends
  grep -h '^\[' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" | sed 's/ [0-9]*$//' | sort
}
snapshot_files >"$root/$dir/installer-files.before"
snapshot_keys >"$root/$dir/installer-keys.before"
if grep -i lcdwrite "$root/$dir/installer-files.before" "$root/$dir/installer-keys.before"; then
  echo "installer: the Wine prefix holds lcdwrite already (an earlier run?); remove $WINEPREFIX" >&2
  exit 1
fi

# Silent install into the default folder.
timeout 120 wine "$installer" /S || fail "the installer ended with $?"
installed="$drive/Program Files/lcdwrite"
for f in lcdwrite.exe lcdwrite.com Uninstall.exe examples/Quorix.lcd scenarios/no-board.scenario; do
  [ -f "$installed/$f" ] || fail "not installed: $f"
done
shortcut="$(find "$drive" -path '*Start Menu/Programs/lcdwrite/*' -name 'LCD Konfiguration schreiben.lnk' | head -n 1)"
[ -n "$shortcut" ] || fail "no Start-menu entry"
timeout 60 wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\lcdwrite' >/dev/null 2>&1 ||
  fail "no uninstall entry in the registry"

# From the command prompt, in a folder holding the example: "lcdwrite" is lcdwrite.com (PATHEXT
# puts .COM first), which runs lcdwrite.exe and hands back its output and exit status.
mkdir -p "$work_unix"
cp "$installed/examples/Quorix.lcd" "$work_unix/"
# The installed folder goes on the prompt's PATH, as a user would add it.
prompt() {
  timeout --kill-after=5 120 wine cmd /c \
    "set PATH=C:\\Program Files\\lcdwrite;%PATH%&& cd /d $work&& lcdwrite $*" </dev/null 2>&1 |
    tr -d '\r'
  return "${PIPESTATUS[0]}"
}
status=0
out="$(prompt --console --simulate --fast)" || status=$?
echo "$out" | sed 's/^/  | /'
[ "$status" = 0 ] || fail "the simulated write from the prompt ended with $status"
grep -q "Schreiben erfolgreich beendet!" <<<"$out" || fail "the prompt did not show the write's end"
status=0
out="$(prompt --frobnicate)" || status=$?
[ "$status" = 64 ] || fail "a refused command line ended with $status, not 64"
grep -q -- "--frobnicate" <<<"$out" || fail "the prompt did not show why the command line was refused"
echo "installer: from the prompt: write status 0, refused command line status $status"
# The journal: a simulated write recorded in a journal file named on the command line, read back
# with --history; a PostgreSQL journal is not part of the Windows build.
status=0
out="$(prompt --console --simulate --fast --journal journal.sqlite3)" || status=$?
[ "$status" = 0 ] || fail "the journalled write ended with $status"
[ -s "$work_unix/journal.sqlite3" ] || fail "the journalled write left no journal.sqlite3"
status=0
out="$(prompt --history --journal journal.sqlite3)" || status=$?
echo "$out" | sed 's/^/  | /'
[ "$status" = 0 ] || fail "--history ended with $status"
grep -q "1234567 .*COM3 (sim.) *0 geschrieben" <<<"$out" || fail "--history did not list the write"
status=0
out="$(prompt --console --simulate --fast --journal postgresql://bench@127.0.0.1/journal)" ||
  status=$?
[ "$status" = 64 ] || fail "a PostgreSQL journal ended with $status, not 64"
grep -q "nicht verf" <<<"$out" || fail "a PostgreSQL journal was not refused as not available"
echo "installer: the journal: written and read back; PostgreSQL refused with status $status"
rm -rf "$work_unix"

# Silent uninstall. The uninstaller copies itself to the temporary folder and runs from there
# (so it can delete itself), so the command returns at once; wait for the folder to go.
timeout 60 wine "C:\\Program Files\\lcdwrite\\Uninstall.exe" /S || fail "the uninstaller ended with $?"
for _ in $(seq 120); do
  [ -e "$installed" ] || break
  sleep 0.5
done
[ ! -e "$installed" ] || fail "the installation folder is still there"
snapshot_files >"$root/$dir/installer-files.after"
snapshot_keys >"$root/$dir/installer-keys.after"
if ! diff "$root/$dir/installer-files.before" "$root/$dir/installer-files.after" >"$root/$dir/installer-files.diff"; then
  cat "$root/$dir/installer-files.diff" >&2
  fail "files differ from before the install"
fi
if ! diff "$root/$dir/installer-keys.before" "$root/$dir/installer-keys.after" >"$root/$dir/installer-keys.diff"; then
  cat "$root/$dir/installer-keys.diff" >&2
  fail "registry keys differ from before the install"
fi

if [ "$failed" = 0 ]; then
  echo "installer: passed"
else
  exit 1
fi
