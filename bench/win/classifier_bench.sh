#!/usr/bin/env bash
# What each user action that talks to POPFile costs the host under Wine:
# classifier_bench.exe once per case (answers, never, trickle, flood), each
# in a process of its own beside a fresh POPFile stand-in. Not a test.
#
#   bash bench/win/classifier_bench.sh [DLL]
#
# With DLL (another build of sortella.dll, e.g. of an earlier commit) that
# one is measured, and only its first action (the menu set-up), since it
# may not return from it. Each process is given SORTELLA_BENCH_LIMIT
# seconds (default 240; a Wine start under emulation takes a minute or
# more); one that does not end by then is reported as such and stopped.
# Needs the Windows tree built (build/win, target classifier_bench) and the
# native POPFile stand-in (build/native); starts its own Xvfb and Wine
# session.
set -u
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$repo"
dll=${1:-}
limit=${SORTELLA_BENCH_LIMIT:-240}
bench_dir=build/win/bench/win/classifier
mode=()
if [ -n "$dll" ]; then
    bench_dir=$(mktemp -d /tmp/sortella-classifier-bench.XXXXXX)
    cp build/win/bench/win/classifier/classifier_bench.exe "$bench_dir/"
    cp "$dll" "$bench_dir/sortella.dll"
    mode=(menu)
fi

source scripts/xvfb-session.sh
start_wine_session build/win/wine-keepalive.exe && wait_wine_session
echo "wine: $( [ "$wine_emulated" = 1 ] && echo emulated || echo native ), dll: ${dll:-build/win}"
for case in answers never trickle flood; do
    started=$(date +%s)
    timeout "$limit" bash tests/win/with_popfile_standin.sh build/native/standins/popfile/popfile-standin \
        build/win/popfile-standin-native tests/win/popfile_buckets.txt \
        "$bench_dir/classifier_bench.exe" "$case" "${mode[@]}"
    status=$?
    [ "$status" = 124 ] && echo "$case: the process did not end within $limit s (stopped)"
    echo "$case: process took $(( $(date +%s) - started )) s, status $status"
done
