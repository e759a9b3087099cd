#!/bin/sh
# Runs a command in a private mount namespace whose /sys/class/hwmon and
# /sys/devices are a copy of a recorded hwmon tree (default: the Intel desktop
# of the tests), so the agent and other monitors read the same chips side by
# side. Needs root (unshare -m); nothing outside the namespace changes.
#
#   bench/fake-hwmon-namespace.sh [-t TREE] COMMAND [ARGUMENTS…]
#   bench/fake-hwmon-namespace.sh sh -c 'ONDARA_BENCH_SMC=hwmon build/bin/bench_widget 60'
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tree="$here/../tests/platform/smc/data/hwmon-intel-desktop"
if [ "${1:-}" = "-t" ]; then
    tree=$2
    shift 2
fi
[ $# -gt 0 ] || { echo "usage: $0 [-t TREE] COMMAND [ARGUMENTS…]" >&2; exit 2; }
tree=$(cd "$tree" && pwd)

if [ "${ONDARA_FAKE_HWMON_INSIDE:-}" != 1 ]; then
    ONDARA_FAKE_HWMON_INSIDE=1 exec unshare -m "$0" -t "$tree" "$@"
fi

mount --make-rprivate /
# /sys itself stays sysfs: some readers check its file-system type.
mount -t tmpfs ondara-fake-devices /sys/devices
mount -t tmpfs ondara-fake-class /sys/class
mkdir -p /sys/class/hwmon /sys/class/nvme
cp -a "$tree/devices/." /sys/devices/
cp -a "$tree/class/hwmon/." /sys/class/hwmon/
# Readers tell a chip's bus by its device's subsystem link.
for chip in /sys/class/hwmon/*; do
    device=$(readlink -f "$chip/device")
    case "$device" in
    */virtual/*) ;;
    */platform/*) ln -sfn /sys/bus/platform "$device/subsystem" ;;
    */i2c-*) ln -sfn /sys/bus/i2c "$device/subsystem" ;;
    */nvme/*) ln -sfn /sys/class/nvme "$device/subsystem" ;;
    esac
done
unset ONDARA_FAKE_HWMON_INSIDE
exec "$@"
