#!/usr/bin/env bash
# Installs what building and testing Ondara needs on Debian 12. Safe to run
# again; it does nothing when everything is already there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    # the translations: lupdate and lrelease, and Qt's CMake functions for them
    qt6-l10n-tools qt6-tools-dev
    libplist-dev libsqlite3-dev
    dbus-daemon dbus-bin
    # systemd-analyze checks the user units ondara-launchctl writes
    systemd
    fonts-dejavu-core
    libbenchmark-dev
    procps
    # icons, validators of the desktop files, manual pages
    librsvg2-bin desktop-file-utils appstream groff-base
    # the test on a real X display and its window captures
    xvfb x11-utils imagemagick
    # the metrics test parses with the Prometheus client library
    python3-prometheus-client
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
