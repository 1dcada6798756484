// Scenes where the Direct3D back end once drew something else than the software renderer:
// each is drawn on both, read back and compared pixel for pixel. Untransparent draws of
// graphs with alpha or a transparent colour (copied, blended, rotated), multiplying by
// keyed and alpha graphs, text multiplied and inverted, a sub graph as the draw screen, a
// graph's pixels changed between two batched draws of it, fills of ordinary graphs, the
// four-corner draw of an unscaled graph, masks after a lost device, and which graphs can be
// draw screens.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <vector>

#include "core/core_state.h"
#include "font/font_table.h"
#include "font/glyph_layout.h"
#include "graphics/device_restore.h"
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
#include "support/bmp_file.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;
using quelt_test::SessionOptions;
using quelt_test::StartEngineSession;
using quelt_test::StopEngineSession;
using quelt_test::PatternColour;

constexpr int32_t kScreen = 600;
constexpr uint32_t kBackground = 0x203040;

using Picture = std::vector<uint32_t>;

// A pattern graph; `holes` makes every third pixel black (the transparent colour), and
// with `alpha` the picture carries an alpha channel that is 0 there and half elsewhere on
// the first rows.
int32_t MakePattern(int32_t width, int32_t height, uint32_t seed, bool holes = false, bool alpha = false) {
  RasterImage image{};
  if ((alpha ? AllocArgb32Image(width, height, &image) : AllocXrgb32Image(width, height, &image)) < 0) return -1;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const bool hole = holes && (x + y) % 3 == 0;
      uint32_t a = 0xFF;
      if (alpha) a = hole ? 0 : (y < 4 ? 0x80 : 0xFF);
      const uint32_t colour = a << 24 | (hole && !alpha ? 0u : PatternColour(x, y, seed));
      std::memcpy(image.pixels + y * image.pitch + x * 4, &colour, 4);
    }
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  FreeRasterImage(&image);
  return graph;
}

int32_t MakeDrawable(int32_t width, int32_t height) {
  SetNewGraphDrawableFlag(1);
  const int32_t graph = CreateBlankGraph(width, height);
  SetNewGraphDrawableFlag(0);
  return graph;
}

Picture ReadScreen() {
  Picture pixels(static_cast<size_t>(kScreen) * kScreen, 0);
  if (ReadBackDrawScreen(pixels.data(), kScreen, kScreen) < 0) return {};
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

// Starts the engine on one back end, erases the back screen, runs the scene and reads the
// screen back. Empty when the engine did not start.
Picture Render(int32_t hardware, const char* caption, const std::function<void()>& scene) {
  SessionOptions options{caption};
  options.hardware = hardware;
  if (StartEngineSession(options) != 0) return {};
  SetSampleFilterMode(0);
  BackgroundColour = kBackground;
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
  scene();
  SelectDrawScreen(DrawScreenBack);
  Picture picture = ReadScreen();
  StopEngineSession();
  return picture;
}

uint32_t At(const Picture& p, int32_t x, int32_t y) { return p[static_cast<size_t>(y) * kScreen + x]; }

size_t Count(const Picture& p, uint32_t colour) {
  size_t n = 0;
  for (uint32_t v : p) n += v == colour;
  return n;
}

// Equal pixels, or within `tolerance` levels per channel (blending rounds differently).
::testing::AssertionResult Identical(const Picture& direct, const Picture& soft, int32_t tolerance = 0) {
  if (direct.empty() || soft.size() != direct.size()) return ::testing::AssertionFailure() << "no read-back";
  auto differ = [tolerance](uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int32_t d = static_cast<int32_t>((a >> shift) & 0xFF) - static_cast<int32_t>((b >> shift) & 0xFF);
      if (d > tolerance || -d > tolerance) return true;
    }
    return false;
  };
  size_t bad = 0, first = 0;
  for (size_t i = 0; i < direct.size(); ++i)
    if (differ(direct[i], soft[i]) && bad++ == 0) first = i;
  if (bad == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << bad << " pixels differ, first at (" << first % kScreen << ", "
                                       << first / kScreen << "): Direct3D " << std::hex << direct[first]
                                       << ", software " << soft[first];
}

struct BothPictures {
  Picture direct, soft;
};

BothPictures RenderBoth(const char* name, const std::function<void()>& scene) {
  const std::string caption = std::string("quelt parity ") + name;
  BothPictures out;
  out.direct = Render(1, (caption + " d3d").c_str(), scene);
  out.soft = Render(0, (caption + " soft").c_str(), scene);
  return out;
}

TEST(DrawParity, AnUntransparentDrawShowsEveryPixelOfAlphaAndKeyedGraphs) {
  const BothPictures p = RenderBoth("transparent 0", [] {
    const int32_t alpha = MakePattern(60, 40, 3, true, true);
    const int32_t keyed = MakePattern(60, 40, 5, true, false);
    DrawGraphAtPoint(10, 10, alpha, 0);
    DrawGraphAtPoint(100, 10, keyed, 0);
    DrawGraphInRect(200, 10, 320, 90, keyed, 0);
    DrawGraphRotatedInt(400, 50, 1.0, 3.14159265358979323846, MakePattern(33, 21, 4, true), 0, 0);
    // The flag set still honours them (half alpha on the first rows: blending rounds).
    DrawGraphAtPoint(10, 100, alpha, 1);
    DrawGraphAtPoint(100, 100, keyed, 1);
  });
  ASSERT_FALSE(p.soft.empty());
  // Zero draws the holes: the alpha graph's pixel colour, the keyed graph's black.
  EXPECT_EQ(At(p.soft, 10, 10), PatternColour(0, 0, 3));
  EXPECT_EQ(At(p.soft, 100, 10), 0u);
  EXPECT_EQ(At(p.soft, 100, 100), kBackground);
  EXPECT_TRUE(Identical(p.direct, p.soft, 1));
}

// A patterned backdrop over the top 200 rows, for blends to read.
void DrawBackdrop() {
  const int32_t backdrop = MakePattern(64, 64, 11);
  for (int32_t y = 0; y < 200; y += 64)
    for (int32_t x = 0; x < kScreen; x += 64) DrawGraphAtPoint(x, y, backdrop, 0);
}

// Without the flag the transparent colour never counts; an alpha channel is left out only
// by the unscaled and stretched copy. Every blend mode and the bright colour weight each
// pixel by its alpha, and so do the rotated and four-corner draws.
TEST(DrawParity, WithoutTheTransparentFlagAlphaWeightsAllButThePlainCopy) {
  const BothPictures p = RenderBoth("transparent 0 blends", [] {
    DrawBackdrop();
    const int32_t alpha = MakePattern(60, 40, 3, true, true);
    int32_t x = 10;
    for (const int32_t mode : {1, 2, 3, 4, 10, 11}) {
      SelectBlendMode(mode, 160);
      DrawGraphAtPoint(x, 10, alpha, 0);
      DrawGraphInRect(x, 60, x + 60, 100, alpha, 0);
      x += 80;
    }
    SelectBlendMode(0, 255);
    SetBrightColour(0xC08040);
    DrawGraphAtPoint(10, 110, alpha, 0);
    SetBrightColour(0xFFFFFF);
    DrawGraphRotatedInt(120, 130, 1.0, 3.14159265358979323846, MakePattern(33, 21, 4, true, true), 0, 0);
    // Below the half-alpha rows: the software quad may draw its diagonal twice.
    DrawGraphFourCorners(200, 110, 260, 110, 260, 146, 200, 146, CreateSubGraph(0, 4, 60, 36, alpha), 0);
    DrawGraphAtPoint(300, 110, alpha, 0);  // the plain copy: alpha left out
  });
  ASSERT_FALSE(p.soft.empty());
  EXPECT_EQ(At(p.soft, 300, 110), PatternColour(0, 0, 3));
  EXPECT_NE(At(p.soft, 201, 110), PatternColour(1, 4, 3));
  // Subtracting keeps seven bits of green and red on the software renderer.
  EXPECT_TRUE(Identical(p.direct, p.soft, 4));
}

// Multiplying leaves the destination where a pixel is transparent (keyed or alpha 0) and
// mixes towards the product by the alpha elsewhere.
TEST(DrawParity, MultiplyLeavesTransparentPixelsAlone) {
  const BothPictures p = RenderBoth("multiply", [] {
    DrawBackdrop();
    SelectBlendMode(4, 255);
    DrawGraphAtPoint(10, 10, MakePattern(60, 40, 5, true, false), 1);
    DrawGraphAtPoint(100, 10, MakePattern(60, 40, 3, true, true), 1);
    DrawGraphRotatedInt(230, 30, 1.0, 3.14159265358979323846, MakePattern(33, 21, 4, true, true), 1, 0);
  });
  ASSERT_FALSE(p.soft.empty());
  EXPECT_EQ(At(p.soft, 10, 10), PatternColour(10, 10, 11));
  EXPECT_EQ(At(p.soft, 100, 10), PatternColour(36, 10, 11));  // a hole keeps the backdrop
  EXPECT_TRUE(Identical(p.direct, p.soft, 2));
}

// Text in the blend modes whose software path goes through the font work image: multiply
// leaves the line box around the glyphs alone, invert draws the inverted text colour.
TEST(DrawParity, TextMultipliesAndInvertsLikeGraphs) {
  const BothPictures p = RenderBoth("text blends", [] {
    DrawBackdrop();
    const uint32_t yellow = MakeScreenColourCode(255, 230, 0);
    const int32_t smooth = CreateFontToHandle(nullptr, 24, -1, FontTypeAntiAlias, -1, -1, 0, -1, -1);
    const int32_t plain = CreateFontToHandle(nullptr, 24, -1, -1, -1, -1, 0, -1, -1);
    SelectBlendMode(4, 255);
    DrawTextWithFont(10, 10, "Lap 2/5 Go!", yellow, smooth, 0, 0);
    DrawTextWithFont(10, 50, "Lap 2/5 Go!", yellow, plain, 0, 0);
    SelectBlendMode(10, 200);
    DrawTextWithFont(300, 10, "Lap 2/5 Go!", yellow, smooth, 0, 0);
    DrawTextWithFont(300, 50, "Lap 2/5 Go!", yellow, plain, 0, 0);
    SelectBlendMode(0, 255);
  });
  ASSERT_FALSE(p.soft.empty());
  // The anti-aliased glyphs' levels differ by up to 16 between the two paths.
  EXPECT_TRUE(Identical(p.direct, p.soft, 16));
}

TEST(DrawParity, ASubGraphAsDrawScreenTakesDrawingAndErasingAtItsPlace) {
  const BothPictures p = RenderBoth("sub screen", [] {
    const int32_t parent = MakeDrawable(96, 64);
    const int32_t sub = CreateSubGraph(24, 16, 40, 32, parent);
    const int32_t sprite = MakePattern(12, 10, 7);
    const int32_t copy = CreateBlankGraph(12, 10);
    SelectDrawScreen(parent);
    BackgroundColour = 0x102030;
    EraseDrawScreen();
    SelectDrawScreen(sub);
    BackgroundColour = 0x405060;
    EraseDrawScreen();
    DrawGraphAtPoint(4, 3, sprite, 0);
    DrawGraphAtPoint(34, 28, sprite, 0);  // cut at the sub graph's edge
    DrawGraphFourCorners(20, 2, 32, 2, 32, 12, 20, 12, sprite, 0);
    GetDrawScreenGraph(4, 3, 16, 13, copy);
    // A masked draw lands there too.
    CreateMaskScreen(1);
    SetMaskDrawFlag(1);
    DrawGraphAtPoint(4, 16, sprite, 0);
    SetMaskDrawFlag(0);
    SelectDrawScreen(DrawScreenBack);
    BackgroundColour = kBackground;
    DrawGraphAtPoint(0, 0, parent, 0);
    DrawGraphAtPoint(200, 0, copy, 0);
  });
  ASSERT_FALSE(p.soft.empty());
  EXPECT_EQ(At(p.soft, 2, 2), 0x102030u);
  EXPECT_EQ(At(p.soft, 24, 16), 0x405060u);
  EXPECT_EQ(At(p.soft, 28, 19), PatternColour(0, 0, 7));
  EXPECT_EQ(At(p.soft, 28, 32), PatternColour(0, 0, 7));
  EXPECT_EQ(At(p.soft, 70, 40), 0x102030u);  // right of the sub graph
  EXPECT_EQ(At(p.soft, 200, 0), PatternColour(0, 0, 7));
  EXPECT_TRUE(Identical(p.direct, p.soft));
}

TEST(DrawParity, ReadingBackASubGraphDrawScreenGivesItsOwnPixels) {
  constexpr int32_t kW = 192, kH = 144;
  std::vector<Picture> subs;
  std::vector<int32_t> tooWide;
  RenderBoth("sub read-back", [&] {
    const int32_t parent = MakeDrawable(320, 240);
    const int32_t sub = CreateSubGraph(40, 24, kW, kH, parent);
    SelectDrawScreen(parent);
    BackgroundColour = 0x102030;
    EraseDrawScreen();
    SelectDrawScreen(sub);
    DrawGraphAtPoint(0, 0, MakePattern(kW, kH, 11), 0);
    Picture pixels(static_cast<size_t>(kW + 1) * kH, 0);
    tooWide.push_back(ReadBackDrawScreen(pixels.data(), kW + 1, kH));
    if (ReadBackDrawScreen(pixels.data(), kW, kH) < 0) pixels.clear();
    pixels.resize(pixels.empty() ? 0 : static_cast<size_t>(kW) * kH);
    subs.push_back(pixels);
  });
  ASSERT_EQ(subs.size(), 2u);
  for (size_t n = 0; n < 2; ++n) {
    ASSERT_FALSE(subs[n].empty()) << (n == 0 ? "Direct3D" : "software");
    size_t wrong = 0;
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x) wrong += (subs[n][static_cast<size_t>(y) * kW + x] & 0xFFFFFF) != PatternColour(x, y, 11);
    EXPECT_EQ(wrong, 0u) << (n == 0 ? "Direct3D" : "software");
    EXPECT_EQ(tooWide[n], -1) << (n == 0 ? "Direct3D" : "software");
  }
}

// Rotated draws at whole-pixel centres place the picture by one rule on both back ends:
// scaled, mirrored, unscaled with sizes of either parity. Only pixels whose centre lies
// within rounding of a texel edge may go either way.
TEST(DrawParity, RotatedDrawsPlaceThePictureAlike) {
  struct Case {
    int32_t w, h;
    double scale, angle;
    int32_t turn;
  };
  constexpr Case kCases[] = {{16, 16, 6.0, 0.5, 0}, {17, 15, 6.0, 0.0, 0}, {16, 16, 6.0, 0.5, 1},
                             {17, 15, 6.0, 0.5, 0}, {16, 17, 1.0, 0.0, 0}, {17, 16, 1.0, 0.5, 0},
                             {16, 16, 2.5, 1.2, 0}, {17, 15, 1.0, 0.0, 1}, {16, 16, 6.0, 0.0, 1}};
  const BothPictures p = RenderBoth("rotated", [&] {
    for (size_t i = 0; i < std::size(kCases); ++i) {
      const Case& k = kCases[i];
      DrawGraphRotatedInt(75 + 150 * static_cast<int32_t>(i % 4), 75 + 150 * static_cast<int32_t>(i / 4), k.scale,
                          k.angle, MakePattern(k.w, k.h, 2 + static_cast<uint32_t>(i)), 0, k.turn);
    }
  });
  ASSERT_FALSE(p.soft.empty());
  ASSERT_EQ(p.direct.size(), p.soft.size());
  size_t differ = 0, drawn = 0;
  for (size_t i = 0; i < p.soft.size(); ++i) {
    differ += p.direct[i] != p.soft[i];
    drawn += p.soft[i] != kBackground;
  }
  EXPECT_GT(drawn, 40000u);
  EXPECT_LE(differ, drawn / 1000) << Identical(p.direct, p.soft).message();
  // Unscaled and unturned, the centre texel covers the centre pixel.
  EXPECT_EQ(At(p.soft, 75, 225), PatternColour(8, 8, 6));
  EXPECT_EQ(At(p.direct, 75, 225), PatternColour(8, 8, 6));
}

TEST(DrawParity, ChangedPixelsDoNotReachDrawsQueuedBefore) {
  const BothPictures p = RenderBoth("pixels changed", [] {
    const int32_t drawable = MakeDrawable(10, 10);
    FillGraphColour(drawable, 0, 255, 0, 255);
    DrawGraphAtPoint(10, 10, drawable, 0);
    FillGraphColour(drawable, 255, 0, 0, 255);
    DrawGraphAtPoint(30, 10, drawable, 0);

    const int32_t plain = quelt_test::MakeSolidGraph(10, 10, 0xFF00FF00);
    DrawGraphAtPoint(10, 30, plain, 0);
    RasterImage blue{};
    ASSERT_EQ(AllocXrgb32Image(10, 10, &blue), 0);
    for (int32_t i = 0; i < 100; ++i) reinterpret_cast<uint32_t*>(blue.pixels)[i] = 0xFF0000FF;
    TransferRasterToGraph(&blue, nullptr, plain, 0, 0, 0);
    FreeRasterImage(&blue);
    DrawGraphAtPoint(30, 30, plain, 0);
    FillGraphColour(plain, 255, 0, 0, 255);
    DrawGraphAtPoint(50, 30, plain, 0);
  });
  ASSERT_FALSE(p.soft.empty());
  EXPECT_EQ(At(p.soft, 15, 15), 0x00FF00u);
  EXPECT_EQ(At(p.soft, 35, 15), 0xFF0000u);
  EXPECT_EQ(At(p.soft, 15, 35), 0x00FF00u);
  EXPECT_EQ(At(p.soft, 35, 35), 0x0000FFu);
  EXPECT_EQ(At(p.soft, 55, 35), 0xFF0000u);
  EXPECT_TRUE(Identical(p.direct, p.soft));
}

TEST(DrawParity, AFilledBlankGraphShowsItsColour) {
  const BothPictures p = RenderBoth("blank fill", [] {
    const int32_t blank = CreateBlankGraph(100, 20);
    FillGraphColour(blank, 160, 0, 0, 255);
    DrawGraphAtPoint(10, 10, blank, 1);
    // Filled with the transparent colour, the keyed graph shows nothing where it is honoured.
    const int32_t keyed = CreateBlankGraph(30, 20);
    FillGraphColour(keyed, 0, 0, 0, 255);
    DrawGraphAtPoint(10, 50, keyed, 1);
    DrawGraphAtPoint(50, 50, keyed, 0);
  });
  ASSERT_FALSE(p.soft.empty());
  EXPECT_EQ(Count(p.soft, 0xA00000), 2000u);
  EXPECT_EQ(At(p.soft, 15, 55), kBackground);
  EXPECT_EQ(At(p.soft, 55, 55), 0u);
  EXPECT_TRUE(Identical(p.direct, p.soft));
}

TEST(DrawParity, FourCornersOnTheGraphsOwnCornersIsACopy) {
  const BothPictures p = RenderBoth("four corners", [] {
    const int32_t odd = MakePattern(33, 21, 5);
    DrawGraphFourCorners(300, 300, 333, 300, 333, 321, 300, 321, odd, 0);
    // A sub graph samples nothing of its parent outside it.
    const int32_t sub = CreateSubGraph(5, 4, 20, 12, odd);
    DrawGraphFourCorners(100, 100, 120, 100, 120, 112, 100, 112, sub, 0);
  });
  ASSERT_FALSE(p.soft.empty());
  EXPECT_EQ(At(p.soft, 300, 313), PatternColour(0, 13, 5));
  EXPECT_EQ(At(p.soft, 100, 100), PatternColour(5, 4, 5));
  EXPECT_TRUE(Identical(p.direct, p.soft));
}

// Protected cells of 8 x 8 pixels in a checkerboard.
void FillCheckerMask() {
  for (int32_t y = 0; y < MaskState.mapHeight; ++y)
    for (int32_t x = 0; x < MaskState.mapWidth; ++x)
      MaskState.map[static_cast<size_t>(y) * MaskState.mapPitch + x] = (((x >> 3) + (y >> 3)) & 1) != 0 ? 1 : 0;
}

TEST(DrawParity, MaskedDrawingAfterALostDeviceStillMasks) {
  auto masked = [] {
    const int32_t backdrop = MakePattern(64, 64, 9);
    const int32_t sprite = MakePattern(40, 30, 3);
    for (int32_t x = 0; x < 192; x += 64) DrawGraphAtPoint(x, 0, backdrop, 0);
    SetMaskDrawFlag(1);
    DrawGraphAtPoint(20, 20, sprite, 1);
    SetMaskDrawFlag(0);
  };
  const BothPictures p = RenderBoth("mask restore", [&] {
    ASSERT_EQ(CreateMaskScreen(1), 0);
    FillCheckerMask();
    masked();
    RestoreGraphicsAfterLoss();
    SelectDrawScreen(DrawScreenBack);
    EraseDrawScreen();
    // Graphs made from memory come back blank: the scene makes its own again.
    masked();
  });
  ASSERT_FALSE(p.soft.empty());
  EXPECT_EQ(At(p.soft, 20, 20), PatternColour(0, 0, 3));   // open cell
  EXPECT_EQ(At(p.soft, 28, 20), PatternColour(28, 20, 9));  // protected cell
  EXPECT_TRUE(Identical(p.direct, p.soft));
}

void WriteBmp(const char* path, int width, int height) {
  const std::vector<uint32_t> grey(static_cast<size_t>(width) * height, 0x404040);
  ASSERT_TRUE(quelt::testing::WriteBmp(path, grey, width, height));
}

class DrawScreenChoice : public ::testing::TestWithParam<int32_t> {};

TEST_P(DrawScreenChoice, OnlyGraphsMadeDrawableCanBeDrawScreens) {
  WriteBmp("parity.bmp", 16, 8);
  SessionOptions options{GetParam() ? "quelt draw screen choice d3d" : "quelt draw screen choice soft"};
  options.hardware = GetParam();
  ASSERT_EQ(StartEngineSession(options), 0);
  const int32_t file = OpenGraphFile("parity.bmp", 1, 0, 0);
  const int32_t blank = CreateBlankGraph(16, 8);
  const int32_t drawable = MakeDrawable(16, 8);
  ASSERT_GE(file, 0);
  ASSERT_GE(blank, 0);
  ASSERT_GE(drawable, 0);
  SelectDrawScreen(DrawScreenBack);
  EXPECT_EQ(SelectDrawScreen(file), -1);
  EXPECT_EQ(SelectDrawScreen(blank), -1);
  EXPECT_EQ(SelectDrawScreen(CreateSubGraph(0, 0, 8, 8, file)), -1);
  EXPECT_EQ(QueryDrawScreen(), DrawScreenBack);
  EXPECT_EQ(SelectDrawScreen(drawable), 0);
  EXPECT_EQ(SelectDrawScreen(CreateSubGraph(4, 0, 8, 8, drawable)), 0);
  SelectDrawScreen(DrawScreenBack);
  StopEngineSession();
}

INSTANTIATE_TEST_SUITE_P(BackEnds, DrawScreenChoice, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int32_t>& i) { return i.param ? "Direct3D" : "Software"; });

}  // namespace
