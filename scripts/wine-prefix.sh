#!/usr/bin/env bash
# Creates the project's Wine prefix once, with as few Wine starts as
# possible: each one costs a minute or more where 32-bit Wine runs under
# emulation. The prefix's settings for the tests and the demo (window
# frames, Japanese fonts) are made by the keeper program that every session
# starts first (scripts/wine-keepalive.c). Under emulation the first Wine
# start can time out waiting for the prefix to be built while the build
# goes on in the background, so it waits for Wine's set-up processes to end
# and checks the prefix before it counts as ready. Expects DISPLAY to be
# set and a wineserver to serve the prefix (scripts/xvfb-session.sh).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
ready="$WINEPREFIX/.sortella-ready"
[ -f "$ready" ] && exit 0
mkdir -p "$WINEPREFIX"

# The persistent wineserver never exits, so "wineserver -w" cannot tell when
# the prefix's set-up processes are done: wait until none of this prefix's
# is left.
setup_processes_running() {
    local pid
    for pid in $(pgrep -f 'wineboot.exe|rundll32.exe|winemenubuilder.exe'); do
        { tr '\0' '\n' < "/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}

wait_for_wineboot() {
    local waited=0
    while setup_processes_running && [ $waited -lt 1800 ]; do
        sleep 2
        waited=$((waited + 2))
    done
}

# The update stamp is written when wine.inf has been installed, and the
# system registry file once the server has saved it.
prefix_made() {
    [ -s "$WINEPREFIX/.update-timestamp" ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ]
}

for attempt in 1 2 3; do
    wine wineboot -i >/dev/null 2>&1
    wait_for_wineboot
    prefix_made && break
    if [ "$attempt" = 3 ]; then
        echo "The Wine prefix $WINEPREFIX could not be created." >&2
        exit 1
    fi
done
touch "$ready"
