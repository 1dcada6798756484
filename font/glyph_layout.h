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

// The creation settings after their defaults: -1 gives size 16, thickness 6, type flags 0
// and edge size 1; an edge size above 1 sets the edge bit. An edge size below 1 is taken as
// 1, as -1 is: the cell is widened by the edge on each side, and a negative edge would make
// it smaller than the glyph written into it.
struct FontCreateSettings {
  int32_t size, thickness, typeFlags, edgeSize;
};
FontCreateSettings ApplyFontCreateDefaults(int32_t size, int32_t thickness, int32_t typeFlags, int32_t edgeSize);

// No cache of a larger cell can be allocated; larger sides are cut to it so that the
// layouts below cannot overflow.
inline constexpr int32_t MaxGlyphCellSide = 1 << 16;

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
  int64_t bytes;  // pitch x height
};
MemoryCacheLayout ComputeMemoryCacheLayout(int32_t side, uint32_t typeFlags, int32_t cellSetting);

// Bytes of the texture cache's work image: the cache (twice as wide with an edge layer) in
// pixels of bytesPerPixel.
int64_t GlyphWorkImageBytes(int32_t cacheWidth, int32_t cacheHeight, bool edge, int32_t bytesPerPixel);
// A cache block of this many bytes can be asked of the allocator (whose sizes are 32-bit).
inline bool IsAllocatableGlyphBlock(int64_t bytes) { return bytes > 0 && bytes <= INT32_MAX; }

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
