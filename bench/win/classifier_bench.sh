#!/usr/bin/env bash
# What each user action that talks to POPFile costs the host under Wine:
# classifier_bench.exe beside a fresh POPFile stand-in, the cases answers,
# flood, trickle, never, headers, chunks and flood256 in one process, then
# (with DLL) another build of sortella.dll, e.g. of an earlier commit, for
# its menu set-up alone in the cases flood, never60 and trickle, or for the
# arguments that SORTELLA_BENCH_BEFORE_CASES gives. Not a test.
#
#   bash bench/win/classifier_bench.sh [DLL]
#
# Each process is given SORTELLA_BENCH_LIMIT seconds (default 900; the
# earlier build SORTELLA_BENCH_BEFORE_LIMIT, default 480, as its trickle
# case would take the better part of an hour; under
# emulation a Wine start takes a minute or more); one that does not end by
# then is reported as such and stopped. Needs the Windows tree built
# (build/win, target classifier_bench) and the native POPFile stand-in
# (build/native); starts its own Xvfb and Wine session.
set -u
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$repo"
dll=${1:-}
limit=${SORTELLA_BENCH_LIMIT:-900}

source scripts/xvfb-session.sh
start_wine_session build/win/wine-keepalive.exe && wait_wine_session
echo "wine: $( [ "$wine_emulated" = 1 ] && echo emulated || echo native )"

# Runs the bench program in directory $1 with the arguments that follow.
run_bench() {
    local dir=$1 started status
    shift
    started=$(date +%s)
    timeout "$limit" bash tests/win/with_popfile_standin.sh build/native/standins/popfile/popfile-standin \
        build/win/popfile-standin-native tests/win/popfile_buckets.txt "$dir/classifier_bench.exe" "$@"
    status=$?
    [ "$status" = 124 ] && echo "the process did not end within $limit s (stopped)"
    echo "process took $(( $(date +%s) - started )) s, status $status"
}

echo "== sortella.dll of build/win"
run_bench build/win/bench/win/classifier answers flood trickle never headers chunks flood256
if [ -n "$dll" ]; then
    echo "== $dll"
    other=$(mktemp -d /tmp/sortella-classifier-bench.XXXXXX)
    cp build/win/bench/win/classifier/classifier_bench.exe "$other/"
    cp "$dll" "$other/sortella.dll"
    # shellcheck disable=SC2086
    limit=${SORTELLA_BENCH_BEFORE_LIMIT:-480} run_bench "$other" ${SORTELLA_BENCH_BEFORE_CASES:---menu-only flood never60 trickle}
fi
