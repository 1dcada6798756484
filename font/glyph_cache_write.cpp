#include "font/glyph_cache_write.h"

#include <algorithm>

#include "font/font_table.h"
#include "font/glyph_layout.h"
#include "image/color_format.h"

namespace quelt {

namespace {

// Pixel v (0..16 for gray, 0/16 for mono) of a fetched glyph bitmap.
int32_t GlyphLevel(const uint8_t* rows, int32_t pitch, int32_t x, int32_t y, bool gray) {
  if (gray) return rows[y * pitch + x];
  return (rows[y * pitch + x / 8] >> (7 - x % 8)) & 1 ? 16 : 0;
}

}  // namespace

void WriteGlyphToCache(FontRecord& f, int32_t cellIndex, const uint8_t* rows, int32_t pitch, int32_t bw, int32_t bh,
                       bool gray, int32_t e) {
  // A negative edge would move the glyph out of its cell.
  e = std::max(e, 0);
  const int32_t side = f.cellSide;
  const int32_t cx = CellX(f, cellIndex);
  const int32_t cy = CellY(f, cellIndex);
  // Glyphs wider or taller than the cell are cut to it.
  const int32_t w = std::min(bw, side - 2 * e);
  const int32_t h = std::min(bh, side - 2 * e);
  const bool edge = (f.typeFlags & FontTypeEdge) != 0;
  const bool aa = (f.typeFlags & FontTypeAntiAlias) != 0;
  auto inCell = [&](int32_t px, int32_t py) { return px >= 0 && py >= 0 && px < side && py < side; };
  if (!f.textureCache) {
    uint8_t* block = f.memoryPixels + static_cast<size_t>(cy) * f.memoryPitch;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const int32_t v = GlyphLevel(rows, pitch, x, y, gray);
        if (v == 0) continue;
        const int32_t px = x + e, py = y + e;
        if (f.memoryBits == 1) {
          block[py * f.memoryPitch + px / 8] |= static_cast<uint8_t>(0x80 >> (px % 8));
          continue;
        }
        uint8_t& b = block[py * f.memoryPitch + px];
        if (!edge) {
          b = AntiAliasMemoryLevel(v);
          continue;
        }
        if (!aa) b = 1;
        else b = static_cast<uint8_t>((b & 0xF0) | ((b & 0x0F) | AntiAliasMemoryLevel(v)));
        for (int32_t dy = -e; dy <= e; ++dy)
          for (int32_t dx = -e; dx <= e; ++dx) {
            if (!EdgeStencilAt(e, dx, dy) || !inCell(px + dx, py + dy)) continue;
            uint8_t& n = block[(py + dy) * f.memoryPitch + px + dx];
            if (!aa) {
              if (n != 1) n = 2;
            } else {
              const int32_t level = AntiAliasMemoryLevel(v);
              if ((n >> 4) < level) n = static_cast<uint8_t>((n & 0x0F) | level << 4);
            }
          }
      }
    return;
  }
  RasterImage& img = f.workImage;
  const ColorFormat& fmt = img.format;
  auto texel = [&](int32_t half, int32_t px, int32_t py) -> uint16_t& {
    return *reinterpret_cast<uint16_t*>(img.pixels + (cy + py) * img.pitch + (half * f.cacheWidth + cx + px) * 2);
  };
  if (!edge) {
    for (int32_t y = 0; y < side; ++y)
      for (int32_t x = 0; x < side; ++x) texel(0, x, y) = ClearTexel(fmt);
  }
  const uint16_t opaque = OpaqueTexel(fmt);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const int32_t v = GlyphLevel(rows, pitch, x, y, gray);
      if (v == 0) continue;
      const int32_t px = x + e, py = y + e;
      if (!edge) {
        texel(0, px, py) = aa ? AntiAliasTexel(fmt, v) : opaque;
        continue;
      }
      if (!aa) {
        texel(0, px, py) = opaque;
        for (int32_t dy = -e; dy <= e; ++dy)
          for (int32_t dx = -e; dx <= e; ++dx)
            if (EdgeStencilAt(e, dx, dy) && inCell(px + dx, py + dy)) texel(1, px + dx, py + dy) = opaque;
      } else {
        texel(0, px, py) = static_cast<uint16_t>(v);  // levels until the conversion below
        for (int32_t dy = -e; dy <= e; ++dy)
          for (int32_t dx = -e; dx <= e; ++dx)
            if (EdgeStencilAt(e, dx, dy) && inCell(px + dx, py + dy)) {
              uint16_t& t = texel(1, px + dx, py + dy);
              t = static_cast<uint16_t>(AccumulateEdgeLevel(t, v));
            }
      }
    }
  if (edge && aa) {
    const int32_t bx = std::min(w + 2 * e, side), by = std::min(h + 2 * e, side);
    for (int32_t half = 0; half < 2; ++half)
      for (int32_t y = 0; y < by; ++y)
        for (int32_t x = 0; x < bx; ++x) {
          uint16_t& t = texel(half, x, y);
          t = AntiAliasTexel(fmt, std::min<int32_t>(t, 16));
        }
  }
}


}  // namespace quelt
