#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix. ctest uses it as
# the emulator of every Windows test. Needs an X display for anything that
# makes a window: scripts/test.sh provides one.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec wine "$@"
