#!/usr/bin/env bash
# Makes the project's Wine prefix once, with as few Wine starts as possible:
# each costs a minute or more where 32-bit Wine runs under emulation. The
# keeper (scripts/wine-keepalive.c), started while this runs, joins the
# session that the making starts, so that Wine's services start once, and
# makes the prefix's settings for the tests. The making goes on in Wine's
# set-up processes after the first Wine start has stopped waiting for it,
# so this script waits for them to end and checks the prefix before it
# counts as ready. Expects DISPLAY to be set and a wineserver to serve the
# prefix (scripts/xvfb-session.sh).
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

for attempt in 1 2 3; do
    # Another program's start may have begun the making already.
    setup_processes_running || wine wineboot -i >/dev/null 2>&1
    wait_for_setup_processes
    prefix_made && break
    if [ "$attempt" = 3 ]; then
        echo "The Wine prefix $WINEPREFIX could not be created." >&2
        exit 1
    fi
done
touch "$ready"
