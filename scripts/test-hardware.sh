#!/usr/bin/env bash
# A whole write on real hardware: two FT232R converters (USB 0403:6001) wired back to back (see
# the README, "Testing on real hardware"). The board simulator (tools/boardsim) runs on one
# converter, the real lcdwrite in the console on the other; the script checks that the write
# succeeded, that the simulated board stored the sample Quorix.lcd, and says what the latency
# request did on both sides and how long the write took.
#
#   scripts/test-hardware.sh                    the first two FT232R converters found
#   scripts/test-hardware.sh --ports A B        lcdwrite on ttyUSB A, the board on ttyUSB B
#   scripts/test-hardware.sh --list             lists the FT232R converters found, nothing else
#   scripts/test-hardware.sh --twin             the same run on two ptys wired back to back by
#                                               a relay, with the modem-line shim: checks this
#                                               script on a machine without converters
#
# Without two converters it says so and exits 0: nothing was tested. The programs come from the
# build directory (LCDWRITE_BUILD_DIR, default build), built if needed; the converters are
# looked up under LCDWRITE_SYSFS (default /sys). Exit status: 0 passed (or nothing to test),
# 1 the write failed, 64 a bad command line.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
sysfs=${LCDWRITE_SYSFS:-/sys}
build=${LCDWRITE_BUILD_DIR:-build}
scenario=board/scenarios/healthy.scenario

usage() {
  echo "usage: $0 [--ports HOST BOARD | --list | --twin]" >&2
  exit 64
}

# The tty names of the FT232R converters, in natural order: usb-serial ports whose USB device
# (found by walking up from the port's device directory) is 0403:6001.
converters() {
  local port dir
  for port in "$sysfs"/bus/usb-serial/devices/*; do
    [ -e "$port" ] || continue
    dir=$(readlink -f "$port")
    for _ in 1 2 3 4; do
      dir=$(dirname "$dir")
      [ -r "$dir/idVendor" ] || continue
      if [ "$(cat "$dir/idVendor")" = 0403 ] && [ "$(cat "$dir/idProduct" 2>/dev/null)" = 6001 ]; then
        basename "$port"
      fi
      break
    done
  done | sort -V
}

mode=hardware
host= board=
case "${1:-}" in
  "") ;;
  --list) [ $# -eq 1 ] || usage; converters; exit 0 ;;
  # A board that stores quickly: the run checks this script, not the board's timing.
  --twin) [ $# -eq 1 ] || usage; mode=twin scenario=board/scenarios/fast.scenario ;;
  --ports) [ $# -eq 3 ] || usage; host=${2#/dev/} board=${3#/dev/} ;;
  *) usage ;;
esac

if [ "$mode" = hardware ] && [ -z "$host" ]; then
  mapfile -t found < <(converters)
  if [ "${#found[@]}" -lt 2 ]; then
    echo "NOT TESTED: this test needs two FT232R converters wired back to back; found ${#found[@]}${found[*]:+ (${found[*]})}."
    echo "Nothing was run on hardware. The wiring is in the README, \"Testing on real hardware\"."
    exit 0
  fi
  host=${found[0]} board=${found[1]}
fi

# The programs, built where one is missing.
targets=(lcdwrite boardsim) files=(app/lcdwrite tools/boardsim)
if [ "$mode" = twin ]; then
  targets+=(lcd_modemshim nullmodem) files+=(tests/support/liblcd_modemshim.so tests/support/nullmodem)
fi
for file in "${files[@]}"; do
  [ -e "$build/$file" ] && continue
  if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S . -B "$build" -G Ninja > /dev/null
  fi
  cmake --build "$build" --target "${targets[@]}" > /dev/null
  break
done
lcdwrite=$(realpath "$build/app/lcdwrite")
boardsim=$(realpath "$build/tools/boardsim")

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  echo "--- lcdwrite"; cat "$work/out.txt" 2>/dev/null || true
  echo "--- boardsim"; cat "$work/boardsim.out" "$work/boardsim.err" 2>/dev/null || true
  exit 1
}
# Waits until file has its first line (at most 10 s).
first_line() {
  for _ in $(seq 200); do
    [ -s "$1" ] && break
    sleep 0.05
  done
  head -n 1 "$1"
}

host_env=() board_env=()
if [ "$mode" = twin ]; then
  shim=$(realpath "$build/tests/support/liblcd_modemshim.so")
  "$build/tests/support/nullmodem" "$work/host.state" "$work/board.state" > "$work/nullmodem.out" &
  pids+=($!)
  first_line "$work/nullmodem.out" > /dev/null
  mapfile -t ptys < "$work/nullmodem.out"
  [ "${#ptys[@]}" -eq 2 ] || fail "the relay opened no ptys"
  host=${ptys[0]#/dev/} board=${ptys[1]#/dev/}
  # ld.so splits LD_PRELOAD at spaces and colons and cannot quote them: the shim goes in by its
  # file name, found in its folder through LD_LIBRARY_PATH (a checkout's path may hold spaces).
  preload=(LD_PRELOAD="${shim##*/}" LD_LIBRARY_PATH="${shim%/*}${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}")
  host_env=("${preload[@]}" LCDWRITE_MODEM_STATE="$work/host.state")
  board_env=("${preload[@]}" LCDWRITE_MODEM_STATE="$work/board.state")
fi
[ -c "/dev/$host" ] || fail "/dev/$host is no serial port"
[ -c "/dev/$board" ] || fail "/dev/$board is no serial port"
[ "$host" != "$board" ] || fail "lcdwrite and the board need two ports"

echo "lcdwrite on /dev/$host, the simulated board on /dev/$board ($mode)"
cp "$src/app/examples/Quorix.lcd" "$work/"
env "${board_env[@]}" "$boardsim" --tty "/dev/$board" --scenario "$src/$scenario" \
  --report "$work/stored.json" --timeout 300 > "$work/boardsim.out" 2> "$work/boardsim.err" &
boardsim_pid=$!
pids+=("$boardsim_pid")
[ "$(first_line "$work/boardsim.out")" = "/dev/$board" ] || fail "boardsim did not start"

cd "$work"
started=$(date +%s.%N)
set +e
env "${host_env[@]}" timeout 240 "$lcdwrite" --console --port "$host" --log "$work/run.log" \
  > out.txt 2>&1
status=$?
set -e
ended=$(date +%s.%N)
kill -TERM "$boardsim_pid"
wait "$boardsim_pid" || true

[ "$status" -eq 0 ] || fail "lcdwrite ended with status $status"
grep -q "Schreiben erfolgreich beendet!" out.txt || fail "no success message"
[ -s stored.json ] || fail "boardsim wrote no report"
for want in '"completed": \["operating_time", "error_memory", "serial", "device_type", "configuration"\]' \
            '"serial": "31323334353637"' '"device_type": 3' '"parameters": \[15, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 45,'; do
  grep -q "$want" stored.json || fail "the board did not store $want: $(cat stored.json)"
done

echo "Latency request, lcdwrite's side (its log):"
grep -o 'Latency .*' run.log | sed 's/^/  /' || echo "  (nothing logged)"
echo "Latency request, the board's side:"
grep 'Latency ' boardsim.err | sed 's/^boardsim: /  /' || echo "  (nothing reported)"
echo "Whole write: $(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.1f", b - a }') s"
if [ "$mode" = twin ]; then
  echo "PASSED on the simulated twin (two ptys and the modem-line shim): no converter was used"
else
  echo "PASSED on hardware: /dev/$host and /dev/$board"
fi
