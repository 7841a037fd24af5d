#!/usr/bin/env bash
# End to end under Wine: the real lcdwrite.exe (32-bit) on a private Xvfb display writes the
# simulated board (tools/boardsim, on a pty) through Wine's own serial, registry and device-name
# implementation, and ends with the expected exit status.
#
#   scripts/e2e-wine.sh [--scenario FILE] [--expect STATUS] [--name NAME] [--linux-build DIR]
#                       [--dpi N]
#
# --dpi: the screen's pixels per inch for this run (96 by default); the window's outer size
# must follow it (593 x 175 at 96, each scaled and truncated).
# --linux-build: a native build folder to take the board simulator from (CI passes the one its
# Linux job has built); by default a private one below build-win32.
#
# The machine is set up as a technician's PC with the converter plugged in: COM7 is the pty
# (HKLM\Software\Wine\Ports), the converter's registry key names COM7 (regedit), and the
# converter's device name is in the object namespace (tools/win32/devlink). Modem lines come
# from the preload shim, built 32-bit for Wine's 32-bit process. Every dialog is photographed
# and closed with Return, as a person would; the screenshots, the dialogs' captions, the
# board's report and the logs stay in build-win32/artifacts/e2e-NAME/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

scenario=""
expect=0
name=healthy
linux=build-win32/linux-tools
dpi=96
while [ $# -gt 0 ]; do
  case "$1" in
    --scenario) scenario="$(realpath "$2")"; shift 2 ;;
    --expect) expect="$2"; shift 2 ;;
    --name) name="$2"; shift 2 ;;
    --linux-build) linux="$2"; shift 2 ;;
    --dpi) dpi="$2"; shift 2 ;;
    *) echo "usage: $0 [--scenario FILE] [--expect STATUS] [--name NAME] [--linux-build DIR]" >&2
       exit 64 ;;
  esac
done

dir=build-win32
art="$root/$dir/artifacts/e2e-$name"
work="$root/$dir/e2e/$name"
port=COM7
instance=A9XK2M7QA
device="FTDIBUS#VID_0403+PID_6001+$instance#0000#{86e0d1e0-8089-11d0-9ce4-08002be10318}"
rm -rf "$art" "$work"
mkdir -p "$art" "$work"

scripts/setup.sh --windows
# The Windows program and the device-name helper.
scripts/windows-configure.sh "$dir"
cmake --build "$dir" -j 2 --target lcdwrite devlink
# The board simulator runs natively; the modem-line shim goes into Wine's 32-bit process.
source scripts/wine-env.sh
wine_linux_tools "$root/$dir" "$linux" boardsim
# ld.so splits LD_PRELOAD at spaces and colons and cannot quote them: the shim goes in by its
# file name, found in its folder through LD_LIBRARY_PATH (a checkout's path may hold spaces).
preload=(LD_PRELOAD="${WINE_SHIM32##*/}"
  LD_LIBRARY_PATH="${WINE_SHIM32%/*}${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}")

board_pid=""
cleanup() {
  if [ -n "$board_pid" ]; then kill -TERM "$board_pid" 2>/dev/null || true; fi
  wine_env_stop
}
trap cleanup EXIT
wine_env_start "$root/$dir" win32

# The board on its pty.
board_args=(--state "$work/modem.state" --report "$work/board.json" --timeout 600)
[ -n "$scenario" ] && board_args+=(--scenario "$scenario")
"$linux/tools/boardsim" "${board_args[@]}" >"$work/boardsim.out" 2>"$work/boardsim.err" &
board_pid=$!
for _ in $(seq 100); do
  [ -s "$work/boardsim.out" ] && break
  sleep 0.1
done
pts="$(head -n 1 "$work/boardsim.out")"
case "$pts" in /dev/pts/*) ;; *) echo "e2e: boardsim did not start" >&2; cat "$work/boardsim.err" >&2; exit 1 ;; esac

# The PC: COM7 on the pty, the screen's resolution, the converter's registry key and its
# device name.
timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /t REG_SZ /d "$pts" /f >/dev/null
timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
  >/dev/null
wine_env_restart
cat >"$work/converter.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+$instance\\0000\\Device Parameters]
"PortName"="$port"
REG
timeout 60 wine regedit /S "$(timeout 30 winepath -w "$work/converter.reg")"
timeout 60 wine "$root/$dir/tools/win32/devlink.exe" "$device" "$port"

# The run, in a folder holding the configuration file.
cp app/examples/Quorix.lcd "$work/"
start=$(date +%s.%N)
(
  cd "$work"
  set +e
  env "${preload[@]}" LCDWRITE_MODEM_STATE="$work/modem.state" \
    timeout --kill-after=5 300 wine "$root/$dir/app/lcdwrite.exe" >"$work/lcdwrite.out" 2>&1
  echo $? >"$work/status.tmp"
  mv "$work/status.tmp" "$work/status"
) &
app_pid=$!

# The person at the screen: each dialog is photographed with the window behind it and closed.
dialogs=0
caption_seen=""
size_seen=""
deadline=$(( $(date +%s) + 300 ))
while [ ! -f "$work/status" ] && [ "$(date +%s)" -lt "$deadline" ]; do
  if [ -z "$caption_seen" ]; then
    main_id="$(xdotool search --name '^LCD Konfiguration' 2>/dev/null | head -n 1 || true)"
    if [ -n "$main_id" ]; then
      caption_seen="$(xdotool getwindowname "$main_id" 2>/dev/null || true)"
      # Wine draws the frame itself: the X window is the whole outer window.
      size_seen="$(xdotool getwindowgeometry "$main_id" 2>/dev/null | sed -n 's/ *Geometry: //p')"
    fi
  fi
  for caption in Fehler Information; do
    id="$(xdotool search --name "^$caption\$" 2>/dev/null | head -n 1 || true)"
    [ -n "$id" ] || continue
    dialogs=$((dialogs + 1))
    echo "$caption" >>"$art/dialogs.txt"
    sleep 0.3  # let it paint
    import -window root "$art/dialog-$dialogs.png" 2>/dev/null || true
    xdotool windowactivate "$id" >/dev/null 2>&1 || true
    xdotool key --window "$id" Return >/dev/null 2>&1 || true
    xdotool key Return >/dev/null 2>&1 || true
    # Wait until it is gone before looking again.
    for _ in $(seq 50); do
      xdotool search --name "^$caption\$" >/dev/null 2>&1 || break
      sleep 0.1
    done
  done
  sleep 0.2
done
wait "$app_pid" || true
end=$(date +%s.%N)
status="$(cat "$work/status" 2>/dev/null || echo none)"
kill -TERM "$board_pid" 2>/dev/null || true
wait "$board_pid" 2>/dev/null || true
board_pid=""
cp "$work"/*.out "$work"/*.err "$art/" 2>/dev/null || true
[ -f "$work/board.json" ] && cp "$work/board.json" "$art/"
echo "$caption_seen" >"$art/caption.txt"
# The run reached the board: its record is in the default journal
# (%LOCALAPPDATA%\lcdwrite\journal.sqlite3) with the run's exit status. The journal goes again,
# so the prefix stays as the other Wine tests expect it.
journal="$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/lcdwrite/journal.sqlite3' | head -n 1)"
journal_status=none
if [ -n "$journal" ]; then
  journal_status="$(python3 - "$journal" <<'PY' 2>/dev/null || echo unreadable
import sqlite3, sys
row = sqlite3.connect(sys.argv[1]).execute(
    "SELECT exit_status FROM runs ORDER BY id DESC LIMIT 1").fetchone()
print(row[0] if row else "empty")
PY
)"
  rm -rf "$(dirname "$journal")"
fi
echo "e2e $name: the default journal's last record: exit status $journal_status"

echo "e2e $name: exit status $status (expected $expect), $(awk "BEGIN {printf \"%.1f\", $end - $start}") s," \
  "dialogs: $(tr '\n' ' ' <"$art/dialogs.txt" 2>/dev/null)"
size_expected="$(python3 -c "import struct; s = struct.unpack('f', struct.pack('f', $dpi / 96))[0]; print('%dx%d' % (int(s * 593), int(s * 175)))")"
echo "e2e $name: caption: $caption_seen"
echo "e2e $name: window $size_seen at $dpi dpi (expected $size_expected)"
timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null
ok=1
[ "$status" = "$expect" ] || ok=0
[ "$journal_status" = "$expect" ] || ok=0
[ "$size_seen" = "$size_expected" ] || ok=0
case "$caption_seen" in "LCD Konfiguration schreiben v"*" ab Fv7.26") ;; *) ok=0 ;; esac
if [ "$expect" = 0 ]; then
  grep -qx Information "$art/dialogs.txt" || ok=0
  # What the board stored is what the file holds: all five operations, the 120 parameters,
  # the serial number (its two parts joined) and the device type.
  python3 - "$work/Quorix.lcd" "$work/board.json" <<'PY' || ok=0
import json, sys
tokens = open(sys.argv[1], encoding="latin-1").read().split()
stored = json.load(open(sys.argv[2]))
parameters = [int(t) for t in tokens[1:121]]
serial = (tokens[121] + tokens[122]).encode("latin-1").hex().upper()
problems = []
if stored.get("completed") != ["operating_time", "error_memory", "serial", "device_type", "configuration"]:
    problems.append("operations: %s" % stored.get("completed"))
if stored.get("parameters") != parameters:
    problems.append("parameters differ")
if str(stored.get("serial", "")).upper() != serial:
    problems.append("serial %s, file %s" % (stored.get("serial"), serial))
if stored.get("device_type") != int(tokens[123]):
    problems.append("device type %s, file %s" % (stored.get("device_type"), tokens[123]))
for p in problems:
    print("e2e: board:", p, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
else
  grep -qx Fehler "$art/dialogs.txt" || ok=0
fi
if [ "$ok" = 1 ]; then
  echo "e2e $name: passed"
else
  echo "e2e $name: FAILED (artifacts in $art)" >&2
  exit 1
fi
