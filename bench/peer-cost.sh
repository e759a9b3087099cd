#!/bin/sh
# CPU time and resident memory of a peer monitor over a run, as bench_widget
# counts them for OndaraWidget (the sum of its threads' schedstat). Run it
# inside bench/fake-hwmon-namespace.sh so it reads the same chips:
#
#   bench/fake-hwmon-namespace.sh bench/peer-cost.sh [SECONDS]
#
# conky (the console build, apt-get install conky-cli) is optional: it is
# only compared against, never needed by the build or the tests.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-60}
command -v conky >/dev/null || { echo "conky: not installed"; exit 0; }

cpu() {
    total=0
    for stat in /proc/"$1"/task/*/schedstat; do
        total=$((total + $(cut -d' ' -f1 "$stat")))
    done
    echo "$total"
}

conky -q -c "$here/peer-conky.conf" >/dev/null 2>&1 &
pid=$!
sleep 5
before=$(cpu "$pid")
sleep "$seconds"
after=$(cpu "$pid")
rss=$(awk '/^VmRSS/ { print $2 }' /proc/"$pid"/status)
kill "$pid"
awk -v ns=$((after - before)) -v s="$seconds" -v rss="$rss" 'BEGIN {
    printf "conky          CPU %.4f s over %d s = %.2f ms a refresh (every 4 s); resident %.1f MB\n",
        ns / 1e9, s, ns / 1e6 / (s / 4), rss / 1024 }'
