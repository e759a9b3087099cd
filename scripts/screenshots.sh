#!/usr/bin/env bash
# Draws the README's pictures again: the application's three panels and the
# widget's three tabs, light and dark, on the built-in demo machine, with the
# programs' own --screenshot. Runs on a private bus with scratch settings, so
# nothing of the user's is touched.
#
#   scripts/screenshots.sh [FOLDER]     (default: docs/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ONDARA_BUILD_DIR:-$root/build}"
out="$(realpath -m -- "${1:-$root/docs}")"

if [ -z "${ONDARA_SCREENSHOTS_INNER:-}" ]; then
    "$root/scripts/install-deps.sh"
    "$root/scripts/build.sh"
    exec env ONDARA_SCREENSHOTS_INNER=1 dbus-run-session -- "$0" "$@"
fi

bin="$build/bin"
[ -x "$bin/Ondara" ] || { echo "screenshots.sh: the application is not built" >&2; exit 1; }

# Scratch settings, and the demo machine's agent on this private bus; the
# programs run where they were built, so they use it and install nothing.
scratch="$(mktemp -d)"
agent_pid=""
cleanup() {
    [ -z "$agent_pid" ] || kill "$agent_pid" 2>/dev/null || true
    rm -rf -- "$scratch"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state"
# What the application stores once it has set the agent up; the widget shows
# only its set-up message before that.
mkdir -p "$XDG_CONFIG_HOME"
cat >"$XDG_CONFIG_HOME/K4TZ8WQ1RM.group.com.quillbank.Ondara.plist" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>helperInstalled</key><true/></dict></plist>
EOF
"$bin/OndaraHelper" --smc demo --smart demo --memory "profile:$root/agent/profiles/demo.plist" \
    >"$scratch/agent.log" 2>&1 &
agent_pid=$!
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:com.quillbank.OndaraHelper 2>/dev/null |
        grep -q "boolean true" && break
    kill -0 "$agent_pid" 2>/dev/null || { cat "$scratch/agent.log" >&2; exit 1; }
    sleep 0.1
done
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

mkdir -p "$out"
for scheme in light dark; do
    dark=()
    [ "$scheme" = dark ] && dark=(--dark)
    for tab in Temps Fans Mem; do
        "$bin/Ondara" --screenshot "$out/ondara-${tab,,}-$scheme.png" --tab "$tab" "${dark[@]}"
    done
    for tab in Temps Fans Mem; do
        [ -x "$bin/OndaraWidget" ] || break
        "$bin/OndaraWidget" --screenshot "$out/widget-${tab,,}-$scheme.png" --tab "${tab}Tab" "${dark[@]}"
    done
done
echo "Pictures written to $out"
