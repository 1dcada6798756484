#include "image/dxt_decode.h"

#include <array>
#include <cstring>

#include "core/little_endian.h"
#include "core/numbers.h"
#include "core/tracked_alloc.h"
#include "image/color_format.h"
#include "image/pixel_convert.h"
#include "image/raster_image.h"

namespace quelt {
namespace {

struct Bgra {
  uint8_t b, g, r, a;
};

Bgra Expand565(uint16_t c) {
  return {static_cast<uint8_t>((c & 31) * 255 / 31), static_cast<uint8_t>(((c >> 5) & 63) * 255 / 63),
          static_cast<uint8_t>((c >> 11) * 255 / 31), 255};
}


// The colour half: four colours and 16 two-bit indices.
void DecodeColourHalf(const uint8_t* block, bool dxt1, std::array<Bgra, 16>& out) {
  const uint16_t c0 = LoadLe16(block), c1 = LoadLe16(block + 2);
  std::array<Bgra, 4> colours;
  colours[0] = Expand565(c0);
  colours[1] = Expand565(c1);
  const Bgra& a = colours[0];
  const Bgra& b = colours[1];
  auto mix = [](uint8_t x, uint8_t y, int wx, int wy, int div) {
    return static_cast<uint8_t>((x * wx + y * wy) / div);
  };
  if (!dxt1 || c0 > c1) {
    colours[2] = {mix(a.b, b.b, 2, 1, 3), mix(a.g, b.g, 2, 1, 3), mix(a.r, b.r, 2, 1, 3), 255};
    colours[3] = {mix(a.b, b.b, 1, 2, 3), mix(a.g, b.g, 1, 2, 3), mix(a.r, b.r, 1, 2, 3), 255};
  } else {
    colours[2] = {static_cast<uint8_t>((a.b + b.b) >> 1), static_cast<uint8_t>((a.g + b.g) >> 1),
                  static_cast<uint8_t>((a.r + b.r) >> 1), 255};
    colours[3] = colours[2];
    colours[3].a = 0;
  }
  const uint32_t indices = LoadLe32(block + 4);
  for (int i = 0; i < 16; ++i) out[i] = colours[(indices >> (2 * i)) & 3];
}

void DecodeExplicitAlpha(const uint8_t* block, std::array<Bgra, 16>& out) {
  for (int i = 0; i < 16; ++i) {
    const int nibble = (block[i / 2] >> ((i & 1) * 4)) & 15;
    out[i].a = static_cast<uint8_t>(nibble * 17);
  }
}

void DecodeInterpolatedAlpha(const uint8_t* block, std::array<Bgra, 16>& out) {
  const int a0 = block[0], a1 = block[1];
  std::array<int, 8> table;
  table[0] = a0;
  table[1] = a1;
  if (a0 > a1) {
    for (int i = 1; i <= 6; ++i) table[1 + i] = ((7 - i) * a0 + i * a1) / 7;
  } else {
    for (int i = 1; i <= 4; ++i) table[1 + i] = ((5 - i) * a0 + i * a1) / 5;
    table[6] = 0;
    table[7] = 255;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= uint64_t{block[2 + i]} << (8 * i);
  for (int i = 0; i < 16; ++i) out[i].a = static_cast<uint8_t>(table[(bits >> (3 * i)) & 7]);
}

// Premultiplied colour back to straight colour. A pixel of alpha 0 has no colour left to
// recover and comes out black; values above the alpha (bad data) are held at 255.
void Unpremultiply(std::array<Bgra, 16>& px) {
  for (Bgra& p : px) {
    if (p.a == 0) {
      p.b = p.g = p.r = 0;
      continue;
    }
    auto undo = [&](uint8_t c) { return static_cast<uint8_t>(ClampToByte(c * 255 / p.a)); };
    p.b = undo(p.b);
    p.g = undo(p.g);
    p.r = undo(p.r);
  }
}

}  // namespace

int DxtBlockBytes(uint32_t compression) {
  if (compression == kCompressionDxt1) return 8;
  if (compression >= kCompressionDxt2 && compression <= kCompressionDxt5) return 16;
  return 0;
}

int64_t DxtTopLevelBytes(uint32_t compression, int32_t width, int32_t height) {
  const int blockBytes = DxtBlockBytes(compression);
  if (blockBytes == 0 || width < 0 || height < 0) return -1;
  return int64_t{width / 4} * (height / 4) * blockBytes;
}

int DecodeDxtBlocks(uint32_t compression, const uint8_t* source, size_t sourceBytes,
                    int32_t width, int32_t height, uint8_t* dest) {
  const int blockBytes = DxtBlockBytes(compression);
  if (blockBytes == 0 || width < 0 || height < 0) return -1;
  const size_t pitch = static_cast<size_t>(width) * 4;
  std::memset(dest, 0, pitch * static_cast<size_t>(height));
  const int32_t blocksX = width / 4, blocksY = height / 4;
  const uint8_t* block = source;
  size_t left = sourceBytes;
  std::array<Bgra, 16> px;
  for (int32_t by = 0; by < blocksY; ++by) {
    for (int32_t bx = 0; bx < blocksX; ++bx) {
      if (left < static_cast<size_t>(blockBytes)) return 0;
      switch (compression) {
        case kCompressionDxt1: DecodeColourHalf(block, true, px); break;
        case kCompressionDxt2:
        case kCompressionDxt3:
          DecodeColourHalf(block + 8, false, px);
          DecodeExplicitAlpha(block, px);
          break;
        default:
          DecodeColourHalf(block + 8, false, px);
          DecodeInterpolatedAlpha(block, px);
          break;
      }
      if (compression == kCompressionDxt2 || compression == kCompressionDxt4) Unpremultiply(px);
      for (int y = 0; y < 4; ++y) {
        uint8_t* row = dest + (static_cast<size_t>(by) * 4 + y) * pitch + static_cast<size_t>(bx) * 16;
        std::memcpy(row, &px[y * 4], 16);
      }
      block += blockBytes;
      left -= blockBytes;
    }
  }
  return 0;
}

int DecodeCompressedTexture(RasterImage* image) {
  if (image == nullptr) return -1;
  if (image->format.compression == kCompressionNone) return 0;
  const int64_t sourceBytes =
      DxtTopLevelBytes(image->format.compression, image->width, image->height);
  // The row is bounded before the block's size is formed, so the product cannot overflow.
  if (sourceBytes < 0 || int64_t{image->width} * 4 > kMaxPixelBlockBytes) return -1;
  const int64_t bytes = int64_t{image->width} * 4 * image->height;
  if (bytes > kMaxPixelBlockBytes) return -1;
  auto* pixels =
      static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(bytes > 0 ? bytes : 1), __FILE__, __LINE__));
  if (!pixels) return -1;
  const uint8_t* source = image->pixels;
  DecodeDxtBlocks(image->format.compression, source, source ? static_cast<size_t>(sourceBytes) : 0,
                  image->width, image->height, pixels);
  if (image->pixels) TrackedFree(image->pixels);
  image->pixels = pixels;
  SetArgb32ColorFormat(&image->format);
  image->pitch = image->width * 4;
  image->mipCount = 0;
  return 0;
}

}  // namespace quelt
