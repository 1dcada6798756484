#pragma once
// What the pixel loops of the rotated blit and the triangle rasteriser read per pixel:
// the table rows and source facts prepared once per call, before the first pixel.
#include <cstdint>

namespace quelt {

// 14.18 fixed point: a position times 2^18.
inline constexpr int32_t kFixedShift = 18;
inline constexpr int32_t kFixedOne = 1 << kFixedShift;
inline constexpr int32_t kFixedHalf = 0x20000;

// Where a loop's colour comes from.
enum class PixelSource : uint8_t {
  Direct,   // texels of the destination's format, no alpha channel
  Alpha,    // texels with an alpha byte (4 bytes, also for RGB565)
  Palette,  // one-byte indices into the source palette
  Colour,   // the solid fill: one colour for every pixel, no texel
};

struct PixelContext {
  uint32_t param;                  // BlendParam, 0..255
  const int32_t* paramRow;         // ProductTable row of the parameter
  const int32_t* signedParamRow;   // SignedProductTable row of the parameter, at its centre
  const int32_t* brightBlue;       // ProductTable rows of the bright colour's bytes
  const int32_t* brightGreen;
  const int32_t* brightRed;
  const uint8_t* border;           // BorderTable
  uint32_t transparent;            // source transparent colour (palette index for palettes)
  const uint8_t* palette;          // entries in the destination's pixel format
  uint32_t fill;                   // the solid fill's colour, already bright-scaled

  // Texture walk: a texel is read only when u < uLimit and v < vLimit (unsigned).
  uint32_t uLimit;
  uint32_t vLimit;
  uint32_t uStepX;
  uint32_t vStepX;
  const uint8_t* srcPixels;
  uint32_t srcPitch;
  const uint8_t* blendPixels;
  uint32_t blendPitch;
  const uint8_t* const* srcRows;   // row tables of the rotated blit
  const uint8_t* const* blendRows;
};

}  // namespace quelt
