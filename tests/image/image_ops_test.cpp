#include <gtest/gtest.h>

#include <cstring>

#include "image/image_ops.h"
#include "image/scratch_image.h"
#include "core/tracked_alloc.h"

using namespace quelt;

namespace {
RasterImage Argb(int w, int h) {
  RasterImage image{};
  EXPECT_EQ(AllocArgb32Image(w, h, &image), 0);
  std::memset(image.pixels, 0, static_cast<size_t>(image.pitch) * h);
  return image;
}
uint32_t At(const RasterImage& image, int x, int y) {
  uint32_t v;
  std::memcpy(&v, image.pixels + y * image.pitch + x * 4, 4);
  return v;
}
}  // namespace

TEST(ImageOps, PixelAccess) {
  RasterImage image = Argb(3, 2);
  EXPECT_EQ(WriteImagePixel(&image, 1, 1, 0x12, 0x34, 0x56, 0x78), 0);
  EXPECT_EQ(At(image, 1, 1), 0x78123456u);
  EXPECT_EQ(ReadImagePixelArgb(&image, 1, 1), 0x78123456u);
  EXPECT_EQ(WriteImagePixel(&image, 3, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(WriteImagePixel(&image, -1, 0, 0, 0, 0, 0), -1);
  int r, g, b, a;
  EXPECT_EQ(ReadImagePixel(&image, 1, 1, &r, &g, &b, &a), 0);
  EXPECT_EQ((std::array<int, 4>{r, g, b, a}), (std::array<int, 4>{0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(ReadImagePixel(&image, 0, 2, &r, nullptr, nullptr, nullptr), -1);
  FreeRasterImage(&image);

  ColorFormat f{};
  SetMaskColorFormat(&f, 16, 0xF800, 0x7E0, 0x1F, 0);
  ASSERT_EQ(AllocRasterImage(1, 1, &f, &image), 0);
  WriteImagePixel(&image, 0, 0, 255, 255, 255, 0);
  EXPECT_EQ(ReadImagePixelArgb(&image, 0, 0), 0x00F8FCF8u);
  FreeRasterImage(&image);

  SetPaletteColorFormat(&f);
  f.palette[4] = {1, 2, 3, 9};
  ASSERT_EQ(AllocRasterImage(1, 1, &f, &image), 0);
  image.pixels[0] = 4;
  ReadImagePixel(&image, 0, 0, &r, &g, &b, &a);
  EXPECT_EQ((std::array<int, 4>{r, g, b, a}), (std::array<int, 4>{3, 2, 1, 9}));
  FreeRasterImage(&image);
  EXPECT_EQ(ReadImagePixelArgb(&image, 0, 0), 0u);  // no pixel block
}

TEST(ImageOps, MirrorZeroAndHalve) {
  ColorFormat f{};
  SetRgb24ColorFormat(&f);
  RasterImage image{};
  ASSERT_EQ(AllocRasterImage(3, 1, &f, &image), 0);
  const uint8_t row[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::memcpy(image.pixels, row, 9);
  EXPECT_EQ(MirrorImageRows(&image), 0);
  const uint8_t mirrored[9] = {7, 8, 9, 4, 5, 6, 1, 2, 3};
  EXPECT_EQ(std::memcmp(image.pixels, mirrored, 9), 0);
  ZeroImageRect(&image, 1, 0, 5, 3);  // clipped to the image
  EXPECT_EQ(image.pixels[2], 9);
  EXPECT_EQ(image.pixels[3], 0);
  EXPECT_EQ(image.pixels[8], 0);
  image.width = 0;
  EXPECT_EQ(MirrorImageRows(&image), -1);
  FreeRasterImage(&image);

  const ColorFormat argb = [] { ColorFormat c{}; SetArgb32ColorFormat(&c); return c; }();
  uint32_t src[4] = {0xFF000000, 0x01020304, 0x10203040, 0x03030303}, dest[4] = {};
  EXPECT_EQ(HalveImageForMip(&argb, dest, 4, src, 8, 0, 0, 0, 0, 2, 2), 0);
  EXPECT_EQ(dest[0], 0x44090D11u);  // per-channel (a + b + c + d) >> 2
  EXPECT_EQ(HalveImageForMip(&argb, dest, 4, src, 8, 0, 0, 0, 0, 2, 1), 0);
  EXPECT_EQ(dest[0], 0x80010102u);
  EXPECT_EQ(HalveImageForMip(&argb, dest, 4, src, 8, 0, 0, 0, 0, 3, 2), -1);
  EXPECT_EQ(HalveImageForMip(&argb, dest, 4, src, 4, 0, 0, 0, 0, 1, 2), 0);
  EXPECT_EQ(dest[0], 0x80010102u);  // the two rows of column 0
}

TEST(ImageOps, CopyClipsToBothImages) {
  RasterImage src = Argb(10, 1), dest = Argb(12, 1);
  for (int x = 0; x < 10; ++x) std::memcpy(src.pixels + x * 4, &x, 4);
  EXPECT_EQ(CopyImageRect(-2, 0, 10, 1, 0, 0, &src, &dest), 0);
  EXPECT_EQ(At(dest, 1, 0), 0u);
  EXPECT_EQ(At(dest, 2, 0), 0u);  // source column 0
  EXPECT_EQ(At(dest, 9, 0), 7u);  // 8 columns copied
  EXPECT_EQ(At(dest, 10, 0), 0u);
  EXPECT_EQ(CopyImageRect(0, 0, 10, 1, 8, 0, &src, &dest), 0);
  EXPECT_EQ(At(dest, 11, 0), 3u);
  EXPECT_EQ(CopyImageRect(0, 5, 10, 1, 0, 0, &src, &dest), 0);  // nothing left
  FreeRasterImage(&src);
  FreeRasterImage(&dest);
}

TEST(ImageOps, StretchNearestAndBilinear) {
  RasterImage src = Argb(2, 2), dest = Argb(4, 4);
  const uint32_t px[4] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFFFFFF};
  std::memcpy(src.pixels, px, 16);
  ASSERT_EQ(StretchImageRect(0, 0, 2, 2, &src, 0, 0, 4, 4, &dest, 0), 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) ASSERT_EQ(At(dest, x, y), px[(y / 2) * 2 + x / 2]) << x << "," << y;
  }
  // A flat 255 stays 255 under the bilinear filter, also at the right and bottom edges.
  const uint32_t white[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  std::memcpy(src.pixels, white, 16);
  ASSERT_EQ(StretchImageRect(0, 0, 2, 2, &src, 0, 0, 4, 4, &dest, 1), 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) ASSERT_EQ(At(dest, x, y), 0xFFFFFFFFu) << x << "," << y;
  }
  EXPECT_EQ(StretchImageRect(0, 0, 0, 2, &src, 0, 0, 4, 4, &dest, 0), -1);
  EXPECT_EQ(StretchImageRect(0, 0, 3, 2, &src, 0, 0, 4, 4, &dest, 0), -1);
  FreeRasterImage(&src);
  FreeRasterImage(&dest);
}

TEST(ImageOps, DibBits) {
  ColorFormat f{};
  SetRgb24ColorFormat(&f);
  RasterImage image{};
  ASSERT_EQ(AllocRasterImage(4, 2, &f, &image), 0);
  uint8_t header[kDibHeaderBlockBytes];
  uint8_t* bits = nullptr;
  EXPECT_EQ(ImageToDibBits(&image, header, &bits, 0, 0), 0);
  EXPECT_EQ(bits, image.pixels);
  int32_t field;
  std::memcpy(&field, header + 8, 4);
  EXPECT_EQ(field, -2);
  EXPECT_EQ(header[14], 24);
  EXPECT_EQ(ImageToDibBits(&image, header, &bits, 1, 0), 1);
  EXPECT_NE(bits, image.pixels);
  TrackedFree(bits);
  FreeRasterImage(&image);

  RasterImage argb = Argb(3, 1);
  std::memcpy(argb.pixels, "\x01\x02\x03\xFF\x04\x05\x06\xFF\x07\x08\x09\xFF", 12);
  EXPECT_EQ(ImageToDibBits(&argb, header, &bits, 0, 0), 1);
  EXPECT_EQ(std::memcmp(bits, "\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9), 0);
  TrackedFree(bits);
  FreeRasterImage(&argb);

  SetGrayPaletteColorFormat(&f);
  ASSERT_EQ(AllocRasterImage(3, 2, &f, &image), 0);
  EXPECT_EQ(ImageToDibBits(&image, header, &bits, 0, 0), 0);  // pitch 4 equals the row size
  EXPECT_EQ(header[14], 8);
  EXPECT_EQ(header[40 + 4 * 9], 9);
  FreeRasterImage(&image);
}

TEST(ScratchImages, DeleteRulesAndHighWater) {
  ScratchImageTable.Reset();
  EngineHandle handles[8];
  for (auto& h : handles) {
    auto made = ScratchImageTable.Allocate(__FILE__, __LINE__);
    ASSERT_NE(made.record, nullptr);
    AllocArgb32Image(2, 2, &made.record->image);
    h = made.handle;
  }
  EXPECT_EQ(DeleteScratchImage((handles[0] & ~0x78000000) | (1 << 27)), -1);  // kind 1
  EXPECT_EQ(DeleteScratchImage(handles[0] + (1 << 16)), -1);                // stale check id
  EXPECT_EQ(ScratchImageTable.count, 8);
  for (int slot : {1, 2, 4, 5, 6}) EXPECT_EQ(DeleteScratchImage(handles[slot]), 0);
  EXPECT_EQ(DeleteScratchImage(handles[1]), -1);
  EXPECT_EQ(ScratchImageTable.highWater, 8);
  EXPECT_EQ(DeleteScratchImage(handles[7]), 0);  // slots 0 and 3 remain
  EXPECT_EQ(ScratchImageTable.highWater, 4);
  EXPECT_EQ(DeleteAllScratchImages(), 0);
  EXPECT_EQ(ScratchImageTable.count, 0);
  EXPECT_EQ(ScratchImageTable.highWater, 0);
}
