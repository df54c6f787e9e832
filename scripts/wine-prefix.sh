#!/usr/bin/env bash
# Waits until the project's Wine prefix is made, and makes it when nothing
# else does. The first Wine program of a session on a new prefix (the
# keeper that scripts/xvfb-session.sh starts) makes Wine make the prefix,
# and keeps the session alive, so that the services Wine starts for the
# prefix are not started once more for the programs that follow: under
# emulation each of those starts costs a minute or more. That program's own
# wait for the prefix times out under emulation while the making goes on,
# so this script waits for Wine's set-up processes to end and checks the
# prefix before it counts as ready. Expects DISPLAY to be set and a
# wineserver to serve the prefix (scripts/xvfb-session.sh).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
ready="$WINEPREFIX/.sortella-ready"
[ -f "$ready" ] && exit 0
mkdir -p "$WINEPREFIX"

# The persistent wineserver never exits, so "wineserver -w" cannot tell when
# the prefix's set-up processes are done: look for this prefix's own.
setup_processes_running() {
    local pid
    for pid in $(pgrep -f 'wineboot.exe|rundll32.exe|winemenubuilder.exe'); do
        { tr '\0' '\n' < "/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}

wait_for_setup_processes() {
    local waited=0
    while setup_processes_running && [ $waited -lt 1800 ]; do
        sleep 2
        waited=$((waited + 2))
    done
}

# The update stamp is written when wine.inf has been installed.
prefix_made() {
    [ -s "$WINEPREFIX/.update-timestamp" ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ]
}

# The set-up processes of a making already under way show up within two
# minutes of its first Wine start (under emulation).
wait_for_making_to_start() {
    local waited=0
    while ! setup_processes_running && ! prefix_made && [ $waited -lt 120 ]; do
        sleep 2
        waited=$((waited + 2))
    done
}

for attempt in 1 2 3; do
    if [ "$attempt" = 1 ]; then
        wait_for_making_to_start
    else
        wine wineboot -i >/dev/null 2>&1
    fi
    wait_for_setup_processes
    prefix_made && break
    if [ "$attempt" = 3 ]; then
        echo "The Wine prefix $WINEPREFIX could not be created." >&2
        exit 1
    fi
done
touch "$ready"
