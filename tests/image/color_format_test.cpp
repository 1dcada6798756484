#include <gtest/gtest.h>

#include "image/color_format.h"
#include "image/raster_image.h"

using namespace quelt;

TEST(ColorFormat, MaskConstructorMeasuresChannelsAndUnusedBits) {
  ColorFormat f{};
  SetMaskColorFormat(&f, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  EXPECT_EQ(f.unusedMask, 0xFF000000u);
  EXPECT_EQ(f.unusedShift, 24);
  EXPECT_EQ(f.unusedWidth, 8);
  EXPECT_EQ(f.bytesPerPixel, 4);
  SetMaskColorFormat(&f, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  EXPECT_EQ(f.unusedMask, 0u);
  EXPECT_EQ(f.alphaShift, 24);
  EXPECT_EQ(f.alphaWidth, 8);

  SetMaskColorFormat(&f, 16, 0xF800, 0x7E0, 0x1F, 0);
  EXPECT_EQ((std::array<int, 4>{f.redWidth, f.greenWidth, f.blueWidth, f.alphaWidth}),
            (std::array<int, 4>{5, 6, 5, 0}));
  EXPECT_EQ((std::array<int, 4>{f.redShift, f.greenShift, f.blueShift, f.alphaShift}),
            (std::array<int, 4>{11, 5, 0, 0}));
  EXPECT_EQ(f.unusedMask, 0u);
  SetMaskColorFormat(&f, 16, 0x7C00, 0x3E0, 0x1F, 0);
  EXPECT_EQ(f.unusedMask, 0x8000u);

  SetMaskColorFormat(&f, 16, 0x0F0F, 0, 0, 0);  // a gap: the lowest run only
  EXPECT_EQ(f.redShift, 0);
  EXPECT_EQ(f.redWidth, 4);
  EXPECT_EQ(f.greenWidth, 0);
  EXPECT_EQ(f.greenShift, 0);

  SetMaskColorFormat(&f, 4, 0, 0, 0, 0);
  EXPECT_EQ(f.bytesPerPixel, 0);
}

TEST(ColorFormat, StandardConstructorsTouchOnlyTheirFields) {
  ColorFormat f{};
  f.palette[7] = {1, 2, 3, 0};
  f.unusedShift = 9;
  SetPaletteColorFormat(&f);
  EXPECT_EQ(f.bitDepth, 8);
  EXPECT_EQ(f.bytesPerPixel, 1);
  EXPECT_EQ(f.unusedMask, 0xFF000000u);
  EXPECT_EQ(f.palette[7], (PaletteEntry{1, 2, 3, 0}));
  EXPECT_EQ(f.unusedShift, 9);
  SetGrayPaletteColorFormat(&f);
  EXPECT_EQ(f.palette[7], (PaletteEntry{7, 7, 7, 0}));
  SetXrgb32ColorFormat(&f);
  EXPECT_EQ(f.unusedShift, 24);
  EXPECT_EQ(f.unusedWidth, 8);
  f.compression = 3;
  SetArgb32ColorFormat(&f);
  EXPECT_EQ(f.compression, 0u);
  EXPECT_EQ(f.alphaMask, 0xFF000000u);
  SetRgb24ColorFormat(&f);
  EXPECT_EQ(f.bytesPerPixel, 3);
  EXPECT_EQ(f.alphaWidth, 0);
}

TEST(ColorFormat, RecomputeUnusedAndPixelFormats) {
  ColorFormat f{};
  SetMaskColorFormat(&f, 16, 0x7C00, 0x3E0, 0x1F, 0);
  f.unusedMask = 0;
  EXPECT_EQ(RecomputeUnusedBits(&f)->unusedMask, 0x8000u);
  f.alphaWidth = 1;  // widths now add up to the depth
  EXPECT_EQ(RecomputeUnusedBits(&f)->unusedMask, 0u);

  DirectDrawPixelFormat pf;
  MakeRgbPixelFormat(&pf, 0x120 /* only the low byte counts */ | 16, 0xF800, 0x7E0, 0x1F, 0);
  EXPECT_EQ(pf.size, 32u);
  EXPECT_EQ(pf.flags, 0x40u);
  EXPECT_EQ(pf.fourCC, 0u);
  f.palette[1] = {9, 9, 9, 0};
  f.compression = 2;
  ColorFormatFromPixelFormat(&pf, &f);
  EXPECT_EQ(f.bitDepth, 0x30);
  MakeRgbPixelFormat(&pf, 16, 0xF800, 0x7E0, 0x1F, 0);
  ColorFormatFromPixelFormat(&pf, &f);
  EXPECT_EQ(f.bitDepth, 16);
  EXPECT_EQ(f.greenWidth, 6);
  EXPECT_EQ(f.compression, 2u);  // kept
  EXPECT_EQ(f.palette[1], (PaletteEntry{9, 9, 9, 0}));
}

TEST(ColorFormat, PackAndUnpack) {
  ColorFormat f{};
  SetXrgb32ColorFormat(&f);
  EXPECT_EQ(PackColorToPixel(&f, 0x12, 0x34, 0x56, 0x00), 0xFF123456u);
  EXPECT_EQ(PackColorToPixel(&f, 0x112, 0x134, 0x156, 0x77), 0xFF123456u);  // low 8 bits only
  SetMaskColorFormat(&f, 16, 0xF800, 0x7E0, 0x1F, 0);
  EXPECT_EQ(PackColorToPixel(&f, 255, 255, 255, 0), 0xFFFFu);
  int r = -1, g = -1, b = -1, a = -1;
  UnpackPixelToColor(&f, 0xFFFF, &r, &g, &b, &a);
  EXPECT_EQ((std::array<int, 4>{r, g, b, a}), (std::array<int, 4>{255, 255, 255, 0}));
  UnpackPixelToColor(&f, 16u << 11, &r, nullptr, nullptr, nullptr);
  EXPECT_EQ(r, 131);
  EXPECT_EQ(UnpackPixelToColor(&f, 0x1234, nullptr, nullptr, nullptr, nullptr), 0);

  // Channels wider than 8 bits: 255 is the largest 10-bit value, and reads back as 255.
  SetMaskColorFormat(&f, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000);
  EXPECT_EQ(PackColorToPixel(&f, 255, 0, 255, 255), 0xFFF003FFu);
  UnpackPixelToColor(&f, 0xFFF003FF, &r, &g, &b, &a);
  EXPECT_EQ((std::array<int, 4>{r, g, b, a}), (std::array<int, 4>{255, 0, 255, 255}));
  // A zero-width channel reads as 0 instead of dividing by zero.
  SetMaskColorFormat(&f, 8, 0xFF, 0, 0, 0);
  UnpackPixelToColor(&f, 0x80, &r, &g, &b, &a);
  EXPECT_EQ(r, 0x80);
  EXPECT_EQ(g, 0);
}

TEST(ColorFormat, PackToPaletteFindsTheFirstNearestEntry) {
  ColorFormat f{};
  SetPaletteColorFormat(&f);
  f.palette = {};
  f.palette[3] = {10, 20, 30, 0};
  f.palette[9] = {10, 20, 30, 0};
  f.palette[200] = {250, 250, 250, 0};
  EXPECT_EQ(PackColorToPixel(&f, 31, 20, 10, 0), 3u);
  EXPECT_EQ(PackColorToPixel(&f, 255, 255, 255, 0), 200u);
  EXPECT_EQ(PackColorToPixel(&f, 0, 0, 0, 0), 0u);
}

TEST(RasterImage, AllocationPitchAndFree) {
  ColorFormat f{};
  SetRgb24ColorFormat(&f);
  RasterImage image{};
  ASSERT_EQ(AllocRasterImage(3, 2, &f, &image), 0);
  EXPECT_EQ(image.pitch, 12);
  EXPECT_EQ(image.mipCount, 0);
  FreeRasterImage(&image);
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(image.width, 0);
  SetPaletteColorFormat(&f);
  ASSERT_EQ(AllocRasterImage(1, 1, &f, &image), 0);
  EXPECT_EQ(image.pitch, 4);
  FreeRasterImage(&image);
  ASSERT_EQ(AllocArgb32Image(5, 3, &image), 0);
  EXPECT_EQ(image.pitch, 20);
  EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
  FreeRasterImage(&image);
  ASSERT_EQ(AllocXrgb32Image(2, 2, &image), 0);
  EXPECT_EQ(image.format.unusedMask, 0xFF000000u);
  FreeRasterImage(&image);
  FreeRasterImage(&image);  // null pixels: only zeroes
  // Sizes whose block the engine cannot hold are refused without overflowing.
  EXPECT_EQ(AllocArgb32Image(70000, 70000, &image), -1);
  EXPECT_EQ(image.pixels, nullptr);
  f.bytesPerPixel = 0xFFFF;
  EXPECT_EQ(AllocRasterImage(INT32_MAX, INT32_MAX, &f, &image), -1);
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(AllocArgb32Image(-1, 4, &image), -1);
}

// Null records are refused, never written through.
TEST(ColorFormat, NullRecordsAreRefused) {
  EXPECT_EQ(SetMaskColorFormat(nullptr, 32, 0xFF0000, 0xFF00, 0xFF, 0), -1);
  EXPECT_EQ(MakeRgbPixelFormat(nullptr, 32, 0xFF0000, 0xFF00, 0xFF, 0), -1);
  ColorFormat f{};
  SetXrgb32ColorFormat(&f);
  EXPECT_EQ(AllocRasterImage(2, 2, nullptr, nullptr), -1);
  EXPECT_EQ(AllocRasterImage(2, 2, &f, nullptr), -1);
  RasterImage image{};
  EXPECT_EQ(AllocRasterImage(2, 2, nullptr, &image), -1);
  EXPECT_EQ(AllocArgb32Image(2, 2, nullptr), -1);
  EXPECT_EQ(AllocXrgb32Image(2, 2, nullptr), -1);
  EXPECT_EQ(FreeRasterImage(nullptr), -1);
}
