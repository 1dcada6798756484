#pragma once
// Drawing onto memory images: fills and the plain and stretched blitters. The blend
// mode, parameter, bright colour and draw area come from SoftDraw at each call.
#include <cstdint>

#include "softrender/clip_rect.h"
#include "softrender/memimg.h"

namespace quelt {

// Stores a raw pixel value into rect (null = the whole image), without blending or draw area.
void ClearMemImg(MEMIMG* img, const IntRect* rect, uint32_t value);
// Fills rect (null = the whole image; corners in any order) with a raw colour of the
// image's type through the current blend mode, clipped to the draw area.
void MemImgFillRect(MEMIMG* img, const IntRect* rect, uint32_t colour);

// Draws the whole of src with its top-left at (x, y) of dest. transFlag 1 skips
// transparent source pixels; blendImage (one byte per pixel, at least the source's size)
// weights every pixel, or is null.
void MemImgBlit(MEMIMG* dest, const MEMIMG* src, int32_t x, int32_t y, int32_t transFlag,
                const MEMIMG* blendImage);
// Draws the whole of src scaled into rect {x1, y1, x2, y2} (x2, y2 exclusive); reversed
// corners mirror the image.
void MemImgStretchBlit(MEMIMG* dest, const MEMIMG* src, const IntRect* rect, int32_t transFlag,
                       const MEMIMG* blendImage);

}  // namespace quelt
