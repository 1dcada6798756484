// ClearMemImg and MemImgFillRect: worked cases and every mode against the reference.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "blit_reference.h"
#include "blit_test_images.h"
#include "softrender/memimg_draw.h"

namespace {

using blittest::Owned;
using quelt::IntRect;
using quelt::SoftDrawState;

class Fill : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { quelt::InitMemImgTables(); }
  void SetUp() override { quelt::SoftDraw = {0, 0, 0xFFFFFF, {0, 0, 1000, 1000}}; }
};

uint32_t Pixel32(const quelt::MEMIMG& m, int x, int y) {
  uint32_t v;
  std::memcpy(&v, m.pixels + y * m.base->pitch + 4 * x, 4);
  return v;
}

TEST_F(Fill, ClearStoresTheRawValueBySize) {
  Owned b;
  ASSERT_EQ(quelt::CreateMemImg(&b.img, 5, 3, -1, 0, quelt::MemImgByte, 0, 0, 0, nullptr), 0);
  std::memset(b.img.pixels, 0, 16 * 3);
  const IntRect r{1, 1, 4, 2};
  quelt::ClearMemImg(&b.img, &r, 0x12345678);
  EXPECT_EQ(b.img.pixels[16 + 1], 0x78);
  EXPECT_EQ(b.img.pixels[16 + 3], 0x78);
  EXPECT_EQ(b.img.pixels[16 + 4], 0);
  EXPECT_EQ(b.img.pixels[1], 0);

  Owned c;
  ASSERT_EQ(quelt::CreateMemImg(&c.img, 4, 2, -1, 0, quelt::MemImgXrgb32, 0, 0, 0, nullptr), 0);
  quelt::ClearMemImg(&c.img, nullptr, 0xA1B2C3D4);
  EXPECT_EQ(Pixel32(c.img, 3, 1), 0xA1B2C3D4u);
}

TEST_F(Fill, ClearOfAnEmptyOrReversedRectangleWritesNothing) {
  Owned c;
  ASSERT_EQ(quelt::CreateMemImg(&c.img, 4, 4, -1, 0, quelt::MemImgXrgb32, 0, 0, 0, nullptr), 0);
  quelt::ClearMemImg(&c.img, nullptr, 0);
  const IntRect empty{2, 0, 2, 4};
  const IntRect reversed{3, 3, 1, 1};
  const IntRect outside{-10, -10, -1, 2};
  quelt::ClearMemImg(&c.img, &empty, 0xFFFFFFFF);
  quelt::ClearMemImg(&c.img, &reversed, 0xFFFFFFFF);
  quelt::ClearMemImg(&c.img, &outside, 0xFFFFFFFF);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel32(c.img, x, y), 0u);
  }
}

TEST_F(Fill, CornersInAnyOrderFillTheSamePixels) {
  std::mt19937 rng(5);
  Owned a;
  Owned b;
  blittest::MakeDest(a, false, 120, 90, rng);
  ASSERT_EQ(quelt::CreateMemImg(&b.img, 120, 90, -1, 0, 1, 0, 0, 0, nullptr), 0);
  std::memcpy(b.img.pixels, a.img.pixels, static_cast<size_t>(a.img.base->pitch) * 90);
  const IntRect forward{20, 10, 100, 80};
  const IntRect backward{100, 80, 20, 10};
  quelt::MemImgFillRect(&a.img, &forward, 0x123456);
  quelt::MemImgFillRect(&b.img, &backward, 0x123456);
  EXPECT_EQ(blittest::Snapshot(a.img), blittest::Snapshot(b.img));
  EXPECT_EQ(Pixel32(a.img, 20, 10), 0x123456u);
  EXPECT_EQ(Pixel32(a.img, 99, 79), 0x123456u);
}

TEST_F(Fill, WorkedCasesOfTheAlphaMode) {
  Owned m;
  ASSERT_EQ(quelt::CreateMemImg(&m.img, 2, 1, -1, 0, 1, 0, 0, 0, nullptr), 0);
  quelt::ClearMemImg(&m.img, nullptr, 0);
  quelt::SoftDraw.BlendMode = 1;
  quelt::SoftDraw.BlendParam = 128;
  quelt::MemImgFillRect(&m.img, nullptr, 0xFFFFFF);
  EXPECT_EQ(Pixel32(m.img, 0, 0), 0x7F7F7Fu);
  quelt::ClearMemImg(&m.img, nullptr, 0);
  quelt::SoftDraw.BrightColour = 0x808080;  // colour bytes become 127 first
  quelt::MemImgFillRect(&m.img, nullptr, 0xFFFFFF);
  EXPECT_EQ(Pixel32(m.img, 1, 0), 0x3F3F3Fu);

  Owned s;
  ASSERT_EQ(quelt::CreateMemImg(&s.img, 1, 1, -1, 0, 0, 0, 0, 0, nullptr), 0);
  quelt::ClearMemImg(&s.img, nullptr, 0);
  quelt::SoftDraw.BrightColour = 0xFFFFFF;
  quelt::MemImgFillRect(&s.img, nullptr, 31);  // blue field 31
  uint16_t v;
  std::memcpy(&v, s.img.pixels, 2);
  EXPECT_EQ(v, 15);
}

TEST_F(Fill, PaletteAlphaAndUnusedModesLeaveTheImageUnchanged) {
  std::mt19937 rng(6);
  Owned pal;
  ASSERT_EQ(quelt::CreateMemImg(&pal.img, 4, 4, -1, 0, 1, 1, 0, 0, nullptr), 0);
  blittest::FillRandom(pal.img, rng);
  const auto palBefore = blittest::Snapshot(pal.img);
  quelt::MemImgFillRect(&pal.img, nullptr, 0);
  EXPECT_EQ(blittest::Snapshot(pal.img), palBefore);
  Owned m;
  blittest::MakeDest(m, false, 6, 6, rng);
  const auto before = blittest::Snapshot(m.img);
  for (int32_t mode : {5, 6, 7, 8, 9, 12, 13, -1}) {
    quelt::SoftDraw.BlendMode = mode;
    quelt::SoftDraw.BlendParam = 200;
    quelt::MemImgFillRect(&m.img, nullptr, 0x00FF00);
  }
  EXPECT_EQ(blittest::Snapshot(m.img), before);
}

TEST_F(Fill, EveryModeMatchesTheReference) {
  std::mt19937 rng(314);
  for (bool is16 : {false, true}) {
    for (int32_t mode = 0; mode <= 12; ++mode) {
      for (int32_t p : {0, 1, 127, 128, 129, 254, 255}) {
        for (uint32_t bright : {0xFFFFFFu, 0x808080u, 0x12FF7Fu, 0u}) {
          Owned m;
          blittest::MakeDest(m, is16, 11, 7, rng);
          const uint32_t colour = blittest::Next(rng);
          SoftDrawState state{mode, p, bright, {static_cast<int32_t>(rng() % 3), 1, 10, 7}};
          IntRect rect{static_cast<int32_t>(rng() % 14) - 2, static_cast<int32_t>(rng() % 10) - 2,
                       static_cast<int32_t>(rng() % 14) - 2, static_cast<int32_t>(rng() % 10) - 2};
          const auto before = blittest::Snapshot(m.img);
          quelt::SoftDraw = state;
          quelt::MemImgFillRect(&m.img, &rect, colour);
          const auto got = blittest::Snapshot(m.img);
          blittest::Restore(m.img, before);
          blitref::FillRect(&m.img, &rect, colour, state);
          ASSERT_EQ(got, blittest::Snapshot(m.img))
              << (is16 ? "16" : "32") << "-bit mode " << mode << " p " << p << " bright " << bright;
        }
      }
    }
  }
}

}  // namespace
