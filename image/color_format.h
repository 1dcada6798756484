#pragma once
// Pixel layouts: every pixel block outside a Direct3D texture is described by a ColorFormat.
#include <array>
#include <cstddef>
#include <cstdint>

namespace quelt {

// One palette entry; read as a little-endian 32-bit value blue is the low byte.
struct PaletteEntry {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t reserved;  // 0 in every palette the engine builds
  bool operator==(const PaletteEntry&) const = default;
};
static_assert(sizeof(PaletteEntry) == 4);

// Values of ColorFormat::compression.
enum ColorCompression : uint32_t {
  kCompressionNone = 0,
  kCompressionDxt1 = 1,
  kCompressionDxt2 = 2,
  kCompressionDxt3 = 3,
  kCompressionDxt4 = 4,
  kCompressionDxt5 = 5,
};

// A plain record, copied by value. For uncompressed formats the four channel masks and
// unusedMask are disjoint; a channel whose mask is 0 has width 0 and shift 0.
struct ColorFormat {
  uint16_t bitDepth;       // 8, 16, 24, 32; DXT: 4 (DXT1) or 8 (DXT2..5)
  uint16_t bytesPerPixel;  // 1 means palette indices everywhere in the engine
  uint8_t redWidth, greenWidth, blueWidth, alphaWidth;
  uint8_t redShift, greenShift, blueShift, alphaShift;
  uint32_t redMask, greenMask, blueMask, alphaMask;
  uint32_t unusedMask;  // bits of no channel; PackColorToPixel sets them to 1
  std::array<PaletteEntry, 256> palette;
  uint8_t unusedShift, unusedWidth;  // informational only
  uint32_t compression;              // ColorCompression
};
static_assert(sizeof(ColorFormat) == 1064);
static_assert(offsetof(ColorFormat, palette) == 32);
static_assert(offsetof(ColorFormat, compression) == 1060);

// The 32-byte pixel-format record of the DirectDraw interface (same layout as DDPIXELFORMAT).
struct DirectDrawPixelFormat {
  uint32_t size;
  uint32_t flags;
  uint32_t fourCC;
  uint32_t rgbBitCount;
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;
};
static_assert(sizeof(DirectDrawPixelFormat) == 32);
inline constexpr uint32_t kPixelFormatRgbFlag = 0x40;

// The standard formats; each writes only the fields its row of the format table names.
int SetPaletteColorFormat(ColorFormat* format);
int SetGrayPaletteColorFormat(ColorFormat* format);
int SetXrgb32ColorFormat(ColorFormat* format);
int SetArgb32ColorFormat(ColorFormat* format);
int SetRgb24ColorFormat(ColorFormat* format);

// The general constructor from a bit depth and four channel masks. -1 for a null record.
int SetMaskColorFormat(ColorFormat* format, int bitDepth, uint32_t redMask, uint32_t greenMask,
                       uint32_t blueMask, uint32_t alphaMask);
// Recomputes unusedMask only.
ColorFormat* RecomputeUnusedBits(ColorFormat* format);
// Fills depth, masks, widths and shifts from a DirectDraw pixel format; keeps palette and
// compression.
int ColorFormatFromPixelFormat(const DirectDrawPixelFormat* pixelFormat, ColorFormat* format);
// -1 for a null record.
int MakeRgbPixelFormat(DirectDrawPixelFormat* pixelFormat, int bitCount, uint32_t redMask,
                       uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);

// Channel values 0..255 (low 8 bits used). A one-byte format returns the index of the
// nearest palette entry instead of a packed value.
uint32_t PackColorToPixel(const ColorFormat* format, int red, int green, int blue, int alpha);
// Channels scaled to 0..255; null out pointers are skipped. A zero-width red, green or
// blue channel reads as 0.
int UnpackPixelToColor(const ColorFormat* format, uint32_t pixel, int* red, int* green, int* blue,
                       int* alpha);

}  // namespace quelt
