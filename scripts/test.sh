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

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzz targets over their corpora"
    scripts/fuzz.sh --smoke || status=1
fi

echo "== Windows build and tests under Wine"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$jobs"
scripts/wine-prefix.sh
source scripts/wine-env.sh
xvfb-run -a -s '-screen 0 1024x768x24' \
    ctest --test-dir build/win --output-on-failure --timeout 600 || status=1
wineserver -k 2>/dev/null || true

exit $status
