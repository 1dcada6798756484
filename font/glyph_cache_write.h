#pragma once
// Writing a fetched glyph bitmap into its cell of a font's glyph cache, in the cache's
// encoding: 1-bit or byte memory cells, or 16-bit texels in the texture cache's work image,
// with the edge layer drawn by the edge stencil. Writes never leave the cell.
#include <cstdint>

namespace quelt {

struct FontRecord;

// rows: bw x bh glyph pixels, pitch bytes apart, 1 bit per pixel (most significant bit
// leftmost) or, when gray, one level 0..16 per byte. e: the edge size, 0 without an edge.
// The cell must have been cleared; the glyph lands e pixels right of and below its corner.
void WriteGlyphToCache(FontRecord& f, int32_t cellIndex, const uint8_t* rows, int32_t pitch, int32_t bw,
                       int32_t bh, bool gray, int32_t e);

}  // namespace quelt
