# The scenarios of scripts/test-usb-vm.sh, sourced by it once the guest is up. Each adds rows
# to the table with row NAME EXPECTED GOT SECONDS; the helpers (guest, plug, pull, board_start,
# tool_command, wait_until, bound) come from that script.
#
# The converters: "conv" (serial A5XK3RJT, 8 characters), "long" (16 characters) and "bare"
# (none), each on the board's side of the relay when plugged in; "spare" (on a null device) is
# the second converter that comes and goes during the whole write.

port_dir=/sys/bus/usb-serial/devices/ttyUSB0
# Guest command: waits until ttyUSB0 is there and udev has finished with it.
settled="for i in \$(seq 100); do [ -e /dev/ttyUSB0 ] && break; sleep 0.1; done; udevadm settle"
gone="for i in \$(seq 100); do [ -e /dev/ttyUSB0 ] || break; sleep 0.1; done"
pullfree_dialog='ComPortError:  ttyUSB0 !'

# What a run's console output says, in a few words (the texts are Latin-1; match ASCII parts).
says() { LC_ALL=C grep -q -- "$2" "$work/$1/out.txt"; }
logged() { LC_ALL=C grep -q -- "$2" "$work/$1/run.log" 2>/dev/null; }
no_tool_left() { [ "$(guest "left-$1" 20 'pgrep -x lcdwrite || true')" = 0 ] && [ ! -s "$work/cmd/left-$1.out" ]; }

# ---- udev: the rule applies when the converter is plugged in ----
t=$(now)
plug conv board A5XK3RJT
guest udev 30 "$settled; cat $port_dir/latency_timer; udevadm info -q property -n ttyUSB0; stat -c %G /dev/ttyUSB0" > /dev/null
out=$work/cmd/udev.out
got="latency $(sed -n 1p "$out")"
grep -qx 'ID_MM_DEVICE_IGNORE=1' "$out" && got+=", MM ignores" || got+=", MM not told"
got+=", group $(tail -n 1 "$out")"
row "plug-in: udev rule (device_add)" "latency 1, MM ignores, group dialout" "$got" "$(since "$t")"

# ---- The open refused: a user outside the port's group; the port held by ModemManager ----
nobody=65534 dialout=$(getent group dialout | cut -d: -f3)
as_outsider="setpriv --reuid=$nobody --regid=$nobody --clear-groups env HOME=/tmp XDG_RUNTIME_DIR=/tmp"
as_member="setpriv --reuid=$nobody --regid=$nobody --groups=$dialout env HOME=/tmp XDG_RUNTIME_DIR=/tmp"
t=$(now)
rc=$(guest outsider 40 "$(tool_command outsider "$as_outsider")")
got="status $rc"
says outsider "nicht in der Gruppe dialout" && says outsider "usermod -aG dialout nobody" && got+=", group and remedy"
row "open: user outside the group" "status 3, group and remedy" "$got" "$(since "$t")"

t=$(now)
rc=$(guest modemmanager 40 "cp /bin/sleep /tmp/ModemManager; /tmp/ModemManager 60 < /dev/ttyUSB0 & holder=\$!; sleep 0.5
$(tool_command modemmanager "")
rc=\$?; kill \$holder; exit \$rc")
got="status $rc"
says modemmanager "ModemManager (PID" && says modemmanager "systemctl stop ModemManager" && got+=", ModemManager named"
row "open: port held by ModemManager" "status 3, ModemManager named" "$got" "$(since "$t")"

# The board of these runs: a real board's store times, but at least 500 ms. QEMU hands the
# guest what the board sent at once and the guest under software emulation is slow: a
# confirmation sent sooner could reach the guest with the echo before it, and the tool empties
# the input queue after each echo (as it must: a real converter delivers them apart).
board=$work/board.scenario
cat > "$board" <<'EOF'
board.store_ms.operating_time = 500
board.store_ms.serial = 500
EOF

# ---- The whole write, by a member of the group, no --port; a converter comes and goes ----
reference=$work/reference
mkdir -p "$reference" && cp "$src/app/examples/Quorix.lcd" "$reference/"
(cd "$reference" && "$lcdwrite" --console --simulate --fast --sim-report "$reference/stored.json" > /dev/null)
board_start "$board" whole
guest preset 20 "echo 16 > $port_dir/latency_timer" > /dev/null
t=$(now)
guest_start whole "$(tool_command whole "$as_member")"
spare="not plugged"
# The second converter, once the board has confirmed the first operation.
if wait_until 60 logged whole 'Read complete \$AF'; then
  plug spare spare SPARE001
  rc=$(guest spare-in 20 'for i in $(seq 50); do [ -e /dev/ttyUSB1 ] && break; sleep 0.1; done; ls /dev/ttyUSB1')
  pull spare
  rc2=$(guest spare-out 20 'for i in $(seq 50); do [ -e /dev/ttyUSB1 ] || break; sleep 0.1; done; ls /dev/ttyUSB1')
  spare="ttyUSB1 $([ "$rc" = 0 ] && echo came || echo "did not come"), $([ "$rc2" != 0 ] && echo went || echo stayed)"
fi
rc=$(guest_wait whole 150)
seconds=$(since "$t")
board_stop
got="status $rc"
if cmp -s "$reference/stored.json" "$work/whole.json"; then got+=", stored = file"; else got+=", stored differs"; fi
row "whole write (dialout member)" "status 0, stored = file" "$got" "$seconds"
row "  time bound 150 s" "in time" "$(bound "$seconds" 150)" "$seconds"
row "  converter plugged+pulled meanwhile" "ttyUSB1 came, went" "$spare" ""
latency=$(LC_ALL=C grep -o 'Latency ttyUSB0: .*' "$work/whole/run.log" || true)
got=
grep -q 'latency timer 16 ms; low latency requested (ASYNC_LOW_LATENCY), now 1 ms' <<< "$latency" && got="16 -> 1"
grep -q 'put back: low latency off, now 16 ms' <<< "$latency" && got+=" -> 16"
row "  latency found, set, put back" "16 -> 1 -> 16" "${got:-none}" ""

# ---- The converter pulled: in the reset handshake, in a confirmation wait, in the data ----
# One pull: plugs converter $2 (serial $3) in place of the one plugged in, starts a run against
# a board of scenario $6, pulls the converter at the moment given by $4 and $5 (pull_when),
# and measures until the run has ended. Sets pulled_after (seconds) and got.
pull_run() {
  local name=$1 id=$2 serial=$3 marker=$4 when=$5 scenario=$6 pulled
  pull "$previous"
  guest "gone-$name" 20 "$gone" > /dev/null
  plug "$id" board "$serial"
  previous=$id
  board_start "$scenario" "$name"
  guest "settle-$name" 30 "$settled" > /dev/null
  guest_start "$name" "$(tool_command "$name" "")"
  pulled=$(pull_when "$id" "$work/$name/run.log" "$marker" "$when" 60)
  if [ -z "$pulled" ]; then
    got="never reached '$marker'" pulled_after=99
    guest_wait "$name" 120 > /dev/null
    board_stop
    return
  fi
  rc=$(guest_wait "$name" 30)
  pulled_after=$(awk -v a="$pulled" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
  board_stop
  got="status $rc"
  says "$name" "$pullfree_dialog" && got+=", dialog"
  no_tool_left "$name" || got+=", still running"
}
previous=conv

t=$(now)
pull_run pull-reset long FT4KQ7ZD9X2M5P1R 'Open ' dtr "$board"
logged pull-reset 'Write request \$BA' && got+=", after the probe"
row "pull: reset handshake (16-char serial)" "status 4, dialog" "$got" "$pulled_after"
row "  exit within 2 s of the pull" "in time" "$(bound "$pulled_after" 2)" "$(since "$t")"

cat > "$work/slow-clear.scenario" <<'EOF'
# The first operation's confirmation comes late, so that the converter can be pulled meanwhile.
board.store_ms.operating_time = 750
EOF
t=$(now)
pull_run pull-confirm bare "" 'Read complete $A3' 0.25 "$work/slow-clear.scenario"
logged pull-confirm 'Read complete \$AF' && got+=", after the confirmation"
row "pull: first confirmation wait (no serial)" "status 4, dialog" "$got" "$pulled_after"
row "  exit within 2 s of the pull" "in time" "$(bound "$pulled_after" 2)" "$(since "$t")"

t=$(now)
pull_run pull-data conv A5XK3RJT 'Write request $A8' 1.5 "$board"
sent=$(awk '/Write request \$A8/ { on = 1; next } on && /Write complete/ { n++ } END { print n + 0 }' "$work/pull-data/run.log")
row "pull: configuration data (8-char serial)" "status 4, dialog" "$got" "$pulled_after"
row "  exit within 2 s ($sent bytes sent)" "in time" "$(bound "$pulled_after" 2)" "$(since "$t")"

# ---- Killed while the latency is changed; the next run puts the old setting back ----
t=$(now)
guest gone-replug 20 "$gone" > /dev/null
plug conv board A5XK3RJT
guest replug 30 "$settled; echo 16 > $port_dir/latency_timer" > /dev/null
board_start "$src/board/scenarios/no-board.scenario" killed
rc=$(guest killed 60 "$(tool_command killed "") &
tool=\$!
for i in \$(seq 300); do grep -q 'low latency requested' '$work/killed/run.log' 2>/dev/null && break; sleep 0.05; done
kill -KILL \$tool; wait \$tool 2> /dev/null
echo \$? > '$work/killed/status'; cat $port_dir/latency_timer > '$work/killed/latency'
ls /run/lcdwrite-latency-ttyUSB0")
got="status $(cat "$work/killed/status"), latency $(cat "$work/killed/latency")"
[ "$rc" = 0 ] && got+=", record left"
row "SIGKILL with the latency changed" "status 137, latency 1, record left" "$got" "$(since "$t")"

t=$(now)
# The next run's trial open finds the record and puts the setting back at its close (the trial
# open logs nothing); without the record the latency would stay 1, which reads as low already.
rc=$(guest next 60 "$(tool_command next "")
echo \$? > '$work/next/status'; cat $port_dir/latency_timer > '$work/next/latency'
ls /run/lcdwrite-latency-ttyUSB0")
board_stop
got="status $(cat "$work/next/status"), latency $(cat "$work/next/latency")"
[ "$rc" = 0 ] && got+=", record left" || got+=", no record"
row "next run (no board) puts it back" "status 1, latency 16, no record" "$got" "$(since "$t")"

echo "Latency request in the guest (the whole write's log):"
sed 's/^/  /' <<< "$latency"
echo "Crash record (the next run's log):"
LC_ALL=C grep -o 'Latency ttyUSB0: .*' "$work/next/run.log" | sed 's/^/  /' || true
