#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan and UBSan and runs each
# for a given time, at the lowest priority, on its seed corpus.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Defaults: 300 seconds, every target. A target stops early after 10 million
# executions. New inputs collect in $ONDARA_FUZZ_DIR/<target> (default
# build-fuzz/corpus); crashes are written to build-fuzz/crashes/<target>/ and
# belong, once fixed, in tests/fuzz/corpus/<target>/ so every test run replays
# them. The summary lists the executions of each target.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"
shift || true
build=build-fuzz
all=(propertylist profile settings smart applesmc meminfo dbusreply)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
work="${ONDARA_FUZZ_DIR:-$build/corpus}"

# Two runs started together (one per core) would configure or build the same
# tree at once; the second waits for the first.
mkdir -p "$build"
(
    flock 9
    if [ ! -f "$build/CMakeCache.txt" ]; then
        CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DONDARA_FUZZ=ON -DONDARA_BUILD_UI=OFF
    fi
    cmake --build "$build" --target "${targets[@]/#/fuzz_}"
) 9>"$build/.build-lock"

summary=()
for target in "${targets[@]}"; do
    mkdir -p "$work/$target" "$build/crashes/$target"
    log="$build/fuzz-$target.log"
    status=0
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
        nice -n 19 "$build/bin/fuzz_$target" -max_total_time="$seconds" -runs=10000000 \
        -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$target/" \
        "$work/$target" "tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    summary+=("$target: ${runs:-?} executions, exit status $status (log $log)")
done
printf '%s\n' "${summary[@]}"
