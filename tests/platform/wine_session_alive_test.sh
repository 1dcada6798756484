#!/bin/bash
# The session's liveness rule, without Wine: a recorded server counts only while that
# process lives and is the program the session started. After a reboot a recorded number
# can belong to any process, and a dead X server left the engine with no window to open.
set -uo pipefail
SESSION="$1"
DIR="$(mktemp -d)"
trap 'kill "$other" 2>/dev/null; rm -rf "$DIR"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
alive() { "$SESSION" alive "$DIR"; }

sleep 60 & other=$!
alive && fail "a session never started is alive"
echo 'export DISPLAY=:99' >"$DIR/session.env"
alive || fail "a session on a display of the user's own, with no servers recorded, is not alive"
echo "$other" >"$DIR/xvfb.pid"
alive && fail "an X server whose number now belongs to another program is alive"
echo 999999999 >"$DIR/xvfb.pid"
alive && fail "an X server whose process is gone is alive"
rm "$DIR/xvfb.pid"
echo "$other" >"$DIR/pulse.pid"
alive && fail "a sound server whose number now belongs to another program is alive"
rm "$DIR/pulse.pid"

# Stand-ins carrying the servers' names, so that the process names are right.
mkdir "$DIR/bin"
cp "$(command -v sleep)" "$DIR/bin/Xvfb"
cp "$(command -v sleep)" "$DIR/bin/pulseaudio"
cp "$(command -v sleep)" "$DIR/bin/wineserver64"
cp "$(command -v sleep)" "$DIR/bin/cmd.exe"
"$DIR/bin/Xvfb" 60 & x=$!
"$DIR/bin/pulseaudio" 60 & p=$!
"$DIR/bin/wineserver64" 60 & w=$!
"$DIR/bin/cmd.exe" 60 & d=$!
echo "$x" >"$DIR/xvfb.pid"
echo "$p" >"$DIR/pulse.pid"
echo "$w" >"$DIR/wineserver.pid"
echo "$d" >"$DIR/desktop.pid"
alive || fail "a session whose servers run is not alive"
# Without the session's own, the next program would start a wineserver or a desktop that
# keeps its output open.
echo 999999999 >"$DIR/wineserver.pid"
alive && fail "a session whose wineserver has ended is alive"
echo "$w" >"$DIR/wineserver.pid"
echo "$other" >"$DIR/desktop.pid"
alive && fail "a session whose desktop keeper's number now belongs to another program is alive"
echo "$d" >"$DIR/desktop.pid"
# A killed server left unreaped: its parent here is a program that never waits.
bash -c "\"$DIR/bin/Xvfb\" 0.1 & exec sleep 60" & zombie_parent=$!
sleep 1
zombie="$(pgrep -P "$zombie_parent" Xvfb)"
[ -n "$zombie" ] || fail "could not make an unreaped server"
echo "$zombie" >"$DIR/xvfb.pid"
alive && fail "an X server that has ended but was not reaped is alive"
kill "$x" "$p" "$w" "$d" "$zombie_parent"
rm "$DIR/session.env"
echo "$x" >"$DIR/xvfb.pid"
alive && fail "a session without its environment file is alive"
echo PASS
