#!/bin/bash
# A Windows program's output ends when the program does, while other programs of the run go
# on: CTest waits for the end of a test's output, and a Wine process that the program started
# (the wineserver, its services, the desktop's explorer.exe) inherits that output and lives
# as long as anything else runs. The session starts them itself, with no output to hand on.
# usage: wine_output_end_test.sh WINE_DIR RUNNER (tools/wine-run.sh)
set -uo pipefail
DIR="$1"; RUNNER="$2"
"$(dirname "$RUNNER")/wine-session.sh" start "$DIR" >/dev/null || { echo "FAIL: the session did not start"; exit 1; }
# shellcheck disable=SC1091
source "$DIR/session.env"
system32="$WINEPREFIX/drive_c/windows/system32"
work="$(mktemp -d)"
fail() { echo "FAIL: $*"; exit 1; }

# A desktop that is not the session's own closes a second after the last program on it ends
# (the session start's wineboot is one), and the program below would start it anew: it gets
# up to three seconds to close. The session's own stays.
desktop_runs() {
  local pid
  for pid in $(pgrep -x explorer.exe); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
for _ in $(seq 30); do desktop_runs || break; sleep 0.1; done

# Another program of the run: a console program on the desktop, waiting for a line that only
# the end of this test writes. Both ends of the fifo stay open here, so neither side blocks
# or sees an end.
mkfifo "$work/hold"
exec 3<>"$work/hold"
( exec 0<&3 3>&-; exec "$RUNNER" "$DIR" "$system32/cmd.exe" /c pause >/dev/null 2>&1 ) &
other=$!
trap 'echo >&3; wait "$other"; rm -rf "$work"' EXIT
# A program that needs the desktop (rundll32 opens a hidden window of its own) and ends. The
# limit only turns output that never ends into a failure.
# shellcheck disable=SC2016
timeout 60 bash -c '"$1" "$2" "$3" user32.dll,GetDesktopWindow 2>&1 | cat >/dev/null' _ \
    "$RUNNER" "$DIR" "$system32/rundll32.exe"
status=$?
[ "$status" = 124 ] && fail "the program's output stayed open after it ended"
[ "$status" = 0 ] || fail "the program failed ($status)"
kill -0 "$other" 2>/dev/null || fail "the other program ended early: nothing was running beside the program"
echo PASS
