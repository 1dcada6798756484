#pragma once
// The shared colour and pixel formats of memory images, and the moves of pixels between
// decoded images and memory images.
#include <cstdint>

#include "image/color_format.h"
#include "image/raster_image.h"
#include "softrender/clip_rect.h"
#include "softrender/memimg.h"

namespace quelt {

// Shared records, built on first use and kept for the process; null for a type above 3.
const ColorFormat* GetMemImgColorFormat(uint32_t colourType, int32_t alphaFlag, int32_t paletteFlag);
// The same ten combinations as DirectDraw pixel formats (bit count and masks; types 0
// and 1 also size 32 and the RGB flag).
const DirectDrawPixelFormat* GetMemImgPixelFormat(uint32_t colourType, int32_t alphaFlag,
                                                  int32_t paletteFlag);

// Writes the rectangle (sx, sy, w, h) of src (with an optional separate alpha image) into
// dest at (tx, ty). Negative when the conversion fails.
int TransferImageToMemImg(const RasterImage* src, const RasterImage* alphaSrc, MEMIMG* dest,
                          int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t tx, int32_t ty,
                          int32_t transparentOption);
// Gives img's store a run table of its present pixels (direct and alpha images of colour
// types 0 and 1), which lets the plain blitter pass over its transparent runs unread. A
// whole-image transfer rebuilds it; any other change of the pixels sets it aside
// (MarkMemImgChanged). -1 for an image that cannot have one or when memory runs out.
int AddMemImgRunTable(MEMIMG* img);
// Copies rect of src (null = all of src) into dest at (x, y), converting formats.
int CopyMemImgRect(MEMIMG* dest, const MEMIMG* src, const IntRect* rect, int32_t x, int32_t y);

}  // namespace quelt
