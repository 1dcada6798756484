// The YUV surface layouts byte for byte, and the conversion to 32-bit pixels (the table
// road for 4:2:0 pictures, the per-pixel road for other chroma shapes).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "movie/yuv_layouts.h"
#include "movie/yuv_tables.h"

namespace quelt {
namespace {

// A 4 x 4 picture with distinct bytes everywhere: Y 0x10.., U 0x80.., V 0xC0...
struct SmallPicture {
  std::array<uint8_t, 4 * 6> y{};  // stride 6: two padding bytes per row
  std::array<uint8_t, 2 * 3> u{};  // stride 3
  std::array<uint8_t, 2 * 3> v{};
  YuvPlanes planes{};
  SmallPicture() {
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 6; ++c) y[r * 6 + c] = static_cast<uint8_t>(c < 4 ? 0x10 + r * 4 + c : 0xEE);
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 3; ++c) {
        u[r * 3 + c] = static_cast<uint8_t>(c < 2 ? 0x80 + r * 2 + c : 0xEE);
        v[r * 3 + c] = static_cast<uint8_t>(c < 2 ? 0xC0 + r * 2 + c : 0xEE);
      }
    planes = {y.data(), u.data(), v.data(), 4, 4, 6, 2, 2, 3};
  }
};

TEST(YuvLayouts, Yv12IsYThenVThenUAtHalfPitch) {
  SmallPicture p;
  std::vector<uint8_t> surface(8 * 4 + 4 * 2 * 2, 0xAA);  // pitch 8, chroma pitch 4
  WriteYuvSurface(p.planes, FourCCYv12, surface.data(), 8);
  const std::vector<uint8_t> expected = {
      0x10, 0x11, 0x12, 0x13, 0xAA, 0xAA, 0xAA, 0xAA,  // Y rows at pitch 8
      0x14, 0x15, 0x16, 0x17, 0xAA, 0xAA, 0xAA, 0xAA,  //
      0x18, 0x19, 0x1A, 0x1B, 0xAA, 0xAA, 0xAA, 0xAA,  //
      0x1C, 0x1D, 0x1E, 0x1F, 0xAA, 0xAA, 0xAA, 0xAA,  //
      0xC0, 0xC1, 0xAA, 0xAA, 0xC2, 0xC3, 0xAA, 0xAA,  // V rows at pitch 4
      0x80, 0x81, 0xAA, 0xAA, 0x82, 0x83, 0xAA, 0xAA,  // U rows at pitch 4
  };
  EXPECT_EQ(surface, expected);
}

TEST(YuvLayouts, PackedLayoutsShareChromaBetweenRowPairs) {
  SmallPicture p;
  std::vector<uint8_t> yuy2(10 * 4, 0xAA);  // pitch 10: 8 bytes of pixels, 2 untouched
  WriteYuvSurface(p.planes, FourCCYuy2, yuy2.data(), 10);
  const std::vector<uint8_t> expectedYuy2 = {
      0x10, 0x80, 0x11, 0xC0, 0x12, 0x81, 0x13, 0xC1, 0xAA, 0xAA,  //
      0x14, 0x80, 0x15, 0xC0, 0x16, 0x81, 0x17, 0xC1, 0xAA, 0xAA,  //
      0x18, 0x82, 0x19, 0xC2, 0x1A, 0x83, 0x1B, 0xC3, 0xAA, 0xAA,  //
      0x1C, 0x82, 0x1D, 0xC2, 0x1E, 0x83, 0x1F, 0xC3, 0xAA, 0xAA,
  };
  EXPECT_EQ(yuy2, expectedYuy2);

  std::vector<uint8_t> uyvy(8 * 4, 0xAA);
  WriteYuvSurface(p.planes, FourCCUyvy, uyvy.data(), 8);
  const std::vector<uint8_t> expectedUyvy = {
      0x80, 0x10, 0xC0, 0x11, 0x81, 0x12, 0xC1, 0x13,  //
      0x80, 0x14, 0xC0, 0x15, 0x81, 0x16, 0xC1, 0x17,  //
      0x82, 0x18, 0xC2, 0x19, 0x83, 0x1A, 0xC3, 0x1B,  //
      0x82, 0x1C, 0xC2, 0x1D, 0x83, 0x1E, 0xC3, 0x1F,
  };
  EXPECT_EQ(uyvy, expectedUyvy);
}

TEST(YuvLayouts, OnlyHalfSizeChromaIsWrittenAndUnknownFormatsNever) {
  SmallPicture p;
  YuvPlanes full = p.planes;
  full.uvWidth = 4;  // 4:2:2 chroma: no surface layout takes it
  std::vector<uint8_t> surface(64, 0xAA);
  WriteYuvSurface(full, FourCCYv12, surface.data(), 8);
  WriteYuvSurface(p.planes, MakeFourCC('R', 'G', 'B', 'A'), surface.data(), 8);
  EXPECT_EQ(surface, std::vector<uint8_t>(64, 0xAA));
}

struct Pixel {
  uint8_t b, g, r, x;
};

Pixel ConvertFlat(uint8_t y, uint8_t u, uint8_t v, int chromaWidth = 1, int chromaHeight = 1) {
  std::array<uint8_t, 4> ys{y, y, y, y};
  std::array<uint8_t, 4> us{u, u, u, u};
  std::array<uint8_t, 4> vs{v, v, v, v};
  const YuvPlanes planes{ys.data(), us.data(), vs.data(), 2, 2, 2, chromaWidth, chromaHeight, chromaWidth};
  std::array<Pixel, 4> out{};
  ConvertYuvToXrgb(planes, reinterpret_cast<uint8_t*>(out.data()), 8, 2, 2);
  for (const Pixel& p : out) {
    EXPECT_EQ(p.b, out[0].b);
    EXPECT_EQ(p.g, out[0].g);
    EXPECT_EQ(p.r, out[0].r);
    EXPECT_EQ(p.x, 255);
  }
  return out[0];
}

TEST(YuvConversion, StudioRangeBlackWhiteAndClamps) {
  InitYuvTables();
  const Pixel black = ConvertFlat(16, 128, 128);
  EXPECT_EQ((std::array<int, 3>{black.r, black.g, black.b}), (std::array<int, 3>{0, 0, 0}));
  // 19070 x 219 / 16384 truncates to 254 on the table road.
  const Pixel white = ConvertFlat(235, 128, 128);
  EXPECT_EQ((std::array<int, 3>{white.r, white.g, white.b}), (std::array<int, 3>{254, 254, 254}));
  EXPECT_EQ(ConvertFlat(255, 128, 255).r, 255);  // clamped from above
  EXPECT_EQ(ConvertFlat(0, 0, 128).b, 0);        // clamped from a negative sum
  // The extremes of every input stay inside the clamp table.
  for (int y : {0, 255})
    for (int u : {0, 255})
      for (int v : {0, 255}) ConvertFlat(static_cast<uint8_t>(y), static_cast<uint8_t>(u), static_cast<uint8_t>(v));
}

// 4:2:0 pictures converted at many widths (the eight-pixel steps and their tails), random
// samples: every pixel as the tables give it.
TEST(YuvConversion, TableRoadGivesTheTablesBitsAtEveryWidth) {
  InitYuvTables();
  std::mt19937 rng(45);
  for (int width = 1; width <= 40; ++width) {
    const int height = 1 + width % 5, chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
    const int stride = chromaWidth * 2;
    std::vector<uint8_t> y(stride * chromaHeight * 2), u(chromaWidth * chromaHeight), v(u.size());
    for (auto* plane : {&y, &u, &v})
      for (uint8_t& b : *plane) b = static_cast<uint8_t>(rng());
    const YuvPlanes planes{y.data(),        u.data(),     v.data(),    stride, chromaHeight * 2,
                           stride,          chromaWidth, chromaHeight, chromaWidth};
    std::vector<Pixel> out(width * height);
    ConvertYuvToXrgb(planes, reinterpret_cast<uint8_t*>(out.data()), width * 4, width, height);
    for (int r = 0; r < height; ++r) {
      for (int c = 0; c < width; ++c) {
        const int ys = YuvTables.y[y[r * stride + c]];
        const int us = u[r / 2 * chromaWidth + c / 2], vs = v[r / 2 * chromaWidth + c / 2];
        const Pixel& p = out[r * width + c];
        EXPECT_EQ(p.r, ClampYuvSum((ys + YuvTables.vToRed[vs]) / 16384)) << width << " " << r << " " << c;
        EXPECT_EQ(p.g, ClampYuvSum((ys + YuvTables.uToGreen[us] + YuvTables.vToGreen[vs]) / 16384));
        EXPECT_EQ(p.b, ClampYuvSum((ys + YuvTables.uToBlue[us]) / 16384));
        EXPECT_EQ(p.x, 255);
      }
    }
  }
}

TEST(YuvConversion, PerPixelRoadAgreesWithTheTablesWithinRounding) {
  InitYuvTables();
  for (int y = 0; y < 256; y += 15) {
    for (int c = 0; c < 256; c += 17) {
      const auto u = static_cast<uint8_t>(c);
      const auto v = static_cast<uint8_t>(255 - c);
      const Pixel table = ConvertFlat(static_cast<uint8_t>(y), u, v);
      const Pixel single = ConvertFlat(static_cast<uint8_t>(y), u, v, 2, 2);  // 4:4:4
      EXPECT_NEAR(table.r, single.r, 1) << y << " " << c;
      EXPECT_NEAR(table.g, single.g, 1) << y << " " << c;
      EXPECT_NEAR(table.b, single.b, 1) << y << " " << c;
    }
  }
}

TEST(YuvConversion, FullSizeChromaIsTakenUnderEachPixel) {
  InitYuvTables();
  // 4:4:4, one row of four pixels: each pixel's own chroma, not the sample of a 2 x 2 block.
  std::array<uint8_t, 4> y{128, 128, 128, 128};
  std::array<uint8_t, 4> u{128, 128, 128, 128};
  std::array<uint8_t, 4> v{128, 255, 128, 0};
  const YuvPlanes planes{y.data(), u.data(), v.data(), 4, 1, 4, 4, 1, 4};
  std::array<Pixel, 4> out{};
  ConvertYuvToXrgb(planes, reinterpret_cast<uint8_t*>(out.data()), 16, 4, 1);
  EXPECT_EQ(out[0].r, out[2].r);
  EXPECT_GT(out[1].r, out[0].r + 100);
  EXPECT_LT(out[3].r, out[0].r - 100);
}

TEST(YuvConversion, OddSizesStayInsideTheImage) {
  InitYuvTables();
  // A 3 x 3 image from a 4 x 4 picture: nothing is written past the third pixel of a row.
  SmallPicture p;
  std::vector<uint8_t> image(3 * 16, 0xAA);  // pitch 16: 12 bytes of pixels, 4 untouched
  ConvertYuvToXrgb(p.planes, image.data(), 16, 3, 3);
  for (int r = 0; r < 3; ++r)
    for (int i = 12; i < 16; ++i) EXPECT_EQ(image[r * 16 + i], 0xAA);
}

}  // namespace
}  // namespace quelt
