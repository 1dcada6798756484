#include "font/glyph_layout.h"

#include <algorithm>
#include <array>

#include "image/color_format.h"

namespace quelt {

namespace {

using Stencil = std::array<std::array<uint8_t, 9>, 9>;

constexpr std::array<Stencil, 3> kEdgeStencils{{
    {{{0, 1, 1, 1, 0}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {0, 1, 1, 1, 0}}},
    {{{0, 0, 0, 1, 0, 0, 0},
      {0, 1, 1, 1, 1, 1, 0},
      {0, 1, 1, 1, 1, 1, 0},
      {1, 1, 1, 1, 1, 1, 1},
      {0, 1, 1, 1, 1, 1, 0},
      {0, 1, 1, 1, 1, 1, 0},
      {0, 0, 0, 1, 0, 0, 0}}},
    {{{0, 0, 1, 1, 1, 1, 1, 0, 0},
      {0, 1, 1, 1, 1, 1, 1, 1, 0},
      {1, 1, 1, 1, 1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1, 1, 1, 1, 1},
      {0, 1, 1, 1, 1, 1, 1, 1, 0},
      {0, 0, 1, 1, 1, 1, 1, 0, 0}}},
}};

int32_t IntegerSquareRoot(int32_t n) {
  int32_t r = 0;
  while ((r + 1) * (r + 1) <= n) ++r;
  return r;
}

uint32_t ColourMasks(const ColorFormat& format) { return format.redMask | format.greenMask | format.blueMask; }

}  // namespace

FontCreateSettings ApplyFontCreateDefaults(int32_t size, int32_t thickness, int32_t typeFlags, int32_t edgeSize) {
  FontCreateSettings s{size, thickness, typeFlags, edgeSize};
  if (s.typeFlags == -1) s.typeFlags = 0;
  if (s.edgeSize > 1) s.typeFlags |= static_cast<int32_t>(FontTypeEdge);
  if (s.size == -1) s.size = 16;
  if (s.thickness == -1) s.thickness = 6;
  if (s.edgeSize < 1) s.edgeSize = 1;
  return s;
}

GlyphCellSize ComputeGlyphCellSize(int32_t maxCharWidth, int32_t textHeight, uint32_t typeFlags,
                                   int32_t edgeSize) {
  const int64_t edges = (typeFlags & FontTypeEdge) ? 2 * int64_t{std::max(edgeSize, 0)} : 0;
  auto cut = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, MaxGlyphCellSide)); };
  GlyphCellSize s{};
  s.width = cut((int64_t{maxCharWidth} + 2 + edges + 7) / 8 * 8);
  s.cellHeight = cut(int64_t{textHeight} + edges);
  if (s.cellHeight & 1) ++s.cellHeight;
  s.side = std::max(s.width, s.cellHeight);
  return s;
}

TextureCacheLayout ComputeTextureCacheLayout(int32_t side, int32_t cellSetting) {
  TextureCacheLayout t{};
  if (side <= 0 || side > MaxGlyphCellSide) return t;
  if (cellSetting <= 0) {
    t.width = t.height = 512;
    t.cellCount = (t.width / side) * (t.height / side);
    while (t.cellCount < 10) {
      if (t.width > t.height)
        t.height *= 2;
      else
        t.width *= 2;
      t.cellCount = (t.width / side) * (t.height / side);
    }
  } else {
    const int64_t s = int64_t{IntegerSquareRoot(cellSetting) + 1} * side;
    if (s > MaxGlyphCellSide * int64_t{64}) return TextureCacheLayout{};
    int32_t p = 8;
    while (p < s) p *= 2;
    t.width = t.height = p;
    t.cellCount = (p / side) * (p / side);
  }
  t.cellCount = std::min(t.cellCount, MaxGlyphCells);
  return t;
}

MemoryCacheLayout ComputeMemoryCacheLayout(int32_t side, uint32_t typeFlags, int32_t cellSetting) {
  MemoryCacheLayout m{};
  if (side <= 0 || side > MaxGlyphCellSide) return m;
  m.bits = (typeFlags & 3) == 0 ? 1 : 8;
  if (cellSetting != 0) {
    m.cellCount = cellSetting;
  } else {
    m.cellCount = static_cast<int32_t>(std::max<int64_t>(0x50000 / (int64_t{side} * side), 20));
  }
  m.cellCount = std::min(m.cellCount, MaxGlyphCells);
  m.width = side;
  m.height = side * m.cellCount;
  m.pitch = (side * m.bits + 7) / 8;
  m.bytes = int64_t{m.pitch} * m.height;
  return m;
}

int64_t GlyphWorkImageBytes(int32_t cacheWidth, int32_t cacheHeight, bool edge, int32_t bytesPerPixel) {
  return int64_t{cacheWidth} * (edge ? 2 : 1) * bytesPerPixel * cacheHeight;
}

int32_t EdgeStencilAt(int32_t edgeSize, int32_t dx, int32_t dy) {
  if (edgeSize <= 0 || dx < -edgeSize || dx > edgeSize || dy < -edgeSize || dy > edgeSize) return 0;
  if (edgeSize == 1) return (dx == 0) != (dy == 0) ? 1 : 0;
  if (edgeSize > 4) return 1;
  return kEdgeStencils[static_cast<size_t>(edgeSize - 2)][static_cast<size_t>(dy + edgeSize)]
                      [static_cast<size_t>(dx + edgeSize)];
}

uint16_t AntiAliasTexel(const ColorFormat& format, int32_t level) {
  if (level <= 0) return static_cast<uint16_t>(ColourMasks(format));
  const int32_t shift = format.alphaShift + format.alphaWidth - 4;
  const uint32_t value = shift >= 0 ? (static_cast<uint32_t>(level) << shift) - 1
                                    : (static_cast<uint32_t>(level) >> -shift) - 1;
  return static_cast<uint16_t>((value & (format.alphaMask | ColourMasks(format))) | ColourMasks(format));
}

uint16_t OpaqueTexel(const ColorFormat& format) {
  return static_cast<uint16_t>(format.alphaMask | ColourMasks(format));
}

uint16_t ClearTexel(const ColorFormat& format) { return static_cast<uint16_t>(ColourMasks(format)); }

bool MixEdgeAntiAlias(uint8_t value, EdgeAntiAliasMix* out) {
  const int32_t g = value & 0x0F;
  const int32_t e = value >> 4;
  if (g == 15) {
    *out = {255, 256};
  } else if (g >= 1) {
    const int32_t a = (15 - g) * e + 16 * g;
    *out = {a, (g * 4096) / a};
  } else if (e > 0) {
    *out = {e * 16, 0};
  } else {
    return false;
  }
  return true;
}

}  // namespace quelt
