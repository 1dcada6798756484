#!/bin/bash
# Makes the test movies (Ogg Theora, some with a Vorbis track) with the host's libtheora
# encoder into the given folder: the Windows libraries are built without the encoder.
#   usage: make_movies.sh OUT_DIR SOURCE_DIR
set -euo pipefail
out="$1" src="$2"
mkdir -p "$out"
g++ -std=c++20 -O2 -I"$src" -I"$src/tests" "$src/tests/movie/theora_movie_maker.cpp" \
    "$src/tests/movie/make_movies_main.cpp" -ltheoraenc -ltheoradec -lvorbisenc -lvorbis -logg -lm \
    -o "$out/make_movies"
"$out/make_movies" "$out"
