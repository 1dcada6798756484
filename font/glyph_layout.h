#pragma once
// The arithmetic of the glyph cache: cell sizes, the two cache layouts, the edge
// stencils and the pixel encodings of anti-aliased glyph levels.
#include <cstdint>

namespace quelt {

struct ColorFormat;

inline constexpr int32_t GlyphCellCapacity = 2025;  // cells per font, terminator included
inline constexpr int32_t MaxGlyphCells = 2024;
inline constexpr uint32_t FontTypeEdge = 1;
inline constexpr uint32_t FontTypeAntiAlias = 2;

struct GlyphCellSize {
  int32_t width;       // max char width + 2 (+ edges), a multiple of 8
  int32_t cellHeight;  // the font's line height (+ edges), even
  int32_t side;        // the square cell
};
GlyphCellSize ComputeGlyphCellSize(int32_t maxCharWidth, int32_t textHeight, uint32_t typeFlags,
                                   int32_t edgeSize);

struct TextureCacheLayout {
  int32_t width, height, cellCount;
};
// cellSetting 0 = automatic.
TextureCacheLayout ComputeTextureCacheLayout(int32_t side, int32_t cellSetting);

struct MemoryCacheLayout {
  int32_t bits, cellCount, width, height, pitch;
};
MemoryCacheLayout ComputeMemoryCacheLayout(int32_t side, uint32_t typeFlags, int32_t cellSetting);

// 1 when (dx, dy), both -size..size, is part of the edge drawn around a glyph pixel.
int32_t EdgeStencilAt(int32_t edgeSize, int32_t dx, int32_t dy);

// A texture-cache pixel for glyph level v (0..16) in the work image's 16-bit format.
uint16_t AntiAliasTexel(const ColorFormat& format, int32_t level);
// Full alpha with every colour bit set, and colour bits alone (alpha 0).
uint16_t OpaqueTexel(const ColorFormat& format);
uint16_t ClearTexel(const ColorFormat& format);

// The memory-cache byte of an anti-aliased level: v - 1, 0 for v = 0.
inline uint8_t AntiAliasMemoryLevel(int32_t level) { return level >= 1 ? static_cast<uint8_t>(level - 1) : 0; }
// The edge layer of an edged anti-aliased glyph after one more neighbour of level v.
inline int32_t AccumulateEdgeLevel(int32_t edge, int32_t level) { return (256 - (16 - edge) * (16 - level)) >> 4; }

// Edge + anti-alias memory byte to a blended pixel: alpha 0..255 and the mix weight t
// (0..256) of the text colour over the edge colour. False when nothing is drawn.
struct EdgeAntiAliasMix {
  int32_t alpha;
  int32_t textWeight;  // 256 = text colour, 0 = edge colour
};
bool MixEdgeAntiAlias(uint8_t value, EdgeAntiAliasMix* out);

}  // namespace quelt
