// A blend graph made from a true-colour picture weights a draw by the picture's red channel
// on both back ends: the software renderer's one-byte blend image holds the same values the
// Direct3D blend texture carries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "core/core_state.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/graph_load.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/screen_mode.h"
#include "image/raster_image.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;

constexpr int32_t kScreen = 600;
constexpr int32_t kWidth = 256, kHeight = 32;
constexpr int32_t kTop = 100;

// 32-bit pictures: a ramp whose red rises 0..255 left to right (green and blue run against
// it, so only the red channel can give the ramp), and a solid yellow one.
void FillPicture(RasterImage* image, bool ramp) {
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      uint8_t* p = image->pixels + y * image->pitch + 4 * x;
      p[0] = ramp ? static_cast<uint8_t>(255 - x) : 0;   // blue
      p[1] = ramp ? static_cast<uint8_t>(x / 2) : 230;   // green
      p[2] = ramp ? static_cast<uint8_t>(x) : 255;       // red
      p[3] = 255;
    }
}

std::vector<uint32_t> DrawThroughBlendGraph(int32_t hardware, const char* caption) {
  std::vector<uint32_t> pixels;
  quelt_test::SessionOptions options{caption};
  options.hardware = hardware;
  if (quelt_test::StartEngineSession(options) != 0) return pixels;
  RasterImage ramp{}, yellow{};
  EXPECT_EQ(AllocArgb32Image(kWidth, kHeight, &ramp), 0);
  EXPECT_EQ(AllocArgb32Image(kWidth, kHeight, &yellow), 0);
  FillPicture(&ramp, true);
  FillPicture(&yellow, false);
  NewGraphSettings.blendImage = 1;
  const int32_t blend = CreateGraphFromRaster(&ramp, nullptr, 0, 0, 0);
  NewGraphSettings.blendImage = 0;
  const int32_t picture = CreateGraphFromRaster(&yellow, nullptr, 0, 0, 0);
  EXPECT_GE(blend, 0);
  EXPECT_GE(picture, 0);
  BackgroundColour = 0x102030;
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
  // Border 128 over the full range: each pixel's weight is its blend value.
  EXPECT_EQ(SetBlendImageGraph(blend, 128, 255), 0);
  EXPECT_EQ(DrawGraphAtPoint(0, kTop, picture, 0), 0);
  SetBlendImageGraph(-1, 0, 0);
  FlushVertexBatch();
  pixels.assign(static_cast<size_t>(kScreen) * kScreen, 0);
  if (ReadBackDrawScreen(pixels.data(), kScreen, kScreen) < 0) pixels.clear();
  FreeRasterImage(&ramp);
  FreeRasterImage(&yellow);
  quelt_test::StopEngineSession();
  return pixels;
}

int32_t Red(uint32_t p) { return static_cast<int32_t>((p >> 16) & 0xFF); }

TEST(BlendGraph, TrueColourPictureWeightsDrawsAlikeOnBothBackEnds) {
  const std::vector<uint32_t> d3d = DrawThroughBlendGraph(1, "blend-graph-d3d");
  const std::vector<uint32_t> soft = DrawThroughBlendGraph(0, "blend-graph-soft");
  ASSERT_FALSE(d3d.empty());
  ASSERT_EQ(soft.size(), d3d.size());
  const size_t row = static_cast<size_t>(kTop + kHeight / 2) * kScreen;
  // From the background's red (0x10) at the left to the picture's 255 at the right.
  for (const std::vector<uint32_t>* p : {&d3d, &soft}) {
    EXPECT_LE(Red((*p)[row + 2]), 0x10 + 8) << (p == &d3d ? "Direct3D" : "software");
    EXPECT_GE(Red((*p)[row + 253]), 240) << (p == &d3d ? "Direct3D" : "software");
    EXPECT_NEAR(Red((*p)[row + 128]), (0x10 + 255) / 2, 16) << (p == &d3d ? "Direct3D" : "software");
  }
  int32_t worst = 0;
  for (int32_t y = kTop; y < kTop + kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const size_t i = static_cast<size_t>(y) * kScreen + static_cast<size_t>(x);
      worst = std::max(worst, std::abs(Red(d3d[i]) - Red(soft[i])));
    }
  EXPECT_LE(worst, 8);
}

}  // namespace
