#pragma once
// Small operations on a RasterImage: pixel access, mirroring, clearing, the half-size mip
// copy, clipped and stretched copies, and device-independent-bitmap rows.
#include <cstdint>

#include "image/raster_image.h"

namespace quelt {

inline constexpr int32_t kDibHeaderBlockBytes = 1068;  // 40-byte header + 256 entries

// The pixel as 0xAARRGGBB, narrow channels left-aligned; 0 without a pixel block. No bounds
// test: callers pass coordinates inside the image.
uint32_t ReadImagePixelArgb(const RasterImage* image, int32_t x, int32_t y);
// 0, or -1 outside the image or when DXT decoding fails.
int WriteImagePixel(RasterImage* image, int32_t x, int32_t y, int red, int green, int blue, int alpha);
int ReadImagePixel(RasterImage* image, int32_t x, int32_t y, int* red, int* green, int* blue, int* alpha);
// -1 when width or height is 0.
int MirrorImageRows(RasterImage* image);
int ZeroImageRect(RasterImage* image, int32_t x, int32_t y, int32_t width, int32_t height);
// 16 and 32-bit pixels only. -1 when a source side is odd and not 1.
int HalveImageForMip(const ColorFormat* format, void* destPixels, int32_t destPitch,
                     const void* srcPixels, int32_t srcPitch, int32_t destX, int32_t reserved,
                     int32_t srcX, int32_t y, int32_t srcWidth, int32_t srcHeight);
// Clipped to both images; 0 also when nothing is left, -1 when DXT decoding fails.
int CopyImageRect(int32_t srcX, int32_t srcY, int32_t width, int32_t height, int32_t destX,
                  int32_t destY, RasterImage* srcImage, RasterImage* destImage);
// filter 1 bilinear, else nearest. -1 for a rectangle that is empty or outside its image.
int StretchImageRect(int32_t srcLeft, int32_t srcTop, int32_t srcRight, int32_t srcBottom,
                     RasterImage* srcImage, int32_t destLeft, int32_t destTop, int32_t destRight,
                     int32_t destBottom, RasterImage* destImage, int filter);
// header: kDibHeaderBlockBytes. 0 when *bits is the image's own block, 1 when a new block
// was allocated, -1 on allocation failure.
int ImageToDibBits(const RasterImage* image, void* header, uint8_t** bits, int forceCopy,
                   int forceTrueColour);

}  // namespace quelt
