// Glyph bitmaps written into cache cells: the encodings of each font type, the edge layer,
// and glyphs larger than their cell, which must stay inside it.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "font/font_table.h"
#include "font/glyph_cache_write.h"
#include "font/glyph_layout.h"
#include "image/color_format.h"

namespace {

using namespace quelt;

// A memory cache of `cells` cells of `side` pixels in one column.
struct MemoryCache {
  std::unique_ptr<FontRecord> font = std::make_unique<FontRecord>();
  std::vector<uint8_t> block;
  MemoryCache(uint32_t type, int32_t side, int32_t cells) {
    FontRecord& f = *font;
    f.typeFlags = type;
    f.cellSide = side;
    f.cellsPerColumn = cells;
    f.cellCount = cells;
    f.memoryBits = type == 0 ? 1 : 8;
    f.memoryPitch = (side * f.memoryBits + 7) / 8;
    block.assign(static_cast<size_t>(f.memoryPitch) * side * cells, 0);
    f.memoryPixels = block.data();
  }
  uint8_t Byte(int32_t cell, int32_t x, int32_t y) const {
    return block[static_cast<size_t>((cell * font->cellSide + y) * font->memoryPitch + x)];
  }
  int Bit(int32_t cell, int32_t x, int32_t y) const {
    return (block[static_cast<size_t>((cell * font->cellSide + y) * font->memoryPitch + x / 8)] >> (7 - x % 8)) & 1;
  }
};

// A texture cache work image in 16-bit A4R4G4B4, one column of `cells` cells, doubled in
// width for an edge layer.
struct TextureCache {
  std::unique_ptr<FontRecord> font = std::make_unique<FontRecord>();
  std::vector<uint8_t> pixels;
  TextureCache(uint32_t type, int32_t side, int32_t cells) {
    FontRecord& f = *font;
    f.typeFlags = type;
    f.cellSide = side;
    f.cellsPerColumn = cells;
    f.cellCount = cells;
    f.textureCache = 1;
    f.cacheWidth = side;
    f.cacheHeight = side * cells;
    RasterImage& w = f.workImage;
    SetMaskColorFormat(&w.format, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
    w.width = (type & FontTypeEdge) ? 2 * side : side;
    w.height = f.cacheHeight;
    w.pitch = 2 * w.width;
    pixels.assign(static_cast<size_t>(w.pitch) * w.height, 0);
    w.pixels = pixels.data();
  }
  uint16_t At(int32_t half, int32_t cell, int32_t x, int32_t y) const {
    const RasterImage& w = font->workImage;
    const size_t at = static_cast<size_t>((cell * font->cellSide + y) * w.pitch + (half * font->cacheWidth + x) * 2);
    return static_cast<uint16_t>(pixels[at] | pixels[at + 1] << 8);
  }
};

TEST(GlyphCacheWrite, OversizedMonoGlyphStaysInItsCell) {
  // A 20-pixel cell (3-byte rows) and a solid 32 x 30 glyph bitmap.
  MemoryCache c(0, 20, 2);
  const std::vector<uint8_t> solid(4 * 30, 0xFF);
  WriteGlyphToCache(*c.font, 0, solid.data(), 4, 32, 30, false, 0);
  for (int32_t y = 0; y < 20; ++y) {
    for (int32_t x = 0; x < 20; ++x) EXPECT_EQ(c.Bit(0, x, y), 1) << x << "," << y;
    for (int32_t x = 20; x < 24; ++x) EXPECT_EQ(c.Bit(0, x, y), 0) << "row padding " << x;
  }
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 24; ++x) ASSERT_EQ(c.Bit(1, x, y), 0) << "next cell " << x << "," << y;
}

TEST(GlyphCacheWrite, EdgeLayerInMemory) {
  // One glyph pixel, edge size 1: the four direct neighbours become edge.
  MemoryCache c(FontTypeEdge, 8, 1);
  const uint8_t dot[4] = {0x80, 0, 0, 0};
  WriteGlyphToCache(*c.font, 0, dot, 4, 1, 1, false, 1);
  EXPECT_EQ(c.Byte(0, 1, 1), 1);
  EXPECT_EQ(c.Byte(0, 0, 1), 2);
  EXPECT_EQ(c.Byte(0, 2, 1), 2);
  EXPECT_EQ(c.Byte(0, 1, 0), 2);
  EXPECT_EQ(c.Byte(0, 1, 2), 2);
  EXPECT_EQ(c.Byte(0, 0, 0), 0);
  EXPECT_EQ(c.Byte(0, 2, 2), 0);
  // Two neighbouring glyph pixels: a glyph pixel is never turned into edge.
  MemoryCache d(FontTypeEdge, 8, 1);
  const uint8_t pair[4] = {0xC0, 0, 0, 0};
  WriteGlyphToCache(*d.font, 0, pair, 4, 2, 1, false, 1);
  EXPECT_EQ(d.Byte(0, 1, 1), 1);
  EXPECT_EQ(d.Byte(0, 2, 1), 1);
  EXPECT_EQ(d.Byte(0, 3, 1), 2);
}

TEST(GlyphCacheWrite, AntiAliasedBytesInMemory) {
  MemoryCache c(FontTypeAntiAlias, 8, 1);
  const uint8_t levels[4] = {0, 1, 9, 16};
  WriteGlyphToCache(*c.font, 0, levels, 4, 4, 1, true, 0);
  EXPECT_EQ(c.Byte(0, 0, 0), 0);
  EXPECT_EQ(c.Byte(0, 1, 0), 0);
  EXPECT_EQ(c.Byte(0, 2, 0), 8);
  EXPECT_EQ(c.Byte(0, 3, 0), 15);
  // Edge + anti-alias, edge size 2: the glyph level in the low nibble, the edge level in
  // the high nibble over the size-2 stencil, whose corners stay clear.
  MemoryCache e(FontTypeEdge | FontTypeAntiAlias, 12, 1);
  const uint8_t full[4] = {16, 0, 0, 0};
  WriteGlyphToCache(*e.font, 0, full, 4, 1, 1, true, 2);
  EXPECT_EQ(e.Byte(0, 2, 2) & 0x0F, 15);
  EXPECT_EQ(e.Byte(0, 2, 0) >> 4, 15);
  EXPECT_EQ(e.Byte(0, 4, 3) >> 4, 15);
  EXPECT_EQ(e.Byte(0, 0, 0), 0);
  EXPECT_EQ(e.Byte(0, 4, 4), 0);
}

TEST(GlyphCacheWrite, TextureEncodings) {
  // Plain: glyph pixels opaque white, the rest of the cell white with alpha 0.
  TextureCache p(0, 8, 1);
  const uint8_t dot[4] = {0x80, 0, 0, 0};
  WriteGlyphToCache(*p.font, 0, dot, 4, 1, 1, false, 0);
  EXPECT_EQ(p.At(0, 0, 0, 0), 0xFFFF);
  EXPECT_EQ(p.At(0, 0, 7, 7), 0x0FFF);
  // Edge + anti-alias, edge size 1, one pixel of level 8: the glyph layer holds level 8, the
  // edge layer level 8 at the four neighbours and alpha 0 elsewhere in the box.
  TextureCache e(FontTypeEdge | FontTypeAntiAlias, 8, 1);
  const uint8_t half[4] = {8, 0, 0, 0};
  WriteGlyphToCache(*e.font, 0, half, 4, 1, 1, true, 1);
  const ColorFormat& f = e.font->workImage.format;
  EXPECT_EQ(e.At(0, 0, 1, 1), AntiAliasTexel(f, 8));
  EXPECT_EQ(e.At(1, 0, 0, 1), AntiAliasTexel(f, 8));
  EXPECT_EQ(e.At(1, 0, 1, 0), AntiAliasTexel(f, 8));
  EXPECT_EQ(e.At(1, 0, 1, 1), 0x0FFF);
  EXPECT_EQ(e.At(1, 0, 0, 0), 0x0FFF);
  EXPECT_EQ(e.At(0, 0, 4, 4), 0);  // outside the box: left as cleared
}

TEST(GlyphCacheWrite, OversizedEdgedGlyphStaysInItsCellInBothHalves) {
  TextureCache c(FontTypeEdge, 8, 2);
  const std::vector<uint8_t> solid(4 * 12, 0xFF);
  WriteGlyphToCache(*c.font, 0, solid.data(), 4, 12, 12, false, 2);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      ASSERT_EQ(c.At(0, 1, x, y), 0) << "glyph layer, next cell";
      ASSERT_EQ(c.At(1, 1, x, y), 0) << "edge layer, next cell";
    }
  EXPECT_EQ(c.At(0, 0, 2, 2), 0xFFFF);
  EXPECT_EQ(c.At(0, 0, 5, 5), 0xFFFF);
  EXPECT_EQ(c.At(0, 0, 6, 6), 0);  // the glyph is cut to side - 2 x edge
  EXPECT_EQ(c.At(1, 0, 7, 5), 0xFFFF);
}

// An edge size below 1 (a font asked for with edge -7) is taken as 1: the cell made from
// those settings holds the glyph and its edge; and an edge that still arrives negative at
// the writer cannot move the glyph out of its cell.
TEST(GlyphCacheWrite, NegativeEdgeSizesStayInTheCell) {
  const FontCreateSettings s = ApplyFontCreateDefaults(16, 4, static_cast<int32_t>(FontTypeEdge), -7);
  ASSERT_EQ(s.edgeSize, 1);
  const GlyphCellSize size = ComputeGlyphCellSize(14, 16, static_cast<uint32_t>(s.typeFlags), s.edgeSize);
  MemoryCache c(FontTypeEdge, size.side, 1);
  const std::vector<uint8_t> solid(4 * 16, 0xFF);
  WriteGlyphToCache(*c.font, 0, solid.data(), 4, 14, 16, false, s.edgeSize);
  EXPECT_EQ(c.Byte(0, 1, 1), 1);
  EXPECT_EQ(c.Byte(0, 0, 1), 2);

  MemoryCache raw(FontTypeEdge, 8, 2);
  WriteGlyphToCache(*raw.font, 0, solid.data(), 4, 20, 16, false, -7);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      EXPECT_EQ(raw.Byte(0, x, y), 1) << x << "," << y;
      ASSERT_EQ(raw.Byte(1, x, y), 0) << "next cell " << x << "," << y;
    }
  TextureCache tex(FontTypeEdge, 8, 2);
  WriteGlyphToCache(*tex.font, 1, solid.data(), 4, 20, 16, false, -7);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(tex.At(0, 0, x, y), 0) << "cell before " << x << "," << y;
}

}  // namespace
