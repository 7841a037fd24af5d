#!/usr/bin/env bash
# End to end: the real lcdwrite, in the console, writes the sample Quorix.lcd into the board
# simulator on a real pty, in real time, with the modem-line shim giving the pty DTR and DSR.
# Usage: console_run.sh LCDWRITE BOARDSIM MODEMSHIM SOURCE_DIR
set -euo pipefail
lcdwrite=$(realpath "$1") boardsim=$(realpath "$2") shim=$(realpath "$3") src=$(realpath "$4")

work=$(mktemp -d)
bpid=
cleanup() {
  [ -n "$bpid" ] && kill "$bpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  echo "--- lcdwrite output"; cat "$work/out.txt" 2>/dev/null || true
  echo "--- boardsim output"; cat "$work/boardsim.out" "$work/boardsim.err" 2>/dev/null || true
  exit 1
}

cp "$src/app/examples/Quorix.lcd" "$work/"
state=$work/modem.state
"$boardsim" --scenario "$src/board/scenarios/fast.scenario" --state "$state" \
  --report "$work/stored.json" --timeout 240 > "$work/boardsim.out" 2> "$work/boardsim.err" &
bpid=$!
for _ in $(seq 200); do
  [ -s "$work/boardsim.out" ] && break
  sleep 0.05
done
pty=$(head -n 1 "$work/boardsim.out")
[ -c "$pty" ] || fail "boardsim printed no pty ($pty)"

cd "$work"
set +e
# ld.so splits LD_PRELOAD at spaces and colons: the shim by its file name, from LD_LIBRARY_PATH.
LD_PRELOAD=${shim##*/} LD_LIBRARY_PATH=${shim%/*}${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} \
  LCDWRITE_MODEM_STATE=$state timeout 200 "$lcdwrite" --console --port "${pty#/dev/}" \
  > out.txt 2>&1
status=$?
set -e
kill -TERM "$bpid"
wait "$bpid" || true
bpid=

[ "$status" -eq 0 ] || fail "exit status $status"
grep -q "Schreiben erfolgreich beendet!" out.txt || fail "no success message"
[ -s stored.json ] || fail "boardsim wrote no report"
for want in '"completed": \["operating_time", "error_memory", "serial", "device_type", "configuration"\]' \
            '"serial": "31323334353637"' '"device_type": 3' '"parameters": \[15, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 45,'; do
  grep -q "$want" stored.json || fail "report lacks $want: $(cat stored.json)"
done
echo "1 passed, 0 failed"
