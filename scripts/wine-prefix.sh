#!/usr/bin/env bash
# Creates the project's Wine prefix once and sets it up for the tests and
# screenshots: Wine draws its own window frames (no window manager needed),
# and the Japanese dialog fonts map to the IPA Gothic fonts. Under emulation
# the first Wine start can time out waiting for the prefix to be built while
# the build goes on in the background, so it waits for Wine to settle and
# checks the prefix before it counts as ready. Expects DISPLAY to be set
# (scripts/xvfb-session.sh).
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
    while setup_processes_running && [ $waited -lt 1200 ]; do
        sleep 2
        waited=$((waited + 2))
    done
}

prefix_works() {
    wine reg query 'HKCU\Software\Wine' >/dev/null 2>&1
}

for attempt in 1 2 3; do
    wine wineboot -i >/dev/null 2>&1
    wait_for_wineboot
    prefix_works && break
    if [ "$attempt" = 3 ]; then
        echo "The Wine prefix $WINEPREFIX could not be created." >&2
        exit 1
    fi
done

settings=$(mktemp --suffix=.reg)
trap 'rm -f "$settings"' EXIT
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '"Decorated"="N"' '' \
    '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
    '"ＭＳ Ｐゴシック"="IPAPGothic"' '"MS PGothic"="IPAPGothic"' \
    '"ＭＳ ゴシック"="IPAGothic"' '"MS Gothic"="IPAGothic"' '' |
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } > "$settings"
wine regedit /S "$(winepath -w "$settings")" >/dev/null 2>&1
touch "$ready"
