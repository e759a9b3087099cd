#!/usr/bin/env bash
# Kills the agent at random points while a client changes the selection, and
# checks after every kill that the settings file parses and holds the
# selection as it was after some whole number of changes.
#   scripts/kill-while-persisting.sh [KILLS]   (default 1000; the test run does 50)
# Uses the build in $ONDARA_BUILD_DIR (default: build), building the test first.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${ONDARA_BUILD_DIR:-build}"
kills="${1:-1000}"
cmake --build "$build" --target tst_agentrobustness OndaraHelper
ONDARA_KILLS="$kills" QT_LOGGING_RULES='*.debug=false' \
    dbus-run-session -- "$build/bin/tst_agentrobustness" killsWhilePersisting
