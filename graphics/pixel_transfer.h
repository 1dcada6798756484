#pragma once
// Moving pixels from decoded images (or GDI bitmaps) into a graph's textures or memory
// image, with format conversion, transparent colour, direct copies of block-compressed
// data and mip levels.
#include <cstdint>

#include "image/pixel_convert.h"
#include "image/raster_image.h"

namespace quelt {

// With bitmapFlag the source is a colour bitmap and an optional mask bitmap described by
// bitmapFormat; else image and the optional alpha image (a compressed image may be decoded
// in place). The source rectangle is x1, y1, x2, y2 (exclusive); (destX, destY) are graph
// coordinates, image coordinates with wholeImage. 0 or -1.
int TransferToTextures(int32_t handle, const ColorFormat* bitmapFormat, void* colourBitmap,
                       void* maskBitmap, const PixelRect* sourceRect, int32_t destX,
                       int32_t destY, int32_t bitmapFlag, RasterImage* image,
                       RasterImage* alpha, int32_t blendFlag, int32_t transparentFlag,
                       int32_t wholeImage);

}  // namespace quelt
