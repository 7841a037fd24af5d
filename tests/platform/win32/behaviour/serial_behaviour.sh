#!/bin/sh
# The Win32 backend's serial behaviour table under Wine. ptyfarend (a Linux program) plays the
# far end of a pty that the Wine prefix knows as COM40, and preloads the modem-line shim into
# the test program's Wine process. Needs the Wine environment and the Linux tools that
# scripts/test-windows.sh sets up (WINEPREFIX, LCDWRITE_PTYFAREND, LCDWRITE_SHIM32).
#   serial_behaviour.sh TEST_PROGRAM.exe [gtest arguments...]
set -eu
: "${WINEPREFIX:?run through scripts/test-windows.sh}"
: "${LCDWRITE_PTYFAREND:?run through scripts/test-windows.sh}"
: "${LCDWRITE_SHIM32:?run through scripts/test-windows.sh}"
state="$(mktemp)"
trap 'rm -f "$state"' EXIT
status=0
"$LCDWRITE_PTYFAREND" --prefix "$WINEPREFIX" --state "$state" --preload "$LCDWRITE_SHIM32" -- \
  timeout --kill-after=5 280 wine "$@" || status=$?
exit "$status"
