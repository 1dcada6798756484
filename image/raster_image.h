#pragma once
// A decoded image: a ColorFormat plus size, row pitch and an owned pixel block.
#include <cstddef>
#include <cstdint>

#include "image/color_format.h"

namespace quelt {

// A plain record, copied by value; the copy a caller keeps owns `pixels` (tracked
// allocator), freed only by FreeRasterImage or by an operation that replaces the block.
struct RasterImage {
  ColorFormat format;
  int32_t width;
  int32_t height;
  int32_t pitch;     // bytes per row; 0 for DXT data
  uint8_t* pixels;
  int32_t mipCount;  // levels stored one after another (DDS only); 0 means one level
};
static_assert(sizeof(void*) != 4 || sizeof(RasterImage) == 1084);

// The largest pixel block the engine will hold: a 32-bit process finds no larger free run
// of address space in practice, and decoders refuse images above it before allocating.
inline constexpr int64_t kMaxPixelBlockBytes = 0x20000000;

// pitch = width x bytesPerPixel rounded up to 4; the block is not zeroed. -1 when it
// cannot be allocated (pixels null) or when width or height is negative or the block too
// large, or for a null image or format.
int AllocRasterImage(int32_t width, int32_t height, const ColorFormat* format, RasterImage* image);
int AllocArgb32Image(int32_t width, int32_t height, RasterImage* image);
int AllocXrgb32Image(int32_t width, int32_t height, RasterImage* image);
// Frees the pixel block (when not null) and zeroes the whole record; -1 for a null record.
int FreeRasterImage(RasterImage* image);

}  // namespace quelt
