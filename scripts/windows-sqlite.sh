#!/usr/bin/env bash
# SQLite for the Windows build, from Debian's own sqlite3 source package (Debian has no MinGW
# build of it, and nothing is fetched from anywhere else): a deb-src entry for the Debian
# archive this machine already uses, `apt-get source --download-only sqlite3`, the package
# unpacked with its Debian patches, and the single-file amalgamation (sqlite3.c, sqlite3.h)
# generated from it with the package's own build (a native compiler and tclsh). The result is
# cached in BUILD_DIR/sqlite-amalgamation, where the Windows build's CMake looks for it; without
# it that build has no SQLite journal ("not available in this build").
# Usage: scripts/windows-sqlite.sh BUILD_DIR     (as root the first time: it adds the entry)
set -euo pipefail

dir=${1:?usage: $0 BUILD_DIR}
out="$dir/sqlite-amalgamation"
# A build folder configured before the amalgamation was there looks again.
reconfigure() {
  if [ -f "$dir/build.ninja" ] && ! grep -q lcd_sqlite3 "$dir/build.ninja"; then
    cmake "$dir" >/dev/null
  fi
}
if [ -s "$out/sqlite3.c" ] && [ -s "$out/sqlite3.h" ]; then
  reconfigure
  exit 0
fi
mkdir -p "$dir"
# The package is built in the system's temporary folder: its makefiles break on a path with a
# space, and the checkout's may have one.
temporary=${TMPDIR:-/tmp}
case "$temporary" in *[[:space:]]*) temporary=/tmp ;; esac
work=$(mktemp -d "$temporary/lcdwrite-sqlite-source.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The source entry: the same archive and suite as the machine's binary packages.
entry=/etc/apt/sources.list.d/lcdwrite-deb-src.sources
if ! apt-get source --print-uris sqlite3 >/dev/null 2>&1; then
  if [ "$(id -u)" != 0 ]; then
    echo "windows-sqlite: no deb-src entry for sqlite3; run this script as root once" >&2
    exit 1
  fi
  uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null ||
    true)
  suite=$(awk '/^Suites:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null ||
    true)
  cat >"$entry" <<SOURCES
Types: deb-src
URIs: ${uri:-http://deb.debian.org/debian}
Suites: ${suite:-bookworm}
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  apt-get update -qq
fi

(
  cd "$work"
  # apt's download sandbox user may not write into this private folder: it then downloads as
  # the calling user, which is what is wanted here.
  apt-get source --download-only sqlite3 >download.log 2>&1 || { cat download.log >&2; exit 1; }
  dpkg-source --no-check -x sqlite3_*.dsc src >unpack.log 2>&1 || { cat unpack.log >&2; exit 1; }
  cd src
  ./configure --disable-tcl >configure.log 2>&1 || { cat configure.log >&2; exit 1; }
  make -j2 sqlite3.c >make.log 2>&1 || { tail -n 40 make.log >&2; exit 1; }
)
mkdir -p "$out"
cp "$work/src/sqlite3.c" "$work/src/sqlite3.h" "$out/"
version=$(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' "$out/sqlite3.h")
echo "windows-sqlite: SQLite $version from Debian's sqlite3 source package in $out"
reconfigure
