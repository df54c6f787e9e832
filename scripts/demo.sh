#!/usr/bin/env bash
# Shows Sortella at work without a Windows machine: builds the plug-in and
# the Postwick32 stand-in, lays out a program directory with
# Plugins\sortella.dll, and runs the stand-in under Xvfb with the real DLL
# loaded, from a short script. Prints the stand-in's transcript.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
bash scripts/setup.sh

echo "== building the Windows targets (build/win)"
log=$(mktemp /tmp/sortella-build.XXXXXX)
if ! { cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
             -DCMAKE_BUILD_TYPE=Release &&
       cmake --build build/win -j2 --target postwick-standin; } >"$log" 2>&1; then
    tail -40 "$log"
    echo "The build failed (whole log: $log)." >&2
    exit 1
fi
rm -f "$log"

source scripts/xvfb-session.sh
bash scripts/wine-prefix.sh

work=$(mktemp -d /tmp/sortella-demo.XXXXXX)
# A fresh program directory: the plug-in writes its settings file beside
# itself, in Plugins\sortella.ini.
cp -r build/win/postwick "$work/postwick"
cat > "$work/script.txt" <<EOF
# One account in a new mailbox; the plug-in loaded and started as the mail
# client does it, its name shown, then the client quits.
new-mailbox $work/mailbox
account acc1 "仕事" 127.0.0.1 110 0
start
name
list
quit
EOF

echo "== running postwick-standin.exe under Xvfb (work directory $work)"
status=0
wine "$work/postwick/postwick-standin.exe" \
    --transcript "$work/transcript.txt" --script "$work/script.txt" || status=$?

echo "== transcript"
cat "$work/transcript.txt"
exit $status
