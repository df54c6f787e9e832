#!/usr/bin/env bash
# Shows Sortella at work without a Windows machine. Builds the plug-in, the
# Postwick32 stand-in and the POPFile stand-in, then runs one unattended
# session under its own Xvfb display with the real sortella.dll:
#   1. start-up while POPFile's POP3 port is still closed: the wait dialog
#      appears and closes by itself once the port opens;
#   2. a retrieval of the demo spool: messages filed by the MoveMail rules,
#      the summary box;
#   3. a correction from the folder menu's "POPFile訂正[…]" submenu, and
#      "POPFileを開く";
#   4. the setup dialog with a setting changed, and the about box;
#   5. the filing log that the retrieval and the correction wrote.
# POPFile's web interface is on 8080, its usual port, when that port is
# free. Prints a transcript of what happened and whether it was right,
# writes screenshots, and exits 0 only when every check passed.
#
# Usage: scripts/demo.sh [--spool DIR] [--classifier FILE] [--settings FILE]
#                        [--correct N] [--keep]
#   --spool DIR        messages POPFile serves (default demo/spool)
#   --classifier FILE  POPFile's keyword lists (default demo/classifier.txt)
#   --settings FILE    the plug-in's sortella.ini, written in UTF-8 (it is
#                      converted to Shift_JIS with CR LF); default: the
#                      demo's rules for spam, work and shopping
#   --correct N        the retrieval number of the message to reclassify;
#                      it must stay in 郵便受け with the default bucket
#                      (default 18, the TechConf mail of the demo spool)
#   --keep             keep the whole work directory (program copy, mailbox,
#                      POPFile's records), not only the screenshots and
#                      transcripts
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

spool=$repo/demo/spool
classifier=$repo/demo/classifier.txt
settings=""
correct=18
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
        --spool) spool=$(realpath "${2:?--spool needs a directory}"); shift 2 ;;
        --classifier) classifier=$(realpath "${2:?--classifier needs a file}"); shift 2 ;;
        --settings) settings=$(realpath "${2:?--settings needs a file}"); shift 2 ;;
        --correct) correct=${2:?--correct needs a number}; shift 2 ;;
        --keep) keep=1; shift ;;
        -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "Unknown option $1 (see --help)." >&2; exit 2 ;;
    esac
done
[ -d "$spool" ] || { echo "No spool directory $spool." >&2; exit 2; }
[ -f "$classifier" ] || { echo "No classifier file $classifier." >&2; exit 2; }
[ -z "$settings" ] || [ -f "$settings" ] || { echo "No settings file $settings." >&2; exit 2; }
[[ "$correct" =~ ^[0-9]+$ ]] || { echo "--correct needs a number." >&2; exit 2; }

started=$(date +%s)
bash scripts/setup.sh

echo "== building the plug-in and the stand-ins"
log=$(mktemp /tmp/sortella-build.XXXXXX)
if ! { cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
             -DCMAKE_BUILD_TYPE=Release &&
       cmake --build build/win -j2 --target postwick-standin wine-keepalive &&
       cmake -S . -B build/native &&
       cmake --build build/native -j2 --target popfile-standin; } >"$log" 2>&1; then
    tail -40 "$log"
    echo "The build failed (whole log: $log)." >&2
    exit 1
fi
rm -f "$log"

work=$(mktemp -d /tmp/sortella-demo.XXXXXX)
shots=$work/screenshots
mkdir -p "$shots"

# Everything started here is stopped on every way out: the POPFile
# stand-in, the window watcher, the stand-in program; the Xvfb session
# then stops its display and (if it started it) the wineserver.
popfile_pid=""
watcher_pid=""
host_pid=""
source scripts/xvfb-session.sh
stop_demo() {
    local pid
    for pid in $watcher_pid $host_pid $popfile_pid; do
        kill "$pid" >/dev/null 2>&1 || true
    done
    for pid in $watcher_pid $host_pid $popfile_pid; do
        wait "$pid" >/dev/null 2>&1 || true
    done
    stop_xvfb_session
}
trap stop_demo EXIT
trap 'exit 130' INT TERM

echo "== preparing Wine (the first time this takes several minutes)"
start_wine_session build/win/wine-keepalive.exe
wait_wine_session

# ---------------------------------------------------------------- POPFile
state=$work/popfile
mkdir -p "$state"
# The POP3 port starts closed, as when POPFile is still starting up.
echo "pop3-delay never" > "$state/control"
# The web interface goes on 8080, POPFile's usual UI port that the guide's
# pictures and texts show, unless another program holds that port; then on
# any free one.
start_popfile_standin() {
    build/native/standins/popfile/popfile-standin --spool "$spool" --state-dir "$state" \
        --classifier "$classifier" --control "$state/control" --http-port "$1" \
        >"$work/popfile.out" 2>&1 &
    popfile_pid=$!
    for _ in $(seq 1 100); do
        grep -qx ready "$work/popfile.out" && return 0
        kill -0 "$popfile_pid" 2>/dev/null || break
        sleep 0.1
    done
    grep -qx ready "$work/popfile.out"
}
if ! start_popfile_standin 8080; then
    kill "$popfile_pid" >/dev/null 2>&1 || true
    wait "$popfile_pid" >/dev/null 2>&1 || true
    echo "Port 8080 is taken: POPFile's web interface goes on another port."
    start_popfile_standin 0 || true
fi
if ! grep -qx ready "$work/popfile.out"; then
    cat "$work/popfile.out" >&2
    echo "The POPFile stand-in did not start." >&2
    exit 1
fi
pop3_port=$(sed -n 's/^pop3 //p' "$work/popfile.out")
http_port=$(sed -n 's/^http //p' "$work/popfile.out")

# ---------------------------------------------------------------- settings
# The plug-in's settings file lies beside it, in Shift_JIS with CR LF.
cp -r build/win/postwick "$work/postwick"
settings_utf8=$work/sortella.ini.utf8
if [ -n "$settings" ]; then
    tr -d '\r' < "$settings" > "$settings_utf8"
else
    cat > "$settings_utf8" <<'EOF'
[MoveMail]
spam=ごみ箱
work=仕事
shopping=買い物
[Setup]
DispDialog=1
Beep=0
DispFrom=1
DispSubject=1
FromLength=24
SubjectLength=40
CheckConnect=1
URL=
EOF
fi
sed 's/$/\r/' "$settings_utf8" | iconv -f UTF-8 -t SHIFT_JIS > "$work/postwick/Plugins/sortella.ini"

# ---------------------------------------------------------------- host script
correct_entry=$(printf 'acc1\\郵便受け\\%08d' "$correct")
default_bucket=$(sed -n 's/^default[[:space:]]\{1,\}\([^[:space:]#]*\).*/\1/p' "$classifier" | tail -1)
cat > "$work/script.txt" <<EOF
# The mailbox: one account whose server is the POPFile stand-in's POP3 port,
# with folders for the filing rules.
new-mailbox $work/mailbox
account acc1 "個人用" 127.0.0.1 $pop3_port 1
folder acc1 仕事
folder acc1 買い物
# Start-up: the plug-in waits for POPFile (the wait dialog).
start
name
note "--- retrieval"
box-show 4000
box-shot $shots/summary-box.png
retrieve 600
wait-idle 300
list acc1
note "--- correction"
select "$correct_entry"
folder-menu
menu-shot $shots/menu.png "POPFile訂正[$default_bucket]"
choose "POPFile訂正[$default_bucket]" work
wait-idle 120
list acc1
note "--- open in POPFile"
select 郵便受け 1
folder-menu
choose "POPFileを開く"
wait-idle 60
note "--- setup dialog"
setup
  wait 500
  shot $shots/setup-dialog.png
  click 1007
  click 1003
end
note "--- about box"
about
  wait 500
  shot $shots/about-box.png
  click 1
end
quit
EOF

# Watches for the wait dialog (an X window named "Sortella"), takes its
# picture, then opens POPFile's POP3 port. Writes what it saw to a file.
# It watches as long as the host may run: under emulation Wine's first
# window can take minutes to come up.
watch_wait_dialog() {
    local waited=0
    while [ $waited -lt 7500 ]; do
        if xwininfo -root -tree 2>/dev/null | grep -qF '"Sortella":'; then
            sleep 1.5 # let it paint
            import -window root "$shots/wait-dialog.png" 2>/dev/null || true
            echo "seen after $((waited / 5)) s" > "$work/wait-dialog.txt"
            sleep 1
            echo "pop3-delay 0" > "$state/control"
            echo "port opened" >> "$work/wait-dialog.txt"
            for _ in $(seq 1 300); do
                if ! xwininfo -root -tree 2>/dev/null | grep -qF '"Sortella":'; then
                    echo "closed" >> "$work/wait-dialog.txt"
                    return 0
                fi
                sleep 0.2
            done
            echo "still open" >> "$work/wait-dialog.txt"
            return 0
        fi
        sleep 0.2
        waited=$((waited + 1))
    done
    echo "never seen" > "$work/wait-dialog.txt"
    echo "pop3-delay 0" > "$state/control"
}
watch_wait_dialog &
watcher_pid=$!

echo "== running postwick-standin.exe with sortella.dll (work directory $work)"
host_status=0
timeout 1500 wine "$work/postwick/postwick-standin.exe" \
    --transcript "$work/transcript.txt" --script "$work/script.txt" \
    >"$work/host.out" 2>&1 &
host_pid=$!
wait "$host_pid" || host_status=$?
host_pid=""
# The watcher is done once the dialog closed; when the program ended
# without ever showing it, the watcher is stopped.
for _ in $(seq 1 25); do
    kill -0 "$watcher_pid" 2>/dev/null || break
    sleep 0.2
done
kill "$watcher_pid" >/dev/null 2>&1 || true
wait "$watcher_pid" 2>/dev/null || true
watcher_pid=""
# The filing log (Shift_JIS), kept beside the transcripts.
cp "$work/postwick/Plugins/sortella.log" "$work/sortella.log" 2>/dev/null || true
# The stand-in program writes its PNGs uncompressed.
mogrify -strip -define png:compression-level=9 "$shots"/*.png 2>/dev/null || true

# ---------------------------------------------------------------- checks
echo "== checking what happened"
check_status=0
python3 scripts/demo_check.py --work "$work" --settings "$settings_utf8" \
    --http-port "$http_port" --correct-entry "$correct_entry" \
    --default-bucket "$default_bucket" --host-status "$host_status" \
    | tee "$work/report.txt" || check_status=$?
[ "${PIPESTATUS[0]}" = 0 ] || check_status=1

kill "$popfile_pid" >/dev/null 2>&1 || true
wait "$popfile_pid" >/dev/null 2>&1 || true
popfile_pid=""
if [ "$keep" = 0 ]; then
    rm -rf "$work/postwick" "$work/mailbox"
fi
echo
echo "Screenshots: $shots"
echo "Transcripts: $work/transcript.txt (the stand-in's), $work/report.txt (this one)"
echo "Filing log: $work/sortella.log (Shift_JIS, CR LF, TAB-separated)"
echo "Run time: $(( $(date +%s) - started )) s"
if [ "$check_status" = 0 ]; then
    echo "Every check passed."
else
    echo "Some checks FAILED."
fi
exit "$check_status"
