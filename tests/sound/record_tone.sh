#!/bin/bash
# Records the session's null sink while the sound test plays half a second of 440 Hz, then
# checks the recording's pitch and length. usage: record_tone.sh WINE_DIR RUNNER TEST.exe
set -uo pipefail
DIR="$1"; RUNNER="$2"; EXE="$3"
"$(dirname "$RUNNER")/wine-session.sh" start "$DIR" >/dev/null || exit 1
# shellcheck disable=SC1091
source "$DIR/session.env"
raw="$PWD/recorded.raw"
rm -f "$raw"
# A short latency: a recorder killed with seconds of audio still in its buffers loses them.
parec -d nul.monitor --latency-msec=20 --raw --format=s16le --rate=44100 --channels=2 >"$raw" &
rec=$!
# The recorder connects to the sink asynchronously; the tone starts only once it records.
for _ in $(seq 100); do [ -s "$raw" ] && break; sleep 0.05; done
sleep 0.2
"$RUNNER" "$DIR" "$EXE" --gtest_also_run_disabled_tests --gtest_filter='*ForTheRecorder' || { kill $rec; exit 1; }
sleep 1
kill $rec; wait $rec 2>/dev/null
python3 - "$raw" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
left = struct.unpack('<%dh' % (len(data) // 4 * 2), data[:len(data) // 4 * 4])[0::2]
loud = [i for i, v in enumerate(left) if abs(v) > 2000]
if not loud:
    sys.exit("recording is silent")
first, last = loud[0], loud[-1]
seconds = (last - first) / 44100.0
crossings = sum(1 for i in range(first + 1, last) if left[i - 1] < 0 <= left[i])
hz = crossings / seconds if seconds > 0 else 0
print("recorded %.3f s at %.1f Hz" % (seconds, hz))
if not (0.45 < seconds < 0.55 and 430 < hz < 450):
    sys.exit("pitch or length wrong")
PY
