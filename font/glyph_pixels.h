#pragma once
// Writing one cached glyph of a memory-cache font into a memory image, clipped, upright or
// turned a quarter clockwise for vertical writing.
#include <cstdint>

#include "softrender/clip_rect.h"

namespace quelt {

struct MEMIMG;

struct GlyphPixelTarget {
  MEMIMG* image;
  IntRect clip;
  int32_t depth;       // screen colour depth: 8, 16 or 32
  uint32_t typeFlags;  // the font's edge and anti-alias bits
  uint32_t text;       // colour codes
  uint32_t edge;
  int32_t transparent;  // 0 = the box's other pixels are written with 0
};

// The box a glyph covers with the string's origin at (x, y) and the glyph's truncated pen
// position `pen`: upright from (x + pen + xOffset, y + yOffset); turned a quarter clockwise
// in vertical writing, the glyph's top row its right column.
IntRect GlyphBox(int32_t xOffset, int32_t yOffset, int32_t boxWidth, int32_t boxHeight, int32_t cellHeight, int32_t x,
                 int32_t y, int32_t pen, int32_t vertical);

// rows: the cell's first row in the memory cache, pitch bytes apart. (x, y) is the string's
// origin, pen the glyph's truncated pen position, cellHeight the font's line height.
void DrawGlyphPixels(const GlyphPixelTarget& t, const uint8_t* rows, int32_t pitch, int32_t xOffset,
                     int32_t yOffset, int32_t boxWidth, int32_t boxHeight, int32_t cellHeight, int32_t x,
                     int32_t y, int32_t pen, int32_t vertical);

// The work image's transparent colour stepped past the text and edge colours, wrapping
// within the pixel mask.
uint32_t NextTransparentColour(uint32_t current, uint32_t text, uint32_t edge, uint32_t mask);

}  // namespace quelt
