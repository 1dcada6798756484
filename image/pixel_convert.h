#pragma once
// The one format-converting pixel copy, and DXT decoding.
#include <cstdint>

#include "image/color_format.h"
#include "image/raster_image.h"

namespace quelt {

// {left, top, right, bottom}; right and bottom exclusive (same layout as a Win32 RECT).
struct PixelRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};
static_assert(sizeof(PixelRect) == 16);

// Values of ConvertPixelRect's dither argument.
enum DitherMode : int { kDitherNone = 0, kDitherOrdered = 1, kDitherErrorCarry = 2 };

// Copies rect of the source into the destination at (destX, destY), converting between
// the two formats. alphaPixels/alphaFormat may be null (no alpha image); the alpha image is
// read at the same rectangle. No clipping is done: callers clip.
// Returns 0, -1 for an empty rectangle, and for a plain palette-to-palette copy the
// largest index copied.
int ConvertPixelRect(void* destPixels, int32_t destPitch, const ColorFormat* destFormat,
                     const void* srcPixels, int32_t srcPitch, const ColorFormat* srcFormat,
                     const void* alphaPixels, int32_t alphaPitch, const ColorFormat* alphaFormat,
                     int32_t destX, int32_t destY, const PixelRect* rect, int mirror,
                     int transparent, uint32_t transparentColour, int dither, int colourOff,
                     int alphaFromFirstColour, int skipTransparent, int paletteCopy);

// Turns a DXT1..5 image into A8R8G8B8 (top level only). 0 also when the image is not
// compressed; -1 for a null record, an unknown compression or a size no block can have,
// or when the output cannot be allocated (image unchanged).
int DecodeCompressedTexture(RasterImage* image);

}  // namespace quelt
