#!/usr/bin/env bash
# The Debian package as a user meets it, on this machine (as root): builds the .deb from a native
# build folder (configured for /usr), checks it with lintian (no errors allowed), installs it with
# dpkg -i, runs the installed program (--version; a whole simulated write from a copy of the
# installed example folder; a failing board from an installed scenario), removes it with dpkg -r
# and checks that nothing it installed is left behind.
#
#   scripts/test-deb.sh [BUILD_DIR]     (default: build, the folder scripts/test.sh builds)
#
# The package stays in BUILD_DIR; a copy of lcdwrite installed before is removed first.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"

scripts/setup.sh --release
# CPack packs the files with a library that reads file names in the locale's character set: in
# the C locale (ASCII) a build folder below "Prüfstand 2" cannot be packed. UTF-8, as the names
# are written.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  if [ -n "${LC_ALL:-}" ]; then export LC_ALL=C.UTF-8; else export LC_CTYPE=C.UTF-8; fi
fi

# The package, from the program this folder has built. Only the install prefix changes (the
# manual page names the installed files), so nothing is compiled again.
cmake -S . -B "$dir" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr >"$dir.cmake.log" 2>&1 ||
  { cat "$dir.cmake.log"; exit 1; }
cmake --build "$dir" -j 2 --target lcdwrite lcdwrite_icon lcdwrite_docs
rm -f "$dir"/lcdwrite_*.deb
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$dir/cpack.log"; exit 1; }
deb="$(ls "$dir"/lcdwrite_*.deb)"
version="$(dpkg-deb -f "$deb" Version)"
echo "deb: $deb"
dpkg-deb -f "$deb" Depends

failed=0
fail() { echo "deb: FAILED: $*" >&2; failed=1; }

echo "deb: lintian"
lintian --fail-on error "$deb" || fail "lintian reports errors"

# dpkg runs alone: the lock keeps other package installs of this machine out meanwhile.
dpkg_locked() { flock /tmp/apt.lock dpkg "$@"; }
if dpkg-query -W -f='${Status}' lcdwrite 2>/dev/null | grep -q "ok installed"; then
  echo "deb: removing the lcdwrite installed before"
  dpkg_locked -r lcdwrite >/dev/null
fi

dpkg_locked -i "$deb"
mapfile -t installed < <(dpkg -L lcdwrite)
# What a user looks for, where Debian keeps it.
for path in /usr/bin/lcdwrite /usr/share/applications/lcdwrite.desktop \
  /usr/share/man/man1/lcdwrite.1.gz /usr/lib/udev/rules.d/60-lcdwrite.rules \
  /usr/share/lcdwrite/examples/Quorix.lcd /usr/share/lcdwrite/scenarios/healthy.scenario \
  /usr/share/doc/lcdwrite/copyright /usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,256x256}/apps/lcdwrite.png; do
  printf '%s\n' "${installed[@]}" | grep -qx "$path" || fail "not in the package: $path"
done
for path in "${installed[@]}"; do
  [ -e "$path" ] || fail "listed but not installed: $path"
done

# The installed program, found on PATH.
[ "$(command -v lcdwrite)" = /usr/bin/lcdwrite ] || fail "lcdwrite is not /usr/bin/lcdwrite"
out="$(lcdwrite --version)" || fail "lcdwrite --version ended with $?"
[ "$out" = "lcdwrite $version" ] || fail "lcdwrite --version says '$out', the package is $version"
man -w lcdwrite >/dev/null || fail "man does not find lcdwrite(1)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r /usr/share/lcdwrite/examples/. "$work/"
run() {
  (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    timeout --kill-after=5 120 lcdwrite "$@" >"$work/out.txt" 2>&1)
}
status=0
run --console --simulate --fast || status=$?
if [ "$status" != 0 ] || ! grep -q "Schreiben erfolgreich beendet!" "$work/out.txt"; then
  cat "$work/out.txt"
  fail "the simulated write from the example folder ended with $status"
fi
echo "deb: installed lcdwrite --console --simulate --fast: status $status"
status=0
run --console --simulate=/usr/share/lcdwrite/scenarios/no-board.scenario --fast || status=$?
[ "$status" = 1 ] || fail "the no-board scenario ended with $status, not 1"

dpkg_locked -r lcdwrite
state="$(dpkg-query -W -f='${Status}' lcdwrite 2>/dev/null || true)"
case "$state" in ""|*not-installed*) ;; *) fail "after dpkg -r the package is '$state'" ;; esac
# Every file is gone; a directory may stay only where another package still owns it or keeps
# files there.
for path in "${installed[@]}"; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    if [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
      fail "left behind: empty directory $path"
    fi
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "left behind: $path"
  fi
done

if [ "$failed" = 0 ]; then
  echo "deb: passed ($(basename "$deb"), ${#installed[@]} paths installed and removed)"
else
  exit 1
fi
