#!/bin/bash
# Makes the MP3 files the sound tests load, with Debian's encoders, into the given folder.
set -euo pipefail
out="$1"; mkdir -p "$out"; cd "$out"
# A sweep on the left and 440 Hz on the right: a decode that is shifted, swapped or
# smeared does not correlate with the reference.
sox -n -r 44100 -c 2 -b 16 tone.wav synth 1.0 sine 200-3000 sine 440 vol 0.5
lame --quiet --cbr -b 128 tone.wav tone_cbr.mp3
lame --quiet -V 4 tone.wav tone_vbr.mp3
sox -n -r 22050 -c 1 -b 16 tone22.wav synth 1.0 sine 300-2500 vol 0.5
lame --quiet -m m -b 48 tone22.wav tone_mono22.mp3
lame --quiet --cbr -b 128 --add-id3v2 --id3v1-only --tt title tone.wav tone_id3v1.mp3
lame --quiet --cbr -b 128 --id3v2-only --tt title --ta artist tone.wav tone_id3v2.mp3
lame --quiet --decode tone_cbr.mp3 tone_cbr_ref.wav
lame --quiet --decode tone_mono22.mp3 tone_mono22_ref.wav
lame --quiet --decode tone_vbr.mp3 tone_vbr_ref.wav
lame --quiet --decode tone_id3v1.mp3 tone_id3v1_ref.wav
lame --quiet --decode tone_id3v2.mp3 tone_id3v2_ref.wav
oggenc -Q -q 4 tone.wav -o tone.ogg
oggdec -Q tone.ogg -o tone_ogg_ref.wav
sox tone.wav -e ima-adpcm tone_ima.wav
sox tone.wav -e ms-adpcm tone_ms.wav
# Cut inside its last block.
head -c -5 tone_ima.wav > tone_ima_cut.wav
# Ten seconds that never repeat, streamed past the six-second ring.
sox -R -n -r 44100 -c 2 -b 16 stream10.wav synth 10 pinknoise sine 150-6000 vol 0.5
lame --quiet --cbr -b 192 stream10.wav stream10.mp3
oggenc -Q -q 5 stream10.wav -o stream10.ogg
rm -f stream10.wav
# stream10.mp3 damaged in two stretches, each with runs of 0xFF that look like frame syncs:
# 3000 zero bytes around 32 bytes of 0xFF at a third, 1000 bytes of 0xFF at two thirds;
# lame's decodes of it and of the intact file are the references.
overwrite() {  # file offset count octal-byte
  head -c "$3" /dev/zero | tr '\0' "\\$4" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
size=$(stat -c %s stream10.mp3)
cp stream10.mp3 damaged.mp3
overwrite damaged.mp3 $((size / 3)) 3000 000
overwrite damaged.mp3 $((size / 3 + 1484)) 32 377
overwrite damaged.mp3 $((size * 2 / 3)) 1000 377
lame --quiet --decode stream10.mp3 stream10_ref.wav
lame --quiet --decode damaged.mp3 damaged_ref.wav
