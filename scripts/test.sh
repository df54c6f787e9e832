#!/usr/bin/env bash
# Runs every test: the portable core natively (ASan, UBSan), the fuzz
# targets briefly over their corpora, and the Windows programs under Wine.
#
# Wine's session (the prefix, made once, and its desktop and services) is
# brought up in the background first, beside the builds and the native
# tests: where 32-bit Wine runs under emulation that takes minutes.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
bash scripts/setup.sh

jobs=$(nproc)
status=0
started=$SECONDS
stage() { echo "== $1 ($((SECONDS - started)) s)"; }

stage "Wine session in the background"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win --target wine-keepalive >/dev/null
source scripts/xvfb-session.sh
start_wine_session build/win/wine-keepalive.exe

stage "native build and tests"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure || status=1

stage "fuzz targets, briefly over their corpora"
sh scripts/fuzz.sh 5 || status=1

stage "Windows build"
cmake --build build/win -j"$jobs"

stage "Windows tests under Wine (waiting for Wine's session first)"
if wait_wine_session; then
    stage "Wine's session is up"
    # A program may be run twice under emulation (scripts/wine-run.sh).
    timeout=1200
    [ "$wine_emulated" = 1 ] && timeout=3200
    ctest --test-dir build/win --output-on-failure -j"$jobs" --timeout "$timeout" || status=1
    # ctest shows a skipped test's output only in its log: say why here.
    grep -h '^SKIPPED: ' build/win/Testing/Temporary/LastTest.log 2>/dev/null || true
else
    status=1
fi
stage "done"
exit $status
