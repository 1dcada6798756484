#!/bin/bash
# CTest's emulator for the Windows builds: runs a Windows program inside the build tree's
# Wine session (started on demand when a program is run by hand), passing arguments and
# the exit code through. usage: wine-run.sh SESSION_DIR PROGRAM.exe [ARGS...]
set -uo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
DIR="$1"; shift

# The PE header's machine field picks the loader: 0x14c i386, 0x8664 x86-64.
machine="$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')"
machine="$(od -An -tx2 -j$((machine + 4)) -N2 "$1" | tr -d ' ')"
if [ "$machine" = 8664 ]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
# A loader the kernel cannot start (the 32-bit one where the kernel runs 64-bit programs
# only) is found out here, before the session's Japanese locale is taken: the shell reports
# it in the user's own language and with the shell's code for it.
"$loader" --version >/dev/null || exit

# A session left behind by a reboot or a killed server is started afresh.
if ! "$HERE/wine-session.sh" alive "$DIR"; then
  "$HERE/wine-session.sh" start "$DIR" >/dev/null || exit 1
fi
# shellcheck disable=SC1091
source "$DIR/session.env"
export WINELOADER=$loader
exec "$loader" "$@"
