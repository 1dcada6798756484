#include "font/glyph_pixels.h"

#include <bit>
#include <cstring>

#include "font/glyph_layout.h"
#include "softrender/memimg.h"

namespace quelt {

namespace {

// Glyph value at (gx, gy) of the cell: 0/1 for one bit per pixel, else the byte.
uint32_t CellValue(const uint8_t* rows, int32_t pitch, uint32_t type, int32_t gx, int32_t gy) {
  if ((type & 3) == 0) return (rows[gy * pitch + gx / 8] >> (7 - gx % 8)) & 1;
  return rows[gy * pitch + gx];
}

int32_t Component(uint32_t c, int32_t shift, int32_t bits) { return static_cast<int32_t>((c >> shift) & ((1u << bits) - 1)); }

uint32_t MixColour(uint32_t text, uint32_t edge, int32_t weight, int32_t depth) {
  auto mix = [&](int32_t shift, int32_t bits) {
    const int32_t e = Component(edge, shift, bits), t = Component(text, shift, bits);
    return static_cast<uint32_t>(e + (((t - e) * weight) >> 8)) << shift;
  };
  if (depth == 16) return mix(11, 5) | mix(5, 6) | mix(0, 5);
  return mix(16, 8) | mix(8, 8) | mix(0, 8);
}

// The pixel to write for a cell value; false = leave the pixel.
bool PixelFor(const GlyphPixelTarget& t, uint32_t v, uint32_t* out) {
  const uint32_t type = t.typeFlags & 3;
  const int32_t alphaShift = t.depth == 16 ? 16 : 24;
  const uint32_t colourMask = t.depth == 16 ? 0xFFFFu : (t.depth == 8 ? 0xFFu : 0xFFFFFFu);
  switch (type) {
    case 0:
      if (v == 0) return false;
      *out = t.text;
      return true;
    case FontTypeEdge:
      if (v == 1) *out = t.text;
      else if (v == 2) *out = t.edge;
      else return false;
      return true;
    case FontTypeAntiAlias:
      if (v == 0) return false;
      // The top level is full coverage, as in the edged form: 15 x 16 would leave every
      // glyph a little transparent.
      *out = (t.text & colourMask) | (v == 15 ? 255u : v * 16) << alphaShift;
      return true;
    default: {
      EdgeAntiAliasMix m{};
      if (!MixEdgeAntiAlias(static_cast<uint8_t>(v), &m)) return false;
      *out = (MixColour(t.text, t.edge, m.textWeight, t.depth) & colourMask) |
             static_cast<uint32_t>(m.alpha) << alphaShift;
      return true;
    }
  }
}

// Upright plain or edged glyphs written over a transparent background, the common case of
// direct drawing: a loop per pixel size without the per-pixel dispatch of the general one.
template <typename Pixel>
void DrawUprightOpaqueKinds(const GlyphPixelTarget& t, const uint8_t* rows, int32_t pitch, const IntRect& box,
                            int32_t gx0, int32_t gy0) {
  const auto text = static_cast<Pixel>(t.text);
  const auto edge = static_cast<Pixel>(t.edge);
  const int32_t destPitch = t.image->base->pitch;
  const int32_t width = box.x2 - box.x1;
  const bool mono = (t.typeFlags & 3) == 0;
  for (int32_t py = box.y1; py < box.y2; ++py) {
    const uint8_t* src = rows + static_cast<ptrdiff_t>(gy0 + py - box.y1) * pitch;
    auto* dst = reinterpret_cast<Pixel*>(t.image->pixels + static_cast<ptrdiff_t>(py) * destPitch) + box.x1;
    if (mono) {
      // Eight source bits at a time, aligned to the box; only set bits are visited.
      const int32_t shift = gx0 & 7;
      const uint8_t* bits = src + (gx0 >> 3);
      const int32_t rowEnd = pitch - (gx0 >> 3);  // bytes of this row from `bits` on
      for (int32_t i = 0, k = 0; i < width; i += 8, ++k) {
        uint32_t octet = static_cast<uint32_t>(bits[k]) << shift;
        if (shift != 0 && k + 1 < rowEnd) octet |= static_cast<uint32_t>(bits[k + 1]) >> (8 - shift);
        octet &= 0xFF;
        if (width - i < 8) octet &= 0xFFu << (8 - (width - i));
        while (octet != 0) {
          const int32_t b = std::countl_zero(static_cast<uint8_t>(octet));
          dst[i + b] = text;
          octet &= ~(0x80u >> b);
        }
      }
    } else {
      src += gx0;
      for (int32_t i = 0; i < width; ++i) {
        const uint8_t v = src[i];
        if (v == 1) dst[i] = text;
        else if (v == 2) dst[i] = edge;
      }
    }
  }
}

}  // namespace

IntRect GlyphBox(int32_t xOffset, int32_t yOffset, int32_t boxWidth, int32_t boxHeight, int32_t cellHeight, int32_t x,
                 int32_t y, int32_t pen, int32_t vertical) {
  if (vertical)
    return {x + cellHeight - yOffset - boxHeight, y + pen + xOffset, x + cellHeight - yOffset, y + pen + xOffset + boxWidth};
  return {x + pen + xOffset, y + yOffset, x + pen + xOffset + boxWidth, y + yOffset + boxHeight};
}

void DrawGlyphPixels(const GlyphPixelTarget& t, const uint8_t* rows, int32_t pitch, int32_t xOffset,
                     int32_t yOffset, int32_t boxWidth, int32_t boxHeight, int32_t cellHeight, int32_t x,
                     int32_t y, int32_t pen, int32_t vertical) {
  if (t.image == nullptr || t.image->base == nullptr || boxWidth <= 0 || boxHeight <= 0) return;
  MarkMemImgChanged(t.image);
  IntRect box = GlyphBox(xOffset, yOffset, boxWidth, boxHeight, cellHeight, x, y, pen, vertical);
  const IntRect full = box;
  IntRect bounds = t.clip;
  ClipRectangle(bounds, IntRect{0, 0, t.image->width, t.image->height});
  ClipRectangle(box, bounds);
  if (box.x1 >= box.x2 || box.y1 >= box.y2) return;
  const int32_t bpp = MemImgBytesPerPixel(*t.image->base);
  if (!vertical && t.transparent && (t.typeFlags & FontTypeAntiAlias) == 0) {
    const int32_t gx0 = box.x1 - full.x1, gy0 = box.y1 - full.y1;
    if (bpp == 4) return DrawUprightOpaqueKinds<uint32_t>(t, rows, pitch, box, gx0, gy0);
    if (bpp == 2) return DrawUprightOpaqueKinds<uint16_t>(t, rows, pitch, box, gx0, gy0);
    if (bpp == 1) return DrawUprightOpaqueKinds<uint8_t>(t, rows, pitch, box, gx0, gy0);
  }
  const int32_t destPitch = t.image->base->pitch;
  for (int32_t py = box.y1; py < box.y2; ++py) {
    uint8_t* row = t.image->pixels + static_cast<ptrdiff_t>(py) * destPitch;
    for (int32_t px = box.x1; px < box.x2; ++px) {
      int32_t gx, gy;
      if (vertical) {
        // Pixel (gx, gy) lands at (x + H - yo - 1 - gy, y + P + xo + gx).
        gx = py - full.y1;
        gy = full.x2 - 1 - px;
      } else {
        gx = px - full.x1;
        gy = py - full.y1;
      }
      uint32_t pixel = 0;
      if (!PixelFor(t, CellValue(rows, pitch, t.typeFlags, gx, gy), &pixel)) {
        if (t.transparent) continue;
        pixel = 0;
      }
      std::memcpy(row + px * bpp, &pixel, static_cast<size_t>(bpp));
    }
  }
}

uint32_t NextTransparentColour(uint32_t current, uint32_t text, uint32_t edge, uint32_t mask) {
  uint32_t key = current & mask;
  for (int32_t guard = 0; guard < 3 && (key == (text & mask) || key == (edge & mask)); ++guard)
    key = (key + 1) & mask;
  return key;
}

}  // namespace quelt
