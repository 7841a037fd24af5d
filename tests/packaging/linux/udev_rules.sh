#!/usr/bin/env bash
# Checks packaging/linux/60-lcdwrite.rules with udev's own parser: `udevadm test` reads every
# rules file and names each line it cannot parse. (Debian 12's udev has no `udevadm verify`.)
# The rule is put alone into /etc/udev/rules.d of a private mount namespace, so the machine's
# own rules directory is never touched; that needs root. A copy with a broken line must be
# reported, which shows the check would see a mistake.
#
# Usage: udev_rules.sh RULES_FILE. Exit 0 good, 1 a line was refused, 77 cannot check here.
set -uo pipefail
rules=${1:?usage: udev_rules.sh RULES_FILE}
skip() { echo "SKIP: $*"; exit 77; }

command -v udevadm >/dev/null || skip "no udevadm (package udev)"
[ "$(id -u)" = 0 ] || skip "a private mount namespace needs root"
device=$(ls -d /sys/class/tty/* 2>/dev/null | head -1)
[ -n "$device" ] || skip "no device in /sys/class/tty to run the rules for"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=$(basename "$rules")

# Prints what udev says about the rules files in directory $1 (its parse messages).
parse() {
  unshare -m sh -c 'mount --bind "$1" /etc/udev/rules.d && udevadm test --action=add "$2" 2>&1' \
    sh "$1" "$device"
}

mkdir "$work/good" "$work/broken"
cp "$rules" "$work/good/$name"
{ cat "$rules"; echo 'ACTION=="add", ATTRZ{latency_timer}="1"'; } > "$work/broken/$name"

broken=$(parse "$work/broken") || skip "udevadm test cannot run here"
grep -q "Reading rules file: /etc/udev/rules.d/$name" <<<"$broken" ||
  skip "udevadm test did not read the rules directory"
if ! grep -q "/etc/udev/rules.d/$name:[0-9]" <<<"$broken"; then
  echo "FAIL: a broken line went unreported; the check sees nothing"
  exit 1
fi

good=$(parse "$work/good")
grep -q "Reading rules file: /etc/udev/rules.d/$name" <<<"$good" || {
  echo "FAIL: udev did not read $name"
  exit 1
}
if grep "/etc/udev/rules.d/$name:[0-9]" <<<"$good"; then
  echo "FAIL: udev refused the lines above"
  exit 1
fi
# Every rule line that sets something must have been taken as a rule (udev skips a line it
# cannot split into key/value pairs with a message, checked above).
lines=$(grep -cv '^\s*\(#\|$\)' "$rules")
[ "$lines" -ge 2 ] || { echo "FAIL: expected the latency and the ModemManager rule"; exit 1; }
echo "OK: udev $(udevadm --version) parses $name ($lines rules)"
