// DDS files: DXT1..5 blocks, the coded formats of DdsFormatTable and plain RGB(A) masks,
// with their mip levels stored one after another.
#include <bit>
#include <cstring>

#include "core/little_endian.h"
#include "core/tracked_alloc.h"
#include "image/dxt_decode.h"
#include "image/image_reader.h"
#include "image/stream_reader.h"

namespace quelt {
namespace {

struct DdsFormatRow {
  int32_t code;
  uint8_t bits;
  uint32_t red, green, blue, alpha;
};

constexpr DdsFormatRow DdsFormatTable[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x7E0, 0x1F, 0},
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x3, 0},
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {30, 16, 0xF00, 0xF0, 0xF, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {-1, 0, 0, 0, 0, 0},
};

constexpr uint32_t kFlagPitch = 0x8;
constexpr uint32_t kFlagMipCount = 0x20000;
constexpr uint32_t kCapsMipMap = 0x400008;
constexpr uint32_t kPixelAlpha = 0x1;
constexpr uint32_t kPixelFourCC = 0x4;
constexpr uint32_t kPixelRgb = 0x40;

constexpr uint32_t FourCC(const char (&code)[5]) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
         uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24;
}

const DdsFormatRow* FindRow(uint32_t code) {
  for (const DdsFormatRow* row = DdsFormatTable; row->code != -1; ++row) {
    if (static_cast<uint32_t>(row->code) == code) return row;
  }
  return nullptr;
}

// One-byte pixels are palette indices everywhere in the engine, so an 8-bit mask format
// (R3G3B2 and the like) becomes a palette whose entry i is the colour of pixel value i.
// A palette has no alpha: 8-bit formats with an alpha mask are refused.
bool MasksToPalette(ColorFormat* format) {
  if (format->alphaMask != 0) return false;
  const ColorFormat masks = *format;
  SetPaletteColorFormat(format);
  for (uint32_t i = 0; i < 256; ++i) {
    int red = 0, green = 0, blue = 0;
    UnpackPixelToColor(&masks, i, &red, &green, &blue, nullptr);
    format->palette[i] = {static_cast<uint8_t>(blue), static_cast<uint8_t>(green),
                          static_cast<uint8_t>(red), 0};
  }
  return true;
}

}  // namespace

int ReadDdsImage(DataStream* stream, RasterImage* image) {
  const StreamReader in(stream);
  uint8_t magic[4];
  if (!in.ReadExact(magic, 4) || std::memcmp(magic, "DDS", 3) != 0) return -1;
  uint8_t h[124];
  if (!in.ReadExact(h, 124)) return -1;
  const uint32_t flags = LoadLe32(h + 4);
  const uint32_t height = LoadLe32(h + 8), width = LoadLe32(h + 12);
  const uint32_t headerPitch = LoadLe32(h + 16);
  const uint32_t pixelFlags = LoadLe32(h + 76), code = LoadLe32(h + 80);
  const uint32_t bitCount = LoadLe32(h + 84);
  const uint32_t caps = LoadLe32(h + 104);
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) return -1;

  int32_t mipCount = 0;
  if ((flags & kFlagMipCount) && (caps & kCapsMipMap) == kCapsMipMap) {
    // No image has more levels than halvings of its larger side, plus one.
    const int32_t most = std::bit_width(width > height ? width : height);
    const uint32_t stored = LoadLe32(h + 24);
    mipCount = stored > static_cast<uint32_t>(most) ? most : static_cast<int32_t>(stored);
  }

  const DdsFormatRow* row = pixelFlags == kPixelFourCC ? FindRow(code) : nullptr;
  uint32_t compression = kCompressionNone;
  int depth = 0;
  if (row) {
    SetMaskColorFormat(&image->format, row->bits, row->red, row->green, row->blue, row->alpha);
    depth = row->bits;
  } else if (pixelFlags & kPixelFourCC) {
    if (code == FourCC("DXT1")) compression = kCompressionDxt1;
    else if (code == FourCC("DXT2")) compression = kCompressionDxt2;
    else if (code == FourCC("DXT3")) compression = kCompressionDxt3;
    else if (code == FourCC("DXT4")) compression = kCompressionDxt4;
    else if (code == FourCC("DXT5")) compression = kCompressionDxt5;
    else return -1;
  } else if (pixelFlags & kPixelRgb) {
    // RGB with or without alpha pixels; other kinds (luminance, alpha only) are refused.
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return -1;
    const uint32_t alphaMask = (pixelFlags & kPixelAlpha) ? LoadLe32(h + 100) : 0;
    SetMaskColorFormat(&image->format, static_cast<int>(bitCount), LoadLe32(h + 88),
                       LoadLe32(h + 92), LoadLe32(h + 96), alphaMask);
    depth = static_cast<int>(bitCount);
  } else {
    return -1;
  }
  if (depth == 8 && !MasksToPalette(&image->format)) return -1;

  int64_t total = 0;
  int64_t pitch = 0;
  if (compression != kCompressionNone) {
    SetArgb32ColorFormat(&image->format);
    image->format.bitDepth = compression == kCompressionDxt1 ? 4 : 8;
    image->format.compression = compression;
    int64_t level = DxtTopLevelBytes(compression, static_cast<int32_t>(width), static_cast<int32_t>(height));
    total = level;
    for (int32_t i = 1; i < mipCount; ++i) {
      level /= 4;
      if (level < 8) level = 8;
      total += level;
    }
  } else {
    const int64_t row = int64_t{width} * (depth / 8);
    pitch = (flags & kFlagPitch) ? int64_t{headerPitch} : row;
    if (pitch < row || pitch > kMaxPixelBlockBytes) return -1;
    int64_t level = pitch * height;
    total = level;
    for (int32_t i = 1; i < mipCount; ++i) {
      level /= 4;
      total += level;
    }
  }
  if (total > kMaxPixelBlockBytes || pitch > INT32_MAX) return -1;
  // A file shorter than its levels is refused before a block of their size is made.
  if (in.Remaining() < total) return -1;
  const int32_t blockBytes = static_cast<int32_t>(total > 0 ? total : 1);
  auto* pixels = static_cast<uint8_t*>(TrackedAlloc(blockBytes, __FILE__, __LINE__));
  if (!pixels) return -1;
  std::memset(pixels, 0, static_cast<size_t>(blockBytes));
  if (!in.ReadExact(pixels, total)) {
    TrackedFree(pixels);
    return -1;
  }
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->pitch = static_cast<int32_t>(pitch);
  image->pixels = pixels;
  image->mipCount = mipCount;
  return 0;
}

}  // namespace quelt
