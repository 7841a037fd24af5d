#!/usr/bin/env bash
# scripts/test-hardware.sh finds FT232R converters (0403:6001) on the usb-serial bus and, with
# fewer than two, says that nothing was tested and exits 0 without running anything. Fake sysfs
# trees stand in for machines with 0, 1 and 2 converters and with other USB-serial devices.
# Usage: test_hardware_detection.sh SOURCE_DIR
set -euo pipefail
script=$(realpath "$1")/scripts/test-hardware.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1"; echo "  expected: $2"; echo "  actual:   $3"
    failures=$((failures + 1))
  fi
}

# A usb-serial port in tree $1: tty $2 on USB device $3 with vendor $4 and product $5, as real
# sysfs lays it out (bus/usb-serial/devices/TTY links to the port's directory below the USB
# interface, whose parent is the USB device).
port() {
  local root=$1 tty=$2 usb=$3 device
  device=$root/devices/pci0000:00/usb1/$usb
  mkdir -p "$device/$usb:1.0/$tty" "$root/bus/usb-serial/devices"
  echo "$4" > "$device/idVendor"
  echo "$5" > "$device/idProduct"
  ln -s "../../../devices/pci0000:00/usb1/$usb/$usb:1.0/$tty" "$root/bus/usb-serial/devices/$tty"
}

none=$work/none; mkdir -p "$none"
one=$work/one; port "$one" ttyUSB0 1-1 0403 6001; port "$one" ttyUSB1 1-2 067b 2303
two=$work/two
port "$two" ttyUSB10 1-3 0403 6001; port "$two" ttyUSB2 1-1 0403 6001; port "$two" ttyUSB3 1-2 0403 6015

list() { LCDWRITE_SYSFS=$1 bash "$script" --list; }
check "no converter listed" "" "$(list "$none")"
check "the FT232R among other USB-serial devices" "ttyUSB0" "$(list "$one")"
check "two FT232R in natural order, an FT-X left out" "ttyUSB2 ttyUSB10" "$(list "$two" | xargs)"

for tree in none one; do
  set +e
  out=$(LCDWRITE_SYSFS=$work/$tree LCDWRITE_BUILD_DIR=$work/no-build bash "$script" 2>&1)
  status=$?
  set -e
  check "$tree: exit 0" 0 "$status"
  case "$out" in
    NOT\ TESTED:*) ;;
    *) check "$tree: says it tested nothing" "NOT TESTED: ..." "$out" ;;
  esac
  case "$out" in
    *PASSED*) check "$tree: claims nothing" "no PASSED" "$out" ;;
  esac
  [ ! -e "$work/no-build" ] || check "$tree: built or ran nothing" "no build directory" "$work/no-build exists"
done
check "one converter is named" 1 "$(LCDWRITE_SYSFS=$one bash "$script" | grep -c 'found 1 (ttyUSB0)')"

set +e
bash "$script" --ports ttyUSB0 > /dev/null 2>&1
check "a bad command line" 64 "$?"
set -e

[ "$failures" -eq 0 ] && echo "OK: detection and the untested case"
exit "$failures"
