// The Theora player over movies encoded by the tests: the index, the decode thread and its
// stock (every frame number shows its own picture, across loops and seeks, short movies
// included), frame fetch into the 32-bit image and a YUV surface, and hostile files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/tracked_alloc.h"
#include "movie/theora_decoder.h"
#include "movie/theora_movie_maker.h"
#include "movie/theora_platform.h"
#include "movie/yuv_layouts.h"
#include "movie/yuv_tables.h"

namespace quelt {
namespace {

using quelt_test::FrameColour;
using quelt_test::MovieRecipe;

std::vector<uint8_t> NeedMovie(const MovieRecipe& recipe) {
  std::vector<uint8_t> bytes = quelt_test::TestMovie(recipe);
  EXPECT_FALSE(bytes.empty()) << "no test movie " << quelt_test::MovieFileName(recipe) << ": run movie_files_make first";
  return bytes;
}

struct OpenMovieFile {
  FileHandle file = 0;
  TheoraDecoder* decoder = nullptr;
  OpenMovieFile(const std::string& name, std::vector<uint8_t> bytes, int32_t stock = 10) {
    quelt_test::RegisterMemoryFile(name, std::move(bytes));
    file = quelt_test::MemoryFileTable().open(name.c_str(), 0, 1, 0);
    decoder = OpenTheoraDecoder(&quelt_test::MemoryFileTable(), file, stock);
  }
  ~OpenMovieFile() {
    CloseTheoraDecoder(decoder);
    if (file != 0) quelt_test::MemoryFileTable().close(file);
  }
};

// The flat colours repeat after this many frames.
constexpr int32_t ColourCycle = 576;

// The frame (0..575) whose flat colour is nearest the pixel at (x, y).
int32_t ColourIndexAt(TheoraDecoder* d, int32_t x, int32_t y) {
  const uint8_t* p = d->frameImage.pixels + static_cast<intptr_t>(y) * d->frameImage.pitch + x * 4;
  int32_t best = -1;
  int32_t bestDistance = 1 << 30;
  for (int32_t f = 0; f < ColourCycle; ++f) {
    uint8_t b, g, r;
    quelt_test::ExpectedRgb(FrameColour(f), &b, &g, &r);
    const int32_t distance = std::abs(p[0] - b) + std::abs(p[1] - g) + std::abs(p[2] - r);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = f;
    }
  }
  // Flat colours survive the encoder within a few levels.
  EXPECT_LE(bestDistance, 9) << "pixel far from every frame colour";
  return best;
}

int32_t Shown(TheoraDecoder* d) {
  EXPECT_EQ(FetchTheoraFrame(d, 1, 0), 1) << "no picture for frame " << GetTheoraCurrentFrame(d) << ", end flag "
                                          << d->endFlag.load() << ", thread state " << d->threadState.load();
  return ColourIndexAt(d, d->frameImage.width / 2, d->frameImage.height / 2);
}

void PlaysEveryFrameAcrossLoops() {
  MovieRecipe recipe;
  recipe.frames = 24;
  recipe.framesPerPage = 3;
  OpenMovieFile movie("loops.ogv", NeedMovie(recipe));
  TheoraDecoder* d = movie.decoder;
  ASSERT_NE(d, nullptr);
  TheoraInfo info{};
  GetTheoraInfo(d, &info);
  EXPECT_EQ(info.frameCount, 24);
  EXPECT_DOUBLE_EQ(info.framesPerSecond, 30.0);
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 48);
  EXPECT_EQ(GetTheoraCurrentFrame(d), 0);
  EXPECT_EQ(GetTheoraFrameImage(d)->width, 64);

  // The open converts frame 0 and still leaves the first fetch something to deliver.
  EXPECT_EQ(ColourIndexAt(d, 32, 24), 0);
  EXPECT_EQ(Shown(d), 0);
  EXPECT_EQ(FetchTheoraFrame(d, 1, 0), 0) << "both wanted results ready: nothing to do";

  // Frame by frame through two and a half loops: every picture carries its own number.
  for (int32_t step = 1; step <= 60; ++step) {
    AdvanceTheoraFrame(d, 1);
    ASSERT_EQ(GetTheoraCurrentFrame(d), step % 24);
    ASSERT_EQ(Shown(d), step % 24) << "step " << step;
  }
  // Jumps forward and through the end, landing on key frames and between them.
  int32_t expected = GetTheoraCurrentFrame(d);
  for (int32_t jump : {5, 11, 23, 3, 17, 9, 1, 13}) {
    AdvanceTheoraFrame(d, jump);
    expected = (expected + jump) % 24;
    ASSERT_EQ(GetTheoraCurrentFrame(d), expected);
    ASSERT_EQ(Shown(d), expected) << "after a jump of " << jump;
  }
}

class TheoraPlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    InitYuvTables();
    blocksBefore = TrackedAllocator.blockCount;
  }
  void TearDown() override { EXPECT_EQ(TrackedAllocator.blockCount, blocksBefore) << "tracked blocks left"; }
  int32_t blocksBefore = 0;
};

// Whatever the open reads ahead for the thread while it indexes the file (all of it, part
// of the frames, the headers only, nothing), the same pictures come out.
TEST_F(TheoraPlayer, OpensOnFrameZeroAndShowsEachFrameAcrossLoops) {
  const int32_t savedReadAhead = TheoraReadAheadBytes;
  for (const int32_t readAhead : {savedReadAhead, 8192, 6000, 4096, 0}) {
    SCOPED_TRACE(readAhead);
    TheoraReadAheadBytes = readAhead;
    PlaysEveryFrameAcrossLoops();
  }
  TheoraReadAheadBytes = savedReadAhead;
}

TEST_F(TheoraPlayer, SeeksShowTheTargetPicture) {
  MovieRecipe recipe;
  recipe.frames = 40;
  recipe.framesPerPage = 2;
  OpenMovieFile movie("seeks.ogv", NeedMovie(recipe));
  TheoraDecoder* d = movie.decoder;
  ASSERT_NE(d, nullptr);
  for (int32_t target : {13, 0, 39, 7, 9, 30, 1, 22}) {
    RequestTheoraSeek(d, target);
    ASSERT_EQ(GetTheoraCurrentFrame(d), target);
    ASSERT_EQ(Shown(d), target) << "seek to " << target;
    AdvanceTheoraFrame(d, 1);
    ASSERT_EQ(Shown(d), (target + 1) % 40) << "the frame after " << target;
  }
  // Out of range: clamped to the first and the last frame.
  RequestTheoraSeek(d, -5);
  EXPECT_EQ(GetTheoraCurrentFrame(d), 0);
  EXPECT_EQ(Shown(d), 0);
  RequestTheoraSeek(d, 1000);
  EXPECT_EQ(GetTheoraCurrentFrame(d), 39);
  EXPECT_EQ(Shown(d), 39);
  // A seek to the frame shown changes nothing: the ready image stays ready.
  RequestTheoraSeek(d, 39);
  EXPECT_EQ(FetchTheoraFrame(d, 1, 0), 0);
}

TEST_F(TheoraPlayer, MoviesShorterThanOrNearTheStockPlayEveryFrame) {
  // 11 frames against a stock of 10 is the case where stale entries were never released.
  for (int32_t frames : {1, 3, 10, 11, 12, 17}) {
    MovieRecipe recipe;
    recipe.frames = frames;
    OpenMovieFile movie("short.ogv", NeedMovie(recipe));
    TheoraDecoder* d = movie.decoder;
    ASSERT_NE(d, nullptr);
    for (int32_t step = 0; step < frames * 3 + 2; ++step) {
      ASSERT_EQ(Shown(d), step % frames) << frames << " frames, step " << step;
      AdvanceTheoraFrame(d, 1);
    }
  }
}

TEST_F(TheoraPlayer, VorbisPagesBetweenTheVideoAreSkipped) {
  MovieRecipe recipe;
  recipe.frames = 30;
  recipe.vorbis = true;
  OpenMovieFile movie("sound.ogv", NeedMovie(recipe));
  TheoraDecoder* d = movie.decoder;
  ASSERT_NE(d, nullptr);
  TheoraInfo info{};
  GetTheoraInfo(d, &info);
  EXPECT_EQ(info.frameCount, 30);
  for (int32_t step = 0; step < 45; ++step) {
    ASSERT_EQ(Shown(d), step % 30) << step;
    AdvanceTheoraFrame(d, 1);
  }
  RequestTheoraSeek(d, 19);
  EXPECT_EQ(Shown(d), 19);
}

TEST_F(TheoraPlayer, IndexOfALongStreamGrowsAndMarksKeyFrames) {
  MovieRecipe recipe;
  recipe.width = 16;
  recipe.height = 16;
  recipe.frames = 2500;
  recipe.framesPerPage = 1;
  OpenMovieFile movie("long.ogv", NeedMovie(recipe));
  TheoraDecoder* d = movie.decoder;
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->frameCount, 2500);
  EXPECT_EQ(d->keyFrameCapacity, 3000);
  EXPECT_GE(d->pageCount, 2500);
  EXPECT_EQ(d->pageCapacity, 3000);
  EXPECT_EQ(d->pages[0].pageOffset, 0);
  int32_t frames = 0;
  for (int32_t i = 0; i < d->pageCount; ++i) {
    EXPECT_EQ(d->pages[i].firstFrame, frames);
    frames += d->pages[i].packetCount;
  }
  EXPECT_EQ(frames, 2500);
  // A key frame at least every 8 frames (the encoder adds one where it finds a new scene).
  int32_t keys = 0;
  int32_t lastKey = -1;
  for (int32_t f = 0; f < 2500; ++f) {
    if (d->keyFrames[f] == 1) {
      ASSERT_LE(f - lastKey, 8) << f;
      lastKey = f;
      ++keys;
    }
  }
  EXPECT_EQ(d->keyFrames[0], 1);
  EXPECT_LT(keys, 2500 / 4);
  RequestTheoraSeek(d, 2222);
  EXPECT_EQ(Shown(d), 2222 % ColourCycle);
}

TEST_F(TheoraPlayer, PicturesKeepTheirOrientation) {
  MovieRecipe recipe;
  recipe.frames = 4;
  recipe.splitTopBottom = true;
  OpenMovieFile movie("split.ogv", NeedMovie(recipe));
  TheoraDecoder* d = movie.decoder;
  ASSERT_NE(d, nullptr);
  AdvanceTheoraFrame(d, 2);
  ASSERT_EQ(FetchTheoraFrame(d, 1, 0), 1);
  EXPECT_EQ(ColourIndexAt(d, 32, 4), 2);  // the top keeps the frame's colour
  const uint8_t* bottom = d->frameImage.pixels + 44 * d->frameImage.pitch + 32 * 4;
  EXPECT_LE(bottom[0] + bottom[1] + bottom[2], 9);  // the bottom is black
}

TEST_F(TheoraPlayer, WaitsOnTheDecodeThreadEnd) {
  MovieRecipe recipe;
  recipe.frames = 24;
  recipe.framesPerPage = 3;
  OpenMovieFile movie("waits.ogv", NeedMovie(recipe));
  TheoraDecoder* d = movie.decoder;
  ASSERT_NE(d, nullptr);
  const int32_t savedLimit = TheoraWaitLimitMs;
  TheoraWaitLimitMs = 300;
  // A thread parked for good: the fetch of a frame it never decoded gives up.
  d->pauseRequest.store(1);
  while (d->threadState.load() != TheoraParked) SleepTheora(1);
  AdvanceTheoraFrame(d, 17);
  EXPECT_EQ(FetchTheoraFrame(d, 1, 0), 0);
  // A thread that has ended: a seek (which parks the thread first) and a fetch return.
  d->stopRequest.store(1);
  while (d->threadState.load() != TheoraThreadEnded) SleepTheora(1);
  RequestTheoraSeek(d, 5);
  EXPECT_EQ(GetTheoraCurrentFrame(d), 5);
  EXPECT_EQ(FetchTheoraFrame(d, 1, 0), 0);
  TheoraWaitLimitMs = savedLimit;
}

// A pause asked for the moment the open returns: the thread, held through the open, parks
// for it (it once kept waiting to be let go, and a seek at once stalled for its whole limit).
TEST_F(TheoraPlayer, ParksForAPauseRightAfterTheOpen) {
  MovieRecipe recipe;
  recipe.frames = 12;
  const std::vector<uint8_t> bytes = NeedMovie(recipe);
  for (int round = 0; round < 40; ++round) {
    OpenMovieFile movie("pause_at_once.ogv", bytes);
    TheoraDecoder* d = movie.decoder;
    ASSERT_NE(d, nullptr);
    d->pauseRequest.store(1);
    const int32_t start = TheoraMilliseconds();
    while (d->threadState.load() != TheoraParked && TheoraMilliseconds() - start < 10000) SleepTheora(1);
    ASSERT_EQ(d->threadState.load(), TheoraParked) << "round " << round;
    d->pauseRequest.store(0);
  }
}

// A memory YUV surface standing in for Direct3D's.
struct MemorySurface {
  int32_t width, height;
  uint32_t fourCC;
  std::vector<uint8_t> bits;
};
int Creates = 0;
int Releases = 0;
int LockFailures = 0;  // locks still to fail
uint32_t RefusedFourCC = 0;

void* CreateMemorySurface(int32_t width, int32_t height, uint32_t fourCC) {
  if (fourCC == RefusedFourCC) return nullptr;
  ++Creates;
  const size_t size = fourCC == FourCCYv12 ? static_cast<size_t>(width) * height * 3 / 2 : static_cast<size_t>(width) * height * 2;
  return new MemorySurface{width, height, fourCC, std::vector<uint8_t>(size, 0)};
}
void ReleaseMemorySurface(void* s) {
  ++Releases;
  delete static_cast<MemorySurface*>(s);
}
int LockMemorySurface(void* s, uint8_t** bits, int32_t* pitch) {
  if (LockFailures > 0) {
    --LockFailures;
    return -1;
  }
  auto* m = static_cast<MemorySurface*>(s);
  *bits = m->bits.data();
  *pitch = m->fourCC == FourCCYv12 ? m->width : m->width * 2;
  return 0;
}
void UnlockMemorySurface(void*) {}
int32_t Wanted() { return 1; }

class TheoraSurfaceRoad : public TheoraPlayer {
 protected:
  void SetUp() override {
    TheoraPlayer::SetUp();
    saved = TheoraSurface;
    savedWanted = TheoraSurfaceWanted;
    TheoraSurface = {CreateMemorySurface, ReleaseMemorySurface, LockMemorySurface, UnlockMemorySurface};
    TheoraSurfaceWanted = Wanted;
    Creates = Releases = LockFailures = 0;
    RefusedFourCC = 0;
  }
  void TearDown() override {
    TheoraSurface = saved;
    TheoraSurfaceWanted = savedWanted;
    EXPECT_EQ(Creates, Releases);
    TheoraPlayer::TearDown();
  }
  TheoraSurfaceOps saved{};
  int32_t (*savedWanted)() = nullptr;
};

TEST_F(TheoraSurfaceRoad, SurfaceHoldsTheCurrentFramesPlanes) {
  MovieRecipe recipe;
  recipe.frames = 16;
  OpenMovieFile movie("surface.ogv", NeedMovie(recipe));
  TheoraDecoder* d = movie.decoder;
  ASSERT_NE(d, nullptr);
  auto* surface = static_cast<MemorySurface*>(GetTheoraYv12Surface(d));
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(d->fourCC, FourCCYv12);
  AdvanceTheoraFrame(d, 5);
  EXPECT_EQ(FetchTheoraFrame(d, 0, 1), 1);
  EXPECT_EQ(FetchTheoraFrame(d, 0, 1), 0);
  const quelt_test::YuvColour c = FrameColour(5);
  const size_t ySize = 64 * 48;
  EXPECT_NEAR(surface->bits[ySize / 2 + 32], c.y, 3);
  const size_t centre = 12 * 32 + 16;  // of the chroma planes
  EXPECT_NEAR(surface->bits[ySize + centre], c.v, 3);              // V plane first
  EXPECT_NEAR(surface->bits[ySize + ySize / 4 + centre], c.u, 3);  // then U

  // Device loss: the surface goes and comes back; the next fetch refills it.
  ReleaseTheoraDeviceObjects(d);
  EXPECT_EQ(GetTheoraYv12Surface(d), nullptr);
  EXPECT_EQ(FetchTheoraFrame(d, 0, 1), 0) << "no surface, nothing to do";
  RestoreTheoraDeviceObjects(d);
  ASSERT_NE(GetTheoraYv12Surface(d), nullptr);
  EXPECT_EQ(FetchTheoraFrame(d, 0, 1), 1);
}

TEST_F(TheoraSurfaceRoad, FallsBackToPackedAndSurvivesFailingLocks) {
  RefusedFourCC = FourCCYv12;
  MovieRecipe recipe;
  recipe.frames = 8;
  OpenMovieFile movie("packed.ogv", NeedMovie(recipe));
  TheoraDecoder* d = movie.decoder;
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->fourCC, FourCCYuy2);
  AdvanceTheoraFrame(d, 3);
  LockFailures = 3;
  const int createsBefore = Creates;
  EXPECT_EQ(FetchTheoraFrame(d, 1, 1), 1);
  EXPECT_EQ(Creates - createsBefore, 3) << "each failed lock makes the surface anew";
  EXPECT_EQ(d->surfaceReady, 0);
  EXPECT_EQ(d->frameImageReady, 1);
  EXPECT_EQ(ColourIndexAt(d, 32, 24), 3);
  EXPECT_EQ(FetchTheoraFrame(d, 0, 1), 1) << "the surface is still wanted";
  auto* surface = static_cast<MemorySurface*>(GetTheoraYv12Surface(d));
  const quelt_test::YuvColour c = FrameColour(3);
  const size_t centre = 24 * 128 + 32 * 2;  // row 24, column 32
  EXPECT_NEAR(surface->bits[centre], c.y, 3);
  EXPECT_NEAR(surface->bits[centre + 1], c.u, 3);
  EXPECT_NEAR(surface->bits[centre + 3], c.v, 3);
}

// The decode threads allocate their stock while the main thread allocates: the tracked list
// and its totals stay whole.
TEST_F(TheoraPlayer, MoviesOpenedPlayedAndClosedWhileTheMainThreadAllocates) {
  MovieRecipe recipe;
  recipe.frames = 16;
  const std::vector<uint8_t> bytes = NeedMovie(recipe);
  std::vector<void*> mine;
  for (int round = 0; round < 300; ++round) {
    OpenMovieFile first("alloc_a.ogv", bytes);
    OpenMovieFile second("alloc_b.ogv", bytes);
    ASSERT_NE(first.decoder, nullptr);
    ASSERT_NE(second.decoder, nullptr);
    // While both threads fill their stocks.
    for (int k = 0; k < 400; ++k) {
      mine.push_back(TrackedAlloc(16 + k % 64, __FILE__, __LINE__));
      if (mine.size() > 32) {
        TrackedFree(mine.front());
        mine.erase(mine.begin());
      }
    }
    AdvanceTheoraFrame(first.decoder, 1 + round % 5);
    AdvanceTheoraFrame(second.decoder, 2 + round % 7);
    ASSERT_GE(Shown(first.decoder), 0);
    ASSERT_GE(Shown(second.decoder), 0);
  }
  for (void* block : mine) TrackedFree(block);
  EXPECT_EQ(CheckTrackedBlocks(), 0);
  int32_t listed = 0;
  for (TrackedBlockHeader* h = TrackedAllocator.head; h != nullptr && h != &TrackedListEnd; h = h->next) ++listed;
  EXPECT_EQ(listed, TrackedAllocator.blockCount);
}

// Pixels of the coded frame outside the picture carry the maker's padding colour: none of
// them may show.
int32_t PaddingPixels(const RasterImage& image) {
  int32_t count = 0;
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x) {
      const uint8_t* p = image.pixels + static_cast<intptr_t>(y) * image.pitch + x * 4;
      if (p[0] > 200 && p[1] < 80 && p[2] > 200) ++count;
    }
  return count;
}

MovieRecipe LayoutMovie(int32_t width, int32_t height, int32_t pixelFormat, int32_t x = 0, int32_t y = 0) {
  MovieRecipe r;
  r.width = width;
  r.height = height;
  r.frames = width == 64 ? 8 : 4;
  r.pixelFormat = pixelFormat;
  r.pictureX = x;
  r.pictureY = y;
  return r;
}

// Pictures that do not fill whole 16 x 16 blocks, one of them placed away from the frame's
// corner: the player shows the picture and nothing of the padding around it.
TEST_F(TheoraSurfaceRoad, OnlyThePictureRegionIsShown) {
  for (const MovieRecipe& recipe : {LayoutMovie(322, 242, 0), LayoutMovie(160, 120, 0), LayoutMovie(50, 30, 0, 6, 4),
                                    LayoutMovie(52, 28, 0, 6, 4)}) {
    SCOPED_TRACE(quelt_test::MovieFileName(recipe));
    OpenMovieFile movie("region.ogv", NeedMovie(recipe));
    TheoraDecoder* d = movie.decoder;
    ASSERT_NE(d, nullptr);
    TheoraInfo info{};
    GetTheoraInfo(d, &info);
    EXPECT_EQ(info.width, recipe.width);
    EXPECT_EQ(info.height, recipe.height);
    EXPECT_EQ(d->frameImage.width, recipe.width);
    EXPECT_EQ(d->frameImage.height, recipe.height);
    for (int32_t frame = 0; frame < recipe.frames; ++frame) {
      if (frame > 0) AdvanceTheoraFrame(d, 1);
      ASSERT_EQ(Shown(d), frame);
      EXPECT_EQ(PaddingPixels(d->frameImage), 0);
      // The picture's own corner is its textured border, grey.
      const uint8_t* corner = d->frameImage.pixels;
      EXPECT_NEAR(corner[0], corner[1], 12);
      EXPECT_NEAR(corner[2], corner[1], 12);
    }
    // Chroma planes of an odd width or height (a picture size of 2 mod 4) go the RGB road.
    auto* surface = static_cast<MemorySurface*>(GetTheoraYv12Surface(d));
    EXPECT_EQ(surface != nullptr, recipe.width % 4 == 0 && recipe.height % 4 == 0);
    if (surface != nullptr) {
      ASSERT_NE(surface, nullptr);
      EXPECT_EQ(surface->width, recipe.width);
      EXPECT_EQ(surface->height, recipe.height);
      EXPECT_EQ(FetchTheoraFrame(d, 0, 1), 1);
      const quelt_test::YuvColour c = FrameColour(recipe.frames - 1);
      const size_t centre = static_cast<size_t>(recipe.height / 2) * recipe.width + recipe.width / 2;
      EXPECT_NEAR(surface->bits[centre], c.y, 3);
      // The picture's first sample is its border's (luma 64), not the padding's (128).
      EXPECT_NEAR(surface->bits[0], 64, 8);
    }
  }
}

// 4:2:2 and 4:4:4 pictures go the RGB road even where a YUV surface could be made: the
// surfaces only carry 4:2:0, and an unwritten one shows a flat green.
TEST_F(TheoraSurfaceRoad, ChromaLayoutsBeyond420TakeTheRgbRoad) {
  for (const MovieRecipe& recipe : {LayoutMovie(64, 48, 2), LayoutMovie(64, 48, 3), LayoutMovie(320, 240, 2),
                                    LayoutMovie(320, 240, 3)}) {
    SCOPED_TRACE(quelt_test::MovieFileName(recipe));
    OpenMovieFile movie("layout.ogv", NeedMovie(recipe));
    TheoraDecoder* d = movie.decoder;
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(GetTheoraYv12Surface(d), nullptr);
    EXPECT_EQ(Creates, Releases);
    for (int32_t frame = 0; frame < recipe.frames; ++frame) {
      if (frame > 0) AdvanceTheoraFrame(d, 1);
      ASSERT_EQ(Shown(d), frame);
    }
  }
}

TEST_F(TheoraPlayer, HostileFilesAreRefusedOrPlayedWithoutHarm) {
  {
    std::vector<uint8_t> notOgg = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    const int32_t before = TrackedAllocator.blockCount;
    OpenMovieFile movie("riff.avi", notOgg);
    EXPECT_EQ(movie.decoder, nullptr);
    EXPECT_EQ(TrackedAllocator.blockCount, before) << "nothing allocated for a file that is no Ogg stream";
  }
  MovieRecipe recipe;
  recipe.frames = 12;
  recipe.vorbis = true;
  const std::vector<uint8_t> good = NeedMovie(recipe);
  auto exercise = [](TheoraDecoder* d) {
    if (d == nullptr) return;
    for (int i = 0; i < 4; ++i) {
      FetchTheoraFrame(d, 1, 1);
      AdvanceTheoraFrame(d, 3);
    }
    RequestTheoraSeek(d, 5);
    FetchTheoraFrame(d, 1, 0);
  };
  // With the whole file read ahead for the thread while the open indexes it, and with only
  // its start.
  const int32_t savedReadAhead = TheoraReadAheadBytes;
  for (const int32_t readAhead : {savedReadAhead, 6000}) {
    TheoraReadAheadBytes = readAhead;
    // Cut at many lengths, the headers' pages included.
    int32_t opened = 0;
    for (size_t length = 0; length < good.size(); length += length < 200 ? 7 : 211) {
      OpenMovieFile movie("cut.ogv", std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(length)));
      opened += movie.decoder != nullptr;
      exercise(movie.decoder);
    }
    EXPECT_GT(opened, 0);
    // Bytes changed at random places.
    std::srand(22);
    for (int round = 0; round < 40; ++round) {
      std::vector<uint8_t> bad = good;
      for (int k = 0; k < 6; ++k) bad[static_cast<size_t>(std::rand()) % bad.size()] = static_cast<uint8_t>(std::rand());
      OpenMovieFile movie("bad.ogv", bad);
      exercise(movie.decoder);
    }
  }
  TheoraReadAheadBytes = savedReadAhead;
}

}  // namespace
}  // namespace quelt
