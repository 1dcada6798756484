// Ogg Theora movies played into graphs under Wine, on the Direct3D device and on the
// software screen: the first frame is there before the movie plays, frames follow the clock
// (or the Vorbis track's position) one by one, with the flat colour of each frame; pause,
// resume, loop and the end of the movie.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/core_state.h"
#include "core/entry/main_window.h"
#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "movie/movie_open.h"
#include "movie/movie_platform.h"
#include "movie/movie_table.h"
#include "movie/theora_decoder.h"
#include "movie/theora_movie_maker.h"
#include "sound/sound.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;
using quelt_test::MovieRecipe;

constexpr int32_t kScreen = 600;
constexpr int32_t kFps = 30;

MovieRecipe ClockMovie() {
  MovieRecipe r;
  r.frames = 24;
  r.framesPerPage = 3;
  return r;
}

MovieRecipe SoundMovie() {
  MovieRecipe r;
  r.frames = 30;
  r.vorbis = true;
  return r;
}

bool WriteMovie(const MovieRecipe& recipe, const char* path) {
  const std::vector<uint8_t> bytes = quelt_test::TestMovie(recipe);
  if (bytes.empty()) return false;
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

struct Drawn {
  int32_t frame = -1;     // nearest flat colour among the movie's frames
  int32_t distance = 0;   // its distance (sum over the three channels)
  bool flat = true;       // the centre of the picture alike within rounding
};

// The test movies' frames are flat in their centre (16..47, 12..35) inside a still textured
// border; a margin stays clear of the codec's smoothing at the edge.
constexpr int32_t kCentreX1 = 20, kCentreX2 = 44, kCentreY1 = 16, kCentreY2 = 32;

int32_t Channel(uint32_t p, int shift) { return static_cast<int32_t>((p >> shift) & 0xFF); }

// The colour of a YUV sample by the full-range formula, which Wine's Direct3D applies when
// it stretches a YUV surface into a texture (the software road and Windows drivers take
// the studio range of ExpectedRgb).
uint32_t FullRangeRgb(quelt_test::YuvColour c) {
  auto clamp = [](double x) { return static_cast<uint32_t>(x < 0 ? 0 : x > 255 ? 255 : x); };
  const double u = c.u - 128.0, v = c.v - 128.0;
  return clamp(c.y + 1.402 * v) << 16 | clamp(c.y - 0.344 * u - 0.714 * v) << 8 | clamp(c.y + 1.772 * u);
}

int32_t Distance(uint32_t a, uint32_t b) {
  return std::abs(Channel(a, 0) - Channel(b, 0)) + std::abs(Channel(a, 8) - Channel(b, 8)) +
         std::abs(Channel(a, 16) - Channel(b, 16));
}

// Draws the graph on the erased back screen (which brings its movie up to date) and names
// the frame whose flat colour it shows.
Drawn DrawAndRead(int32_t graph, int32_t frames) {
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
  DrawGraphAtPoint(0, 0, graph, 0);
  std::vector<uint32_t> pixels(static_cast<size_t>(kScreen) * kScreen, 0);
  Drawn out;
  if (ReadBackDrawScreen(pixels.data(), kScreen, kScreen) < 0) return out;
  const uint32_t centre = pixels[24 * kScreen + 32] & 0xFFFFFF;
  for (int32_t y = kCentreY1; y < kCentreY2; ++y)
    for (int32_t x = kCentreX1; x < kCentreX2; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y * kScreen + x)];
      for (int shift : {0, 8, 16})
        if (std::abs(Channel(p, shift) - Channel(centre, shift)) > 2) out.flat = false;
    }
  out.distance = 1 << 30;
  for (int32_t f = 0; f < frames; ++f) {
    uint8_t b, g, r;
    quelt_test::ExpectedRgb(quelt_test::FrameColour(f), &b, &g, &r);
    int32_t d = Distance(centre, static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b);
    if (ScreenState.hardware == 1) d = std::min(d, Distance(centre, FullRangeRgb(quelt_test::FrameColour(f))));
    if (d < out.distance) {
      out.distance = d;
      out.frame = f;
    }
  }
  return out;
}

// Within the encoder's and the conversion's rounding; neighbouring frames lie much further apart.
constexpr int32_t kColourTolerance = 12;

EngineHandle MovieOf(int32_t graph) {
  const GraphRecord* record = GetGraphRecord(graph);
  return record != nullptr ? record->linkedMovie : -1;
}

int32_t ClockFrame(const MovieRecord* record) {
  return static_cast<int32_t>((ReadMicrosecondClock(0) - record->startTime) * kFps / 1000000);
}

// Whether the clock named `frame` (of a looping movie of n frames) at some time between two
// readings of it.
bool ClockNamed(int32_t frame, int32_t before, int32_t after, int32_t n) {
  for (int32_t k = before; k <= after; ++k)
    if (k % n == frame) return true;
  return false;
}

class TheoraMovies : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteMovie(ClockMovie(), "clock.ogv")) << "no test movie: run movie_files_make first";
    ASSERT_TRUE(WriteMovie(SoundMovie(), "sound.ogv"));
    const std::string caption = std::string("quelt theora ") + (GetParam() ? "d3d" : "soft");
    ASSERT_EQ(quelt_test::StartEngineSession({caption.c_str(), GetParam()}), 0);
    ASSERT_EQ(ScreenState.hardware, GetParam());
  }
  void TearDown() override {
    DeleteAllGraphs();
    quelt_test::StopEngineSession();
  }
};

TEST_P(TheoraMovies, FirstFrameIsInTheGraphBeforeTheMoviePlays) {
  const int32_t graph = OpenGraphFile("clock.ogv", 1, 0, 0);
  ASSERT_GE(graph, 0);
  int32_t width = 0, height = 0;
  QueryGraphDimensions(graph, &width, &height);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  const MovieRecord* record = GetMovieRecord(MovieOf(graph));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->theoraFlag, 1);
  EXPECT_EQ(record->sound, -1);
  if (GetParam()) {
    EXPECT_NE(GetTheoraYv12Surface(record->decoder), nullptr);
  }
  for (int i = 0; i < 3; ++i) {
    const Drawn drawn = DrawAndRead(graph, 24);
    EXPECT_TRUE(drawn.flat);
    EXPECT_EQ(drawn.frame, 0);
    EXPECT_LE(drawn.distance, kColourTolerance);
  }
}

// Plays the movie of `frames` frames in the graph to its end: each frame shown is the one
// the clock pointed at during its draw, frames only move on, and the last one stays.
void ExpectClockFramesToTheEnd(int32_t graph, int32_t frames) {
  const EngineHandle movie = MovieOf(graph);
  const MovieRecord* record = GetMovieRecord(movie);
  ASSERT_EQ(PlayMovie(movie, 1), 0);
  std::vector<int32_t> seen;
  const DWORD start = GetTickCount();
  while (GetMovieStatus(movie) == 1 && GetTickCount() - start < 10000) {
    const int32_t before = std::min(ClockFrame(record), frames - 1);
    const Drawn drawn = DrawAndRead(graph, frames);
    const int32_t after = std::min(ClockFrame(record), frames - 1);
    ASSERT_TRUE(drawn.flat);
    ASSERT_LE(drawn.distance, kColourTolerance);
    EXPECT_GE(drawn.frame, before);
    EXPECT_LE(drawn.frame, after);
    EXPECT_EQ(drawn.frame, GetTheoraCurrentFrame(record->decoder));
    if (seen.empty() || seen.back() != drawn.frame) seen.push_back(drawn.frame);
  }
  EXPECT_EQ(GetMovieStatus(movie), 0) << "the movie did not end";
  EXPECT_EQ(record->playing, 0);
  EXPECT_EQ(record->paused, 1);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), frames - 1);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
  EXPECT_EQ(DrawAndRead(graph, frames).frame, frames - 1);
}

TEST_P(TheoraMovies, FramesFollowTheClockOneByOneUntilTheEnd) {
  const int32_t graph = OpenGraphFile("clock.ogv", 1, 0, 0);
  ASSERT_GE(graph, 0);
  ExpectClockFramesToTheEnd(graph, 24);
}

// Run by without_sound_sink.sh with the session's sound server out of reach: the engine
// starts without sound, the movie's Vorbis track is not loaded, and the clock times it.
TEST_P(TheoraMovies, DISABLED_FollowsTheClockWithoutASoundSink) {
  ASSERT_FALSE(SoundStarted()) << "the sound sink is within reach";
  const int32_t graph = OpenGraphFile("sound.ogv", 1, 0, 0);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(GetMovieRecord(MovieOf(graph))->sound, -1);
  ExpectClockFramesToTheEnd(graph, 30);
}

TEST_P(TheoraMovies, PausesResumesAndLoops) {
  const int32_t graph = OpenGraphFile("clock.ogv", 1, 0, 0);
  ASSERT_GE(graph, 0);
  const EngineHandle movie = MovieOf(graph);
  const MovieRecord* record = GetMovieRecord(movie);
  ASSERT_EQ(PlayMovie(movie, 3), 0);
  Sleep(300);
  ASSERT_EQ(PauseMovie(movie, 0), 0);
  const int32_t paused = DrawAndRead(graph, 24).frame;
  EXPECT_GT(paused, 0);
  Sleep(300);
  EXPECT_EQ(DrawAndRead(graph, 24).frame, paused);
  EXPECT_EQ(GetTheoraCurrentFrame(record->decoder), paused);

  // Played again, the clock continues from the paused frame.
  ASSERT_EQ(PlayMovie(movie, 3), 0);
  const int32_t resumed = DrawAndRead(graph, 24).frame;
  EXPECT_TRUE(ClockNamed(resumed, paused, ClockFrame(record), 24)) << resumed << " after " << paused;

  // Looping: past the last frame it starts again at the frame the clock names.
  bool wrapped = false;
  int32_t last = resumed;
  const DWORD start = GetTickCount();
  while (!wrapped && GetTickCount() - start < 10000) {
    const int32_t before = ClockFrame(record);
    const Drawn drawn = DrawAndRead(graph, 24);
    const int32_t after = ClockFrame(record);
    ASSERT_LE(drawn.distance, kColourTolerance);
    EXPECT_TRUE(ClockNamed(drawn.frame, before, after, 24)) << drawn.frame << " outside " << before << ".." << after;
    if (drawn.frame < last) wrapped = true;
    last = drawn.frame;
  }
  EXPECT_TRUE(wrapped);
  EXPECT_EQ(GetMovieStatus(movie), 1);
}

TEST_P(TheoraMovies, FramesFollowTheSoundTrackWhichIsHeardForItsLengthAndEndsTheMovie) {
  const int32_t graph = OpenGraphFile("sound.ogv", 1, 0, 0);
  ASSERT_GE(graph, 0);
  const EngineHandle movie = MovieOf(graph);
  const MovieRecord* record = GetMovieRecord(movie);
  ASSERT_NE(record->sound, -1) << "the Vorbis track did not load";
  EXPECT_EQ(GetSoundCreateType(), 0);
  // The track holds the movie's whole second of sound.
  EXPECT_NEAR(GetSoundTotalTimeMs(record->sound), 1000, 20);
  ASSERT_EQ(PlayMovie(movie, 1), 0);
  int32_t highest = -1;
  std::vector<int32_t> positions;
  DWORD ended = 0;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 4000 && GetMovieStatus(movie) == 1) {
    const int32_t before = GetSoundPositionMs(record->sound);
    const Drawn drawn = DrawAndRead(graph, 30);
    const int32_t after = GetSoundPositionMs(record->sound);
    ASSERT_LE(drawn.distance, kColourTolerance);
    EXPECT_GE(drawn.frame, std::min(before * kFps / 1000, 29));
    EXPECT_LE(drawn.frame, std::min(after * kFps / 1000, 29));
    highest = std::max(highest, drawn.frame);
    positions.push_back(after);
    PumpFrameMessages();  // the frame's work refills the stream and sees its end
    if (GetMovieStatus(movie) != 1) ended = GetTickCount() - start;
  }
  // The position went through the track as it played, not at once to its end.
  ASSERT_GE(positions.size(), 5u);
  int32_t distinct = 0;
  for (size_t i = 1; i < positions.size(); ++i) {
    EXPECT_GE(positions[i], positions[i - 1]);
    distinct += positions[i] != positions[i - 1];
  }
  EXPECT_GE(distinct, 4);
  EXPECT_GE(positions.back(), 950);
  // Ended with its track: a caller waiting for the end sees it, on the last frame.
  EXPECT_EQ(GetMovieStatus(movie), 0) << "the movie did not end with its track";
  EXPECT_GE(ended, 900u) << "ended before the track was heard";
  EXPECT_EQ(highest, 29);
  EXPECT_EQ(DrawAndRead(graph, 30).frame, 29);
  EXPECT_EQ(record->playing, 0);
  EXPECT_EQ(record->paused, 1);
}

// Counts pixels of the maker's padding colour (magenta) in the drawn width x height.
int32_t PaddingShown(int32_t width, int32_t height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(kScreen) * kScreen, 0);
  if (ReadBackDrawScreen(pixels.data(), kScreen, kScreen) < 0) return -1;
  int32_t count = 0;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y * kScreen + x)];
      if (Channel(p, 16) > 200 && Channel(p, 8) < 80 && Channel(p, 0) > 200) ++count;
    }
  return count;
}

// Movies whose picture does not fill whole 16 x 16 blocks: the graph has the picture's size
// and shows none of the coded frame's padding.
TEST_P(TheoraMovies, OddSizedMovieShowsOnlyItsPicture) {
  for (const auto& [width, height] : {std::pair{322, 242}, std::pair{160, 120}}) {
    MovieRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.frames = 4;
    ASSERT_TRUE(WriteMovie(recipe, "odd.ogv"));
    const int32_t graph = OpenGraphFile("odd.ogv", 1, 0, 0);
    ASSERT_GE(graph, 0);
    int32_t w = 0, h = 0;
    QueryGraphDimensions(graph, &w, &h);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    SelectDrawScreen(DrawScreenBack);
    EraseDrawScreen();
    DrawGraphAtPoint(0, 0, graph, 0);
    EXPECT_EQ(PaddingShown(w + 16, h + 16), 0) << width << "x" << height;
    ReleaseGraphHandle(graph);
  }
}

// 4:2:2 and 4:4:4 pictures show their colours on both back ends (on Direct3D they once came
// out a flat green).
TEST_P(TheoraMovies, ChromaLayoutsBeyond420ShowTheirColours) {
  for (const int32_t format : {2, 3}) {
    MovieRecipe recipe;
    recipe.frames = 8;
    recipe.pixelFormat = format;
    ASSERT_TRUE(WriteMovie(recipe, "chroma.ogv"));
    const int32_t graph = OpenGraphFile("chroma.ogv", 1, 0, 0);
    ASSERT_GE(graph, 0);
    const EngineHandle movie = MovieOf(graph);
    EXPECT_EQ(GetTheoraYv12Surface(GetMovieRecord(movie)->decoder), nullptr);
    const Drawn first = DrawAndRead(graph, 8);
    EXPECT_TRUE(first.flat);
    EXPECT_EQ(first.frame, 0);
    EXPECT_LE(first.distance, kColourTolerance) << "format " << format;
    ReleaseGraphHandle(graph);
  }
}

// A 4:2:0 picture whose chroma planes have an odd width or height (a picture size of 2
// mod 4) shows the same colours on Direct3D as the software road's exact conversion.
TEST(TheoraParity, ChromaPlanesOfOddSizeShowTheSameColoursOnBothBackEnds) {
  for (const auto& [width, height] : {std::pair{322, 242}, std::pair{320, 242}, std::pair{322, 240},
                                       std::pair{160, 120}}) {
    MovieRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.frames = 4;
    ASSERT_TRUE(WriteMovie(recipe, "chroma420.ogv")) << "no test movie: run movie_files_make first";
    std::vector<uint32_t> shown[2];
    for (const int32_t hardware : {1, 0}) {
      ASSERT_EQ(quelt_test::StartEngineSession({hardware ? "quelt theora chroma d3d" : "quelt theora chroma soft",
                                                hardware}),
                0);
      const int32_t graph = OpenGraphFile("chroma420.ogv", 1, 0, 0);
      ASSERT_GE(graph, 0);
      SelectDrawScreen(DrawScreenBack);
      EraseDrawScreen();
      DrawGraphAtPoint(0, 0, graph, 0);
      shown[hardware] = quelt_test::ReadBackScreen(kScreen, kScreen);
      DeleteAllGraphs();
      quelt_test::StopEngineSession();
    }
    ASSERT_FALSE(shown[0].empty());
    ASSERT_EQ(shown[0].size(), shown[1].size());
    int32_t off = 0;
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        const size_t i = static_cast<size_t>(y * kScreen + x);
        for (int shift : {0, 8, 16})
          if (std::abs(Channel(shown[0][i], shift) - Channel(shown[1][i], shift)) > 40) {
            ++off;
            break;
          }
      }
    EXPECT_EQ(off, 0) << width << "x" << height;
  }
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, TheoraMovies, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                           return std::string(info.param ? "Direct3D" : "Software");
                         });

}  // namespace
