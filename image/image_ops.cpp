#include "image/image_ops.h"

#include <cstring>

#include "core/tracked_alloc.h"
#include "image/pixel_convert.h"
#include "image/pixel_convert_internal.h"

namespace quelt {
namespace {

using pixel_convert::LoadRaw;
using pixel_convert::StoreRaw;

bool Inside(const RasterImage* image, int32_t x, int32_t y) {
  return static_cast<uint32_t>(x) < static_cast<uint32_t>(image->width) &&
         static_cast<uint32_t>(y) < static_cast<uint32_t>(image->height);
}

bool WalkablePixels(const RasterImage* image) {
  return image->pixels && image->format.compression == kCompressionNone &&
         image->format.bytesPerPixel >= 1 && image->format.bytesPerPixel <= 4;
}

uint8_t* PixelAt(const RasterImage* image, int32_t x, int32_t y) {
  return image->pixels + int64_t{y} * image->pitch + int64_t{x} * image->format.bytesPerPixel;
}

// A channel left-aligned in 8 bits (wider channels keep their top 8 bits).
uint32_t LeftAligned(uint32_t value, uint32_t mask, int shift, int width) {
  if (width == 0 || shift >= 32) return 0;
  const uint32_t v = (value & mask) >> shift;
  return width <= 8 ? (v << (8 - width)) & 0xFF : (v >> (width - 8)) & 0xFF;
}

void WriteDibHeader(void* header, int32_t width, int32_t height, int bitCount) {
  auto* h = static_cast<uint8_t*>(header);
  std::memset(h, 0, kDibHeaderBlockBytes);
  const int32_t fields[] = {40, width, -height};
  std::memcpy(h, fields, sizeof(fields));
  h[12] = 1;
  h[14] = static_cast<uint8_t>(bitCount);
}

uint8_t* AllocBits(int64_t bytes) {
  if (bytes < 0 || bytes > kMaxPixelBlockBytes) return nullptr;
  return static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(bytes > 0 ? bytes : 1), __FILE__, __LINE__));
}

}  // namespace

uint32_t ReadImagePixelArgb(const RasterImage* image, int32_t x, int32_t y) {
  if (!WalkablePixels(image)) return 0;
  const ColorFormat& f = image->format;
  const uint32_t v = pixel_convert::LoadPixel(f, PixelAt(image, x, y));
  uint32_t argb = LeftAligned(v, f.blueMask, f.blueShift, f.blueWidth) |
                  LeftAligned(v, f.greenMask, f.greenShift, f.greenWidth) << 8 |
                  LeftAligned(v, f.redMask, f.redShift, f.redWidth) << 16;
  if (f.alphaWidth != 0) argb |= LeftAligned(v, f.alphaMask, f.alphaShift, f.alphaWidth) << 24;
  return argb;
}

int WriteImagePixel(RasterImage* image, int32_t x, int32_t y, int red, int green, int blue, int alpha) {
  if (DecodeCompressedTexture(image) != 0) return -1;
  if (!Inside(image, x, y) || !WalkablePixels(image)) return -1;
  const uint32_t value = PackColorToPixel(&image->format, red, green, blue, alpha);
  StoreRaw(PixelAt(image, x, y), value, image->format.bytesPerPixel);
  return 0;
}

int ReadImagePixel(RasterImage* image, int32_t x, int32_t y, int* red, int* green, int* blue, int* alpha) {
  if (DecodeCompressedTexture(image) != 0) return -1;
  if (!Inside(image, x, y) || !WalkablePixels(image)) return -1;
  const uint8_t* p = PixelAt(image, x, y);
  if (image->format.bytesPerPixel == 1) {
    const PaletteEntry& e = image->format.palette[*p];
    if (red) *red = e.red;
    if (green) *green = e.green;
    if (blue) *blue = e.blue;
    if (alpha) *alpha = e.reserved;
    return 0;
  }
  return UnpackPixelToColor(&image->format, LoadRaw(p, image->format.bytesPerPixel), red, green,
                            blue, alpha);
}

int MirrorImageRows(RasterImage* image) {
  if (image->width <= 0 || image->height <= 0) return -1;
  if (!WalkablePixels(image)) return -1;
  const int bytes = image->format.bytesPerPixel;
  for (int32_t y = 0; y < image->height; ++y) {
    uint8_t* row = PixelAt(image, 0, y);
    for (int32_t i = 0; i < image->width / 2; ++i) {
      uint8_t* a = row + int64_t{i} * bytes;
      uint8_t* b = row + int64_t{image->width - 1 - i} * bytes;
      uint8_t t[4];
      std::memcpy(t, a, bytes);
      std::memcpy(a, b, bytes);
      std::memcpy(b, t, bytes);
    }
  }
  return 0;
}

int ZeroImageRect(RasterImage* image, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!WalkablePixels(image)) return 0;
  // Clipped to the image, so a rectangle reaching past it never writes outside.
  int64_t x1 = x, y1 = y, x2 = int64_t{x} + width, y2 = int64_t{y} + height;
  if (x1 < 0) x1 = 0;
  if (y1 < 0) y1 = 0;
  if (x2 > image->width) x2 = image->width;
  if (y2 > image->height) y2 = image->height;
  if (x1 >= x2 || y1 >= y2) return 0;
  const int bytes = image->format.bytesPerPixel;
  for (int64_t row = y1; row < y2; ++row) {
    std::memset(image->pixels + row * image->pitch + x1 * bytes, 0, static_cast<size_t>((x2 - x1) * bytes));
  }
  return 0;
}

int HalveImageForMip(const ColorFormat* format, void* destPixels, int32_t destPitch,
                     const void* srcPixels, int32_t srcPitch, int32_t destX, int32_t /*reserved*/,
                     int32_t srcX, int32_t /*y*/, int32_t srcWidth, int32_t srcHeight) {
  if ((srcWidth != 1 && (srcWidth & 1)) || (srcHeight != 1 && (srcHeight & 1))) return -1;
  if (format->bitDepth != 16 && format->bitDepth != 32) return 0;
  if (srcWidth <= 0 || srcHeight <= 0) return 0;
  const int bytes = format->bitDepth / 8;
  const uint32_t masks[4] = {format->redMask, format->greenMask, format->blueMask, format->alphaMask};
  const int shifts[4] = {format->redShift, format->greenShift, format->blueShift, format->alphaShift};
  auto mean = [&](const uint32_t* values, int n) {
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
      if (masks[c] == 0 || shifts[c] >= 32) continue;
      uint64_t sum = 0;
      for (int i = 0; i < n; ++i) sum += (values[i] & masks[c]) >> shifts[c];
      out |= (static_cast<uint32_t>(sum / n) << shifts[c]) & masks[c];
    }
    return out;
  };
  const auto* src = static_cast<const uint8_t*>(srcPixels) + int64_t{srcX} * bytes;
  auto* dest = static_cast<uint8_t*>(destPixels) + int64_t{destX} * bytes;
  const int32_t stepX = srcWidth == 1 ? 1 : 2, stepY = srcHeight == 1 ? 1 : 2;
  const int32_t outWidth = srcWidth / stepX, outHeight = srcHeight / stepY;
  for (int32_t y = 0; y < outHeight; ++y) {
    const uint8_t* s0 = src + int64_t{y} * stepY * srcPitch;
    const uint8_t* s1 = stepY == 2 ? s0 + srcPitch : s0;
    uint8_t* d = dest + int64_t{y} * destPitch;
    for (int32_t x = 0; x < outWidth; ++x) {
      const int64_t a = int64_t{x} * stepX * bytes, b = a + (stepX == 2 ? bytes : 0);
      uint32_t v[4] = {LoadRaw(s0 + a, bytes), LoadRaw(s0 + b, bytes), LoadRaw(s1 + a, bytes),
                       LoadRaw(s1 + b, bytes)};
      uint32_t out;
      if (stepX == 1 && stepY == 1) {
        out = v[0];
      } else if (stepX == 1) {
        v[1] = v[2];
        out = mean(v, 2);
      } else if (stepY == 1) {
        out = mean(v, 2);
      } else {
        out = mean(v, 4);
      }
      StoreRaw(d + int64_t{x} * bytes, out, bytes);
    }
  }
  return 0;
}

int CopyImageRect(int32_t srcX, int32_t srcY, int32_t width, int32_t height, int32_t destX,
                  int32_t destY, RasterImage* srcImage, RasterImage* destImage) {
  if (DecodeCompressedTexture(srcImage) != 0 || DecodeCompressedTexture(destImage) != 0) return -1;
  int64_t sx = srcX, sy = srcY, dx = destX, dy = destY, w = width, h = height;
  if (sx < 0) { dx -= sx; w += sx; sx = 0; }
  if (sy < 0) { dy -= sy; h += sy; sy = 0; }
  if (dx < 0) { sx -= dx; w += dx; dx = 0; }
  if (dy < 0) { sy -= dy; h += dy; dy = 0; }
  if (w > destImage->width - dx) w = destImage->width - dx;
  if (w > srcImage->width - sx) w = srcImage->width - sx;
  if (h > destImage->height - dy) h = destImage->height - dy;
  if (h > srcImage->height - sy) h = srcImage->height - sy;
  if (w <= 0 || h <= 0) return 0;
  if (!srcImage->pixels || !destImage->pixels) return 0;
  const PixelRect rect{static_cast<int32_t>(sx), static_cast<int32_t>(sy),
                       static_cast<int32_t>(sx + w), static_cast<int32_t>(sy + h)};
  ConvertPixelRect(destImage->pixels, destImage->pitch, &destImage->format, srcImage->pixels,
                   srcImage->pitch, &srcImage->format, nullptr, 0, nullptr,
                   static_cast<int32_t>(dx), static_cast<int32_t>(dy), &rect, 0, 0, 0, 0, 0, 0, 0, 1);
  return 0;
}

int StretchImageRect(int32_t srcLeft, int32_t srcTop, int32_t srcRight, int32_t srcBottom,
                     RasterImage* srcImage, int32_t destLeft, int32_t destTop, int32_t destRight,
                     int32_t destBottom, RasterImage* destImage, int filter) {
  auto valid = [](int32_t l, int32_t t, int32_t r, int32_t b, const RasterImage* image) {
    return l < r && t < b && l >= 0 && t >= 0 && l <= image->width - 1 && t <= image->height - 1 &&
           r >= 1 && b >= 1 && r <= image->width && b <= image->height;
  };
  if (!valid(srcLeft, srcTop, srcRight, srcBottom, srcImage) ||
      !valid(destLeft, destTop, destRight, destBottom, destImage)) {
    return -1;
  }
  const int32_t srcW = srcRight - srcLeft, srcH = srcBottom - srcTop;
  const int32_t destW = destRight - destLeft, destH = destBottom - destTop;
  if (srcW == destW && srcH == destH) {
    return CopyImageRect(srcLeft, srcTop, srcW, srcH, destLeft, destTop, srcImage, destImage);
  }
  const int64_t stepX = int64_t{srcW} * 65536 / destW, stepY = int64_t{srcH} * 65536 / destH;
  const int32_t lastX = srcRight - 1, lastY = srcBottom - 1;
  int64_t posY = int64_t{srcTop} * 65536;
  for (int32_t y = destTop; y < destBottom; ++y, posY += stepY) {
    int64_t posX = int64_t{srcLeft} * 65536;
    const int32_t sy = static_cast<int32_t>(posY >> 16) > lastY ? lastY : static_cast<int32_t>(posY >> 16);
    const uint64_t fy = static_cast<uint64_t>(posY & 0xFFFF);
    for (int32_t x = destLeft; x < destRight; ++x, posX += stepX) {
      const int32_t sx = static_cast<int32_t>(posX >> 16) > lastX ? lastX : static_cast<int32_t>(posX >> 16);
      int c[4][4] = {};
      if (filter == 1) {
        // Samples past the rectangle's last column or row repeat its edge. The weights add
        // up to exactly 2^32, so a flat 255 stays 255.
        const int32_t sx1 = sx < lastX ? sx + 1 : sx, sy1 = sy < lastY ? sy + 1 : sy;
        const uint64_t fx = static_cast<uint64_t>(posX & 0xFFFF);
        const uint64_t w[4] = {(65536 - fx) * (65536 - fy), fx * (65536 - fy), (65536 - fx) * fy, fx * fy};
        const int32_t px[4] = {sx, sx1, sx, sx1}, py[4] = {sy, sy, sy1, sy1};
        uint64_t sum[4] = {};
        for (int i = 0; i < 4; ++i) {
          ReadImagePixel(srcImage, px[i], py[i], &c[i][0], &c[i][1], &c[i][2], &c[i][3]);
          for (int k = 0; k < 4; ++k) sum[k] += static_cast<uint64_t>(c[i][k]) * w[i];
        }
        WriteImagePixel(destImage, x, y, static_cast<int>(sum[0] >> 32), static_cast<int>(sum[1] >> 32),
                        static_cast<int>(sum[2] >> 32), static_cast<int>(sum[3] >> 32));
      } else {
        ReadImagePixel(srcImage, sx, sy, &c[0][0], &c[0][1], &c[0][2], &c[0][3]);
        WriteImagePixel(destImage, x, y, c[0][0], c[0][1], c[0][2], c[0][3]);
      }
    }
  }
  return 0;
}

int ImageToDibBits(const RasterImage* image, void* header, uint8_t** bits, int forceCopy,
                   int forceTrueColour) {
  if (!image->pixels || image->format.compression != kCompressionNone || image->width < 0 ||
      image->height < 0) {
    return -1;
  }
  const int32_t width = image->width, height = image->height;
  if (image->format.bitDepth == 8 && image->format.bytesPerPixel == 1 && !forceTrueColour) {
    WriteDibHeader(header, width, height, 8);
    std::memcpy(static_cast<uint8_t*>(header) + 40, image->format.palette.data(), 1024);
    const int64_t row = (int64_t{width} + 3) / 4 * 4;
    if (forceCopy == 1 || row != image->pitch) {
      uint8_t* out = AllocBits(row * height);
      if (!out) return -1;
      for (int32_t y = 0; y < height; ++y) {
        std::memcpy(out + y * row, image->pixels + int64_t{y} * image->pitch, static_cast<size_t>(width));
      }
      *bits = out;
      return 1;
    }
    *bits = image->pixels;
    return forceCopy;
  }
  WriteDibHeader(header, width, height, 24);
  const int64_t row = (int64_t{width} * 3 + 3) / 4 * 4;
  const ColorFormat& f = image->format;
  const bool plain24 = f.bitDepth == 24 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 &&
                       f.blueMask == 0xFF;
  if (!plain24 || forceCopy == 1) {
    uint8_t* out = AllocBits(row * height);
    if (!out) return -1;
    ColorFormat rgb24 = {};
    SetRgb24ColorFormat(&rgb24);
    const PixelRect rect{0, 0, width, height};
    ConvertPixelRect(out, static_cast<int32_t>(row), &rgb24, image->pixels, image->pitch, &f, nullptr,
                     0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
    *bits = out;
    return 1;
  }
  if (row != image->pitch) {
    uint8_t* out = AllocBits(row * height);
    if (!out) return -1;
    for (int32_t y = 0; y < height; ++y) {
      std::memcpy(out + y * row, image->pixels + int64_t{y} * image->pitch, static_cast<size_t>(width) * 3);
    }
    *bits = out;
    return 1;
  }
  *bits = image->pixels;
  return forceCopy;
}

}  // namespace quelt
