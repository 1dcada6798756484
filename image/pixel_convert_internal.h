#pragma once
// Shared between the general conversion path and its dedicated loops (and the tests that
// hold the two against each other).
#include <cstdint>
#include <cstring>

#include "image/pixel_convert.h"

namespace quelt::pixel_convert {

// All of ConvertPixelRect's arguments, the formats held as private copies.
struct Request {
  uint8_t* dest;
  int32_t destPitch;
  ColorFormat destFormat;
  const uint8_t* src;
  int32_t srcPitch;
  ColorFormat srcFormat;
  const uint8_t* alpha;  // null: no alpha image
  int32_t alphaPitch;
  ColorFormat alphaFormat;  // all zeros without an alpha image
  int32_t destX, destY;
  PixelRect rect;
  int mirror, transparent;
  uint32_t transparentColour;
  int dither, colourOff, alphaFromFirstColour, skipTransparent, paletteCopy;
};

// The whole routine; allowFastLoops false keeps every pixel on the general path.
// usedFastLoops (may be null) tells whether a dedicated loop did the work.
int Convert(Request& request, bool allowFastLoops, bool* usedFastLoops = nullptr);

// Reads one pixel of 1..4 bytes little-endian; a one-byte pixel reads its palette entry.
inline uint32_t LoadRaw(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: return uint32_t{p[0]} | uint32_t{p[1]} << 8;
    case 3: return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
    default: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

inline uint32_t PaletteValue(const ColorFormat& f, uint8_t index) {
  const PaletteEntry& e = f.palette[index];
  return uint32_t{e.blue} | uint32_t{e.green} << 8 | uint32_t{e.red} << 16 |
         uint32_t{e.reserved} << 24;
}

inline uint32_t LoadPixel(const ColorFormat& f, const uint8_t* p) {
  return f.bytesPerPixel == 1 ? PaletteValue(f, *p) : LoadRaw(p, f.bytesPerPixel);
}

inline void StoreRaw(uint8_t* p, uint32_t v, int bytes) {
  switch (bytes) {
    case 1: p[0] = static_cast<uint8_t>(v); break;
    case 2: p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); break;
    case 3:
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
      break;
    default: std::memcpy(p, &v, 4); break;
  }
}

inline uint32_t Extract(uint32_t value, uint32_t mask, int shift) {
  return shift < 32 ? (value & mask) >> shift : 0;
}

constexpr uint32_t Place(uint32_t value, int shift) { return shift < 32 ? value << shift : 0; }

constexpr uint32_t MaxOfWidth(int width) {
  return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1;
}

// Brings a channel value from w bits to v bits: narrower by truncation, wider so that the
// largest value maps to the largest.
constexpr uint32_t ChangeWidth(uint32_t value, int w, int v) {
  if (w == v) return value;
  if (v == 0 || w == 0) return 0;
  if (v < w) return static_cast<uint32_t>(uint64_t{value} >> (w - v));
  const uint64_t widen = (uint64_t{value} << (v - w)) +
                         uint64_t{value} * ((uint64_t{1} << (v - w)) - 1) / MaxOfWidth(w);
  return static_cast<uint32_t>(widen);
}

// A channel mask that is exactly `width` ones starting at `shift`.
inline bool IsExactRun(uint32_t mask, int shift, int width) {
  if (width == 0) return mask == 0;
  if (shift + width > 32) return false;
  return mask == MaxOfWidth(width) << shift;
}

// The dedicated loops for the common pairs. Returns false when the pair or the
// options have none, and the general path then runs.
// Rows of `width` pixels follow one another without a gap in both blocks (the rectangle is
// then one run of bytes in each).
inline bool RowsWithoutGaps(const Request& q, int32_t width) {
  return q.srcPitch == int64_t{width} * q.srcFormat.bytesPerPixel &&
         q.destPitch == int64_t{width} * q.destFormat.bytesPerPixel;
}

bool TryFastLoops(const Request& request, bool useAlphaImage, bool widthChange);

}  // namespace quelt::pixel_convert
