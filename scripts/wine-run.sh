#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix: the Windows test
# program (from tests/win/with_popfile_standin.sh) or any other. Needs an X
# display for anything that makes a window: scripts/test.sh provides one.
#
# The program's output goes through a file, not a pipe: Wine's service
# processes, started by the program, would inherit a pipe and hold it open
# long after the program ended. The run is ended after
# SORTELLA_WINE_TIMEOUT seconds (default 600, or 1500 where 32-bit Wine
# runs under emulation: there the Windows test program, beside the real
# POPFile test on a machine of two cores, was seen to need more than 600 s).
# A GoogleTest program writes
# its report to a file, copied to SORTELLA_REPORT when that is set.
#
# A crash, a hang or a failed test fails the run. Only where 32-bit Wine
# runs under qemu's emulation (wine-env.sh) two allowances cure emulator
# faults, and each one prints a line when it is used: a program whose
# report says that every test ran and passed counts as passed even when
# it then faults or hangs on its way out; and a run that failed otherwise
# is made once more, whose result then counts.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
default_limit=600
[ "$wine_emulated" = 1 ] && default_limit=1500
limit=${SORTELLA_WINE_TIMEOUT:-$default_limit}
work=$(mktemp -d /tmp/sortella-wine-run.XXXXXX)
export GTEST_OUTPUT="xml:Z:${work//\//\\}\\report.xml"
pid=""
cleanup() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
    rm -rf "$work"
}
trap 'cleanup; exit 143' TERM INT

# True when the report lists at least one test and no failure or error.
report_all_passed() {
    local summary
    [ -s "$work/report.xml" ] || return 1
    summary=$(grep -m1 '<testsuites ' "$work/report.xml") || return 1
    [[ $summary =~ \ tests=\"([0-9]+)\" ]] && [ "${BASH_REMATCH[1]}" -gt 0 ] &&
        [[ $summary =~ \ failures=\"0\" ]] && [[ $summary =~ \ errors=\"0\" ]]
}

# Runs the program once; sets `status` to its exit status, "timeout", or
# "hung" (a report written and the process still there 30 s later).
run_once() {
    rm -f "$work/report.xml"
    wine "$@" </dev/null >"$work/output" 2>&1 &
    pid=$!
    status=""
    local waited=0 report_seen_at=""
    while [ $waited -lt "$limit" ]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            status=$?
            break
        fi
        if [ -z "$report_seen_at" ] && [ -s "$work/report.xml" ]; then
            report_seen_at=$waited
        elif [ -n "$report_seen_at" ] && [ $((waited - report_seen_at)) -ge 30 ]; then
            status=hung
            break
        fi
        sleep 1
        waited=$((waited + 1))
    done
    [ -z "$status" ] && status=timeout
    kill -9 "$pid" 2>/dev/null
    pid=""
    cat "$work/output"
    case $status in
        timeout) echo "(ended after ${limit} s)" ;;
        hung) echo "(the process was still there 30 s after its report)" ;;
    esac
}

# Under emulation only: a run whose report says that every test passed
# counts as passed, whatever the process did on its way out.
forgive_end_after_passing_report() {
    if [ "$status" != 0 ] && report_all_passed; then
        echo "(emulation allowance: every test passed; the end with '$status' on the way out is not counted)"
        status=0
    fi
}

run_once "$@"
if [ "$status" != 0 ] && [ "$wine_emulated" = 1 ]; then
    forgive_end_after_passing_report
    if [ "$status" != 0 ]; then
        echo "(emulation allowance: the run ended with '$status'; it is made once more)"
        run_once "$@"
        forgive_end_after_passing_report
    fi
fi
if [ -n "${SORTELLA_REPORT:-}" ]; then
    rm -f "$SORTELLA_REPORT"
    [ -s "$work/report.xml" ] && cp "$work/report.xml" "$SORTELLA_REPORT"
fi
cleanup
case $status in
    0) exit 0 ;;
    timeout) exit 124 ;;
    *) exit 1 ;;
esac
