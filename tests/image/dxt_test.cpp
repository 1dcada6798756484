#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "image/dxt_decode.h"
#include "image/pixel_convert.h"
#include "core/tracked_alloc.h"

using namespace quelt;

namespace {
struct Px {
  uint8_t b, g, r, a;
};
std::vector<Px> Decode(uint32_t compression, const std::vector<uint8_t>& data, int w, int h) {
  std::vector<Px> out(static_cast<size_t>(w) * h, Px{9, 9, 9, 9});
  EXPECT_EQ(DecodeDxtBlocks(compression, data.data(), data.size(), w, h,
                            reinterpret_cast<uint8_t*>(out.data())), 0);
  return out;
}
std::vector<uint8_t> ColourHalf(uint16_t c0, uint16_t c1, uint32_t indices) {
  return {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8),
          uint8_t(indices), uint8_t(indices >> 8), uint8_t(indices >> 16), uint8_t(indices >> 24)};
}
}  // namespace

TEST(Dxt, Dxt1FourColourAndThreeColourBlocks) {
  // c0 = white > c1 = black: colours 2 and 3 are the thirds; pixels use indices 0,1,2,3.
  auto px = Decode(kCompressionDxt1, ColourHalf(0xFFFF, 0x0000, 0xE4), 4, 4);
  EXPECT_EQ(px[0].r, 255);
  EXPECT_EQ(px[1].r, 0);
  EXPECT_EQ(px[2].r, 170);
  EXPECT_EQ(px[3].r, 85);
  EXPECT_EQ(px[3].a, 255);
  // c0 == c1: colour 2 is c0, colour 3 is c0 with alpha 0.
  px = Decode(kCompressionDxt1, ColourHalf(0xF800, 0xF800, 0xE4), 4, 4);
  EXPECT_EQ(px[2].r, 255);
  EXPECT_EQ(px[2].a, 255);
  EXPECT_EQ(px[3].r, 255);
  EXPECT_EQ(px[3].a, 0);
  // Endpoint expansion: red 16 of 31 -> 131, green 32 of 63 -> 129.
  px = Decode(kCompressionDxt1, ColourHalf((16 << 11) | (32 << 5), 0, 0), 4, 4);
  EXPECT_EQ(px[5].r, 131);
  EXPECT_EQ(px[5].g, 129);
}

TEST(Dxt, Dxt3AndDxt5Alpha) {
  std::vector<uint8_t> dxt3 = {0x10, 0xF2, 0, 0, 0, 0, 0, 0};
  auto colour = ColourHalf(0xFFFF, 0xFFFF, 0);
  dxt3.insert(dxt3.end(), colour.begin(), colour.end());
  auto px = Decode(kCompressionDxt3, dxt3, 4, 4);
  EXPECT_EQ(px[0].a, 0);
  EXPECT_EQ(px[1].a, 17);
  EXPECT_EQ(px[2].a, 34);
  EXPECT_EQ(px[3].a, 255);

  // a0 = 0, a1 = 255: entries 2..5 are 51, 102, 153, 204, 6 is 0 and 7 is 255.
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= uint64_t(i) << (3 * i);
  std::vector<uint8_t> dxt5 = {0, 255};
  for (int i = 0; i < 6; ++i) dxt5.push_back(uint8_t(bits >> (8 * i)));
  dxt5.insert(dxt5.end(), colour.begin(), colour.end());
  px = Decode(kCompressionDxt5, dxt5, 4, 4);
  const int expected[8] = {0, 255, 51, 102, 153, 204, 0, 255};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i].a, expected[i]) << i;
  // a0 > a1: sevenths.
  dxt5[0] = 255;
  dxt5[1] = 0;
  px = Decode(kCompressionDxt5, dxt5, 4, 4);
  EXPECT_EQ(px[2].a, 218);
  EXPECT_EQ(px[7].a, 36);
}

TEST(Dxt, PremultipliedKindsUndoAlphaWithoutDividingByZero) {
  std::vector<uint8_t> dxt2 = {0x80, 0, 0, 0, 0, 0, 0, 0};  // pixel 0 alpha 0, pixel 1 alpha 136
  auto colour = ColourHalf(0x8410, 0x8410, 0);             // about half grey
  dxt2.insert(dxt2.end(), colour.begin(), colour.end());
  auto px = Decode(kCompressionDxt2, dxt2, 4, 4);
  EXPECT_EQ(px[0].a, 0);
  EXPECT_EQ(px[0].r, 0);
  EXPECT_EQ(px[1].a, 136);
  EXPECT_EQ(px[1].r, 131 * 255 / 136);
  std::vector<uint8_t> dxt4 = {10, 10, 0, 0, 0, 0, 0, 0};  // alpha 10 everywhere, colour 131
  dxt4.insert(dxt4.end(), colour.begin(), colour.end());
  px = Decode(kCompressionDxt4, dxt4, 4, 4);
  EXPECT_EQ(px[0].r, 255);  // above its alpha: held at 255
}

TEST(Dxt, PartialBlocksAndShortDataStayZero) {
  auto px = Decode(kCompressionDxt1, ColourHalf(0xFFFF, 0xFFFF, 0), 6, 6);
  EXPECT_EQ(px[0].r, 255);
  EXPECT_EQ(px[4].r, 0);   // column 4 of row 0
  EXPECT_EQ(px[4].a, 0);
  EXPECT_EQ(px[4 * 6].r, 0);  // row 4
  // An 8 x 4 image with data for one block: the second block stays zero.
  px = Decode(kCompressionDxt1, ColourHalf(0xFFFF, 0xFFFF, 0), 8, 4);
  EXPECT_EQ(px[3].r, 255);
  EXPECT_EQ(px[4].r, 0);
  EXPECT_EQ(DxtTopLevelBytes(kCompressionDxt1, 2, 2), 0);
  EXPECT_EQ(DxtTopLevelBytes(kCompressionDxt5, 8, 8), 64);
  EXPECT_EQ(DxtTopLevelBytes(7, 8, 8), -1);
}

TEST(Dxt, DecodeCompressedTextureReplacesTheBlock) {
  RasterImage image{};
  SetArgb32ColorFormat(&image.format);
  image.format.bitDepth = 4;
  image.format.compression = kCompressionDxt1;
  image.width = 4;
  image.height = 4;
  image.mipCount = 3;
  auto block = ColourHalf(0x001F, 0x001F, 0);
  image.pixels = static_cast<uint8_t*>(TrackedAlloc(8, __FILE__, __LINE__));
  std::memcpy(image.pixels, block.data(), 8);
  ASSERT_EQ(DecodeCompressedTexture(&image), 0);
  EXPECT_EQ(image.format.compression, 0u);
  EXPECT_EQ(image.format.bitDepth, 32);
  EXPECT_EQ(image.pitch, 16);
  EXPECT_EQ(image.mipCount, 0);
  EXPECT_EQ(image.pixels[0], 255);  // blue
  EXPECT_EQ(image.pixels[3], 255);
  EXPECT_EQ(DecodeCompressedTexture(&image), 0);  // not compressed: nothing to do
  FreeRasterImage(&image);
}

// A null record, and compressed records whose decoded block no 32-bit size holds.
TEST(Dxt, DecodeCompressedTextureRefusesWhatItCannotHold) {
  EXPECT_EQ(DecodeCompressedTexture(nullptr), -1);
  const int32_t sizes[][2] = {{INT32_MAX, INT32_MAX}, {INT32_MAX, 4}, {4, INT32_MAX}, {-4, 4}, {0x10000, 0x10000}};
  for (const auto& size : sizes) {
    RasterImage image{};
    image.format.compression = kCompressionDxt5;
    image.width = size[0];
    image.height = size[1];
    EXPECT_EQ(DecodeCompressedTexture(&image), -1) << size[0] << " x " << size[1];
    EXPECT_EQ(image.pixels, nullptr);
  }
}
