// One scene drawn on the Direct3D device and on the software renderer: the read-back
// pixels must agree exactly for copy draws at whole positions and within two levels for
// the blend modes. Also the front ends' prologue order, the batch overflow and the tint.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/core_state.h"
#include "graphics/d3d_draw.h"
#include "graphics/device_state.h"
#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_start.h"
#include "graphics/mask.h"
#include "graphics/screen_mode.h"
#include "image/raster_image.h"
#include "movie/movie_table.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;
using quelt_test::SessionOptions;
using quelt_test::StartEngineSession;
using quelt_test::StopEngineSession;
using quelt_test::MakeSolidGraph;

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kScreen = 600;

struct SceneCase {
  const char* name;
  int32_t tolerance;  // per channel; 0 = identical
  std::function<void(int32_t pattern, int32_t odd, int32_t backdrop)> draw;
};

void FullClip() { SetDrawClipRect(0, 0, kScreen, kScreen); }

std::vector<SceneCase> SceneCases() {
  auto blend = [](int32_t mode, int32_t param) {
    return [mode, param](int32_t pattern, int32_t, int32_t backdrop) {
      for (int32_t y = 0; y < 128; y += 64)
        for (int32_t x = 0; x < 128; x += 64) DrawGraphAtPoint(x, y, backdrop, 0);
      SelectBlendMode(mode, param);
      DrawGraphAtPoint(20, 30, pattern, 1);
      SelectBlendMode(0, 0);
    };
  };
  return {
      {"plain", 0, [](int32_t p, int32_t o, int32_t) {
         DrawGraphAtPoint(10, 10, p, 1);
         DrawGraphAtPoint(100, 13, o, 0);
       }},
      {"part", 0, [](int32_t p, int32_t o, int32_t) {
         DrawGraphPart(10, 10, 4, 4, 8, 8, p, 1, 0);
         DrawGraphPart(40, 20, 3, 2, 11, 7, o, 1, 1);
       }},
      {"clipped", 0, [](int32_t p, int32_t o, int32_t) {
         SetDrawClipRect(50, 50, 70, 65);
         DrawGraphAtPoint(45, 45, p, 1);
         FullClip();
         DrawGraphAtPoint(-7, kScreen - 9, o, 1);
         DrawGraphAtPoint(kScreen - 11, -5, p, 1);
       }},
      {"stretched x2", 0, [](int32_t p, int32_t o, int32_t) {
         DrawGraphInRect(200, 10, 200 + 2 * 40, 10 + 2 * 30, p, 1);
         DrawGraphInRect(350 + 2 * 33, 10, 350, 10 + 2 * 21, o, 1);
       }},
      {"rotated 90 180 270", 0, [](int32_t, int32_t o, int32_t) {
         DrawGraphRotatedInt(100, 100, 1.0, kPi / 2, o, 1, 0);
         DrawGraphRotatedInt(200, 100, 1.0, kPi, o, 1, 0);
         DrawGraphRotatedInt(300, 100, 1.0, kPi * 1.5, o, 1, 0);
         DrawGraphRotatedInt(400, 100, 1.0, 0.0, o, 1, 0);
       }},
      {"rotated 30 scaled 1.5, four corners", -1, [](int32_t p, int32_t o, int32_t) {
         DrawGraphRotated(150.0f, 150.0f, 1.5, kPi / 6, p, 0, 0);
         DrawGraphRotated(400.0f, 150.0f, 2.25, -0.7, o, 0, 1);
         DrawGraphFourCorners(100, 300, 180, 310, 170, 380, 90, 370, p, 0);
         DrawGraphFourCorners(300, 300, 300 + 33, 300, 300 + 33, 300 + 21, 300, 300 + 21, o, 0);
       }},
      {"alpha 191", 2, blend(1, 191)},
      {"add", 2, blend(2, 128)},
      {"subtract", 2, blend(3, 255)},
      {"multiply", 2, blend(4, 255)},
      {"mode 10", 2, blend(10, 160)},
      {"mode 11", 2, blend(11, 160)},
  };
}

struct Frame {
  std::vector<uint32_t> pixels;
};

std::vector<Frame> RenderScene(int32_t hardware, const char* caption) {
  std::vector<Frame> frames;
  SessionOptions options{caption};
  options.hardware = hardware;
  if (StartEngineSession(options) != 0) return frames;
  SetSampleFilterMode(0);
  const int32_t pattern = quelt_test::MakePatternGraph(40, 30, 3);
  const int32_t odd = quelt_test::MakePatternGraph(33, 21, 5);
  const int32_t backdrop = quelt_test::MakePatternGraph(64, 64, 9);
  for (const SceneCase& c : SceneCases()) {
    BackgroundColour = 0x203040;
    SelectDrawScreen(DrawScreenBack);
    EraseDrawScreen();
    c.draw(pattern, odd, backdrop);
    Frame f;
    f.pixels.assign(static_cast<size_t>(kScreen) * kScreen, 0);
    if (ReadBackDrawScreen(f.pixels.data(), kScreen, kScreen) < 0) f.pixels.clear();
    frames.push_back(std::move(f));
  }
  StopEngineSession();
  return frames;
}

// Free angles and corners: both back ends cover the same pixels but for a seam along the
// edges (under one in forty of the covered pixels, a fraction of the outline).
::testing::AssertionResult CoverageAgrees(const Frame& a, const Frame& b) {
  if (a.pixels.empty() || b.pixels.size() != a.pixels.size()) return ::testing::AssertionFailure() << "no read-back";
  size_t coveredA = 0, differing = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const bool inA = a.pixels[i] != 0x203040, inB = b.pixels[i] != 0x203040;
    coveredA += inA;
    differing += inA != inB;
  }
  if (coveredA > 5000 && differing * 40 < coveredA) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << differing << " of " << coveredA << " covered pixels differ";
}

::testing::AssertionResult FramesAgree(const Frame& a, const Frame& b, int32_t tolerance) {
  if (tolerance < 0) return CoverageAgrees(a, b);
  if (a.pixels.empty() || b.pixels.size() != a.pixels.size()) return ::testing::AssertionFailure() << "no read-back";
  int32_t worst = 0;
  size_t bad = 0, first = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    int32_t d = 0;
    for (int s = 0; s < 24; s += 8)
      d = std::max(d, std::abs(static_cast<int32_t>((a.pixels[i] >> s) & 0xFF) - static_cast<int32_t>((b.pixels[i] >> s) & 0xFF)));
    if (d > tolerance) {
      if (bad++ == 0) first = i;
      worst = std::max(worst, d);
    }
  }
  if (bad == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << bad << " pixels differ (worst " << worst << "), first at ("
                                       << first % kScreen << ", " << first / kScreen << "): " << std::hex
                                       << a.pixels[first] << " vs " << b.pixels[first];
}

TEST(DrawBackends, BothBackEndsGiveTheSamePicture) {
  const std::vector<Frame> direct = RenderScene(1, "quelt draw harness d3d");
  const std::vector<Frame> soft = RenderScene(0, "quelt draw harness soft");
  const std::vector<SceneCase> cases = SceneCases();
  ASSERT_EQ(direct.size(), cases.size());
  ASSERT_EQ(soft.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_TRUE(FramesAgree(direct[i], soft[i], cases[i].tolerance)) << cases[i].name;
}

TEST(DrawBackends, SubtractEmulationMatchesTheSoftwareSubtract) {
  const DeviceCapsSubset noBlendOp{0, 0, 0, 0, 4096, 4096};
  GraphicsTestSeams.capsOverride = &noBlendOp;
  const int32_t fillsBefore = SubtractEmulationFills;
  const std::vector<Frame> emulated = RenderScene(1, "quelt draw harness no revsub");
  GraphicsTestSeams.capsOverride = nullptr;
  // One textured subtract draw, bracketed by two inverting fills.
  EXPECT_EQ(SubtractEmulationFills - fillsBefore, 2);
  const std::vector<Frame> soft = RenderScene(0, "quelt draw harness soft 2");
  const std::vector<SceneCase> cases = SceneCases();
  ASSERT_EQ(emulated.size(), cases.size());
  ASSERT_EQ(soft.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i)
    if (std::string(cases[i].name) == "subtract") {
      EXPECT_TRUE(FramesAgree(emulated[i], soft[i], 2));
    }
}

// The colour MakeGraph gives pixel (x, y) of a graph made with `seed`.
uint32_t GraphColour(int32_t x, int32_t y, uint32_t seed) {
  const uint32_t r = (static_cast<uint32_t>(x) * 37u + seed * 11u) & 0xFF;
  const uint32_t g = (static_cast<uint32_t>(y) * 53u + seed * 7u) & 0xFF;
  const uint32_t b = (static_cast<uint32_t>(x * y) * 13u + 64u) & 0xFF;
  return r << 16 | g << 8 | (b | 1u);
}

// A checkerboard of 8 x 8 cells: the odd cells are protected.
bool Protected(int32_t x, int32_t y) { return (((x >> 3) + (y >> 3)) & 1) != 0; }

// Masked draws onto the back screen (one of them after selecting the draw screen again
// while masking) and onto a drawable graph wider than the screen.
Frame RenderMaskedScene(int32_t hardware, const char* caption) {
  Frame f;
  SessionOptions options{caption};
  options.hardware = hardware;
  if (StartEngineSession(options) != 0) return f;
  SetSampleFilterMode(0);
  const int32_t pattern = quelt_test::MakePatternGraph(40, 30, 3);
  const int32_t odd = quelt_test::MakePatternGraph(33, 21, 5);
  const int32_t backdrop = quelt_test::MakePatternGraph(64, 64, 9);
  SetNewGraphDrawableFlag(1);
  const int32_t wide = CreateBlankGraph(kScreen + 200, 64);
  SetNewGraphDrawableFlag(0);
  BackgroundColour = 0x203040;
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
  for (int32_t y = 0; y < 192; y += 64)
    for (int32_t x = 0; x < 256; x += 64) DrawGraphAtPoint(x, y, backdrop, 0);
  if (CreateMaskScreen(1) != 0 || MaskState.map == nullptr) return f;
  for (int32_t y = 0; y < MaskState.mapHeight; ++y)
    for (int32_t x = 0; x < MaskState.mapWidth; ++x)
      MaskState.map[static_cast<size_t>(y) * MaskState.mapPitch + x] = Protected(x, y) ? 1 : 0;
  SetMaskDrawFlag(1);
  DrawGraphAtPoint(20, 30, pattern, 1);
  DrawGraphInRect(100, 50, 166, 92, odd, 1);
  SelectDrawScreen(DrawScreenBack);
  DrawGraphAtPoint(150, 120, pattern, 1);
  SelectDrawScreen(wide);
  EraseDrawScreen();
  DrawGraphInRect(560, 10, 626, 52, odd, 1);
  SetMaskDrawFlag(0);
  SelectDrawScreen(DrawScreenBack);
  DrawGraphAtPoint(-200, 300, wide, 0);
  f.pixels.assign(static_cast<size_t>(kScreen) * kScreen, 0);
  if (ReadBackDrawScreen(f.pixels.data(), kScreen, kScreen) < 0) f.pixels.clear();
  StopEngineSession();
  return f;
}

TEST(DrawBackends, MaskedDrawingGivesTheSamePictureOnBothBackEnds) {
  const Frame direct = RenderMaskedScene(1, "quelt mask harness d3d");
  const Frame soft = RenderMaskedScene(0, "quelt mask harness soft");
  ASSERT_FALSE(soft.pixels.empty());
  auto at = [&](const Frame& f, int32_t x, int32_t y) { return f.pixels[static_cast<size_t>(y) * kScreen + x] & 0xFFFFFF; };
  // The first draw: open cells show it, protected ones keep the backdrop.
  EXPECT_FALSE(Protected(32, 32));
  EXPECT_EQ(at(soft, 32, 32), GraphColour(12, 2, 3));
  EXPECT_TRUE(Protected(24, 32));
  EXPECT_EQ(at(soft, 24, 32), GraphColour(24, 32, 9));
  // After the draw screen was selected again: still masked, the new drawing kept.
  EXPECT_EQ(at(soft, 152, 120), GraphColour(2, 0, 3));
  EXPECT_EQ(at(soft, 160, 120), GraphColour(32, 56, 9));
  // The wide graph: masked inside the mask map, nothing drawn past its edge (x 600).
  EXPECT_NE(at(soft, 580 - 200, 300 + 16), 0x203040u);
  EXPECT_EQ(at(soft, 584 - 200, 300 + 16), 0x203040u);
  EXPECT_FALSE(Protected(610, 20));
  EXPECT_EQ(at(soft, 610 - 200, 300 + 20), 0x203040u);
  EXPECT_TRUE(FramesAgree(direct, soft, 0));
}

TEST(DrawBackends, MaskedDrawOntoASubGraphLandsInTheSubGraph) {
  SessionOptions options{"quelt mask sub graph"};
  options.hardware = 0;
  ASSERT_EQ(StartEngineSession(options), 0);
  SetNewGraphDrawableFlag(1);
  const int32_t parent = CreateBlankGraph(64, 32);
  SetNewGraphDrawableFlag(0);
  const int32_t sub = CreateSubGraph(16, 8, 32, 16, parent);
  const int32_t sprite = MakeSolidGraph(8, 8, 0xFFFFFFFF);
  ASSERT_GE(sub, 0);
  BackgroundColour = 0;
  SelectDrawScreen(parent);
  EraseDrawScreen();
  SelectDrawScreen(sub);
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_EQ(SetMaskDrawFlag(1), 0);
  DrawGraphAtPoint(2, 2, sprite, 1);
  SetMaskDrawFlag(0);
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
  DrawGraphAtPoint(0, 0, parent, 0);
  std::vector<uint32_t> pixels(static_cast<size_t>(kScreen) * kScreen, 0);
  ASSERT_EQ(ReadBackDrawScreen(pixels.data(), kScreen, kScreen), 0);
  EXPECT_EQ(pixels[10 * kScreen + 18] & 0xFFFFFF, 0xFFFFFFu);  // the sub graph's (2, 2)
  EXPECT_EQ(pixels[2 * kScreen + 2] & 0xFFFFFF, 0u);          // the parent's own (2, 2)
  StopEngineSession();
}

int movieUpdates = 0;
int CountingMovieUpdate(int32_t, int32_t) { return ++movieUpdates; }

class DrawFrontOnBackEnd : public ::testing::TestWithParam<int32_t> {};

TEST_P(DrawFrontOnBackEnd, PrologueOrderBatchOverflowAndTint) {
  SessionOptions options{GetParam() ? "quelt draw front d3d" : "quelt draw front soft"};
  options.hardware = GetParam();
  ASSERT_EQ(StartEngineSession(options), 0);
  const int32_t sprite = MakeSolidGraph(8, 8, 0xFFFFFFFF);
  ASSERT_GE(sprite, 0);

  // The empty draw area and the lock come before the handle.
  SetDrawClipRect(10, 10, 10, 40);
  EXPECT_EQ(DrawSettings.ClipRectEmpty, 1);
  EXPECT_EQ(DrawGraphAtPoint(0, 0, 0x12345, 1), 0);
  EXPECT_EQ(DrawGraphRotated(5, 5, 1.0, 0.5, 0x12345, 1, 0), 0);
  EXPECT_EQ(DrawGraphFourCorners(0, 0, 1, 0, 1, 1, 0, 1, 0x12345, 1), 0);
  FullClip();
  EXPECT_EQ(DrawGraphAtPoint(0, 0, 0x12345, 1), -1);
  EXPECT_EQ(DrawGraphInRect(0, 0, 5, 5, 0x12345, 1), -1);
  EXPECT_EQ(DrawGraphPartInRect(0, 0, 10, 10, 0, 0, 0, 4, sprite, 1), 0);  // no division by zero

  // A graph linked to a movie brings the frame up once per draw.
  movieUpdates = 0;
  DrawFrontSeams.updateMovieFrame = &CountingMovieUpdate;
  GetGraphRecord(sprite)->linkedMovie = 0x18000001;
  DrawGraphAtPoint(0, 0, sprite, 1);
  DrawGraphRotated(20, 20, 2.0, 1.0, sprite, 1, 0);
  DrawGraphPart(0, 0, 0, 0, 4, 4, sprite, 1, 0);
  GetGraphRecord(sprite)->linkedMovie = -1;
  DrawFrontSeams.updateMovieFrame = &UpdateMovieFrame;
  EXPECT_EQ(movieUpdates, 3);

  // A mirrored rectangle's affected rectangle is ordered (subtract needs it on Direct3D).
  SelectBlendMode(3, 255);
  DrawGraphInRect(100, 0, 0, 50, sprite, 1);
  SelectBlendMode(0, 0);
  if (GetParam()) {
    EXPECT_EQ(DrawFrontSeams.lastAffected.x1, 0);
    EXPECT_EQ(DrawFrontSeams.lastAffected.y1, 0);
    EXPECT_EQ(DrawFrontSeams.lastAffected.x2, 100);
    EXPECT_EQ(DrawFrontSeams.lastAffected.y2, 50);
  }

  // The part draw puts the draw area back.
  const IntRect before = DrawSettings.ClipRect;
  DrawGraphPart(10, 10, 4, 4, 8, 8, sprite, 1, 0);
  EXPECT_EQ(DrawSettings.ClipRect.x1, before.x1);
  EXPECT_EQ(DrawSettings.ClipRect.x2, before.x2);

  // Four hundred sprites overflow the vertex batch and all appear.
  BackgroundColour = 0;
  EraseDrawScreen();
  const int64_t callsBefore = VertexBatch.drawCalls;
  for (int32_t i = 0; i < 400; ++i) DrawGraphAtPoint((i % 25) * 20, (i / 25) * 20, sprite, 1);
  std::vector<uint32_t> pixels(static_cast<size_t>(kScreen) * kScreen, 0);
  ASSERT_EQ(ReadBackDrawScreen(pixels.data(), kScreen, kScreen), 0);
  int32_t shown = 0;
  for (int32_t i = 0; i < 400; ++i) {
    const int32_t x = (i % 25) * 20, y = (i / 25) * 20;
    shown += pixels[static_cast<size_t>(y) * kScreen + x] == 0xFFFFFF &&
             pixels[static_cast<size_t>(y + 7) * kScreen + x + 7] == 0xFFFFFF;
  }
  EXPECT_EQ(shown, 400);
  if (GetParam()) {
    EXPECT_GE(VertexBatch.drawCalls - callsBefore, 2);
  }

  // A red bright colour tints the whole quad.
  EraseDrawScreen();
  SetDrawBright(255, 0, 0);
  DrawGraphInRect(100, 100, 180, 160, sprite, 1);
  SetDrawBright(255, 255, 255);
  ASSERT_EQ(ReadBackDrawScreen(pixels.data(), kScreen, kScreen), 0);
  int32_t red = 0;
  for (int32_t y = 100; y < 160; ++y)
    for (int32_t x = 100; x < 180; ++x) red += pixels[static_cast<size_t>(y) * kScreen + x] == 0xFF0000;
  EXPECT_EQ(red, 80 * 60);
  EXPECT_EQ(pixels[99 * kScreen + 99], 0u);

  // A masked draw through the mask screen: an all-zero mask lets the drawing through.
  EraseDrawScreen();
  EXPECT_EQ(SetMaskDrawFlag(1), -1);
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_EQ(SetMaskDrawFlag(1), 0);
  DrawGraphAtPoint(200, 200, sprite, 1);
  SetMaskDrawFlag(0);
  ASSERT_EQ(ReadBackDrawScreen(pixels.data(), kScreen, kScreen), 0);
  EXPECT_EQ(pixels[203 * kScreen + 203], 0xFFFFFFu);
  EXPECT_EQ(pixels[210 * kScreen + 210], 0u);
  EXPECT_EQ(EndMasks(), 0);
  EXPECT_EQ(DrawSettings.maskActive, 0);
  StopEngineSession();
}

INSTANTIATE_TEST_SUITE_P(BackEnds, DrawFrontOnBackEnd, ::testing::Values(1, 0));

}  // namespace
