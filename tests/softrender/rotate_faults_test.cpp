// The rules around the pixel loops: refusals, clipping, edge rules, and the faults mended
// (tall sources, small blend images, bad scales, stale palette entries, set-up overflow).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "softrender/memimg_draw.h"
#include "softrender/rotate_blit.h"
#include "tests/softrender/rotate_test_images.h"

using namespace reftest;
using quelt::TriVertex;

namespace {

constexpr uint32_t kMark = 0x12345678;

void ResetDest(TestImage& dest) {
  for (size_t i = 0; i < dest.Bytes(); i += 4) std::memcpy(dest.img.base->pixels + i, &kMark, 4);
}
bool Untouched(const TestImage& dest) {
  for (size_t i = 0; i < dest.Bytes(); i += 4)
    if (std::memcmp(dest.img.base->pixels + i, &kMark, 4) != 0) return false;
  return true;
}
uint32_t Pixel32(const TestImage& img, int32_t x, int32_t y) {
  uint32_t v;
  std::memcpy(&v, img.img.pixels + y * img.img.base->pitch + x * 4, 4);
  return v;
}

class RotateFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTables();
    quelt::BuildBorderTable(128, 255);
    SetDrawState({0, 0, 0xFFFFFF, {0, 0, 40, 40}});
    quelt::CreateMemImg(&dest.img, 40, 40, -1, 0, 1, 0, 0, 0, nullptr);
    ResetDest(dest);
    MakeSource(src, 1, Kind::Direct, 8, 6, rng);
  }
  std::mt19937 rng{7};
  TestImage dest, src;
};

TEST_F(RotateFaults, BadScalesAndNullImagesDrawNothing) {
  for (float scale : {0.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()}) {
    quelt::MemImgRotateBlit(&dest.img, &src.img, 20, 20, 0.5f, scale, 0, 0, nullptr);
    quelt::MemImgRotateBlit(&dest.img, &src.img, 20, 20, 0.5f, scale, 0, 1, nullptr);
  }
  quelt::MemImgRotateBlit(&dest.img, nullptr, 20, 20, 0.5f, 1.0f, 0, 0, nullptr);
  quelt::MemImgRotateBlit(&dest.img, &src.img, 20, 20, std::nanf(""), 1.0f, 0, 0, nullptr);
  quelt::MemImgQuad(&dest.img, nullptr, nullptr, 0, nullptr);
  quelt::MemImgTriangle(&dest.img, &src.img, nullptr, 0, nullptr, 0);
  EXPECT_TRUE(Untouched(dest));
  // A null source stays the solid fill.
  const TriVertex v[3] = {{1, 1, 0, 0}, {9, 1, 0, 0}, {1, 9, 0, 0}};
  quelt::MemImgTriangle(&dest.img, nullptr, v, 0, nullptr, 0xFF00FF00u);
  EXPECT_EQ(Pixel32(dest, 1, 1), 0xFF00FF00u);
}

TEST_F(RotateFaults, BlendImageSmallerThanSourceDrawsNothing) {
  TestImage blend;
  quelt::CreateMemImg(&blend.img, 8, 5, -1, 0, 2, 0, 0, 0, nullptr);
  std::memset(blend.img.base->pixels, 200, blend.Bytes());
  quelt::MemImgRotateBlit(&dest.img, &src.img, 20, 20, 0.3f, 2.0f, 0, 0, &blend.img);
  quelt::MemImgRotateBlit(&dest.img, &src.img, 20, 20, 0.3f, 2.0f, 0, 1, &blend.img);
  const TriVertex v[3] = {{1, 1, 0, 0}, {30, 1, 8, 0}, {1, 30, 0, 6}};
  quelt::MemImgTriangle(&dest.img, &src.img, v, 0, &blend.img, 0);
  EXPECT_TRUE(Untouched(dest));
}

TEST_F(RotateFaults, RefusedDestinationsAndModesDrawNothing) {
  TestImage src16;
  MakeSource(src16, 0, Kind::Direct, 8, 6, rng);
  quelt::MemImgRotateBlit(&dest.img, &src16.img, 20, 20, 0.0f, 1.0f, 0, 0, nullptr);
  for (uint32_t mode : {5u, 9u, 12u, 0xFFFFFFFFu}) {
    SetDrawState({mode, 128, 0xFFFFFF, {0, 0, 40, 40}});
    quelt::MemImgRotateBlit(&dest.img, &src.img, 20, 20, 0.0f, 1.0f, 0, 0, nullptr);
  }
  for (uint32_t mode : {1u, 2u, 3u}) {
    SetDrawState({mode, 0, 0xFFFFFF, {0, 0, 40, 40}});
    quelt::MemImgRotateBlit(&dest.img, &src.img, 20, 20, 0.0f, 1.0f, 0, 0, nullptr);
  }
  EXPECT_TRUE(Untouched(dest));
}

TEST_F(RotateFaults, PixelsOutsideTheClipAreNeverTouched) {
  SetDrawState({0, 0, 0xFFFFFF, {10, 12, 25, 27}});
  const TriVertex v[3] = {{-30, -30, 0, 0}, {90, -30, 0, 0}, {-30, 90, 0, 0}};
  quelt::MemImgTriangle(&dest.img, nullptr, v, 0, nullptr, 0xAABBCCDDu);
  quelt::MemImgRotateBlit(&dest.img, &src.img, 18, 18, 0.7f, 9.0f, 0, 0, nullptr);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      const bool inside = x >= 10 && x < 25 && y >= 12 && y < 27;
      EXPECT_EQ(Pixel32(dest, x, y) != kMark, inside) << x << "," << y;
    }
}

TEST_F(RotateFaults, TriangleRowsAndNegativeVertexTruncation) {
  // (0, 0) - (10, 0) - (0, 10): rows 0 to 9, both span ends drawn, the bottom row not.
  const TriVertex v[3] = {{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}};
  quelt::MemImgTriangle(&dest.img, nullptr, v, 0, nullptr, 1);
  EXPECT_EQ(Pixel32(dest, 10, 0), 1u);
  EXPECT_EQ(Pixel32(dest, 11, 0), kMark);
  EXPECT_EQ(Pixel32(dest, 1, 9), 1u);
  EXPECT_EQ(Pixel32(dest, 2, 9), kMark);
  EXPECT_EQ(Pixel32(dest, 0, 10), kMark);
  // Vertices at y = -1 truncate toward zero to row 0: the triangle starts on row 0 with its
  // first row's span and ends one row lower than flooring would give.
  ResetDest(dest);
  const TriVertex n[3] = {{0, -1, 0, 0}, {10, -1, 0, 0}, {0, 9, 0, 0}};
  quelt::MemImgTriangle(&dest.img, nullptr, n, 0, nullptr, 2);
  EXPECT_EQ(Pixel32(dest, 10, 0), 2u);
  EXPECT_EQ(Pixel32(dest, 1, 9), 2u);
  EXPECT_EQ(Pixel32(dest, 2, 9), kMark);
  EXPECT_EQ(Pixel32(dest, 0, 10), kMark);
  // Collinear vertices and a flat triangle draw nothing.
  ResetDest(dest);
  const TriVertex line[3] = {{0, 0, 0, 0}, {5, 5, 0, 0}, {10, 10, 0, 0}};
  const TriVertex flat[3] = {{0, 3, 0, 0}, {5, 3, 0, 0}, {10, 3, 0, 0}};
  quelt::MemImgTriangle(&dest.img, nullptr, line, 0, nullptr, 3);
  quelt::MemImgTriangle(&dest.img, nullptr, flat, 0, nullptr, 3);
  EXPECT_TRUE(Untouched(dest));
}

TEST_F(RotateFaults, WindingAndVertexOrderCoverTheSamePixels) {
  const TriVertex a = {3, 2, 0, 0}, b = {33, 11, 8, 0}, c = {9, 35, 0, 6};
  const TriVertex orders[6][3] = {{a, b, c}, {a, c, b}, {b, a, c}, {b, c, a}, {c, a, b}, {c, b, a}};
  std::vector<bool> first;
  for (const auto& o : orders) {
    ResetDest(dest);
    quelt::MemImgTriangle(&dest.img, nullptr, o, 0, nullptr, 9);
    std::vector<bool> covered;
    for (int32_t i = 0; i < 1600; ++i) covered.push_back(Pixel32(dest, i % 40, i / 40) == 9);
    if (first.empty()) first = covered;
    EXPECT_EQ(covered, first);
  }
}

TEST_F(RotateFaults, TallSourceFallsBackToRowTimesPitch) {
  TestImage tall, expect;
  MakeSource(tall, 1, Kind::Direct, 375, 5000, rng);
  quelt::CreateMemImg(&expect.img, 40, 40, -1, 0, 1, 0, 0, 0, nullptr);
  ResetDest(expect);
  // Scaled down (to 3 x 40 pixels) so that rows near the bottom of the source land in the
  // destination.
  const RefState state{0, 0, 0xFFFFFF, {0, 0, 40, 40}};
  for (float angle : {0.0f, 1.2f}) {
    quelt::MemImgRotateBlit(&dest.img, &tall.img, 20, -2480 / 200 + 20, angle, 0.008f, 0, 0, nullptr);
    RefRotateBlit(&expect.img, &tall.img, 20, -2480 / 200 + 20, angle, 0.008f, 0, 0, nullptr, state);
  }
  EXPECT_EQ(std::memcmp(dest.img.base->pixels, expect.img.base->pixels, dest.Bytes()), 0);
  EXPECT_FALSE(Untouched(dest));
}

TEST_F(RotateFaults, PaletteCopyNeverReadsEntriesOfAnEarlierCall) {
  TestImage first, second, expect;
  MakeSource(first, 1, Kind::Palette, 6, 6, rng);
  MakeSource(second, 1, Kind::Palette, 6, 6, rng);
  second.img.base->paletteCount = 1;  // fewer entries in use than indices in the pixels
  quelt::CreateMemImg(&expect.img, 40, 40, -1, 0, 1, 0, 0, 0, nullptr);
  ResetDest(expect);
  const RefState state{0, 0, 0xFFFFFF, {0, 0, 40, 40}};
  quelt::MemImgRotateBlit(&dest.img, &first.img, 8, 8, 0.0f, 1.0f, 0, 0, nullptr);
  RefRotateBlit(&expect.img, &first.img, 8, 8, 0.0f, 1.0f, 0, 0, nullptr, state);
  quelt::MemImgRotateBlit(&dest.img, &second.img, 25, 25, 0.0f, 1.0f, 0, 0, nullptr);
  RefRotateBlit(&expect.img, &second.img, 25, 25, 0.0f, 1.0f, 0, 0, nullptr, state);
  EXPECT_EQ(std::memcmp(dest.img.base->pixels, expect.img.base->pixels, dest.Bytes()), 0);
}

TEST_F(RotateFaults, SetUpNearTheCoordinateLimitsDoesNotWrap) {
  // Y differences of about 16000 rows pass 2^31 in 14.18; the triangle still covers the
  // destination (every pixel has x + y below 100, inside the hypotenuse).
  const TriVertex big[3] = {{-8000, -8000, 0, 0}, {8100, -8000, 0, 0}, {-8000, 8100, 0, 0}};
  quelt::MemImgTriangle(&dest.img, nullptr, big, 0, nullptr, 5);
  for (int32_t i = 0; i < 1600; ++i) ASSERT_EQ(Pixel32(dest, i % 40, i / 40), 5u) << i;
  // Extreme and NaN-derived coordinates stay inside the destination.
  ResetDest(dest);
  const int32_t m = INT32_MIN, M = INT32_MAX;
  const TriVertex wild[3] = {{m, m, m, m}, {M, 0, M, 0}, {0, M, 0, M}};
  quelt::MemImgTriangle(&dest.img, &src.img, wild, 1, nullptr, 0);
  const int32_t corners[8] = {m, m, M, m, m, M, M, M};
  quelt::MemImgQuad(&dest.img, &src.img, corners, 0, nullptr);
  quelt::MemImgRotateBlit(&dest.img, &src.img, m, M, 1e30f, 1e-30f, 0, 0, nullptr);
  quelt::MemImgRotateBlit(&dest.img, &src.img, -8000, 8000, 0.78f, 1.0f, 0, 0, nullptr);
  SUCCEED();
}

TEST_F(RotateFaults, QuadOutsideTheClipReturnsEarlyAndCoincidentCornersDrawOneHalf) {
  const int32_t left[8] = {-20, 5, -10, 5, -20, 15, -10, 15};
  quelt::MemImgQuad(&dest.img, &src.img, left, 0, nullptr);
  EXPECT_TRUE(Untouched(dest));
  const int32_t pinched[8] = {5, 5, 5, 5, 5, 30, 30, 30};  // corners 0 and 1 coincide
  quelt::MemImgQuad(&dest.img, &src.img, pinched, 0, nullptr);
  EXPECT_FALSE(Untouched(dest));
}

TEST_F(RotateFaults, TurnFlagMirrorsLeftToRight) {
  TestImage plain, turned;
  quelt::CreateMemImg(&plain.img, 40, 40, -1, 0, 1, 0, 0, 0, nullptr);
  quelt::CreateMemImg(&turned.img, 40, 40, -1, 0, 1, 0, 0, 0, nullptr);
  ResetDest(plain);
  ResetDest(turned);
  quelt::MemImgRotateBlit(&plain.img, &src.img, 20, 20, 0.0f, 1.0f, 0, 0, nullptr);
  quelt::MemImgRotateBlit(&turned.img, &src.img, 20, 20, 0.0f, 1.0f, 0, 1, nullptr);
  // Unturned: source column c lands on x = 16 + c; turned, on x = 23 - c: the same 8
  // columns mirrored.
  for (int32_t c = 0; c < 8; ++c) {
    EXPECT_EQ(Pixel32(turned, 23 - c, 18), Pixel32(plain, 16 + c, 18)) << c;
  }
  EXPECT_EQ(Pixel32(turned, 15, 18), Pixel32(plain, 15, 18));
  EXPECT_EQ(Pixel32(turned, 24, 18), Pixel32(plain, 24, 18));
}

}  // namespace

// A span whose texture position starts exactly at 2^31 (u = 8192 pixels) lies wholly outside
// the source: the fast path's range must come out empty, not start at a wrapped pixel.
TEST_F(RotateFaults, SpanStartingAtTwoToTheThirtyFirstDrawsNothing) {
  TestImage square, wide;
  MakeSource(square, 1, Kind::Direct, 8, 8, rng);
  quelt::CreateMemImg(&wide.img, 500, 300, -1, 0, 1, 0, 0, 0, nullptr);
  ResetDest(wide);
  SetDrawState({0, 0, 0xFFFFFF, {0, 0, 500, 300}});
  const TriVertex v[3] = {{0, 0, 8192, 0}, {1, 300, 8491, 0}, {500, 1, 8193, 0}};
  quelt::MemImgTriangle(&wide.img, &square.img, v, 0, nullptr, 0);
  EXPECT_TRUE(Untouched(wide));
}

// One transparency rule for 16-bit pixels: the blitter and the rotated blit skip the same
// pixels, also when the stored colour has bits above the pixel's 16.
TEST_F(RotateFaults, SixteenBitTransparentColourMatchesTheBlitter) {
  TestImage source, blitted, rotated;
  quelt::CreateMemImg(&source.img, 4, 4, -1, 0x11234, 0, 0, 0, 0, nullptr);
  for (int32_t i = 0; i < 16; ++i) {
    const uint16_t word = i % 3 == 0 ? 0x1234 : static_cast<uint16_t>(0x4000 + i);
    std::memcpy(source.img.pixels + (i / 4) * source.img.base->pitch + (i % 4) * 2, &word, 2);
  }
  for (TestImage* d : {&blitted, &rotated}) {
    quelt::CreateMemImg(&d->img, 8, 8, -1, 0, 0, 0, 0, 0, nullptr);
    std::memset(d->img.base->pixels, 0xAB, d->Bytes());
  }
  SetDrawState({0, 0, 0xFFFFFF, {0, 0, 8, 8}});
  quelt::MemImgBlit(&blitted.img, &source.img, 2, 2, 1, nullptr);
  quelt::MemImgRotateBlit(&rotated.img, &source.img, 4, 4, 0.0f, 1.0f, 1, 0, nullptr);
  EXPECT_EQ(std::memcmp(blitted.img.base->pixels, rotated.img.base->pixels, blitted.Bytes()), 0);
  uint16_t skipped;
  std::memcpy(&skipped, rotated.img.pixels + 2 * rotated.img.base->pitch + 2 * 2, 2);
  EXPECT_EQ(skipped, 0xABAB);
}

// A graph drawn onto itself shows its pixels as they were before the call: every renderer
// gives what drawing a separate copy of it gives.
TEST_F(RotateFaults, DrawingAnImageOntoItselfReadsItsOldPixels) {
  const quelt::IntRect clip{0, 0, 24, 16};
  using Draw = void (*)(quelt::MEMIMG*, const quelt::MEMIMG*);
  const Draw draws[] = {
      [](quelt::MEMIMG* d, const quelt::MEMIMG* s) { quelt::MemImgBlit(d, s, 1, 1, 0, nullptr); },
      [](quelt::MEMIMG* d, const quelt::MEMIMG* s) {
        const quelt::IntRect r{2, 1, 30, 19};
        quelt::MemImgStretchBlit(d, s, &r, 0, nullptr);
      },
      [](quelt::MEMIMG* d, const quelt::MEMIMG* s) { quelt::MemImgRotateBlit(d, s, 13, 9, 0.3f, 1.2f, 0, 0, nullptr); },
      [](quelt::MEMIMG* d, const quelt::MEMIMG* s) {
        const quelt::TriVertex v[3] = {{3, 1, 0, 0}, {22, 4, 24, 0}, {2, 15, 0, 16}};
        quelt::MemImgTriangle(d, s, v, 0, nullptr, 0);
      },
  };
  for (uint32_t mode : {0u, 1u}) {
    for (size_t i = 0; i < std::size(draws); ++i) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " renderer " << i);
      TestImage self, copy, target;
      MakeSource(self, 1, Kind::Direct, 24, 16, rng);
      quelt::CreateMemImg(&copy.img, 24, 16, -1, 0, 1, 0, 0, 0, nullptr);
      quelt::CreateMemImg(&target.img, 24, 16, -1, 0, 1, 0, 0, 0, nullptr);
      std::memcpy(copy.img.base->pixels, self.img.base->pixels, self.Bytes());
      std::memcpy(target.img.base->pixels, self.img.base->pixels, self.Bytes());
      SetDrawState({mode, 100, 0xFFFFFF, clip});
      draws[i](&self.img, &self.img);
      draws[i](&target.img, &copy.img);
      EXPECT_EQ(std::memcmp(self.img.base->pixels, target.img.base->pixels, self.Bytes()), 0);
    }
  }
}

// A centre far outside the destination, beyond what 14.18 holds (8192 pixels), as a runner
// far behind the camera is: the picture lies wholly off the destination and draws nothing,
// on either road, for any angle.
TEST_F(RotateFaults, CentreBeyondTheFixedPointRangeDrawsNothingOffTheDestination) {
  TestImage big;
  MakeSource(big, 1, Kind::Direct, 160, 160, rng);
  for (int32_t y : {8200, 20000, 33000, 70000, -9000, -40000}) {
    for (float angle : {0.0f, 0.7f, 1.6f, 3.1f, 4.4f}) {
      for (int32_t turn : {0, 1}) {
        quelt::MemImgRotateBlit(&dest.img, &big.img, 20, y, angle, 3.75f, 1, turn, nullptr);
        quelt::MemImgRotateBlit(&dest.img, &big.img, y, 20, angle, 3.75f, 1, turn, nullptr);
        ASSERT_TRUE(Untouched(dest)) << y << " " << angle << " " << turn;
      }
    }
  }
}
