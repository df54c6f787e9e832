#!/usr/bin/env bash
# Runs every test: the portable core natively (ASan, UBSan), the fuzz
# targets briefly over their corpora, and the Windows programs under Wine.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
bash scripts/setup.sh

jobs=$(nproc)
status=0

echo "== native build and tests"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure || status=1

echo "== fuzz targets, briefly over their corpora"
sh scripts/fuzz.sh 5 || status=1

echo "== Windows build and tests under Wine"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$jobs"
source scripts/xvfb-session.sh
scripts/wine-prefix.sh
keep_wine_warm build/win/wine-keepalive.exe
# Wine runs under emulation on some machines, where a rare emulator fault
# can end or stop a program; such a test gets up to two more runs.
ctest --test-dir build/win --output-on-failure --timeout 480 --repeat until-pass:3 || status=1

exit $status
