#include <bit>
#include <cstring>

#include "core/little_endian.h"
#include "core/tracked_alloc.h"
#include "image/bmp_internal.h"
#include "image/stream_reader.h"

namespace quelt {
namespace {

struct Field {
  uint32_t mask;
  int shift;
  int width;
};

Field FieldOf(uint32_t mask) {
  if (mask == 0) return {0, 0, 0};
  const int shift = std::countr_zero(mask);
  return {mask, shift, std::countr_one(mask >> shift)};
}

// A field brought to 8 bits: wider fields keep their top bits, narrower ones repeat their
// bits downward, so that the largest value becomes 255.
uint8_t FieldTo8(uint32_t value, const Field& f) {
  if (f.width == 0) return 0;
  uint32_t v = (value & f.mask) >> f.shift;
  if (f.width >= 8) return static_cast<uint8_t>(v >> (f.width - 8));
  uint32_t out = 0;
  int filled = 0;
  while (filled < 8) {
    out = (out << f.width) | v;
    filled += f.width;
  }
  return static_cast<uint8_t>(out >> (filled - 8));
}

}  // namespace

int DrawBmpRowsPortable(const BmpHeaderBlock& header, const uint8_t* bits, size_t bitsBytes,
                        RasterImage* image) {
  const uint8_t* h = header.bytes;
  const int32_t width = LoadLeS32(h + 4);
  const int32_t infoHeight = LoadLeS32(h + 8);
  const int bitCount = LoadLe16(h + 14);
  const uint32_t compression = LoadLe32(h + 16);
  if (width <= 0 || infoHeight == 0 || infoHeight == INT32_MIN) return -1;
  const int32_t height = infoHeight < 0 ? -infoHeight : infoHeight;
  Field red, green, blue;
  if (compression == 3 && (bitCount == 16 || bitCount == 32)) {
    red = FieldOf(LoadLe32(h + 40));
    green = FieldOf(LoadLe32(h + 44));
    blue = FieldOf(LoadLe32(h + 48));
  } else if (compression == 0 && bitCount == 16) {
    red = FieldOf(0x7C00);
    green = FieldOf(0x3E0);
    blue = FieldOf(0x1F);
  } else if (compression == 0 && bitCount == 32) {
    red = FieldOf(0xFF0000);
    green = FieldOf(0xFF00);
    blue = FieldOf(0xFF);
  } else if (compression == 0 && bitCount == 1) {
    red = green = blue = {};
  } else {
    return -1;
  }
  const int64_t sourceRow = (int64_t{bitCount} * width + 31) / 32 * 4;
  const int64_t pitch = (int64_t{width} * 3 + 3) / 4 * 4;
  if (pitch > kMaxPixelBlockBytes) return -1;
  if (pitch * height > kMaxPixelBlockBytes || static_cast<uint64_t>(sourceRow * height) > bitsBytes) {
    return -1;
  }
  auto* out = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(pitch * height), __FILE__, __LINE__));
  if (!out) return -1;
  std::memset(out, 0, static_cast<size_t>(pitch * height));
  const uint8_t* palette = h + kBmpInfoHeaderBytes;
  for (int32_t y = 0; y < height; ++y) {
    const int32_t sourceY = infoHeight > 0 ? height - 1 - y : y;
    const uint8_t* s = bits + sourceY * sourceRow;
    uint8_t* d = out + y * pitch;
    for (int32_t x = 0; x < width; ++x, d += 3) {
      if (bitCount == 1) {
        const int index = (s[x >> 3] >> (7 - (x & 7))) & 1;
        std::memcpy(d, palette + index * 4, 3);
        continue;
      }
      const uint32_t v = bitCount == 16 ? LoadLe16(s + x * 2) : LoadLe32(s + x * 4);
      d[0] = FieldTo8(v, blue);
      d[1] = FieldTo8(v, green);
      d[2] = FieldTo8(v, red);
    }
  }
  image->pixels = out;
  image->width = width;
  image->height = height;
  image->pitch = static_cast<int32_t>(pitch);
  image->mipCount = 0;
  SetRgb24ColorFormat(&image->format);
  return 0;
}

}  // namespace quelt
