// The public entries reach images and graphics: a bitmap file loaded through
// ApiOpenGraphFile and drawn through ApiDrawGraphAtPoint and ApiDrawGraphRotated lands on
// the software screen where it should.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "core/entry/api_entry.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "image/raster_image.h"
#include "support/bmp_file.h"
#include "tests/graphics/engine_session.h"

namespace {

// A 24-bit BMP of one colour (blue, green, red bytes).
void WriteSolidBmp(const char* path, int width, int height, unsigned char b, unsigned char g, unsigned char r) {
  const std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, uint32_t{r} << 16 | uint32_t{g} << 8 | b);
  ASSERT_TRUE(quelt::testing::WriteBmp(path, pixels, width, height));
}

TEST(ApiForwarding, LoadsAndDrawsThroughThePublicEntries) {
  WriteSolidBmp("red.bmp", 10, 6, 0, 0, 255);
  ASSERT_EQ(quelt_test::StartEngineSession({"quelt api forwarding", 0, 64, 48, 32}), 0);
  const int32_t graph = quelt::ApiOpenGraphFile("red.bmp", 0);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(quelt::ApiOpenGraphFile("missing.bmp", 0), -1);

  EXPECT_EQ(quelt::ApiSelectDrawScreen(quelt::DrawScreenBack), 0);
  EXPECT_EQ(quelt::ApiEraseDrawScreen(), 0);
  EXPECT_EQ(quelt::ApiDrawGraphAtPoint(5, 7, graph, 0), 0);
  // A half turn of the same graph centred on (40, 20) covers 35..44 x 17..22.
  EXPECT_EQ(quelt::ApiDrawGraphRotated(40, 20, 1.0, 3.14159265358979, graph, 0, 0), 0);

  std::vector<uint32_t> pixels(64 * 48);
  ASSERT_EQ(quelt::ReadBackDrawScreen(pixels.data(), 64, 48), 0);
  auto at = [&](int x, int y) { return pixels[y * 64 + x] & 0xFFFFFF; };
  EXPECT_EQ(at(5, 7), 0xFF0000u);
  EXPECT_EQ(at(14, 12), 0xFF0000u);
  EXPECT_EQ(at(15, 12), 0u);
  EXPECT_EQ(at(4, 7), 0u);
  EXPECT_EQ(at(40, 20), 0xFF0000u);
  EXPECT_EQ(at(30, 20), 0u);
  EXPECT_EQ(quelt::ApiPresentScreen(), 0);

  quelt::RasterImage image{};
  EXPECT_EQ(quelt::ApiAllocXrgb32Image(4, 3, &image), 0);
  EXPECT_EQ(image.width, 4);
  EXPECT_EQ(quelt::ApiFreeRasterImage(&image), 0);
  EXPECT_EQ(quelt::ApiMakeScreenColourCode(255, 0, 0) & 0xFFFFFFu, 0xFF0000u);
  quelt_test::StopEngineSession();
}

}  // namespace
