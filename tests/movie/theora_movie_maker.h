#pragma once
// Test movies: Ogg Theora files encoded with libtheora's encoder (and, when asked, a Vorbis
// track muxed in with libogg), held in memory, plus a memory-backed file table to read them.
#include <cstdint>
#include <string>
#include <vector>

#include "file/file_access.h"

namespace quelt_test {

struct YuvColour {
  uint8_t y, u, v;
};

// The flat colour of frame i in the test movies: every frame differs from its neighbours.
YuvColour FrameColour(int32_t frame);

struct MovieRecipe {
  int32_t width = 64;
  int32_t height = 48;
  int32_t frames = 24;
  int32_t fps = 30;
  int32_t keyInterval = 8;     // a key frame every this many frames
  int32_t framesPerPage = 0;   // 0: pages as libogg fills them; n: a page ends after n frames
  bool vorbis = false;         // a Vorbis track of the movie's length, muxed in
  bool textured = false;       // a moving pattern instead of flat colours (for speed figures)
  bool splitTopBottom = false; // flat frames whose top half keeps the colour and bottom half is black
  int32_t pixelFormat = 0;     // chroma layout: 0 = 4:2:0, 2 = 4:2:2, 3 = 4:4:4 (libtheora's numbers)
  // The picture's place in the coded frame (a multiple of 16 in each direction, at least the
  // picture and the offset); the coded area outside the picture is painted PaddingColour.
  int32_t pictureX = 0;
  int32_t pictureY = 0;
};

// The colour of the coded frame outside the picture: a saturated magenta no frame shows.
inline constexpr YuvColour PaddingColour = {128, 230, 230};

// Empty where libtheora's encoder is left out of the build (the Windows libraries).
std::vector<uint8_t> MakeTheoraMovie(const MovieRecipe& recipe);

// Every movie the tests and the benchmark use; make_movies.sh writes them with the host's
// encoder for the Windows programs, under the names below.
std::vector<MovieRecipe> TestMovieRecipes();
std::string MovieFileName(const MovieRecipe& recipe);
// The movie made here, or else read from the folder make_movies.sh filled (the tests' work
// folder under QUELT_BINARY_DIR, or `folder` when given); empty when neither has it.
std::vector<uint8_t> TestMovie(const MovieRecipe& recipe, const std::string& folder = "");

// A file table over memory blocks, as the engine's tables are: open (the path names a block
// registered with RegisterMemoryFile), close, tell, seek, read, end of file. Only one
// test runs it at a time.
void RegisterMemoryFile(const std::string& name, std::vector<uint8_t> bytes);
const quelt::FileAccessTable& MemoryFileTable();

// The expected 32-bit pixel (blue, green, red) of a YUV colour by the player's fixed-point
// formula.
void ExpectedRgb(YuvColour colour, uint8_t* blue, uint8_t* green, uint8_t* red);

}  // namespace quelt_test
