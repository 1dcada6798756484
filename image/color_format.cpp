#include "image/color_format.h"

#include <bit>

namespace quelt {
namespace {

struct ChannelBits {
  uint8_t shift;
  uint8_t width;
};

// Shift of the lowest set bit and the length of the run of ones from there (a mask with
// a gap keeps its lowest run only).
constexpr ChannelBits MeasureMask(uint32_t mask) {
  if (mask == 0) return {0, 0};
  const int shift = std::countr_zero(mask);
  const int width = std::countr_one(mask >> shift);
  return {static_cast<uint8_t>(shift), static_cast<uint8_t>(width)};
}
static_assert(MeasureMask(0x0F0F).shift == 0 && MeasureMask(0x0F0F).width == 4);
static_assert(MeasureMask(0xFF000000).shift == 24 && MeasureMask(0xFF000000).width == 8);

constexpr uint32_t AllBitsOfDepth(int bitDepth) {
  if (bitDepth >= 32) return 0xFFFFFFFFu;
  if (bitDepth <= 0) return 0;
  return (1u << bitDepth) - 1;
}

void SetStandardChannels(ColorFormat* f) {
  f->redWidth = 8;
  f->greenWidth = 8;
  f->blueWidth = 8;
  f->redShift = 16;
  f->greenShift = 8;
  f->blueShift = 0;
  f->redMask = 0xFF0000;
  f->greenMask = 0xFF00;
  f->blueMask = 0xFF;
}

void SetNoAlpha(ColorFormat* f) {
  f->alphaWidth = 0;
  f->alphaShift = 0;
  f->alphaMask = 0;
}

void FillFromMasks(ColorFormat* f, int bitDepth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  f->bitDepth = static_cast<uint16_t>(bitDepth);
  f->bytesPerPixel = static_cast<uint16_t>(bitDepth / 8);
  f->unusedMask = AllBitsOfDepth(bitDepth) & ~(r | g | b | a);
  const auto red = MeasureMask(r), green = MeasureMask(g), blue = MeasureMask(b),
             alpha = MeasureMask(a), unused = MeasureMask(f->unusedMask);
  f->redMask = r;
  f->greenMask = g;
  f->blueMask = b;
  f->alphaMask = a;
  f->redShift = red.shift;
  f->redWidth = red.width;
  f->greenShift = green.shift;
  f->greenWidth = green.width;
  f->blueShift = blue.shift;
  f->blueWidth = blue.width;
  f->alphaShift = alpha.shift;
  f->alphaWidth = alpha.width;
  f->unusedShift = unused.shift;
  f->unusedWidth = unused.width;
}

// Brings an 8-bit channel value to `width` bits: narrower by truncation to the top bits,
// wider (the 10-bit formats) scaled so that 255 becomes the channel's largest value.
constexpr uint32_t NarrowTo(int value, int width) {
  const uint32_t v = static_cast<uint32_t>(value) & 0xFF;
  if (width <= 0) return 0;
  if (width <= 8) return v >> (8 - width);
  const uint64_t max = width >= 32 ? 0xFFFFFFFFull : (uint64_t{1} << width) - 1;
  return static_cast<uint32_t>(v * max / 255);
}
static_assert(NarrowTo(255, 10) == 1023 && NarrowTo(0x80, 5) == 16 && NarrowTo(1, 0) == 0);

constexpr int ScaleTo255(uint32_t value, int width) {
  if (width <= 0) return 0;
  const uint64_t max = (uint64_t{1} << width) - 1;
  return static_cast<int>(uint64_t{value} * 255 / max);
}

}  // namespace

int SetPaletteColorFormat(ColorFormat* format) {
  format->bitDepth = 8;
  format->bytesPerPixel = 1;
  SetStandardChannels(format);
  SetNoAlpha(format);
  format->unusedMask = 0xFF000000;
  format->compression = kCompressionNone;
  return 0;
}

int SetGrayPaletteColorFormat(ColorFormat* format) {
  SetPaletteColorFormat(format);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    format->palette[i] = {v, v, v, 0};
  }
  return 0;
}

int SetXrgb32ColorFormat(ColorFormat* format) {
  format->bitDepth = 32;
  format->bytesPerPixel = 4;
  SetStandardChannels(format);
  SetNoAlpha(format);
  format->unusedMask = 0xFF000000;
  format->unusedShift = 24;
  format->unusedWidth = 8;
  format->compression = kCompressionNone;
  return 0;
}

int SetArgb32ColorFormat(ColorFormat* format) {
  format->bitDepth = 32;
  format->bytesPerPixel = 4;
  SetStandardChannels(format);
  format->alphaWidth = 8;
  format->alphaShift = 24;
  format->alphaMask = 0xFF000000;
  format->unusedMask = 0;
  format->compression = kCompressionNone;
  return 0;
}

int SetRgb24ColorFormat(ColorFormat* format) {
  format->bitDepth = 24;
  format->bytesPerPixel = 3;
  SetStandardChannels(format);
  SetNoAlpha(format);
  format->unusedMask = 0;
  format->compression = kCompressionNone;
  return 0;
}

int SetMaskColorFormat(ColorFormat* format, int bitDepth, uint32_t redMask, uint32_t greenMask,
                       uint32_t blueMask, uint32_t alphaMask) {
  if (format == nullptr) return -1;
  FillFromMasks(format, bitDepth, redMask, greenMask, blueMask, alphaMask);
  format->compression = kCompressionNone;
  return 0;
}

ColorFormat* RecomputeUnusedBits(ColorFormat* format) {
  const int widths =
      format->redWidth + format->greenWidth + format->blueWidth + format->alphaWidth;
  if (widths == format->bitDepth) {
    format->unusedMask = 0;
  } else {
    format->unusedMask = AllBitsOfDepth(format->bitDepth) &
                         ~(format->redMask | format->greenMask | format->blueMask |
                           format->alphaMask);
  }
  return format;
}

int ColorFormatFromPixelFormat(const DirectDrawPixelFormat* pixelFormat, ColorFormat* format) {
  FillFromMasks(format, static_cast<int>(pixelFormat->rgbBitCount & 0xFF), pixelFormat->redMask,
                pixelFormat->greenMask, pixelFormat->blueMask, pixelFormat->alphaMask);
  return 0;
}

int MakeRgbPixelFormat(DirectDrawPixelFormat* pixelFormat, int bitCount, uint32_t redMask,
                       uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
  if (pixelFormat == nullptr) return -1;
  *pixelFormat = {};
  pixelFormat->size = sizeof(DirectDrawPixelFormat);
  pixelFormat->flags = kPixelFormatRgbFlag;
  pixelFormat->rgbBitCount = static_cast<uint32_t>(bitCount);
  pixelFormat->redMask = redMask;
  pixelFormat->greenMask = greenMask;
  pixelFormat->blueMask = blueMask;
  pixelFormat->alphaMask = alphaMask;
  return 0;
}

uint32_t PackColorToPixel(const ColorFormat* format, int red, int green, int blue, int alpha) {
  if (format->bytesPerPixel == 1) {
    const int r = red & 0xFF, g = green & 0xFF, b = blue & 0xFF;
    int best = 0xFFFFFF;
    uint32_t bestIndex = 0;
    for (int i = 0; i < 256; ++i) {
      const PaletteEntry& e = format->palette[i];
      const int db = e.blue - b, dg = e.green - g, dr = e.red - r;
      const int distance = db * db + dg * dg + dr * dr;
      if (distance < best) {
        best = distance;
        bestIndex = static_cast<uint32_t>(i);
      }
    }
    return bestIndex;
  }
  // Shifts of 32 or more (only in malformed formats) contribute nothing.
  auto place = [](uint32_t v, int shift) { return shift < 32 ? v << shift : 0u; };
  uint32_t value = place(NarrowTo(blue, format->blueWidth), format->blueShift) +
                   place(NarrowTo(green, format->greenWidth), format->greenShift) +
                   place(NarrowTo(red, format->redWidth), format->redShift) + format->unusedMask;
  if (format->alphaWidth != 0) value += place(NarrowTo(alpha, format->alphaWidth), format->alphaShift);
  return value;
}

int UnpackPixelToColor(const ColorFormat* format, uint32_t pixel, int* red, int* green, int* blue,
                       int* alpha) {
  auto channel = [pixel](uint32_t mask, int shift, int width) {
    return shift < 32 ? ScaleTo255((pixel & mask) >> shift, width) : 0;
  };
  if (red) *red = channel(format->redMask, format->redShift, format->redWidth);
  if (green) *green = channel(format->greenMask, format->greenShift, format->greenWidth);
  if (blue) *blue = channel(format->blueMask, format->blueShift, format->blueWidth);
  if (alpha) {
    *alpha = format->alphaWidth != 0
                 ? channel(format->alphaMask, format->alphaShift, format->alphaWidth)
                 : 0;
  }
  return 0;
}

}  // namespace quelt
