#pragma once
// Rows of a locked render target as 0x00RRGGBB pixels, for the draw-screen read-back.
#include <cstdint>

namespace quelt {

// Converts `width` pixels of one row in the layout of a D3DFORMAT. -1 for a format the
// read-back does not know (nothing is read then).
int ConvertReadBackRow(uint32_t d3dFormat, const uint8_t* row, int32_t width, uint32_t* out);
// Bytes per pixel of the formats ConvertReadBackRow knows, 0 for the others.
int32_t ReadBackPixelBytes(uint32_t d3dFormat);

}  // namespace quelt
