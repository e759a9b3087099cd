#!/usr/bin/env bash
# Sets up, builds and runs every test. Tests that need D-Bus start their own
# private session bus, so this never touches the user's.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$@"
build="${ONDARA_BUILD_DIR:-$root/build}"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
