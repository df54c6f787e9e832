#!/bin/sh
# Builds the libFuzzer targets with clang (ASan, UBSan) in build/fuzz and
# runs each one over its seed corpus for a while.
#
#   scripts/fuzz.sh [seconds per target] [target ...]
#
# Targets: read_header_line read_unfolded_header read_message_headers
# decode_encoded_words rewrite_header page_scanners summary_text
# http_answer (all by
# default); 10 seconds each by default. Every input must finish within 2
# seconds: a step that is not linear in the input's length shows up as a
# time-out on the large seeds of the page and summary targets. New inputs
# go to build/fuzz/fuzz/scratch_corpus/<target>, crashes to
# build/fuzz/artifacts/<target>/. Keep a crash as a regression: copy it to
# fuzz/corpus/<target>/ (the test command replays it) and add a named test
# of the case to tests/core/.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-10}
[ $# -gt 0 ] && shift
targets=${*:-read_header_line read_unfolded_header read_message_headers decode_encoded_words rewrite_header page_scanners summary_text http_answer}
build=build/fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" >/dev/null
for target in $targets; do
    cmake --build "$build" -j2 --target "${target}_fuzz" >/dev/null
done

# Message files of the rewrite target are written, synced and renamed on
# every run: a memory file system keeps that fast.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

status=0
for target in $targets; do
    scratch="$build/fuzz/scratch_corpus/$target"
    artifacts="$build/artifacts/$target"
    mkdir -p "$scratch" "$artifacts"
    # Page and header texts of a few hundred KB arrive from senders and web
    # pages; the file readers stop at the header block's end.
    case $target in
        page_scanners | summary_text | http_answer) max_len=262144 ;;
        *) max_len=16384 ;;
    esac
    echo "== $target: ${seconds}s"
    if ! "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -timeout=2 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$scratch" "fuzz/corpus/$target" 2>"$artifacts/log.txt"; then
        status=1
        echo "   FAILED, see $artifacts/log.txt"
    fi
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$artifacts/log.txt" | sed 's/^/   /' || true
done
exit $status
