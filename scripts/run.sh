#!/usr/bin/env bash
# Sets up, builds and installs Ondara for this user under ~/.local (no root;
# ONDARA_PREFIX chooses another prefix), then starts the application, which
# installs and starts its agent. A machine without SMC or hwmon sensors runs
# the built-in demo machine, and is told so. Without a display, the
# application's three panels and the widget's three tabs are drawn into PNG
# files in a folder named at the end, the readings are printed with
# ondara-cli, and it exits.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ONDARA_BUILD_DIR:-$root/build}"
# The install and the settings live in the home folder; without one they would
# land under the root.
[ -n "${HOME:-}" ] && [ -d "$HOME" ] || { echo "run.sh: HOME does not name a folder" >&2; exit 2; }
prefix="$(realpath -m -- "${ONDARA_PREFIX:-$HOME/.local}")"
bin="$prefix/bin"

if [ -z "${ONDARA_RUN_INNER:-}" ]; then
    "$root/scripts/install-deps.sh"
    "$root/scripts/build.sh"
    cmake --install "$build" --prefix "$prefix" >/dev/null
    echo "Installed into $prefix"
    # ondara:// links find the application through this index.
    if [ -d "$prefix/share/applications" ] && command -v update-desktop-database >/dev/null; then
        update-desktop-database -q "$prefix/share/applications" || true
    fi
    # Without a desktop session there is no session bus: bring a private one.
    if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
        exec env ONDARA_RUN_INNER=1 dbus-run-session -- "$0" "$@"
    fi
fi

# ondara-launchctl keeps a detached agent's pid file only in XDG_RUNTIME_DIR,
# never in a guessable folder of /tmp; a session without one (a container, a
# plain su) gets a fresh private folder for this run.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d)"
    export XDG_RUNTIME_DIR
fi

# Whether the agent finds sensors of its own here (the applesmc driver, or
# hwmon chips it knows): asked of a throwaway agent on a bus and with settings
# of its own, so nothing of the user's is touched.
has_sensors() {
    local scratch status=0
    scratch="$(mktemp -d)"
    XDG_CONFIG_HOME="$scratch" XDG_STATE_HOME="$scratch" ONDARA_SMC=auto ONDARA_SMART=none \
        dbus-run-session -- bash -c '
        "$1/OndaraHelper" >/dev/null 2>&1 &
        agent=$!
        trap "kill $agent 2>/dev/null" EXIT
        for _ in $(seq 100); do
            "$1/ondara-cli" >/dev/null 2>&1 && exit 0
            kill -0 "$agent" 2>/dev/null || exit 1
            sleep 0.1
        done
        exit 1' probe "$bin" || status=$?
    rm -rf -- "$scratch"
    return $status
}

if has_sensors; then
    echo "Reading this machine's own sensors."
else
    echo "No SMC or hwmon sensors on this machine: asking for the built-in demo machine."
    # The application hands these to the agent it starts.
    export ONDARA_SMC=demo ONDARA_SMART=demo
    # The demo machine's selection and history must never become the user's
    # real ones, and its agent stays out of the user's service manager.
    export XDG_CONFIG_HOME="$build/demo-config" XDG_STATE_HOME="$build/demo-state" \
        ONDARA_SYSTEMCTL=false
fi

if [ -x "$bin/Ondara" ]; then
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        exec "$bin/Ondara" "$@"
    fi
    pictures="$build/first-run"
    mkdir -p "$pictures"
    for tab in Temps Fans Mem; do
        QT_QPA_PLATFORM=offscreen "$bin/Ondara" --screenshot "$pictures/ondara-${tab,,}.png" --tab "$tab"
    done
    if [ -x "$bin/OndaraWidget" ]; then
        for tab in Temps Fans Mem; do
            QT_QPA_PLATFORM=offscreen "$bin/OndaraWidget" \
                --screenshot "$pictures/widget-${tab,,}.png" --tab "${tab}Tab"
        done
    fi
    echo "No display: the pictures of the windows are in $pictures"
    "$bin/ondara-cli"
    exit 0
fi

# Built without the graphical programs: the agent and the terminal client.
agent_pid=""
cleanup() { [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null || true; }
trap cleanup EXIT
# The agent's log would interleave with the readings: keep it in a file.
log="$build/ondara-agent.log"
echo "Agent log: $log"
"$bin/OndaraHelper" >"$log" 2>&1 &
agent_pid=$!
# Let the agent take its bus name before a client asks for it (if it stops at
# once, another agent already serves the name and the client uses that one).
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:com.quillbank.OndaraHelper 2>/dev/null |
        grep -q "boolean true" && break
    kill -0 "$agent_pid" 2>/dev/null || break
    sleep 0.1
done
"$bin/ondara-cli" --watch 2 "$@"
