#!/bin/bash
# Records what an agent stores and answers on the machines the tests know:
# the settings file it writes and the text of every query's reply as
# dbus-send prints it (types included), before and after a round of
# commands. The stored layouts and the wire form must not change, so the
# tests compare today's agent with these recordings.
#
#   scripts/record-agent-fixtures.sh BUILD_DIR OUT_DIR
set -euo pipefail

build=$(realpath "$1")
out=$(realpath -m "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
agent=$build/bin/OndaraHelper
hwmon=$root/tests/platform/smc/data
memory=$root/tests/cli/data/memory.plist
suite=K4TZ8WQ1RM.group.com.quillbank.Ondara.plist
mkdir -p "$out"

ask() { # member [arguments...]
    # The header names serial numbers and bus names, which change every run.
    dbus-send --session --print-reply --reply-timeout=10000 \
        --dest=com.quillbank.OndaraHelper /com/quillbank/OndaraHelper \
        "com.quillbank.OndaraHelperProtocol.$1" "${@:2}" | grep -v "^method return"
}
tell() {
    dbus-send --session --type=method_call --dest=com.quillbank.OndaraHelper \
        /com/quillbank/OndaraHelper "com.quillbank.OndaraHelperProtocol.$1" "${@:2}"
}

# Every query whose answer does not move with time, one block each.
replies() {
    for member in appVersion tempSensors fanSensors memSensors machineSensorList \
        activeTempSensors activeFanSensors activeMemSensors visibleSections sensorUnits \
        memoryUsage; do
        echo "== $member"
        ask "$member"
    done
}

# record NAME [agent options...]: the fresh start, then the commands.
record() {
    local name=$1
    shift
    local home
    home=$(mktemp -d)
    if [ -f "$out/$name.input.plist" ]; then
        cp "$out/$name.input.plist" "$home/$suite"
    fi
    XDG_CONFIG_HOME=$home XDG_STATE_HOME=$home QT_FORCE_STDERR_LOGGING=1 "$agent" "$@" \
        2>"$home/log" &
    local pid=$!
    for _ in $(seq 100); do
        grep -q 'serving com.quillbank' "$home/log" && break
        sleep 0.1
    done
    replies >"$out/$name.replies.txt"
    cp "$home/$suite" "$out/$name.plist"
    # The terminal client's full listing: every candidate with what stands behind it.
    case $name in hwmon-*)
        "$build/bin/ondara-cli" --all >"$out/$name.all.txt"
        "$build/bin/ondara-cli" --json --all >"$out/$name.all.json"
        ;;
    esac
    local codes
    codes=$(ask machineSensorList | grep -o 'int64 [0-9]*' | awk '{print $2}' | sort -u |
        paste -sd, -)
    if [ -n "$codes" ]; then
        echo "== temperatureForSensors" >>"$out/$name.replies.txt"
        ask temperatureForSensors "array:uint32:$codes" >>"$out/$name.replies.txt"
    fi
    echo "== rpmForFans" >>"$out/$name.replies.txt"
    ask rpmForFans array:int32:0,1,2,3,4,-1,10 >>"$out/$name.replies.txt"
    tell changeStateForSensor string:CPU string:Temps boolean:false
    tell changeStateForSensor string:LOGIC string:Temps boolean:true
    tell changeStateForSensor string:0 string:Fans boolean:false
    tell changeStateForSensor string:Total string:Mem boolean:true
    tell changeStateForSensor string:Wired string:Nothing boolean:true
    tell changeTempUnitToCelsius boolean:false
    tell changeFanUnitToRPM boolean:false
    tell changeVisibilityForSection string:Fans boolean:false
    tell changeVisibilityForSection string:Other boolean:false
    local last=${codes##*,}
    tell changeSensorWithNewSensor "uint32:${last:-0}" string:HDD
    tell changeSensorWithNewSensor uint32:1 string:NOSUCH
    replies >"$out/$name.changed.replies.txt"
    cp "$home/$suite" "$out/$name.changed.plist"
    kill "$pid"
    wait "$pid" || true
    rm -rf "$home"
}

export -f ask tell replies
# Machines whose readings stand still, so every answer can be compared.
profile=$root/tests/agent/data/service-machine.plist
record service-machine --smc "profile:$profile" --smart "profile:$profile" --memory "profile:$memory"
for machine in hwmon-intel-desktop hwmon-amd-laptop hwmon-server; do
    record "$machine" --smc "hwmon:$hwmon/$machine/class/hwmon" --smart none \
        --memory "profile:$memory"
done
# A stored selection with an entry of every shape that is not the layout's.
if [ -f "$out/damaged.input.plist" ]; then
    record damaged --smc "profile:$profile" --smart "profile:$profile" --memory "profile:$memory"
fi
