#!/bin/busybox sh
# The /init of the guest's initramfs (scripts/test-usb-vm.sh): loads the USB, ftdi_sio and 9p
# modules, mounts the host's / (read-only) with the guest's own /tmp and /run on it, shows the
# folders of the run at their host paths (over those, so a checkout below /tmp stays visible),
# mounts the run's work folder (writable, at its host path), and hands over to the guest's
# command runner inside the host's tree.
#
# The paths come from the file guest.paths in the work folder, one a line (so any character but
# a line break may be in them; the kernel's command line would split them at spaces):
#   line 1      the work folder's host path
#   line 2      the guest's command runner (scripts/usb-vm/guest.sh of the checkout)
#   line 3 on   folders of the host's tree the run reads (the checkout, the build folder)
/bin/busybox --install -s /bin
export PATH=/bin
mkdir -p /proc /sys /dev /host /view /share
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
while read -r module; do
  insmod "/modules/$module.ko" || echo "init: insmod $module failed"
done < /modules/order
echo "init: modules at $(cut -d" " -f1 /proc/uptime) s"
options=trans=virtio,version=9p2000.L,msize=512000
# The host tree does not change during a run: the guest may cache it.
mount -t 9p -o "$options,ro,cache=loose" hostroot /host || { echo "init: no host root"; poweroff -f; }
# The work folder once, to read the paths; a 9p share is mounted at one place at a time.
mount -t 9p -o "$options" work /share || { echo "init: no work folder"; poweroff -f; }
{ IFS= read -r work && IFS= read -r guest; } < /share/guest.paths ||
  { echo "init: no guest.paths in the work folder"; poweroff -f; }
sed -n '3,$p' /share/guest.paths > /folders
umount /share
# The host's tree alone (a bind without what is mounted below it): the source of the folders
# shown again over the guest's own /tmp and /run.
mount -o bind /host /view
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -o bind /dev /host/dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /host/dev/pts
mount -t tmpfs tmpfs /host/dev/shm
mount -t tmpfs tmpfs /host/tmp
mount -t tmpfs tmpfs /host/run
while IFS= read -r folder; do
  [ -n "$folder" ] || continue
  mkdir -p "/host$folder" && mount -o bind "/view$folder" "/host$folder" ||
    { echo "init: cannot show $folder"; poweroff -f; }
done < /folders
mkdir -p "/host$work" && mount -t 9p -o "$options" work "/host$work" ||
  { echo "init: cannot mount the work folder at $work"; poweroff -f; }
echo "init: host tree at $(cut -d" " -f1 /proc/uptime) s"
exec chroot /host /bin/bash "$guest" "$work"
