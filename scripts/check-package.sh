#!/usr/bin/env bash
# Installs a built Ondara package on this machine the way a user would
# (apt-get install ./ondara_*.deb, with members of ondara-smart allowed to read
# drive temperatures), uses it, and purges it again, checking at each step.
# Root only: it changes the machine. CI runs it through scripts/package.sh --check.
#
#   scripts/check-package.sh DEB
set -euo pipefail
deb="$(realpath -- "${1:?usage: check-package.sh DEB}")"
[ "$(id -u)" -eq 0 ] || { echo "check-package.sh: run as root" >&2; exit 2; }
export DEBIAN_FRONTEND=noninteractive

reader=/usr/libexec/ondara/ondara-smart-reader
label=com.quillbank.OndaraHelper
member=ondara-check
passed=0
failed=0
check() {
    local what="$1"
    shift
    if "$@"; then
        echo "ok: $what"
        passed=$((passed + 1))
    else
        echo "FAILED: $what"
        failed=$((failed + 1))
    fi
}

scratch="$(mktemp -d)"
# apt's and dpkg's chatter goes to a log, shown when a step fails.
quietly() {
    "$@" >>"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; return 1; }
}
cleanup() {
    userdel "$member" >/dev/null 2>&1 || true
    rm -rf -- "$scratch"
}
trap cleanup EXIT

# What the administrator answers to the package's question.
echo "ondara ondara/smart-reader boolean true" | debconf-set-selections
check "apt-get installs the package and what it needs" \
    quietly apt-get install -y -qq "$deb"
dpkg-query -L ondara | sort >"$scratch/files"

check "the reader is root:ondara-smart, mode 750" \
    test "$(stat -c '%U:%G %a' "$reader")" = "root:ondara-smart 750"
check "the reader holds its capabilities" \
    test "$(getcap "$reader")" = "$reader cap_dac_read_search,cap_sys_rawio=ep"
# Someone outside the group can't run it; a member can, and opens a disk with
# the reader's rights where root could open it (a disk that takes no ATA
# commands still opens: the answer then goes on to the power mode).
useradd --system --no-create-home --shell /usr/sbin/nologin "$member"
adduser --quiet "$member" ondara-smart
runuser -u nobody -- "$reader" read 0 >/dev/null 2>"$scratch/outsider" || true
check "a user outside ondara-smart may not run the reader" \
    grep -q "failed to execute $reader: Permission denied" "$scratch/outsider"
member_status=0
runuser -u "$member" -- "$reader" read 0 >"$scratch/answer" 2>&1 || member_status=$?
number="$(sed -n 's/^disk //p' "$scratch/answer")"
node="/dev/$(sed -n 's/^DEVNAME=//p' "/sys/dev/block/$number/uevent" 2>/dev/null)"
check "a member may run the reader" test $member_status -eq 0 -o $member_status -eq 3
if [ $member_status -ne 0 ]; then
    echo "skipped: this machine has no disk for a member to read"
elif ! dd if="$node" of=/dev/null count=0 status=none 2>/dev/null; then
    echo "skipped: even root may not open $node here"
else
    check "a member's reader opens $node and asks it" grep -q '^power ' "$scratch/answer"
fi
userdel "$member"

# The installed application on the demo machine in a fresh home: it puts its
# agent in place and starts it, and draws its window from the agent's answers.
home="$scratch/home"
mkdir -p "$home" "$scratch/run"
chmod 0700 "$scratch/run"
run_as_user() {
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_STATE_HOME="$home/.local/state" \
        XDG_RUNTIME_DIR="$scratch/run" ONDARA_SMC=demo ONDARA_SMART=demo ONDARA_SYSTEMCTL=false \
        QT_QPA_PLATFORM=offscreen "$@"
}
run_as_user dbus-run-session -- bash -c '
    set -e
    /usr/bin/Ondara --screenshot "$HOME/temps.png" --tab Temps
    pid="$(head -n 1 "$XDG_RUNTIME_DIR/ondara/'"$label"'.pid" | cut -d " " -f 1)"
    readlink "/proc/$pid/exe" >"$HOME/agent"
    ondara-cli >"$HOME/readings"
    ondara-launchctl unload "$XDG_CONFIG_HOME/ondara/LaunchAgents/'"$label"'.plist"
' >"$scratch/session.log" 2>&1 || { cat "$scratch/session.log"; }
check "the installed application drew its window" \
    test -s "$home/temps.png"
check "the application started the installed agent" \
    test "$(cat "$home/agent" 2>/dev/null)" = /usr/bin/OndaraHelper
check "the installed client reads the agent" grep -q 'CPU: .*°C' "$home/readings"

check "apt-get purges the package" quietly apt-get purge -y -qq ondara
left=()
while read -r path; do
    [ -e "$path" ] || continue
    # Folders shared with other packages stay; only its own must go.
    [ -d "$path" ] && [[ "$path" != *ondara* ]] && continue
    left+=("$path")
done <"$scratch/files"
check "no file of the package is left" test ${#left[@]} -eq 0
[ ${#left[@]} -eq 0 ] || printf '  left: %s\n' "${left[@]}"
check "the group ondara-smart is gone" bash -c '! getent group ondara-smart'
check "no mode override is left" bash -c "! dpkg-statoverride --list $reader"
check "debconf forgot the answer" test -z "$(debconf-show ondara 2>/dev/null)"
check "the user's settings stay in the home" \
    test -f "$home/.config/K4TZ8WQ1RM.group.com.quillbank.Ondara.plist"

echo "package checks: $passed passed, $failed failed"
[ $failed -eq 0 ]
