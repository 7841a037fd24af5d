#!/usr/bin/env bash
# Installs what building and testing lcdwrite needs on Debian 12, as root. Idempotent: when
# everything is there it only checks and returns.
# Usage: scripts/setup.sh [--windows] [--release] [--fuzz] [--vm]
#   --windows  also the MinGW-w64 cross compilers (with GoogleTest built for them), Wine and the
#              tools the Windows tests use.
#   --release  also what builds and checks the packages (dpkg-shlibdeps, lintian, makensis).
#   --fuzz     also clang and libFuzzer (scripts/fuzz.sh).
#   --vm       also QEMU and a static busybox (scripts/test-usb-vm.sh; the guest kernel is fetched
#              by that script into the build folder, never installed).
set -euo pipefail

# udev: its udevadm checks the udev rule shipped in packaging/linux. SQLite and libpq: the write
# journal; postgresql-15: the server its tests start (scripts/with-postgres.sh).
packages=(build-essential cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev
  libbenchmark-dev qt6-base-dev libserialport-dev fonts-dejavu-core xvfb xauth tmux python3 udev
  libsqlite3-dev libpq-dev postgresql-15)
fuzz_packages=(clang-14 libfuzzer-14-dev)
# locales: the German and English locales a Wine prefix takes its languages from
# (test-names-wine.sh, test-installer-wine.sh). tcl and dpkg-dev: SQLite's amalgamation for the Windows build is generated from Debian's source
# package (scripts/windows-sqlite.sh unpacks it with dpkg-source; its build runs tclsh).
windows_packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32 wine64 fonts-wine xdotool
  imagemagick gcc-multilib g++-multilib python3 tcl dpkg-dev locales)
release_packages=(dpkg-dev lintian nsis)
vm_packages=(qemu-system-x86 busybox-static cpio)

want_windows=0
for arg in "$@"; do
  case "$arg" in
    --windows) want_windows=1; packages+=("${windows_packages[@]}") ;;
    --release) packages+=("${release_packages[@]}") ;;
    --fuzz) packages+=("${fuzz_packages[@]}") ;;
    --vm) packages+=("${vm_packages[@]}") ;;
    *) echo "usage: $0 [--windows] [--release] [--fuzz] [--vm]" >&2; exit 64 ;;
  esac
done

missing=()
if [ "$want_windows" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  missing+=(apt-update-needed)
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# GoogleTest built for the Windows targets (after the cross compilers are there).
windows_gtest() { [ "$want_windows" = 0 ] || "$(dirname "$0")/windows-gtest.sh"; }

if [ "${#missing[@]}" -eq 0 ]; then
  windows_gtest
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "setup: missing packages (${missing[*]}); run this script as root" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
to_install=()
for p in "${missing[@]}"; do
  [ "$p" = apt-update-needed ] || to_install+=("$p")
done
if [ "${#to_install[@]}" -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${to_install[@]}"
fi
windows_gtest
