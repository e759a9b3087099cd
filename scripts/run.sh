#!/usr/bin/env bash
# Sets up, builds and runs Ondara as a user meets it: installs the programs
# into a prefix under the build folder and starts the installed application,
# which puts its agent in place and starts it (on the built-in demo machine
# when this computer has neither an SMC nor hwmon temperatures). Without a
# display the application draws its window into a picture once, and the
# terminal client shows the readings.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ONDARA_BUILD_DIR:-$root/build}"
prefix="$build/prefix"

if [ -z "${ONDARA_RUN_INNER:-}" ]; then
    "$root/scripts/install-deps.sh"
    "$root/scripts/build.sh"
    cmake --install "$build" --prefix "$prefix" >/dev/null
    echo "Installed into $prefix"
    # Without a desktop session there is no session bus: bring a private one.
    if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
        exec env ONDARA_RUN_INNER=1 dbus-run-session -- "$0" "$@"
    fi
fi

# Which sensors the agent finds here: it says so as it starts, before it
# serves anyone.
probe="$build/ondara-probe.log"
"$prefix/bin/OndaraHelper" --smc auto --smart none --memory proc >"$probe" 2>&1 &
probe_pid=$!
for _ in $(seq 100); do
    grep -q "Drive:" "$probe" && break
    kill -0 "$probe_pid" 2>/dev/null || break
    sleep 0.1
done
kill "$probe_pid" 2>/dev/null || true
wait "$probe_pid" 2>/dev/null || true
if grep -q "there is no SMC to read" "$probe"; then
    echo "No SMC and no hwmon temperature on this machine: the agent runs on the built-in demo machine."
    export ONDARA_SMC=demo ONDARA_SMART=demo
    # The demo machine's selection must never become the user's real one, and
    # its agent stays out of the user's service manager.
    export XDG_CONFIG_HOME="$build/demo-config"
    export ONDARA_SYSTEMCTL=false
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$prefix/bin/Ondara" "$@"
fi
picture="$build/ondara-window.png"
QT_QPA_PLATFORM=offscreen "$prefix/bin/Ondara" --screenshot "$picture"
echo "No display: the window is drawn in $picture"
"$prefix/bin/ondara-cli" --watch 2
