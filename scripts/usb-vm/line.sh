# The workshop line in the guest (scripts/test-usb-vm.sh, sourced once the guest is up; after
# scripts/usb-vm/scenarios.sh, or alone with --line): three emulated converters under the
# guest's ftdi_sio at once, each with its own serial, its own relay and its own board on the
# host, and each board given its own Quorix.lcd (its own serial number), so that a board that
# stored another board's file shows.
#
#   --list                   shows the three: port, serial, latency
#   --converter SERIAL       a serial not attached: status 3 naming the attached ones; then one
#                            run pinned to each converter, the three at once
#   --all                    the three boards at once; the middle converter pulled (QMP
#                            device_del) while its board clears the error memory: that board
#                            status 4, the others written, the line's status the worst, and its
#                            last line "2 von 3 Platinen geschrieben" naming the pulled one
#
# Converter N sits on chardev lineN; its board on line_board_pty[N] with the modem-line state
# $work/lineN-board.state (test-usb-vm.sh starts the relays before qemu).

line_serials=("" A9LN3XK1 A9LN3XK2 A9LN3XK3)
# Pulled in the --all run: the middle one, so that it is neither the first the search sees nor
# the last; half a second after the host's 6th byte (the error memory's clear command, 0xAD),
# while the board clears it (2 s) and the tool waits for the confirmation. Not in the data:
# there an echo is in flight whenever the converter goes, and under software emulation the
# guest's kernel can take the disconnect later than the echo's polls run (about 0.1 s), so the
# run ends as a time-out (status 1) as often as with the port error; a confirmation is waited
# for long enough to see the disconnect every time.
line_pulled=2 line_pull_at=6+500

# Each board's folder: Quorix.lcd with its own serial number, and what the simulated board
# stores from it (the reference for the board on the host).
line_files=$work/line-files
mkdir -p "$line_files"
for i in $(seq "$line_count"); do
  folder=$line_files/${line_serials[$i]}
  mkdir -p "$folder"
  sed "s/^567\$/56$i/" "$src/app/examples/Quorix.lcd" > "$folder/Quorix.lcd"
  (cd "$folder" && "$lcdwrite" --console --simulate --fast --sim-report "$folder/stored.json" > /dev/null)
done

# The board store times of the whole write (scenarios.sh explains the 500 ms); set there unless
# this runs alone.
if [ -z "${board:-}" ]; then
  board=$work/board.scenario
  printf '%s\n' 'board.store_ms.operating_time = 500' 'board.store_ms.serial = 500' > "$board"
fi

# Board N for the run $2 (report $work/$2-N.json, output $work/$2-N.board.out), extra boardsim
# arguments after that.
line_board_pids=()
line_board_start() {
  local i=$1 name=$2
  shift 2
  env "${preload[@]}" LCDWRITE_MODEM_STATE="$work/line$i-board.state" "${realtime[@]}" "$boardsim" \
    --tty "${line_board_pty[$i]}" --scenario "$board" --report "$work/$name-$i.json" --timeout 200 "$@" \
    > "$work/$name-$i.board.out" 2> "$work/$name-$i.board.err" &
  line_board_pids+=($!)
  pids+=($!)
  wait_until 10 test -s "$work/$name-$i.board.out"
}
line_boards_stop() {
  local pid
  for pid in "${line_board_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${line_board_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  line_board_pids=()
}
# Whether board N of run $1 stored exactly its own file.
line_stored_own() { cmp -s "$line_files/${line_serials[$2]}/stored.json" "$work/$1-$2.json"; }
# The guest command of a run named $1 in folder $2 with lcdwrite's arguments $3 (already words).
line_command() {
  echo "(cd $(word "$2") && exec $(word "$lcdwrite") $3 > $(word "$work/$1.txt") 2>&1)"
}
# The same with --log into the guest's own /tmp: the share to the host is slow under software
# emulation, and three tools logging every byte through it slow down qemu's main loop, which
# also carries the converters' bytes. The log folder goes to $work/$1.logs once the run ended.
line_logged_command() {
  local logs=/tmp/lcdvm-$1
  echo "mkdir -p $logs; $(line_command "$1" "$2" "$3 --log $logs/run.log")
rc=\$?; cp -r $logs $(word "$work/$1.logs"); exit \$rc"
}
line_says() { LC_ALL=C grep -qF -- "$2" "$work/$1.txt"; }
# Whether run $1 ended with status $2 by an answer that came too late (an echo, the probe):
# under software emulation on a busy machine the guest can take longer than the polls the
# tool allows, as the whole write's rule in scenarios.sh says. Such a row is run once more.
line_too_late() {
  [ "$accel_name" != KVM ] && [ "$2" = 1 ] &&
    { line_says "$1" "berschreitung" || line_says "$1" "antwortet nicht"; }
}

# ---- The three converters plugged in, one after the other (ttyUSB0, 1, 2 in this order) ----
t=$(now)
pull conv 2> /dev/null || true
guest line-free 20 'for i in $(seq 100); do [ -e /dev/ttyUSB0 ] || break; sleep 0.1; done' > /dev/null
for i in $(seq "$line_count"); do
  plug "lineconv$i" "line$i" "${line_serials[$i]}"
  guest "line-plug-$i" 30 "for i in \$(seq 100); do [ -e /dev/ttyUSB$((i - 1)) ] && break; sleep 0.1; done; udevadm settle" > /dev/null
done

# ---- --list ----
rc=$(guest line-list 30 "$(line_command line-list / --list)")
got="status $rc"
listed=0
for i in $(seq "$line_count"); do
  LC_ALL=C grep -E "^ttyUSB$((i - 1)) +${line_serials[$i]} +1 ms" "$work/line-list.txt" > /dev/null && listed=$((listed + 1))
done
got+=", $listed of $line_count with port, serial, 1 ms"
row "line: --list, three converters" "status 0, 3 of 3 with port, serial, 1 ms" "$got" "$(since "$t")"

# ---- --converter: a serial not attached; then each converter's board by its serial ----
t=$(now)
rc=$(guest line-unknown 40 "$(line_command line-unknown "$line_files/${line_serials[1]}" "--console --converter A9LN3XK0")")
got="status $rc"
named=0
for i in $(seq "$line_count"); do line_says line-unknown "${line_serials[$i]}" && named=$((named + 1)); done
got+=", $named attached named"
row "line: --converter not attached" "status 3, 3 attached named" "$got" "$(since "$t")"

# The three pinned runs at once, each from its own folder; each board must hold its own file.
# line_pinned NAME N...: boards N... (their runs NAME-N) at once; sets pinned_rc[N] and
# pinned_run[N] (the run whose board report counts) of each, and seconds.
pinned_rc=() pinned_run=()
line_pinned() {
  local name=$1 i
  shift
  for i in "$@"; do line_board_start "$i" "$name"; done
  t=$(now)
  for i in "$@"; do
    guest_start "$name-$i" "$(line_logged_command "$name-$i" "$line_files/${line_serials[$i]}" \
      "--console --converter ${line_serials[$i]}")"
  done
  for i in "$@"; do
    pinned_rc[$i]=$(guest_wait "$name-$i" 150)
    pinned_run[$i]=$name
  done
  seconds=$(since "$t")
  line_boards_stop
}
line_pinned line-pin $(seq "$line_count")
# A board whose answer came too late under software emulation: its pinned run once more.
again=()
for i in $(seq "$line_count"); do line_too_late "line-pin-$i" "${pinned_rc[$i]}" && again+=("$i"); done
if [ "${#again[@]}" -gt 0 ]; then
  note "line: --converter: too late, again" "status ${pinned_rc[*]}" "$seconds"
  line_pinned line-pin-again "${again[@]}"
fi
got="status ${pinned_rc[*]}"
own=0
for i in $(seq "$line_count"); do line_stored_own "${pinned_run[$i]}" "$i" && own=$((own + 1)); done
got+=", $own boards hold their own file"
row "line: --converter SERIAL, each (at once)" "status 0 0 0, 3 boards hold their own file" "$got" "$seconds"
row "  time bound 150 s" "in time" "$(bound "$seconds" 150)" "$seconds"

# ---- --all: the three at once, one converter pulled in its configuration data ----
if ! "$lcdwrite" --help 2>&1 | grep -q -- '--all'; then
  echo "skipped: --all not in this build"
  note "line: --all (one converter pulled)" "skipped: --all not in this build" ""
  return 0
fi
# line_all NAME: the --all run; sets rc, pulled (when the converter went) and seconds.
line_all() {
  local name=$1 i
  for i in $(seq "$line_count"); do
    if [ "$i" = "$line_pulled" ]; then
      line_board_start "$i" "$name" --mark "byte:$line_pull_at"
    else
      line_board_start "$i" "$name"
    fi
  done
  t=$(now)
  # The pulled converter back first, when a run before took it.
  if [ "$name" != line-all ]; then
    plug "lineconv$line_pulled" "line$line_pulled" "${line_serials[$line_pulled]}"
    guest "$name-plug" 30 "for i in \$(seq 100); do [ -e /dev/ttyUSB$((line_pulled - 1)) ] && break; sleep 0.1; done; udevadm settle" > /dev/null
  fi
  guest_start "$name" "$(line_logged_command "$name" "$line_files" "--console --all")"
  pulled=$(pull_when "lineconv$line_pulled" "$work/$name-$line_pulled.board.out" "mark at" 0 90)
  rc=$(guest_wait "$name" 150)
  seconds=$(since "$t")
  line_boards_stop
}
all=line-all
line_all "$all"
# A board that failed with status 1 under software emulation: an answer that came too late, as
# above (seen for the boards that were not pulled, and for the pulled one when the guest's
# kernel took its disconnect long after qemu had removed the converter, so that the echo's
# polls ran out first); the whole line once more.
if [ "$accel_name" != KVM ] && LC_ALL=C grep -E -q "^A9LN3XK[0-9] .*\(Status 1\)" "$work/$all.txt"; then
  note "line: --all: too late, again" "status $rc" "$seconds"
  all=line-all-again
  line_all "$all"
fi
got="status $rc"
[ -n "$pulled" ] || got+=", never pulled"
last=$(LC_ALL=C grep -v '^[[:space:]]*$' "$work/$all.txt" | tail -n 1)
LC_ALL=C grep -qF "2 von 3 Platinen geschrieben" <<< "$last" && got+=", 2 von 3"
LC_ALL=C grep -qF "${line_serials[$line_pulled]}" <<< "$last" && got+=", ${line_serials[$line_pulled]} named"
row "line: --all, ${line_serials[$line_pulled]} pulled" \
  "status 4, 2 von 3, ${line_serials[$line_pulled]} named" "$got" "$seconds"
written=
for i in $(seq "$line_count"); do
  [ "$i" = "$line_pulled" ] && continue
  line_stored_own "$all" "$i" && written+="${written:+, }${line_serials[$i]} = own file"
done
row "  the other boards written" "A9LN3XK1 = own file, A9LN3XK3 = own file" "${written:-none}" ""
got=$(python3 -c 'import json, sys; print("configuration " + ("stored" if "configuration" in json.load(open(sys.argv[1]))["completed"] else "not stored"))' \
  "$work/$all-$line_pulled.json" 2>/dev/null || echo "no report")
row "  the pulled board" "configuration not stored" "$got" ""
row "  time bound 150 s" "in time" "$(bound "$seconds" 150)" "$seconds"
echo "The line's last line: $last"
