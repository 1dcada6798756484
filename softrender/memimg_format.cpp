// The ten shared colour and pixel formats of memory images.
#include <array>

#include "softrender/memimg_format.h"

namespace quelt {

namespace {

struct FormatMasks {
  int bitDepth;
  uint32_t red, green, blue, alpha;
};

// Slots 0-3: type 0 (alpha, palette) = (1,1), (1,0), (0,1), (0,0); 4-7 the same for type 1;
// 8: type 2; 9: type 3.
constexpr std::array<FormatMasks, 10> kMasks = {{
    {8, 0xF800, 0x7E0, 0x1F, 0xFF0000},
    {32, 0xF800, 0x7E0, 0x1F, 0xFF0000},
    {8, 0xF800, 0x7E0, 0x1F, 0},
    {16, 0xF800, 0x7E0, 0x1F, 0},
    {8, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {8, 0xFF0000, 0xFF00, 0xFF, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0},
    {8, 0xFF, 0xFF, 0xFF, 0xFF},
    {16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
}};

int FormatSlot(uint32_t colourType, int32_t alphaFlag, int32_t paletteFlag) {
  if (colourType >= 2) return static_cast<int>(colourType) + 6;
  return static_cast<int>(colourType) * 4 + (alphaFlag ? 0 : 2) + (paletteFlag ? 0 : 1);
}

}  // namespace

const ColorFormat* GetMemImgColorFormat(uint32_t colourType, int32_t alphaFlag, int32_t paletteFlag) {
  static std::array<ColorFormat, 10> formats{};
  static std::array<bool, 10> built{};
  if (colourType > MemImgWord) return nullptr;
  const int slot = FormatSlot(colourType, alphaFlag, paletteFlag);
  ColorFormat& f = formats[slot];
  if (!built[slot]) {
    const FormatMasks& m = kMasks[slot];
    if (colourType <= MemImgXrgb32) {
      SetMaskColorFormat(&f, m.bitDepth, m.red, m.green, m.blue, m.alpha);
    } else {
      // One value stands for red, green, blue and alpha at once.
      const auto width = static_cast<uint8_t>(m.bitDepth);
      f.bitDepth = static_cast<uint16_t>(m.bitDepth);
      f.bytesPerPixel = static_cast<uint16_t>(m.bitDepth / 8);
      f.redWidth = f.greenWidth = f.blueWidth = f.alphaWidth = width;
      f.redShift = f.greenShift = f.blueShift = f.alphaShift = 0;
      f.redMask = m.red;
      f.greenMask = m.green;
      f.blueMask = m.blue;
      f.alphaMask = m.alpha;
      f.unusedMask = 0;
    }
    built[slot] = true;
  }
  return &f;
}

const DirectDrawPixelFormat* GetMemImgPixelFormat(uint32_t colourType, int32_t alphaFlag,
                                                  int32_t paletteFlag) {
  static std::array<DirectDrawPixelFormat, 10> formats{};
  static std::array<bool, 10> built{};
  if (colourType > MemImgWord) return nullptr;
  const int slot = FormatSlot(colourType, alphaFlag, paletteFlag);
  DirectDrawPixelFormat& f = formats[slot];
  if (!built[slot]) {
    const FormatMasks& m = kMasks[slot];
    if (colourType <= MemImgXrgb32) {
      MakeRgbPixelFormat(&f, m.bitDepth, m.red, m.green, m.blue, m.alpha);
    } else {
      f = DirectDrawPixelFormat{};
      f.rgbBitCount = static_cast<uint32_t>(m.bitDepth);
      f.redMask = m.red;
      f.greenMask = m.green;
      f.blueMask = m.blue;
      f.alphaMask = m.alpha;
    }
    built[slot] = true;
  }
  return &f;
}

}  // namespace quelt
