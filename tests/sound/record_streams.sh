#!/bin/bash
# Records the session's null sink while the player streams a 20-second Ogg Vorbis file and a
# 20-second MP3, each once with the frame work at 60 frames a second and once with a one-second
# stall, and has the player compare every recording, second by second, with the encoder's own
# decode of the same file. usage: record_streams.sh WINE_DIR RUNNER PLAYER.exe
set -uo pipefail
DIR="$1"; RUNNER="$2"; EXE="$3"
"$(dirname "$RUNNER")/wine-session.sh" start "$DIR" >/dev/null || exit 1
# shellcheck disable=SC1091
source "$DIR/session.env"

# Pink noise on the left and a sweep on the right: nothing in it repeats, so a stretch that
# is lost, doubled or moved by even a few samples no longer matches.
if [ ! -f stream20_mp3_ref.wav ]; then
  sox -R -n -r 44100 -c 2 -b 16 stream20.wav synth 20 pinknoise sine 150-6000 vol 0.5 || exit 1
  lame --quiet --cbr -b 192 stream20.wav stream20.mp3 || exit 1
  oggenc -Q -q 5 stream20.wav -o stream20.ogg || exit 1
  lame --quiet --decode stream20.mp3 stream20_mp3_ref.wav || exit 1
  oggdec -Q stream20.ogg -o stream20_ogg_ref.wav || exit 1
fi

# As record_tone.sh: small fragments, a recorder seen delivering before the sound starts, and
# half a second more of audio awaited after the player ends, whatever the load.
wait_for_bytes() {
  for _ in $(seq 600); do
    [ "$(stat -c %s "$2" 2>/dev/null || echo 0)" -ge "$1" ] && return 0
    kill -0 "$rec" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

failed=0
for run in Ogg:ogg OggStalled:ogg Mp3:mp3 Mp3Stalled:mp3; do
  name=${run%%:*}; kind=${run##*:}
  raw="$PWD/recorded_$name.raw"
  rm -f "$raw"
  parec -d nul.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=10 >"$raw" &
  rec=$!
  if ! wait_for_bytes 1 "$raw"; then
    kill -INT $rec 2>/dev/null; wait $rec 2>/dev/null
    echo "parec delivers nothing"; exit 1
  fi
  "$RUNNER" "$DIR" "$EXE" --gtest_also_run_disabled_tests --gtest_filter="*.DISABLED_${name}ForTheRecorder" || failed=1
  wait_for_bytes $(( $(stat -c %s "$raw") + 88200 )) "$raw" || { echo "recording stalled"; failed=1; }
  kill -INT $rec 2>/dev/null; wait $rec 2>/dev/null
  QUELT_RECORDED="recorded_$name.raw" QUELT_REFERENCE="stream20_${kind}_ref.wav" \
    "$RUNNER" "$DIR" "$EXE" --gtest_also_run_disabled_tests --gtest_filter='*RecordingMatchesTheReference' || failed=1
done
exit $failed
