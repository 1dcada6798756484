#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "font/glyph_layout.h"
#include "font/glyph_pixels.h"
#include "image/color_format.h"
#include "softrender/memimg.h"
#include "softrender/memimg_draw.h"

namespace {

using namespace quelt;

TEST(GlyphLayout, CellSideRoundsWidthAndEvensHeight) {
  // Default 16-pixel Japanese font under Wine: height 16, max char width 23.
  const GlyphCellSize plain = ComputeGlyphCellSize(23, 16, 0, 1);
  EXPECT_EQ(plain.width, 32);
  EXPECT_EQ(plain.cellHeight, 16);
  EXPECT_EQ(plain.side, 32);
  const GlyphCellSize edged = ComputeGlyphCellSize(23, 17, FontTypeEdge, 3);
  EXPECT_EQ(edged.width, 32);       // 23 + 2 + 6 = 31 -> 32
  EXPECT_EQ(edged.cellHeight, 24);  // 17 + 6 = 23 -> 24
}

TEST(GlyphLayout, CacheSizes) {
  const TextureCacheLayout big = ComputeTextureCacheLayout(200, 0);
  EXPECT_EQ(big.width, 1024);
  EXPECT_EQ(big.height, 512);
  EXPECT_EQ(big.cellCount, 10);
  EXPECT_EQ(ComputeTextureCacheLayout(8, 0).cellCount, MaxGlyphCells);  // 4096 cut to 2024
  const TextureCacheLayout set = ComputeTextureCacheLayout(32, 10);      // (3 + 1) x 32 = 128
  EXPECT_EQ(set.width, 128);
  EXPECT_EQ(set.cellCount, 16);
  EXPECT_EQ(ComputeMemoryCacheLayout(16, 0, 0).cellCount, 1280);
  EXPECT_EQ(ComputeMemoryCacheLayout(256, 2, 0).cellCount, 20);
  const MemoryCacheLayout mono = ComputeMemoryCacheLayout(20, 0, 0);
  EXPECT_EQ(mono.bits, 1);
  EXPECT_EQ(mono.pitch, 3);
  EXPECT_EQ(ComputeMemoryCacheLayout(20, 1, 0).pitch, 20);
}

TEST(GlyphLayout, CreationDefaults) {
  const FontCreateSettings d = ApplyFontCreateDefaults(-1, -1, -1, -1);
  EXPECT_EQ(d.size, 16);
  EXPECT_EQ(d.thickness, 6);
  EXPECT_EQ(d.typeFlags, 0);
  EXPECT_EQ(d.edgeSize, 1);
  EXPECT_EQ(ApplyFontCreateDefaults(-1, -1, 0, 3).typeFlags, static_cast<int32_t>(FontTypeEdge));
  EXPECT_EQ(ApplyFontCreateDefaults(-1, -1, 0, 1).typeFlags, 0);
  for (const int32_t edge : {0, -2, -7, INT32_MIN}) {
    const FontCreateSettings s = ApplyFontCreateDefaults(20, 4, static_cast<int32_t>(FontTypeEdge), edge);
    EXPECT_EQ(s.edgeSize, 1) << edge;
    EXPECT_EQ(s.typeFlags, static_cast<int32_t>(FontTypeEdge)) << edge;
  }
}

// Sizes of very large fonts in 64 bits: a 16,240-pixel cell's 20 memory cells take
// 5,274,752,000 bytes, and texture work images from about size 6,000 pass 2 GiB; neither
// can be allocated. Cells larger than any cache are cut, so nothing overflows.
TEST(GlyphLayout, HugeFontsAreMeasuredWithoutOverflow) {
  const MemoryCacheLayout m = ComputeMemoryCacheLayout(16240, FontTypeEdge, 0);
  EXPECT_EQ(m.cellCount, 20);
  EXPECT_EQ(m.bytes, int64_t{16240} * 16240 * 20);
  EXPECT_FALSE(IsAllocatableGlyphBlock(m.bytes));
  EXPECT_TRUE(IsAllocatableGlyphBlock(ComputeMemoryCacheLayout(32, 0, 0).bytes));

  const GlyphCellSize cell = ComputeGlyphCellSize(6000, 6000, 0, 1);
  const TextureCacheLayout t = ComputeTextureCacheLayout(cell.side, 0);
  EXPECT_GE(t.cellCount, 10);
  EXPECT_FALSE(IsAllocatableGlyphBlock(GlyphWorkImageBytes(t.width, t.height, true, 2)));
  const TextureCacheLayout small = ComputeTextureCacheLayout(32, 0);
  EXPECT_EQ(GlyphWorkImageBytes(small.width, small.height, true, 2), 2 * 512 * 2 * 512);

  const GlyphCellSize huge = ComputeGlyphCellSize(INT32_MAX - 3, INT32_MAX, FontTypeEdge, INT32_MAX);
  EXPECT_EQ(huge.side, MaxGlyphCellSide);
  EXPECT_FALSE(IsAllocatableGlyphBlock(ComputeMemoryCacheLayout(huge.side, 0, 0).bytes));
  const TextureCacheLayout hugeTexture = ComputeTextureCacheLayout(huge.side, 0);
  EXPECT_FALSE(IsAllocatableGlyphBlock(GlyphWorkImageBytes(hugeTexture.width, hugeTexture.height, false, 2)));
  EXPECT_EQ(ComputeMemoryCacheLayout(huge.side + 1, 0, 0).cellCount, 0);
}

TEST(GlyphLayout, EdgeStencils) {
  EXPECT_EQ(EdgeStencilAt(1, 0, 0), 0);
  EXPECT_EQ(EdgeStencilAt(1, 1, 0), 1);
  EXPECT_EQ(EdgeStencilAt(1, 1, 1), 0);
  EXPECT_EQ(EdgeStencilAt(2, -2, -2), 0);
  EXPECT_EQ(EdgeStencilAt(2, -1, -2), 1);
  EXPECT_EQ(EdgeStencilAt(3, 0, -3), 1);
  EXPECT_EQ(EdgeStencilAt(3, 1, -3), 0);
  EXPECT_EQ(EdgeStencilAt(4, -2, -4), 1);
  EXPECT_EQ(EdgeStencilAt(4, -3, -4), 0);
  EXPECT_EQ(EdgeStencilAt(5, 5, 5), 1);
  EXPECT_EQ(EdgeStencilAt(2, 3, 0), 0);
}

TEST(GlyphLayout, AntiAliasEncodings) {
  ColorFormat a4{};
  SetMaskColorFormat(&a4, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
  EXPECT_EQ(AntiAliasTexel(a4, 0), 0x0FFF);  // level 0: colour bits alone, alpha 0
  EXPECT_EQ(AntiAliasTexel(a4, 16), 0xFFFF);
  EXPECT_EQ(AntiAliasTexel(a4, 9), 0x8FFF);
  EXPECT_EQ(AntiAliasMemoryLevel(0), 0);
  EXPECT_EQ(AntiAliasMemoryLevel(16), 15);
  EXPECT_EQ(AccumulateEdgeLevel(0, 16), 16);
  EXPECT_EQ(AccumulateEdgeLevel(8, 8), 12);
  EdgeAntiAliasMix m{};
  EXPECT_FALSE(MixEdgeAntiAlias(0, &m));
  ASSERT_TRUE(MixEdgeAntiAlias(0x0F, &m));
  EXPECT_EQ(m.alpha, 255);
  ASSERT_TRUE(MixEdgeAntiAlias(0xF7, &m));  // g 7, e 15: A = 8 x 15 + 112
  EXPECT_EQ(m.alpha, 232);
  EXPECT_EQ(m.textWeight, 7 * 4096 / 232);
  ASSERT_TRUE(MixEdgeAntiAlias(0x30, &m));
  EXPECT_EQ(m.alpha, 48);
  EXPECT_EQ(m.textWeight, 0);
}

TEST(GlyphPixels, TransparentColourStepsPastTextAndEdgeWithinMask) {
  EXPECT_EQ(NextTransparentColour(5, 5, 6, 0xFFFF), 7u);
  EXPECT_EQ(NextTransparentColour(0xFFFF, 0xFFFF, 0, 0xFFFF), 1u);  // wraps, then skips the edge
  EXPECT_EQ(NextTransparentColour(3, 5, 6, 0xFFFF), 3u);
}

struct Canvas {
  MEMIMG img{};
  explicit Canvas(int32_t w, int32_t h) {
    CreateMemImg(&img, w, h, -1, 0, MemImgXrgb32, 0, 0, 0, nullptr);
    ClearMemImg(&img, nullptr, 0);
  }
  ~Canvas() { ReleaseMemImg(&img); }
  uint32_t At(int32_t x, int32_t y) const {
    uint32_t v;
    std::memcpy(&v, img.pixels + y * img.base->pitch + x * 4, 4);
    return v;
  }
};

// A 3 x 2 glyph, 1 bit per pixel:  X X .  /  . . X
const uint8_t kMono[2] = {0xC0, 0x20};

TEST(GlyphPixels, UprightAndClippedWrites) {
  Canvas c(8, 8);
  GlyphPixelTarget t{&c.img, {0, 0, 8, 8}, 32, 0, 0xABCDEF, 0, 1};
  DrawGlyphPixels(t, kMono, 1, 1, 2, 3, 2, 4, 0, 0, 2, 0);  // box at (3, 2)
  EXPECT_EQ(c.At(3, 2), 0xABCDEFu);
  EXPECT_EQ(c.At(4, 2), 0xABCDEFu);
  EXPECT_EQ(c.At(5, 2), 0u);
  EXPECT_EQ(c.At(5, 3), 0xABCDEFu);
  // Clipped on the left by two pixels: the source moves with it.
  Canvas d(8, 8);
  t.image = &d.img;
  t.clip = {5, 0, 8, 8};
  DrawGlyphPixels(t, kMono, 1, 0, 0, 3, 2, 4, 3, 0, 0, 0);
  EXPECT_EQ(d.At(4, 0), 0u);
  EXPECT_EQ(d.At(5, 0), 0u);
  EXPECT_EQ(d.At(5, 1), 0xABCDEFu);
  // Far outside: nothing, no crash.
  DrawGlyphPixels(t, kMono, 1, 0, 0, 3, 2, 4, -100, -100, 0, 0);
}

// Upright transparent writes, clipped on every side by varying amounts, against the glyph
// read pixel by pixel: 1-bit glyphs at 16 and 32 bits and edged byte glyphs.
TEST(GlyphPixels, ClippedUprightWritesMatchTheGlyph) {
  constexpr int32_t kW = 21, kH = 5, kPitch = 3;
  uint8_t mono[kPitch * kH];
  uint8_t bytes[kW * kH];
  for (int32_t i = 0; i < kPitch * kH; ++i) mono[i] = static_cast<uint8_t>(0xA5 ^ (i * 37));
  for (int32_t i = 0; i < kW * kH; ++i) bytes[i] = static_cast<uint8_t>((i * 7) % 3);
  for (const int32_t type : {0, 1})
    for (const int32_t colourType : {MemImgRgb565, MemImgXrgb32})
      for (int32_t left = 0; left < 11; ++left)
        for (int32_t right = 0; right < 4; ++right) {
          MEMIMG img{};
          ASSERT_EQ(CreateMemImg(&img, 40, 12, -1, 0, colourType, 0, 0, 0, nullptr), 0);
          ClearMemImg(&img, nullptr, 0);
          const int32_t bpp = MemImgBytesPerPixel(*img.base);
          const int32_t x0 = 4, y0 = 3;
          GlyphPixelTarget t{&img, {x0 + left, y0 + 1, x0 + kW - right, y0 + kH}, bpp * 8,
                             static_cast<uint32_t>(type), 0x1234, 0x0F0F, 1};
          const uint8_t* rows = type == 0 ? mono : bytes;
          DrawGlyphPixels(t, rows, type == 0 ? kPitch : kW, 0, 0, kW, kH, kH, x0, y0, 0, 0);
          for (int32_t y = 0; y < 12; ++y)
            for (int32_t x = 0; x < 40; ++x) {
              uint32_t got = 0;
              std::memcpy(&got, img.pixels + y * img.base->pitch + x * bpp, static_cast<size_t>(bpp));
              uint32_t want = 0;
              const int32_t gx = x - x0, gy = y - y0;
              if (x >= t.clip.x1 && x < t.clip.x2 && y >= t.clip.y1 && y < t.clip.y2) {
                const uint32_t v = type == 0 ? (mono[gy * kPitch + gx / 8] >> (7 - gx % 8)) & 1 : bytes[gy * kW + gx];
                want = v == 1 ? 0x1234u : (v == 2 ? 0x0F0Fu : 0u);
              }
              ASSERT_EQ(got, want) << "type " << type << " bpp " << bpp << " clip " << left << "," << right
                                   << " at " << x << "," << y;
            }
          ReleaseMemImg(&img);
        }
}

TEST(GlyphPixels, VerticalTurnsClockwise) {
  Canvas c(8, 8);
  GlyphPixelTarget t{&c.img, {0, 0, 8, 8}, 32, 0, 0x111111, 0, 1};
  // H 4, yo 0, h 2: box x 2..3; glyph (gx, gy) at (3 - gy, gx).
  DrawGlyphPixels(t, kMono, 1, 0, 0, 3, 2, 4, 0, 0, 0, 1);
  EXPECT_EQ(c.At(3, 0), 0x111111u);  // (0, 0)
  EXPECT_EQ(c.At(3, 1), 0x111111u);  // (1, 0)
  EXPECT_EQ(c.At(2, 2), 0x111111u);  // (2, 1)
  EXPECT_EQ(c.At(3, 2), 0u);
}

TEST(GlyphPixels, EdgeAndAntiAliasBytes) {
  Canvas c(4, 1);
  const uint8_t row[4] = {1, 2, 0, 0};
  GlyphPixelTarget t{&c.img, {0, 0, 4, 1}, 32, FontTypeEdge, 0x00FF00, 0x0000FF, 0};
  DrawGlyphPixels(t, row, 4, 0, 0, 4, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(c.At(0, 0), 0x00FF00u);
  EXPECT_EQ(c.At(1, 0), 0x0000FFu);
  EXPECT_EQ(c.At(2, 0), 0u);  // not transparent: written with 0
  const uint8_t aa[2] = {15, 0x0F};
  t.typeFlags = FontTypeAntiAlias;
  DrawGlyphPixels(t, aa, 2, 0, 0, 1, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(c.At(0, 0), 0xFF00FF00u);  // the top level is opaque
  const uint8_t low[1] = {3};
  DrawGlyphPixels(t, low, 1, 0, 0, 1, 1, 1, 2, 0, 0, 0);
  EXPECT_EQ(c.At(2, 0), 0x3000FF00u);
  t.typeFlags = FontTypeEdge | FontTypeAntiAlias;
  DrawGlyphPixels(t, aa + 1, 1, 0, 0, 1, 1, 1, 1, 0, 0, 0);
  EXPECT_EQ(c.At(1, 0), 0xFF00FF00u);
}

}  // namespace
