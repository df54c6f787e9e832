# Sourced: starts one Xvfb display and a persistent wineserver for the rest
# of the calling script, and stops both when it exits. Under emulation every
# Wine start would otherwise also start Wine's service processes again,
# which costs about a minute each.
#
# keep_wine_warm KEEPALIVE_EXE (after scripts/wine-prefix.sh) also keeps
# Wine's desktop and service processes running until the session ends, so
# that each program that follows finds them up; it returns once they are.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
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
sortella_keepalive_pid=""
keep_wine_warm() {
    local ready
    ready=$(mktemp -u /tmp/sortella-keepalive.XXXXXX)
    wine "$1" "Z:${ready//\//\\}" </dev/null >/dev/null 2>&1 &
    sortella_keepalive_pid=$!
    for _ in $(seq 1 600); do
        [ -e "$ready" ] && break
        kill -0 "$sortella_keepalive_pid" 2>/dev/null || break
        sleep 1
    done
    if [ ! -e "$ready" ]; then
        echo "Wine's desktop did not come up; programs will start it themselves." >&2
        return 0
    fi
    rm -f "$ready"
}
stop_xvfb_session() {
    if [ -n "$sortella_keepalive_pid" ]; then
        kill "$sortella_keepalive_pid" >/dev/null 2>&1 || true
    fi
    if [ "$sortella_own_wineserver" = 1 ]; then
        wineserver -k >/dev/null 2>&1 || true
    fi
    kill "$sortella_xvfb_pid" >/dev/null 2>&1 || true
}
trap stop_xvfb_session EXIT
