# Sourced: starts one Xvfb display and a persistent wineserver for the rest
# of the calling script, and stops both when it exits. Under emulation every
# Wine start would otherwise also start Wine's service processes again,
# which costs about a minute each.
#
# start_wine_session KEEPALIVE_EXE starts, in the background, what every
# Wine program of the session needs: the keeper (scripts/wine-keepalive.c),
# whose start makes Wine make the prefix when it is missing (awaited by
# scripts/wine-prefix.sh), which sets the prefix up for the tests and keeps
# Wine's desktop and service processes running until the session ends. It
# returns at once, so that the caller can build meanwhile;
# wait_wine_session waits for it.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
if grep -qsx '#arch=win32' "$WINEPREFIX/system.reg"; then
    echo "$WINEPREFIX is a 32-bit Wine prefix, and the project's Wine runs with a 64-bit one:" \
         "delete it, or name another folder in SORTELLA_WINEPREFIX." >&2
    exit 1
fi
sortella_display=""
for number in $(seq 91 140); do
    if [ ! -e "/tmp/.X${number}-lock" ] && [ ! -e "/tmp/.X11-unix/X${number}" ]; then
        sortella_display=":$number"
        break
    fi
done
if [ -z "$sortella_display" ]; then
    echo "No free X display number between :91 and :140." >&2
    exit 1
fi
Xvfb "$sortella_display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
sortella_xvfb_pid=$!
export DISPLAY=$sortella_display
for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X${sortella_display#:}" ] && break
    sleep 0.1
done
mkdir -p "$WINEPREFIX"
# A wineserver already serving this prefix (another run's) is left alone,
# and so are its programs when this session ends.
sortella_own_wineserver=0
if wineserver -p >/dev/null 2>&1; then
    sortella_own_wineserver=1
fi
sortella_session_pid=""
sortella_keepalive_pidfile=""
sortella_keepalive_ready=""
sortella_prefix_status=""
start_wine_session() {
    local repo
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    sortella_keepalive_ready=$(mktemp -u /tmp/sortella-keepalive.XXXXXX)
    sortella_keepalive_pidfile=$(mktemp /tmp/sortella-keepalive-pid.XXXXXX)
    sortella_prefix_status=$(mktemp /tmp/sortella-prefix.XXXXXX)
    # The keeper first: on a new prefix its start makes Wine make it, and it
    # holds the session from then on.
    wine "$1" "Z:${sortella_keepalive_ready//\//\\}" </dev/null >/dev/null 2>&1 &
    echo $! >"$sortella_keepalive_pidfile"
    (
        bash "$repo/scripts/wine-prefix.sh"
        echo $? >"$sortella_prefix_status"
    ) &
    sortella_session_pid=$!
}
# Returns once the prefix is made and the keeper is up, 1 when the prefix
# could not be made. When the keeper ended without bringing the desktop up
# it says so and returns 0: each program then starts the desktop itself.
wait_wine_session() {
    wait "$sortella_session_pid"
    if [ "$(cat "$sortella_prefix_status")" != 0 ]; then
        echo "The Wine prefix $WINEPREFIX could not be made." >&2
        return 1
    fi
    local keeper
    keeper=$(cat "$sortella_keepalive_pidfile")
    while [ ! -e "$sortella_keepalive_ready" ] && kill -0 "$keeper" 2>/dev/null; do
        sleep 1
    done
    if [ -e "$sortella_keepalive_ready" ]; then
        rm -f "$sortella_keepalive_ready"
        return 0
    fi
    echo "Wine's desktop did not come up; programs will start it themselves." >&2
    return 0
}
stop_xvfb_session() {
    if [ -s "$sortella_keepalive_pidfile" ]; then
        kill "$(cat "$sortella_keepalive_pidfile")" >/dev/null 2>&1 || true
    fi
    if [ -n "$sortella_session_pid" ]; then
        kill "$sortella_session_pid" >/dev/null 2>&1 || true
    fi
    rm -f "$sortella_keepalive_pidfile" "$sortella_keepalive_ready" "$sortella_prefix_status"
    if [ "$sortella_own_wineserver" = 1 ]; then
        wineserver -k >/dev/null 2>&1 || true
    fi
    kill "$sortella_xvfb_pid" >/dev/null 2>&1 || true
}
trap stop_xvfb_session EXIT
