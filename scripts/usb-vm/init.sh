#!/bin/busybox sh
# The /init of the guest's initramfs (scripts/test-usb-vm.sh): loads the USB, ftdi_sio and 9p
# modules, mounts the host's / (read-only) and the run's work folder (writable, at the same
# path as on the host), and hands over to the guest's command runner inside the host's tree.
# The kernel passes lcdvm_work and lcdvm_guest from its command line in the environment.
/bin/busybox --install -s /bin
export PATH=/bin
mkdir -p /proc /sys /dev /host
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
mount -t 9p -o "$options" work "/host$lcdvm_work" || { echo "init: no work folder"; poweroff -f; }
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -o bind /dev /host/dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /host/dev/pts
mount -t tmpfs tmpfs /host/dev/shm
mount -t tmpfs tmpfs /host/tmp
mount -t tmpfs tmpfs /host/run
echo "init: host tree at $(cut -d" " -f1 /proc/uptime) s"
exec chroot /host /bin/bash "$lcdvm_guest" "$lcdvm_work"
