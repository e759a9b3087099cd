#!/usr/bin/env bash
# Configures and builds into build/ (or $ONDARA_BUILD_DIR). Extra arguments go
# to CMake, e.g. scripts/build.sh -DONDARA_SANITIZE=ON
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ONDARA_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
