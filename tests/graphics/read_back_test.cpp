// Read-back rows of the render-target formats.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "graphics/d3d_values.h"
#include "graphics/read_back.h"

namespace {

using namespace quelt;

TEST(ReadBack, SixteenBitFormatsReadTwoBytesAPixel) {
  // Exactly the row's bytes: a read past them is a sanitizer finding.
  const std::vector<uint8_t> a4r4g4b4{0x69, 0xF3, 0x00, 0x0F, 0xFF, 0xFF};
  std::vector<uint32_t> out(3, 0xDEADBEEF);
  ASSERT_EQ(ConvertReadBackRow(d3d::FmtA4R4G4B4, a4r4g4b4.data(), 3, out.data()), 0);
  EXPECT_EQ(out, (std::vector<uint32_t>{0x336699, 0xFF0000, 0xFFFFFF}));
  const std::vector<uint8_t> r5g6b5{0x00, 0xF8, 0x1F, 0x00};
  ASSERT_EQ(ConvertReadBackRow(d3d::FmtR5G6B5, r5g6b5.data(), 2, out.data()), 0);
  EXPECT_EQ(out[0], 0xFF0000u);
  EXPECT_EQ(out[1], 0x0000FFu);
  const std::vector<uint8_t> xrgb{0x10, 0x20, 0x30, 0x40};
  ASSERT_EQ(ConvertReadBackRow(d3d::FmtX8R8G8B8, xrgb.data(), 1, out.data()), 0);
  EXPECT_EQ(out[0], 0x302010u);
  EXPECT_EQ(ConvertReadBackRow(d3d::FmtDxt1, xrgb.data(), 1, out.data()), -1);
}

}  // namespace
