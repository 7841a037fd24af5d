#!/usr/bin/env bash
# The guest's command runner (scripts/test-usb-vm.sh), in the chroot of the host's tree: starts
# systemd-udevd with the project's udev rule, says it is ready, then runs each command the host
# leaves as WORK/cmd/NAME.sh as soon as it appears (several may run at once): its output in
# NAME.out, its exit status in NAME.rc.
work=$1
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8
# udevadm refuses to work in a chroot unless told.
export SYSTEMD_IGNORE_CHROOT=1
src=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p /run/udev/rules.d
cp "$src/packaging/linux/60-lcdwrite.rules" /run/udev/rules.d/
echo "guest: udevd at $(cut -d" " -f1 /proc/uptime) s"
# At the lowest priority: its workers run the rules of every device event, which under
# software emulation takes long enough to hold up the tools of the boards that were not pulled
# (their echoes wait in the kernel's buffers behind it).
nice -n 19 /lib/systemd/systemd-udevd --daemon
echo "guest: ready at $(cut -d" " -f1 /proc/uptime) s"
echo "$(uname -r)" > "$work/ready"
# The pause between looks without a process of its own: a fork costs much under software
# emulation, and several tools may be writing boards in the guest meanwhile.
mkfifo /run/lcdvm-pause && exec {pause}<> /run/lcdvm-pause
# The commands started are remembered here rather than looked up in the shared folder on every
# round (a look there is a round trip to qemu, which carries the converters' bytes too).
declare -A started=()
shopt -s nullglob
while :; do
  for cmd in "$work"/cmd/*.sh; do
    name=${cmd%.sh}
    [ -z "${started[$name]:-}" ] || continue
    started[$name]=1
    : > "$name.started"
    (
      bash "$cmd" > "$name.out" 2>&1
      echo $? > "$name.rc.tmp"
      mv "$name.rc.tmp" "$name.rc"
    ) &
  done
  read -r -t 0.05 -u "$pause" || true
done
