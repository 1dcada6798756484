// The blitters' worked cases, their refusals, and the packed operations against their
// spelled-out definitions.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "blit_reference.h"
#include "blit_test_images.h"
#include "softrender/blend_kernels.h"
#include "softrender/memimg_draw.h"

namespace {

using blittest::Kind;
using blittest::Owned;
using quelt::IntRect;

class BlitCases : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { quelt::InitMemImgTables(); }
  void SetUp() override { quelt::SoftDraw = {0, 0, 0xFFFFFF, {0, 0, 1000, 1000}}; }
};

void Make32(Owned& m, int32_t w, int32_t h, uint32_t fill, int32_t alpha = 0) {
  ASSERT_EQ(quelt::CreateMemImg(&m.img, w, h, -1, 0, 1, 0, alpha, 0, nullptr), 0);
  quelt::ClearMemImg(&m.img, nullptr, fill);
}
uint32_t At32(const quelt::MEMIMG& m, int x, int y) {
  uint32_t v;
  std::memcpy(&v, m.pixels + y * m.base->pitch + 4 * x, 4);
  return v;
}
void Set32(quelt::MEMIMG& m, int x, int y, uint32_t v) {
  std::memcpy(m.pixels + y * m.base->pitch + 4 * x, &v, 4);
}

TEST_F(BlitCases, DrawsOnlyInsideTheDrawArea) {
  Owned src;
  Owned dest;
  Make32(src, 4, 4, 0x00ABCDEF);
  Make32(dest, 20, 20, 0);
  quelt::SoftDraw.ClipRect = {5, 5, 15, 15};
  quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 0, nullptr);  // entirely outside
  quelt::MemImgBlit(&dest.img, &src.img, 15, 6, 0, nullptr);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(At32(dest.img, x, y), 0u);
  }
  quelt::MemImgBlit(&dest.img, &src.img, 14, 6, 0, nullptr);  // one column inside
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      const bool inside = x == 14 && y >= 6 && y < 10;
      ASSERT_EQ(At32(dest.img, x, y), inside ? 0x00ABCDEFu : 0u) << x << "," << y;
    }
  }
}

TEST_F(BlitCases, AStaleDrawAreaLargerThanTheDestinationWritesNothingOutside) {
  Owned src;
  Owned dest;
  Make32(src, 8, 8, 0x112233);
  Make32(dest, 4, 4, 0);
  quelt::SoftDraw.ClipRect = {-100, -100, 100, 100};
  quelt::MemImgBlit(&dest.img, &src.img, -2, -2, 0, nullptr);
  const IntRect big{-50, -50, 50, 50};
  quelt::MemImgStretchBlit(&dest.img, &src.img, &big, 0, nullptr);
  quelt::MemImgFillRect(&dest.img, &big, 0x445566);
  EXPECT_EQ(At32(dest.img, 3, 3), 0x445566u);
}

TEST_F(BlitCases, AlphaModeAtTheEndsOfItsParameter) {
  std::mt19937 rng(1);
  Owned src;
  Owned a;
  Owned b;
  blittest::MakeSource(src, false, Kind::Direct, 7, 5, rng);
  blittest::MakeDest(a, false, 9, 9, rng);
  Make32(b, 9, 9, 0);
  std::memcpy(b.img.pixels, a.img.pixels, static_cast<size_t>(a.img.base->pitch) * 9);
  const auto before = blittest::Snapshot(a.img);
  quelt::SoftDraw.BlendMode = 1;
  quelt::SoftDraw.BlendParam = 0;
  quelt::MemImgBlit(&a.img, &src.img, 1, 1, 0, nullptr);
  EXPECT_EQ(blittest::Snapshot(a.img), before);
  quelt::SoftDraw.BlendParam = 255;
  quelt::MemImgBlit(&a.img, &src.img, 1, 1, 1, nullptr);
  quelt::SoftDraw.BlendMode = 0;
  quelt::MemImgBlit(&b.img, &src.img, 1, 1, 1, nullptr);
  EXPECT_EQ(blittest::Snapshot(a.img), blittest::Snapshot(b.img));
}

TEST_F(BlitCases, UnusedModesDrawNothing) {
  std::mt19937 rng(2);
  for (bool is16 : {false, true}) {
    Owned src;
    Owned dest;
    blittest::MakeSource(src, is16, Kind::Direct, 5, 5, rng);
    blittest::MakeDest(dest, is16, 8, 8, rng);
    const auto before = blittest::Snapshot(dest.img);
    for (int32_t mode : {5, 6, 7, 8, 9, 12, 40, -1}) {
      quelt::SoftDraw.BlendMode = mode;
      quelt::SoftDraw.BlendParam = 255;
      quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 0, nullptr);
      const IntRect r{0, 0, 8, 3};
      quelt::MemImgStretchBlit(&dest.img, &src.img, &r, 0, nullptr);
    }
    EXPECT_EQ(blittest::Snapshot(dest.img), before);
  }
}

TEST_F(BlitCases, SaturatingAddAndThePackedCarry) {
  Owned src;
  Owned dest;
  Make32(src, 1, 1, 100 << 16 | 200 << 8 | 250);
  Make32(dest, 1, 1, 200 << 16 | 100 << 8 | 50);
  quelt::SoftDraw.BlendMode = 2;
  quelt::SoftDraw.BlendParam = 255;
  quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 0, nullptr);
  EXPECT_EQ(At32(dest.img, 0, 0) & 0xFFFFFF, 0xFFFFFFu);

  // With a blend image of full weight the term of source blue 11 is 10: 250 + 10 caps at
  // 255 and its carry sets green's lowest bit.
  Owned blend;
  ASSERT_EQ(quelt::CreateMemImg(&blend.img, 1, 1, -1, 0, 2, 0, 0, 0, nullptr), 0);
  blend.img.pixels[0] = 0;
  quelt::BuildBorderTable(0, 0);
  quelt::ReleaseMemImg(&src.img);
  quelt::ReleaseMemImg(&dest.img);
  Make32(src, 1, 1, 11);
  Make32(dest, 1, 1, 250);
  quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 0, &blend.img);
  EXPECT_EQ(At32(dest.img, 0, 0), 0x1FFu);
  EXPECT_EQ(quelt::softblit::PackedAdd32(250, 10), 0x1FFu);
}

TEST_F(BlitCases, AlphaSourceRules) {
  Owned src;
  Owned dest;
  Make32(src, 2, 1, 0, 1);
  Set32(src.img, 0, 0, 0x00808080);  // alpha 0
  Set32(src.img, 1, 0, 0x7F102030);
  Make32(dest, 2, 1, 0x00FFFFFF);
  quelt::SoftDraw.BlendMode = 4;
  quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 1, nullptr);
  EXPECT_EQ(At32(dest.img, 0, 0), 0x00FFFFFFu);  // multiply skips a = 0 like the other copies
  quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 0, nullptr);
  EXPECT_EQ(At32(dest.img, 0, 0), 0x00FFFFFFu);  // and weights it to nothing without the flag
  quelt::SoftDraw.BlendMode = 0;
  quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 0, nullptr);
  EXPECT_EQ(At32(dest.img, 0, 0), 0x00808080u);  // copied whole, alpha byte included
  EXPECT_EQ(At32(dest.img, 1, 0), 0x7F102030u);
}

TEST_F(BlitCases, PaletteTransparencySkipsTheTransparentIndex) {
  Owned src;
  Owned dest;
  ASSERT_EQ(quelt::CreateMemImg(&src.img, 3, 1, -1, 2, 1, 1, 0, 0, nullptr), 0);
  const uint32_t entries[3] = {0x111111, 0x222222, 0x333333};
  std::memcpy(src.img.base->palette, entries, sizeof entries);
  src.img.base->paletteCount = 3;
  src.img.pixels[0] = 0, src.img.pixels[1] = 2, src.img.pixels[2] = 1;
  Make32(dest, 3, 1, 0xABCDEF);
  quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 1, nullptr);
  EXPECT_EQ(At32(dest.img, 0, 0), 0x111111u);
  EXPECT_EQ(At32(dest.img, 1, 0), 0xABCDEFu);
  EXPECT_EQ(At32(dest.img, 2, 0), 0x222222u);
}

TEST_F(BlitCases, PaletteEntriesOutsideTheCountReadTheZeroedBlock) {
  Owned full;
  Owned sparse;
  Owned dest;
  ASSERT_EQ(quelt::CreateMemImg(&full.img, 1, 1, -1, 0, 1, 1, 0, 0, nullptr), 0);
  std::memset(full.img.base->palette, 0x5A, 1024);
  full.img.base->paletteCount = 256;
  full.img.pixels[0] = 5;
  ASSERT_EQ(quelt::CreateMemImg(&sparse.img, 1, 1, -1, 0, 1, 1, 0, 0, nullptr), 0);
  sparse.img.base->paletteCount = 2;
  sparse.img.pixels[0] = 5;
  Make32(dest, 2, 1, 0xFFFFFFFF);
  quelt::MemImgBlit(&dest.img, &full.img, 0, 0, 0, nullptr);
  quelt::MemImgBlit(&dest.img, &sparse.img, 1, 0, 0, nullptr);  // never the earlier call's entries
  EXPECT_EQ(At32(dest.img, 0, 0), 0x5A5A5A5Au);
  EXPECT_EQ(At32(dest.img, 1, 0), 0u);
}

TEST_F(BlitCases, ZeroBlendWeightLeavesTheDestinationInTheMixingModes) {
  std::mt19937 rng(3);
  Owned src;
  Owned dest;
  Owned blend;
  blittest::MakeSource(src, false, Kind::Direct, 6, 4, rng);
  blittest::MakeDest(dest, false, 6, 4, rng);
  ASSERT_EQ(quelt::CreateMemImg(&blend.img, 6, 4, -1, 0, 2, 0, 0, 0, nullptr), 0);
  quelt::ClearMemImg(&blend.img, nullptr, 10);
  quelt::BuildBorderTable(128, 0);  // 10 weighs 0
  const auto before = blittest::Snapshot(dest.img);
  for (int32_t mode : {0, 1, 10, 11}) {
    quelt::SoftDraw.BlendMode = mode;
    quelt::SoftDraw.BlendParam = 200;
    quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 0, &blend.img);
  }
  EXPECT_EQ(blittest::Snapshot(dest.img), before);
}

TEST_F(BlitCases, BlendImagesTooSmallOrOfTheWrongKindDrawNothing) {
  std::mt19937 rng(4);
  Owned src;
  Owned dest;
  blittest::MakeSource(src, false, Kind::Direct, 6, 4, rng);
  blittest::MakeDest(dest, false, 8, 8, rng);
  const auto before = blittest::Snapshot(dest.img);
  Owned narrow;
  Owned wrongKind;
  Owned released;
  ASSERT_EQ(quelt::CreateMemImg(&narrow.img, 5, 4, -1, 0, 2, 0, 0, 0, nullptr), 0);
  ASSERT_EQ(quelt::CreateMemImg(&wrongKind.img, 6, 4, -1, 0, 1, 1, 0, 0, nullptr), 0);
  const IntRect stretched{0, 0, 8, 8};
  for (const quelt::MEMIMG* blend : {&narrow.img, &wrongKind.img, &released.img}) {
    quelt::MemImgBlit(&dest.img, &src.img, 0, 0, 0, blend);
    quelt::MemImgStretchBlit(&dest.img, &src.img, &stretched, 0, blend);
  }
  EXPECT_EQ(blittest::Snapshot(dest.img), before);
}

TEST_F(BlitCases, MismatchedImagesDrawNothing) {
  std::mt19937 rng(5);
  Owned src16;
  Owned dest32;
  Owned destAlpha;
  Owned destPalette;
  blittest::MakeSource(src16, true, Kind::Direct, 4, 4, rng);
  blittest::MakeDest(dest32, false, 4, 4, rng);
  ASSERT_EQ(quelt::CreateMemImg(&destAlpha.img, 4, 4, -1, 0, 0, 0, 1, 0, nullptr), 0);
  ASSERT_EQ(quelt::CreateMemImg(&destPalette.img, 4, 4, -1, 0, 0, 1, 0, 0, nullptr), 0);
  blittest::FillRandom(destAlpha.img, rng);
  blittest::FillRandom(destPalette.img, rng);
  for (Owned* d : {&dest32, &destAlpha, &destPalette}) {
    const auto before = blittest::Snapshot(d->img);
    quelt::MemImgBlit(&d->img, &src16.img, 0, 0, 0, nullptr);
    EXPECT_EQ(blittest::Snapshot(d->img), before);
  }
}

// ---- stretched ----

TEST_F(BlitCases, StretchToTheSourceSizeIsThePlainBlit) {
  std::mt19937 rng(6);
  Owned src;
  Owned a;
  Owned b;
  blittest::MakeSource(src, false, Kind::Direct, 64, 64, rng);
  blittest::MakeDest(a, false, 70, 70, rng);
  Make32(b, 70, 70, 0);
  std::memcpy(b.img.pixels, a.img.pixels, static_cast<size_t>(a.img.base->pitch) * 70);
  quelt::SoftDraw.BlendMode = 1;
  quelt::SoftDraw.BlendParam = 128;  // the plain blitter's halving form
  const IntRect rect{0, 0, 64, 64};
  quelt::MemImgStretchBlit(&a.img, &src.img, &rect, 1, nullptr);
  quelt::MemImgBlit(&b.img, &src.img, 0, 0, 1, nullptr);
  EXPECT_EQ(blittest::Snapshot(a.img), blittest::Snapshot(b.img));
}

TEST_F(BlitCases, ReversedCornersMirror) {
  Owned src;
  Owned dest;
  Make32(src, 64, 64, 0);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) Set32(src.img, x, y, static_cast<uint32_t>(y << 8 | x));
  }
  Make32(dest, 64, 64, 0);
  const IntRect flipX{64, 0, 0, 64};
  quelt::MemImgStretchBlit(&dest.img, &src.img, &flipX, 0, nullptr);
  EXPECT_EQ(At32(dest.img, 0, 5), 5u << 8 | 63);
  EXPECT_EQ(At32(dest.img, 63, 9), 9u << 8 | 0);
  const IntRect flipBoth{64, 64, 0, 0};
  quelt::MemImgStretchBlit(&dest.img, &src.img, &flipBoth, 0, nullptr);
  EXPECT_EQ(At32(dest.img, 0, 0), 63u << 8 | 63);
  EXPECT_EQ(At32(dest.img, 10, 63), 0u << 8 | 53);
}

TEST_F(BlitCases, StretchMapsDestinationColumnsToSourceColumns) {
  Owned two;
  Owned four;
  Owned dest;
  Make32(two, 2, 1, 0);
  Set32(two.img, 1, 0, 1);
  Make32(four, 4, 1, 0);
  for (int x = 0; x < 4; ++x) Set32(four.img, x, 0, static_cast<uint32_t>(x));
  Make32(dest, 50, 1, 0xEE);
  const IntRect widen{0, 0, 4, 1};
  quelt::MemImgStretchBlit(&dest.img, &two.img, &widen, 0, nullptr);
  EXPECT_EQ(At32(dest.img, 0, 0), 0u);
  EXPECT_EQ(At32(dest.img, 1, 0), 0u);
  EXPECT_EQ(At32(dest.img, 2, 0), 1u);
  EXPECT_EQ(At32(dest.img, 3, 0), 1u);
  const IntRect shrink{10, 0, 12, 1};
  quelt::MemImgStretchBlit(&dest.img, &four.img, &shrink, 0, nullptr);
  EXPECT_EQ(At32(dest.img, 10, 0), 0u);
  EXPECT_EQ(At32(dest.img, 11, 0), 2u);
  // Left 10 columns clipped away: the first visible column still shows source column 0,
  // and column 1 starts 10 columns later.
  quelt::ClearMemImg(&dest.img, nullptr, 0xEE);
  quelt::SoftDraw.ClipRect = {10, 0, 50, 1};
  const IntRect clipped{0, 0, 40, 1};
  quelt::MemImgStretchBlit(&dest.img, &two.img, &clipped, 0, nullptr);
  EXPECT_EQ(At32(dest.img, 9, 0), 0xEEu);
  EXPECT_EQ(At32(dest.img, 10, 0), 0u);
  EXPECT_EQ(At32(dest.img, 19, 0), 0u);
  EXPECT_EQ(At32(dest.img, 20, 0), 1u);
  EXPECT_EQ(At32(dest.img, 39, 0), 1u);
  EXPECT_EQ(At32(dest.img, 40, 0), 0xEEu);
}

TEST_F(BlitCases, EmptyOrDegenerateStretchesDrawNothing) {
  Owned src;
  Owned dest;
  Owned empty;
  Make32(src, 4, 4, 0x123456);
  Make32(dest, 8, 8, 0);
  ASSERT_EQ(quelt::CreateMemImg(&empty.img, 0, 3, -1, 0, 1, 0, 0, 0, nullptr), 0);
  const IntRect zeroWidth{3, 0, 3, 8};
  const IntRect huge{INT32_MIN, 0, INT32_MAX, 8};
  const IntRect whole{0, 0, 8, 8};
  quelt::MemImgStretchBlit(&dest.img, &src.img, &zeroWidth, 0, nullptr);
  quelt::MemImgStretchBlit(&dest.img, &empty.img, &whole, 0, nullptr);
  quelt::MemImgStretchBlit(&dest.img, &src.img, nullptr, 0, nullptr);
  quelt::MemImgStretchBlit(&dest.img, &src.img, &huge, 0, nullptr);  // no overflow, no crash
  quelt::MemImgBlit(&dest.img, &src.img, INT32_MAX - 1, INT32_MAX - 1, 0, nullptr);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) ASSERT_EQ(At32(dest.img, x, y), 0u);
  }
}

// ---- packed operations ----

TEST(PackedOperations, EqualTheirSpelledOutDefinitions) {
  std::mt19937 rng(8);
  auto edge = [&] { return blittest::EdgeByte(rng); };
  for (int i = 0; i < 400000; ++i) {
    const uint32_t d = static_cast<uint32_t>(edge() | edge() << 8 | edge() << 16 | edge() << 24);
    const uint32_t t = static_cast<uint32_t>(edge() | edge() << 8 | edge() << 16);
    ASSERT_EQ(quelt::softblit::PackedAdd32(d, t), blitref::PackedAdd32(d, t)) << std::hex << d << " " << t;
    ASSERT_EQ(quelt::softblit::PackedSub32(d, t), blitref::PackedSub32(d, t)) << std::hex << d << " " << t;
    const uint32_t d16 = d & 0xFFFF, t16 = (t ^ t >> 16) & 0xFFFF;
    ASSERT_EQ(quelt::softblit::PackedAdd16(d16, t16), blitref::PackedAdd16(d16, t16)) << std::hex << d16 << " " << t16;
    ASSERT_EQ(quelt::softblit::PackedSub16(d16, t16), blitref::PackedSub16(d16, t16)) << std::hex << d16 << " " << t16;
    const uint32_t s2 = static_cast<uint32_t>(rng()) | (i % 3 == 0 ? 0xFFFFFFFFu : 0u);
    const uint32_t d2 = static_cast<uint32_t>(rng()) & (i % 5 == 0 ? 0u : 0xFFFFFFFFu);
    ASSERT_EQ(quelt::softblit::PairAdd16(d2, s2), blitref::PairAdd16(d2, s2)) << std::hex << d2 << " " << s2;
    ASSERT_EQ(quelt::softblit::PairSub16(d2, s2), blitref::PairSub16(d2, s2)) << std::hex << d2 << " " << s2;
  }
  // Saturation at the top and bottom.
  EXPECT_EQ(quelt::softblit::PackedAdd16(0xFFFF, 0xFFFF), 0xFFFFu);
  EXPECT_EQ(quelt::softblit::PackedSub16(0, 0xFFFF), 0u);
  EXPECT_EQ(quelt::softblit::PairAdd16(0xFFFFFFFF, 0xFFFFFFFF), 0xFFFFFFFFu);
  EXPECT_EQ(quelt::softblit::PairSub16(0, 0xFFFFFFFF), 0u);
}

}  // namespace
