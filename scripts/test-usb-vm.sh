#!/usr/bin/env bash
# lcdwrite against the real Linux USB stack: a QEMU guest whose kernel binds its own ftdi_sio to
# QEMU's emulated FTDI converter (USB 0403:6001, presented as an FT232B). The guest runs the
# lcdwrite built on this machine (the host's / is shared read-only over 9p and the guest chroots
# into it); the board simulator (tools/boardsim --tty) sits on the host side of the converter,
# its modem lines carried as scripts/test-hardware.sh --twin carries them: the modem-line shim
# preloaded into qemu and boardsim, the null-modem relay between them. The workshop line
# (scripts/usb-vm/line.sh) has three more converters, each with its own relay and board; qemu's
# shim serves all four of its ptys.
#
#   scripts/test-usb-vm.sh              every scenario on one boot; prints a table
#   scripts/test-usb-vm.sh --keep       keeps the work folder (logs of every run) for a look
#   scripts/test-usb-vm.sh --boot       only boots the guest and checks what it sees of the host:
#                                       its work folder below /tmp, in a folder whose name has a
#                                       space and an umlaut (about half a minute)
#   scripts/test-usb-vm.sh --line       only the workshop line: three converters, each with its
#                                       own board (scripts/usb-vm/line.sh; about two minutes)
#
# The checkout may be anywhere, /tmp and /run included (the guest has its own /tmp and /run and
# shows the checkout, the build folder and the work folder over them), and its path may hold
# spaces and characters beyond ASCII; not a line break.
#
# Installs what it needs (scripts/setup.sh --vm); the guest kernel is the package that
# linux-image-amd64 depends on, fetched with apt-get download into build/usb-vm/ and unpacked
# there (never installed), kept for the next run. KVM where it boots, software emulation where
# it does not. Each scenario has a time bound. LCDWRITE_VM_CPUS: the guest's processors (1).
# Exit status: 0 all scenarios as expected, 1 a
# mismatch (the table says which), 2 the guest did not come up, 64 a bad command line.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd -P)
build=${LCDWRITE_BUILD_DIR:-build}
keep=0 boot_only=0 line_only=0
for arg in "$@"; do
  case "$arg" in
    --keep) keep=1 ;;
    --boot) boot_only=1 ;;
    --line) line_only=1 ;;
    *) echo "usage: $0 [--keep] [--boot | --line]" >&2; exit 64 ;;
  esac
done
[ "$boot_only$line_only" != 11 ] || { echo "usage: $0 [--keep] [--boot | --line]" >&2; exit 64; }
case "$src$build" in
  *$'\n'*) echo "test-usb-vm: a line break in the checkout's or the build folder's path" >&2; exit 64 ;;
esac

scripts/setup.sh --vm
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cache=()
  if command -v ccache > /dev/null; then cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cache[@]}" > /dev/null
fi
cmake --build "$build" --target lcdwrite boardsim lcd_modemshim nullmodem > /dev/null
build=$(realpath "$build")
vm=$build/usb-vm
mkdir -p "$vm"

# ---- The guest kernel and its initramfs (cached in build/usb-vm) ----
kernel_package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ { print $2; exit }')
[ -n "$kernel_package" ] || { echo "no kernel package behind linux-image-amd64" >&2; exit 2; }
kdir=$vm/$kernel_package
modules=(usb-common usbcore xhci-hcd xhci-pci ehci-hcd ehci-pci usbserial ftdi_sio virtio_ring virtio
  virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci 9pnet 9pnet_virtio netfs fscache 9p)
if [ ! -f "$kdir/modules/order" ]; then
  rm -rf "$kdir" && mkdir -p "$kdir/deb" "$kdir/modules"
  (cd "$kdir/deb" && apt-get download -q "$kernel_package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  deb=("$kdir"/deb/*.deb)
  [ -f "${deb[0]}" ] || { echo "apt-get download $kernel_package failed" >&2; exit 2; }
  dpkg-deb --fsys-tarfile "${deb[0]}" |
    tar -x -C "$kdir" --wildcards './boot/vmlinuz-*' './lib/modules/*/kernel/drivers/usb/*' \
      './lib/modules/*/kernel/drivers/virtio/*' './lib/modules/*/kernel/net/9p/*' \
      './lib/modules/*/kernel/fs/9p/*' './lib/modules/*/kernel/fs/netfs/*' './lib/modules/*/kernel/fs/fscache/*'
  for m in "${modules[@]}"; do
    ko=$(find "$kdir/lib/modules" -name "$m.ko" | head -n 1)
    [ -n "$ko" ] || { echo "module $m missing from $kernel_package" >&2; exit 2; }
    cp "$ko" "$kdir/modules/"
  done
  printf '%s\n' "${modules[@]}" > "$kdir/modules/order"
  rm -rf "$kdir/deb" "$kdir/lib"
fi
# The initramfs: busybox, the modules and our /init; rebuilt when the init script changes.
initramfs=$kdir/initramfs-$(sha1sum "$src/scripts/usb-vm/init.sh" | cut -c1-12).cpio.gz
if [ ! -f "$initramfs" ]; then
  rm -rf "$kdir/root" "$kdir"/initramfs-*.cpio.gz && mkdir -p "$kdir/root/bin"
  cp -r "$kdir/modules" "$kdir/root/modules"
  cp /bin/busybox "$kdir/root/bin/busybox"
  install -m 755 "$src/scripts/usb-vm/init.sh" "$kdir/root/init"
  (cd "$kdir/root" && find . | cpio -o -H newc --quiet | gzip -1) > "$kdir/initramfs.tmp"
  mv "$kdir/initramfs.tmp" "$initramfs"
  rm -rf "$kdir/root"
fi
vmlinuz=$(ls "$kdir"/boot/vmlinuz-* | head -n 1)

# ---- The host side: relay, qemu, helpers ----
# The work folder: below the build folder; for --boot below the system's temporary folder, in a
# folder named as a checkout may be ("Prüfstand 2"), which the guest's own /tmp must not hide.
# QMP's socket goes to a short private folder (a socket's path has at most 107 bytes).
private=$(mktemp -d "${TMPDIR:-/tmp}/lcdvm.XXXXXX")
if [ "$boot_only" = 1 ]; then
  work="$private/Prüfstand 2/work"
else
  work=$vm/work
fi
rm -rf "$work" && mkdir -p "$work/cmd"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ "$keep" = 1 ] || rm -rf "$work"
  rm -rf "$private"
}
trap cleanup EXIT
# What the guest's /init mounts where (scripts/usb-vm/init.sh): the work folder, the command
# runner, the folders the guest reads.
printf '%s\n' "$work" "$src/scripts/usb-vm/guest.sh" "$src" "$build" > "$work/guest.paths"
# QEMU's options are comma-separated: a comma in a value is written twice.
qemu_value() { printf '%s' "${1//,/,,}"; }
shim=$build/tests/support/liblcd_modemshim.so
# ld.so splits LD_PRELOAD at spaces and colons and cannot quote them: the shim goes in by its
# file name, found in its folder through LD_LIBRARY_PATH (a checkout's path may hold spaces).
preload=(LD_PRELOAD="${shim##*/}" LD_LIBRARY_PATH="${shim%/*}${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}")
lcdwrite=$build/app/lcdwrite
boardsim=$build/tools/boardsim

# The guest talks to the board in real time and the tool allows about 100 polls of 1 ms for an
# echo: the relay and the board run ahead of whatever else this machine is doing (round-robin
# real-time; they mostly wait), qemu at a high priority (root only; elsewhere at the ordinary
# one).
urgent=() realtime=()
if [ "$(id -u)" = 0 ]; then
  urgent=(nice -n -15)
  chrt -r 1 true 2> /dev/null && realtime=(chrt -r 1)
fi
now() { printf '%s\n' "$EPOCHREALTIME"; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
# Waits (polling) until the command succeeds, at most $1 seconds (whole); false when it never
# did. No process per look (the clock is bash's, the pause a read on a FIFO that never gets
# data): the bench waits most of its time, and the guest's real-time work shares this machine.
mkfifo "$private/pause" && exec {pause}<> "$private/pause"
wait_until() {
  local limit=$(( $1 * 1000000 )) start=${EPOCHREALTIME/./}
  shift
  until "$@"; do
    (( ${EPOCHREALTIME/./} - start > limit )) && return 1
    read -r -t 0.02 -u "$pause" || true
  done
}

"${realtime[@]}" "$build/tests/support/nullmodem" "$work/host.state" "$work/board.state" > "$work/nullmodem.out" &
pids+=($!)
wait_until 10 test -s "$work/nullmodem.out" || { echo "the null-modem relay did not start" >&2; exit 2; }
sleep 0.1
mapfile -t ptys < "$work/nullmodem.out"
qemu_pty=${ptys[0]} board_pty=${ptys[1]}
# The line's converters (scripts/usb-vm/line.sh): a relay each, its qemu side a chardev lineN,
# its board side line_board_pty[N]. qemu serves the modem lines of all its ptys, one state file
# a line in the shim's variable.
line_count=3
qemu_states=$work/host.state
qemu_chardevs=()
line_board_pty=("")
if [ "$boot_only" = 0 ]; then
  for i in $(seq "$line_count"); do
    "${realtime[@]}" "$build/tests/support/nullmodem" "$work/line$i-host.state" "$work/line$i-board.state" \
      > "$work/line$i-nullmodem.out" &
    pids+=($!)
    wait_until 10 test -s "$work/line$i-nullmodem.out" || { echo "the line's relay $i did not start" >&2; exit 2; }
    sleep 0.1
    mapfile -t ptys < "$work/line$i-nullmodem.out"
    qemu_chardevs+=(-chardev "serial,id=line$i,path=${ptys[0]}")
    line_board_pty+=("${ptys[1]}")
    qemu_states+=$'\n'"$work/line$i-host.state"
  done
fi

# A QMP command (JSON); prints the reply's "return" or "error".
qmp() {
  python3 - "$private/qmp.sock" "$1" <<'EOF'
import json, socket, sys
s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); f = s.makefile("rw")
def reply():
    while True:
        m = json.loads(f.readline())
        if "return" in m or "error" in m: return m
f.readline(); f.write('{"execute": "qmp_capabilities"}\n'); f.flush(); reply()
f.write(sys.argv[2] + "\n"); f.flush(); m = reply()
print(json.dumps(m.get("return", m.get("error"))))
EOF
}
# The emulated converter with USB serial `serial` ("" for none) on chardev `chardev`, as `id`.
plug() {
  qmp "{\"execute\": \"device_add\", \"arguments\": {\"driver\": \"usb-serial\", \"id\": \"$1\", \"bus\": \"xhci.0\", \"chardev\": \"$2\", \"serial\": \"$3\", \"always-plugged\": true}}" > /dev/null
}
pull() { qmp "{\"execute\": \"device_del\", \"arguments\": {\"id\": \"$1\"}}" > /dev/null; }
# Pulls converter $1 at a moment of a run: once its log ($2) has a line containing $3, then
# either $4 seconds later, or (with $4 = dtr) as soon as the tool next raises DTR (seen off,
# then on, in qemu's modem-line state file). Prints the wall-clock time of the pull, or
# nothing when the moment never came within $5 seconds.
pull_when() {
  python3 - "$private/qmp.sock" "$work/host.state" "$@" <<'PY'
import json, socket, struct, sys, time
sock, state, device, log, marker, when, limit = sys.argv[1:8]
s = socket.socket(socket.AF_UNIX); s.connect(sock); f = s.makefile("rw")
def reply():
    while True:
        m = json.loads(f.readline())
        if "return" in m or "error" in m: return m
f.readline(); f.write('{"execute": "qmp_capabilities"}\n'); f.flush(); reply()
end = time.time() + float(limit)
def until(test):
    while not test():
        if time.time() > end: sys.exit(0)
        time.sleep(0.002)
def logged():
    try:
        with open(log, "rb") as l: return marker.encode() in l.read()
    except OSError: return False
def dtr():
    with open(state, "rb") as m: return struct.unpack_from("<I", m.read(24), 16)[0] & 0x002 != 0
until(logged)
if when == "dtr":
    until(lambda: not dtr()); until(dtr)
else:
    time.sleep(float(when))
at = time.time()
f.write(json.dumps({"execute": "device_del", "arguments": {"id": device}}) + "\n"); f.flush(); reply()
print("%.3f" % at)
PY
}

# Runs a shell command in the guest (in the chroot, as root) under the name $1, at most $2
# seconds; its output goes to $work/cmd/$1.out. guest_start returns at once, guest_wait waits.
guest_start() { printf '%s\n' "$2" > "$work/cmd/$1.tmp" && mv "$work/cmd/$1.tmp" "$work/cmd/$1.sh"; }
guest_wait() {
  wait_until "$2" test -e "$work/cmd/$1.rc" || { echo 124; return; }
  cat "$work/cmd/$1.rc"
}
guest() { guest_start "$1" "$3"; guest_wait "$1" "$2"; }
# A word of a guest command line: $1 quoted for bash, whatever characters it holds.
word() { printf '%q' "$1"; }

# The guest command of one run of lcdwrite under the name $1 (folder $work/$1 with the sample
# file), with the command prefix $2 (a user, a group); the shell execs it, so that its process
# id is lcdwrite's when it runs in the background.
tool_command() {
  mkdir -p "$work/$1" && chmod 777 "$work/$1" && cp "$src/app/examples/Quorix.lcd" "$work/$1/"
  echo "(cd $(word "$work/$1") && exec $2 $(word "$lcdwrite") --console --log $(word "$work/$1/run.log") > out.txt 2>&1)"
}
# boardsim on the board's side of the relay with scenario $1, its report in $work/$2.json.
board_pid=
board_start() {
  env "${preload[@]}" LCDWRITE_MODEM_STATE="$work/board.state" "${realtime[@]}" "$boardsim" --tty "$board_pty" \
    --scenario "$1" --report "$work/$2.json" --timeout 200 > "$work/$2.board.out" 2> "$work/$2.board.err" &
  board_pid=$!
  pids+=("$board_pid")
  wait_until 10 test -s "$work/$2.board.out"
}
board_stop() {
  [ -n "$board_pid" ] || return 0
  kill -TERM "$board_pid" 2>/dev/null || true
  wait "$board_pid" 2>/dev/null || true
  board_pid=
}

# The table: scenario, expected, got, seconds.
rows=() failed=0
row() {
  local mark=ok
  [ "$2" = "$3" ] || { mark=MISMATCH; failed=1; }
  rows+=("$(printf '%-42s | %-36s | %-36s | %6s %s' "$1" "$2" "$3" "$4" "$mark")")
}
# A row that records what happened without judging it.
note() { rows+=("$(printf '%-42s | %-36s | %-36s | %6s %s' "$1" "-" "$2" "$3" "note")"); }
# "in time" or "over N s": whether $1 seconds stayed within the bound $2.
bound() { awk -v t="$1" -v b="$2" 'BEGIN { if (t <= b) print "in time"; else printf "over %s s\n", b }'; }

# ---- Boot: KVM if it boots, software emulation otherwise ----
accel=(-accel tcg,thread=multi -cpu max)
accel_name="software emulation (TCG)"
if [ -w /dev/kvm ]; then
  # The kernel alone: a machine whose KVM works prints its banner at once; a nested KVM that
  # cannot run this CPU model aborts or hangs.
  t=$(now)
  probe=$(timeout 15 qemu-system-x86_64 -accel kvm -cpu host -M q35 -m 256 -display none -no-reboot \
    -kernel "$vmlinuz" -append "console=ttyS0 panic=-1" -serial stdio -monitor none 2>&1 | head -c 20000 || true)
  if grep -q "Linux version" <<< "$probe"; then
    accel=(-accel kvm -cpu host) accel_name="KVM"
  else
    why=$(grep -v 'terminating on signal' <<< "$probe" | grep -m 1 . | cut -c1-100 || true)
    echo "guest: KVM tried and dropped after $(since "$t") s: the kernel did not start under it" \
      "(${why:-no output: it hangs})"
  fi
fi
echo "guest: $kernel_package under $accel_name"

started=$(now)
env "${preload[@]}" LCDWRITE_MODEM_STATE="$qemu_states" "${urgent[@]}" qemu-system-x86_64 "${accel[@]}" \
  -M q35 -m 1024 -smp "${LCDWRITE_VM_CPUS:-1}" -display none -no-reboot -monitor none \
  -kernel "$vmlinuz" -initrd "$initramfs" \
  -append "console=ttyS0 quiet panic=-1" \
  -serial "file:$work/console.log" -qmp "unix:$(qemu_value "$private/qmp.sock"),server=on,wait=off" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$(qemu_value "$work"),mount_tag=work,security_model=none,multidevs=remap" \
  -device qemu-xhci,id=xhci -chardev "serial,id=board,path=$qemu_pty" -chardev null,id=spare "${qemu_chardevs[@]}" \
  > "$work/qemu.out" 2>&1 &
qemu_pid=$!
pids+=("$qemu_pid")
if ! wait_until 90 test -e "$work/ready"; then
  echo "the guest did not come up; its console:" >&2
  tail -n 30 "$work/console.log" "$work/qemu.out" >&2
  exit 2
fi
row "boot to the guest's shell" "ready" "ready" "$(since "$started")"

# What the guest sees of the host, at the host's paths: a file the host has just put into the
# work folder, the checkout and the tool, and its own /tmp (a tmpfs, whatever the host has there).
t=$(now)
echo "from the host" > "$work/marker"
guest mounts 20 "cat $(word "$work/marker"); test -f $(word "$src/scripts/usb-vm/scenarios.sh") &&
  echo checkout; test -x $(word "$lcdwrite") && echo tool; stat -f -c %T /tmp" > /dev/null
row "guest sees work folder, checkout, tool" "from the host, checkout, tool, tmpfs" \
  "$(paste -s -d , "$work/cmd/mounts.out" | sed 's/,/, /g')" "$(since "$t")"

if [ "$boot_only" = 0 ]; then
  [ "$line_only" = 1 ] || . "$src/scripts/usb-vm/scenarios.sh"
  . "$src/scripts/usb-vm/line.sh"
  total=$(since "$started")
  [ "$line_only" = 1 ] || row "all of it, boot included" "in time" "$(bound "$total" 600)" "$total"
fi
total=$(since "$started")
qmp '{"execute": "quit"}' > /dev/null || true
echo
printf '%-42s | %-36s | %-36s | %6s\n' scenario expected got seconds
printf '%s\n' "${rows[@]}"
echo "total: $total s on $accel_name"
if [ "$failed" != 0 ]; then
  echo "FAILED: a scenario did not do what was expected (logs: --keep keeps $work)"
  exit 1
fi
if [ "$boot_only" = 1 ]; then
  echo "PASSED: the guest boots and sees the host's folders (work folder: $work)"
  exit 0
fi
if [ "$line_only" = 1 ]; then
  echo "PASSED: the workshop line: $line_count converters under the real ftdi_sio, a board each"
  exit 0
fi
echo "PASSED: the real ftdi_sio, sysfs, udev and hot-plug in a $kernel_package guest"
