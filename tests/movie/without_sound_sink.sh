#!/bin/bash
# Runs a test program's *WithoutASoundSink cases in the build tree's Wine session with its
# sound server out of reach, as on a machine without a sound device.
# usage: without_sound_sink.sh WINE_DIR RUNNER TEST.exe
set -uo pipefail
DIR="$1"; RUNNER="$2"; EXE="$3"
"$(dirname "$RUNNER")/wine-session.sh" start "$DIR" >/dev/null || exit 1
# shellcheck disable=SC1091
source "$DIR/session.env"
export PULSE_SERVER="unix:$DIR/pulse/no-such-server"
# The PE header's machine field picks the loader, as the runner does.
machine="$(od -An -tu4 -j60 -N4 "$EXE" | tr -d ' ')"
machine="$(od -An -tx2 -j$((machine + 4)) -N2 "$EXE" | tr -d ' ')"
if [ "$machine" = 8664 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
export WINELOADER=$loader
exec "$loader" "$EXE" --gtest_also_run_disabled_tests --gtest_filter='*WithoutASoundSink*'
