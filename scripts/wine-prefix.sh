#!/usr/bin/env bash
# Creates the project's Wine prefix once (minutes under emulation) and sets
# it up for the tests and screenshots: Wine draws its own window frames, and
# the Japanese dialog font maps to the IPA Gothic font.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
[ -f "$WINEPREFIX/.sortella-ready" ] && exit 0
mkdir -p "$WINEPREFIX"
run_wine() { xvfb-run -a -s '-screen 0 1024x768x24' wine "$@"; }
run_wine wineboot -i
run_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
run_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f
font_key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
run_wine reg add "$font_key" /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f
run_wine reg add "$font_key" /v 'MS PGothic' /d IPAPGothic /f
run_wine reg add "$font_key" /v 'ＭＳ ゴシック' /d IPAGothic /f
wineserver -w
touch "$WINEPREFIX/.sortella-ready"
