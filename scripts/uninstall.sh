#!/usr/bin/env bash
# Removes Ondara from this user's account: stops the agent and removes its
# unit or pid file and its property list, then the programs, menu entries,
# icons, manual pages and AppStream data installed under the prefix. The
# settings (and the widget's place on screen) and the agent's history stay,
# so a reinstall shows the same choices, unless --purge.
#
#   scripts/uninstall.sh [--prefix PREFIX] [--purge]
#
# PREFIX is where Ondara was installed (default ~/.local, as scripts/run.sh
# installs it).
set -euo pipefail

usage() { sed -n '2,11s/^# \{0,1\}//p' "$0"; }

# Every default below lives in the home folder; without one they would name
# folders under the root.
[ -n "${HOME:-}" ] && [ -d "$HOME" ] || { echo "uninstall.sh: HOME does not name a folder" >&2; exit 2; }

prefix="$HOME/.local"
purge=0
while [ $# -gt 0 ]; do
    case "$1" in
    --prefix) [ $# -ge 2 ] || { echo "uninstall.sh: --prefix needs a folder" >&2; exit 2; }
              prefix="$2"; shift 2 ;;
    --prefix=*) prefix="${1#--prefix=}"; shift ;;
    --purge) purge=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "uninstall.sh: unknown argument \"$1\"" >&2; usage >&2; exit 2 ;;
    esac
done
[ -n "$prefix" ] || { echo "uninstall.sh: empty prefix" >&2; exit 2; }
prefix="$(realpath -m -- "$prefix")"

config="${XDG_CONFIG_HOME:-$HOME/.config}"
label=com.quillbank.OndaraHelper
launch_agents="$config/ondara/LaunchAgents"
plist="$launch_agents/$label.plist"
unit="$config/systemd/user/$label.service"
agent="$prefix/bin/OndaraHelper"

# The launch tool stops the agent the way it started it (unit or pid file).
if [ -x "$prefix/bin/ondara-launchctl" ] && [ -f "$plist" ]; then
    "$prefix/bin/ondara-launchctl" unload "$plist" >/dev/null 2>&1 || true
fi

# What the tool may have left behind, or everything when it is gone already.
if [ -f "$unit" ]; then
    systemctl="${ONDARA_SYSTEMCTL:-systemctl}"
    if "$systemctl" --user show-environment >/dev/null 2>&1; then
        "$systemctl" --user disable --now "$label.service" >/dev/null 2>&1 || true
        rm -f -- "$unit" "$config"/systemd/user/*.wants/"$label.service"
        "$systemctl" --user daemon-reload >/dev/null 2>&1 || true
    else
        rm -f -- "$unit" "$config"/systemd/user/*.wants/"$label.service"
    fi
fi
# The detached agent's pid file, log and lock. ondara-launchctl keeps them only
# in XDG_RUNTIME_DIR (never in a folder of /tmp another user could have made).
if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    runtime="$XDG_RUNTIME_DIR"
    rm -f -- "$runtime/ondara/$label.pid" "$runtime/ondara/$label.log" \
        "$runtime/ondara/$label.lock"
    rmdir -- "$runtime/ondara" 2>/dev/null || true
fi

# Any agent of ours still running (started by hand, or by a tool that is
# gone): only this user's processes whose program is the installed agent, so
# a pid that now belongs to something else is never touched.
ours=()
for proc in /proc/[0-9]*; do
    [ -O "$proc" ] || continue
    exe="$(readlink -- "$proc/exe" 2>/dev/null)" || continue
    if [ "$exe" = "$agent" ] || [ "$exe" = "$agent (deleted)" ]; then
        ours+=("${proc#/proc/}")
    fi
done
if [ ${#ours[@]} -gt 0 ]; then
    kill -TERM "${ours[@]}" 2>/dev/null || true
    for _ in $(seq 50); do
        alive=0
        for pid in "${ours[@]}"; do [ -d "/proc/$pid" ] && alive=1; done
        [ $alive -eq 0 ] && break
        sleep 0.1
    done
    for pid in "${ours[@]}"; do [ -d "/proc/$pid" ] && kill -KILL "$pid" 2>/dev/null; done
fi

rm -f -- "$plist" "$launch_agents/com.quillbank.MirevoHelper.plist"
rm -f -- "$config/autostart/com.quillbank.OndaraWidget.desktop"

installed=(
    bin/Ondara bin/OndaraWidget bin/OndaraHelper bin/ondara-launchctl bin/ondara-cli
    share/applications/com.quillbank.Ondara.desktop
    share/applications/com.quillbank.OndaraWidget.desktop
    share/metainfo/com.quillbank.Ondara.metainfo.xml
    share/man/man1/ondara-cli.1 share/man/man1/OndaraHelper.1 share/man/man1/ondara-launchctl.1
    share/man/man1/Ondara.1 share/man/man1/OndaraWidget.1 share/man/man8/ondara-smart-reader.8
    libexec/ondara/ondara-smart-reader libexec/ondara/ondara-cli-full
)
for file in "${installed[@]}"; do
    rm -f -- "$prefix/$file"
done
rmdir -- "$prefix/libexec/ondara" 2>/dev/null || true
rm -rf -- "$prefix/share/ondara"
for icon in "$prefix"/share/icons/hicolor/*/apps/com.quillbank.Ondara.*; do
    [ -e "$icon" ] && rm -f -- "$icon"
done

# Folders stay even when empty: they are shared with other programs.
# The scheme handler index covers only the entries of its own folder.
apps="$prefix/share/applications"
if compgen -G "$apps/*.desktop" >/dev/null; then
    if command -v update-desktop-database >/dev/null; then
        update-desktop-database -q "$apps" || true
    fi
else
    rm -f -- "$apps/mimeinfo.cache"
fi

if [ $purge -eq 1 ]; then
    rm -f -- "$config/K4TZ8WQ1RM.group.com.quillbank.Ondara.plist"{,.lock} \
        "$config/K4TZ8WQ1RM.group.com.quillbank.Ondara.plist".{corrupt,tmp}-*
    rm -rf -- "$config/ondara" "${XDG_STATE_HOME:-$HOME/.local/state}/ondara"
else
    rmdir -- "$launch_agents" "$config/ondara" 2>/dev/null || true
fi
echo "Ondara removed from $prefix$([ $purge -eq 1 ] && echo ", settings and history included" || echo "; settings kept in $config")."
