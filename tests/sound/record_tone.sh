#!/bin/bash
# Records the session's null sink while the sound test plays half a second of 440 Hz, then
# checks the recording's pitch and length. usage: record_tone.sh WINE_DIR RUNNER TEST.exe
#
# parec hands its data over in fragments; with the default fragment size (seconds) the
# tail of the recording was still inside the server when parec was stopped, so a loaded
# machine lost part or all of the tone. Small fragments, a recorder that is seen delivering
# before the tone plays, and a wait for half a second of audio more after the test ends
# keep the whole tone in the file, whatever the load.
set -uo pipefail
DIR="$1"; RUNNER="$2"; EXE="$3"
"$(dirname "$RUNNER")/wine-session.sh" start "$DIR" >/dev/null || exit 1
# shellcheck disable=SC1091
source "$DIR/session.env"
raw="$PWD/recorded.raw"
rm -f "$raw"
parec -d nul.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=10 >"$raw" &
rec=$!
stop_recorder() { kill -INT $rec 2>/dev/null; wait $rec 2>/dev/null; }

# Waits (at most 30 s) until the recording holds at least $1 bytes.
wait_for_bytes() {
  for _ in $(seq 600); do
    [ "$(stat -c %s "$raw" 2>/dev/null || echo 0)" -ge "$1" ] && return 0
    kill -0 $rec 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

wait_for_bytes 1 || { stop_recorder; echo "parec delivers nothing"; exit 1; }
"$RUNNER" "$DIR" "$EXE" --gtest_also_run_disabled_tests --gtest_filter='*ForTheRecorder' || { stop_recorder; exit 1; }
# 176400 bytes a second: everything played before the test ended is in once another half
# second has arrived.
wait_for_bytes $(( $(stat -c %s "$raw") + 88200 )) || { stop_recorder; echo "recording stalled"; exit 1; }
stop_recorder
python3 - "$raw" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
left = struct.unpack('<%dh' % (len(data) // 4 * 2), data[:len(data) // 4 * 4])[0::2]
# The tone is measured by where it sounds, in 2 ms windows (a window inside a 440 Hz sine
# always reaches most of its amplitude), so a gap that a starved mixer leaves in the
# middle neither lengthens nor shortens it.
window = 88
active = [max(abs(v) for v in left[i:i + window]) > 4000 for i in range(0, len(left) - window + 1, window)]
if not any(active):
    sys.exit("recording is silent")
seconds = active.count(True) * window / 44100.0
first = active.index(True)
last = len(active) - 1 - active[::-1].index(True)
gaps = sum(1 for i in range(first + 1, last + 1) if active[i] and not active[i - 1])
# Pitch from the rising zero crossings inside each stretch of sound: periods counted over
# the samples they span, so stretch edges cost nothing.
periods = 0
span = 0
w = first
while w <= last:
    if not active[w]:
        w += 1
        continue
    end = w
    while end + 1 <= last and active[end + 1]:
        end += 1
    rising = [i for i in range(max(w * window, 1), (end + 1) * window) if left[i - 1] < 0 <= left[i]]
    if len(rising) >= 2:
        periods += len(rising) - 1
        span += rising[-1] - rising[0]
    w = end + 1
hz = 44100.0 * periods / span if span else 0
print("recorded %.3f s at %.1f Hz (%d gaps)" % (seconds, hz, gaps))
# Each gap may add a partly filled window at both of its edges.
if not (0.48 <= seconds <= 0.53 + 0.004 * gaps and 435 < hz < 445):
    sys.exit("pitch or length wrong")
PY
