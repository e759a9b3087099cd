#!/usr/bin/env bash
# Sets up, builds and runs Ondara: starts the agent (on the built-in demo
# machine when this computer has neither an SMC nor hwmon temperatures) and
# shows the live readings, in the application when it is built, else in the
# terminal client.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ONDARA_BUILD_DIR:-$root/build}"
bin="$build/bin"

if [ -z "${ONDARA_RUN_INNER:-}" ]; then
    "$root/scripts/install-deps.sh"
    "$root/scripts/build.sh"
    # Without a desktop session there is no session bus: bring a private one.
    if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
        exec env ONDARA_RUN_INNER=1 dbus-run-session -- "$0" "$@"
    fi
fi

agent_pid=""
cleanup() { [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null || true; }
trap cleanup EXIT
# The agent's log would interleave with the readings: keep it in a file.
log="$build/ondara-agent.log"
echo "Agent log: $log"

start_agent() {
    "$bin/OndaraHelper" --smc "$1" --smart "$2" --memory proc >"$log" 2>&1 &
    agent_pid=$!
    # Let the agent take its bus name before a client asks for it (if it stops
    # at once, another agent already serves the name and the client uses that one).
    for _ in $(seq 100); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:com.quillbank.OndaraHelper 2>/dev/null |
            grep -q "boolean true" && break
        kill -0 "$agent_pid" 2>/dev/null || break
        sleep 0.1
    done
}

# The machine's own sensors (applesmc, else hwmon chips) when the agent finds
# any; it says so at start when there are none.
start_agent auto auto
if grep -q "there is no SMC to read" "$log"; then
    kill "$agent_pid" 2>/dev/null || true
    wait "$agent_pid" 2>/dev/null || true
    echo "No SMC and no hwmon temperature on this machine: the agent runs on the built-in demo machine."
    # The demo machine's selection must never become the user's real one.
    export XDG_CONFIG_HOME="$build/demo-config"
    start_agent demo demo
fi

if [ -x "$bin/Ondara" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$bin/Ondara" "$@"
else
    "$bin/ondara-cli" --watch 2 "$@"
fi
