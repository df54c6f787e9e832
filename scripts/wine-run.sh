#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix. ctest uses it as
# the emulator of every Windows test. Needs an X display for anything that
# makes a window: scripts/test.sh provides one.
#
# The program's output goes through a file, not a pipe: Wine's service
# processes, started by the program, would inherit a pipe and hold it open
# long after the program ended. The run is ended after
# SORTELLA_WINE_TIMEOUT seconds (default 400).
#
# A test program (GoogleTest) also writes its report to a file. When the
# report says that every test ran and passed, the run counts as passed even
# if the process then faults or hangs on its way out: under qemu's
# emulation Wine processes now and then do, after the program's own work
# is done.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
limit=${SORTELLA_WINE_TIMEOUT:-400}
work=$(mktemp -d /tmp/sortella-wine-run.XXXXXX)
export GTEST_OUTPUT="xml:Z:${work//\//\\}\\report.xml"

wine "$@" </dev/null >"$work/output" 2>&1 &
pid=$!
finish() {
    kill -9 "$pid" 2>/dev/null
    cat "$work/output"
    rm -rf "$work"
}
trap 'finish; exit 143' TERM INT

# True when the report lists at least one test and no failure or error.
report_all_passed() {
    local summary
    [ -s "$work/report.xml" ] || return 1
    summary=$(grep -m1 '<testsuites ' "$work/report.xml") || return 1
    [[ $summary =~ \ tests=\"([0-9]+)\" ]] && [ "${BASH_REMATCH[1]}" -gt 0 ] &&
        [[ $summary =~ \ failures=\"0\" ]] && [[ $summary =~ \ errors=\"0\" ]]
}

status=""
waited=0
report_seen_at=""
while [ $waited -lt "$limit" ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        status=$?
        break
    fi
    # A finished report and a process still there 30 s later: it hangs on
    # its way out.
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

result=$status
if [ "$status" != 0 ] && report_all_passed; then
    echo "(every test passed; the process then ended with '$status' on its way out, which is not counted)" \
        >>"$work/output"
    result=0
elif [ "$status" = timeout ]; then
    echo "(ended after ${limit} s)" >>"$work/output"
    result=124
elif [ "$status" = hung ]; then
    result=1
fi
trap - TERM INT
finish
exit "$result"
