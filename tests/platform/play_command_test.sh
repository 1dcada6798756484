#!/bin/bash
# The README's play command as a new user meets it: a fresh clone of the committed tree with
# no build folder, no DISPLAY, `tools/play` until the game's title is on its window on the headless
# screen, then the window closed by Alt+F4 and the command's end awaited. A second run after
# a source change must rebuild the program before it opens the window again.
#   usage: play_command_test.sh SOURCE_TREE WORK_FOLDER
set -uo pipefail
SOURCE=$1 WORK=$2
CAPTION='Tarn Vale'
WINDOW_WAIT=900   # seconds for a run to build and open the window on a loaded machine
EXIT_WAIT=120     # seconds for the game and the command to end once the window is closed

TITLE_COLOURS=64  # distinct colours in the window that tell the title from a blank window

# The number of distinct colours in an X window dump (xwd's format) on standard input.
window_colours() {
  python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
if len(data) < 100:
    print(0); sys.exit()
field = struct.unpack(">25I", data[:100])
header_size, width, height, bits, row_bytes, colours = field[0], field[4], field[5], field[11], field[12], field[19]
start, step = header_size + colours * 12, max(bits // 8, 1)
seen = set()
for y in range(0, height, 2):
    row = data[start + y * row_bytes:start + y * row_bytes + width * step]
    seen.update(row[x:x + step] for x in range(0, len(row) - step + 1, step))
print(len(seen))'
}

fail() {
  echo "FAIL: $*"
  for log in "$WORK"/play*.log; do
    [ -f "$log" ] && { echo "--- $log (last lines)"; tail -25 "$log"; }
  done
  stop_session
  exit 1
}

# Every Wine session the clone's runs started (the bitness probe starts one before the game).
stop_session() {
  local session
  for session in "$CLONE"/build/*/wine; do
    [ -f "$session/session.env" ] && "$CLONE/tools/wine-session.sh" stop "$session" >/dev/null 2>&1
  done
}

rm -rf "$WORK"
mkdir -p "$WORK"
CLONE="$WORK/clone"
if git -C "$SOURCE" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git clone -q "$SOURCE" "$CLONE" || fail "git clone of $SOURCE failed"
else
  # A source tree that is no checkout: its files without any build folder.
  mkdir -p "$CLONE" && tar -C "$SOURCE" --exclude=./build -cf - . | tar -C "$CLONE" -xf - || fail "copying $SOURCE failed"
fi

# One run of the command: waits for the window, closes it through the window and checks that
# the command ended with the game's own success. Sets SECONDS_TO_WINDOW.
play_once() {  # log
  local log=$1 started display="" wid="" pid
  started=$(date +%s%N)
  (cd "$CLONE" && exec env -u DISPLAY -u QUELT_BUILD_DIR tools/play) </dev/null >"$log" 2>&1 &
  pid=$!
  for _ in $(seq $((WINDOW_WAIT * 2))); do
    if [ -z "$display" ]; then
      display=$(sed -n 's/^play: no DISPLAY; the game runs on the headless X server \(:[0-9]*\) of \(.*\)$/\1/p' "$log")
    fi
    if [ -n "$display" ]; then
      wid=$(DISPLAY=$display xdotool search --onlyvisible --name "^$CAPTION\$" 2>/dev/null | sed -n 1p)
      [ -n "$wid" ] && break
    fi
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "tools/play ended (status $?) before the game's window was on the screen"; }
    sleep 0.5
  done
  [ -n "$wid" ] || { kill "$pid" 2>/dev/null; fail "no window '$CAPTION' within ${WINDOW_WAIT}s"; }
  # The window opens blank while the engine starts; the title screen has thousands of colours.
  # A window closed before the start-up has ended makes the start fail, as it should.
  local shown=0
  for _ in $(seq $((WINDOW_WAIT * 2))); do
    [ "$(DISPLAY=$display xwd -silent -id "$wid" 2>/dev/null | window_colours)" -ge "$TITLE_COLOURS" ] && { shown=1; break; }
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "tools/play ended (status $?) before the title was on the screen"; }
    sleep 0.5
  done
  [ "$shown" = 1 ] || { kill "$pid" 2>/dev/null; fail "the window never showed the title within ${WINDOW_WAIT}s"; }
  local ms=$(( ($(date +%s%N) - started) / 1000000 ))
  SECONDS_TO_WINDOW=$((ms / 1000)).$(printf %03d $((ms % 1000)))

  # Alt+F4 into the focused window, as a player closes it.
  DISPLAY=$display xdotool windowfocus --sync "$wid" key --clearmodifiers alt+F4 >/dev/null 2>&1 \
    || fail "could not type Alt+F4 into the game's window"
  local status=""
  for _ in $(seq $((EXIT_WAIT * 2))); do
    if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; status=$?; break; fi
    sleep 0.5
  done
  [ -n "$status" ] || { kill "$pid" 2>/dev/null; fail "the game did not end within ${EXIT_WAIT}s of Alt+F4"; }
  [ "$status" = 0 ] || fail "tools/play ended with status $status after the window was closed"
}

play_once "$WORK/play1.log"
echo "first run: the title in the game's window after $SECONDS_TO_WINDOW s (set-up, configure, build and start)"

# A source change is compiled by the next run, before the window opens.
echo "// changed after the first run" >>"$CLONE/game/game_main_win32.cpp"
play_once "$WORK/play2.log"
grep -q 'game_main_win32.cpp' "$WORK/play2.log" || fail "the second run did not compile the changed source"
echo "second run: rebuilt the changed source; the title after $SECONDS_TO_WINDOW s"

stop_session
rm -rf "$WORK"
echo "PASS"
