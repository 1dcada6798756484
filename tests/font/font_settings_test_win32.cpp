// Fonts at the edges of their settings under Wine: text that starts left of the screen
// through the software work image, edge sizes below -1, and sizes too large to cache.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "font/font_table.h"
#include "graphics/draw_screen.h"
#include "core/core_state.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;
using quelt_test::SessionOptions;
using quelt_test::StartEngineSession;
using quelt_test::StopEngineSession;

constexpr int32_t kScreen = 600;
constexpr uint32_t kBackground = 0x102030;

std::vector<uint32_t> ReadBack() { return quelt_test::ReadBackScreen(kScreen, kScreen); }

void Erase() {
  BackgroundColour = kBackground;
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
}

// The rightmost column in rows y1..y2 that differs from the background, -1 for none.
int32_t RightmostLit(const std::vector<uint32_t>& p, int32_t y1, int32_t y2) {
  int32_t right = -1;
  for (int32_t y = y1; y < y2; ++y)
    for (int32_t x = 0; x < kScreen; ++x)
      if ((p[static_cast<size_t>(y * kScreen + x)] & 0xFFFFFF) != kBackground) right = std::max(right, x);
  return right;
}

// A 200-character line from x = -300: anti-aliased, then plain through blend mode 1 at
// 200 (both take the software work image), then plain and unblended (drawn directly).
std::vector<uint32_t> DrawLinesFromLeftOfScreen(int32_t hardware, const char* caption) {
  std::vector<uint32_t> pixels;
  SessionOptions options{caption};
  options.hardware = hardware;
  if (StartEngineSession(options) != 0) return pixels;
  Erase();
  std::string line;
  for (int32_t i = 0; i < 20; ++i) line += "0123456789";
  const uint32_t yellow = MakeScreenColourCode(255, 230, 0);
  const int32_t smooth = CreateFontToHandle(nullptr, 16, -1, FontTypeAntiAlias, -1, -1, 0, -1, -1);
  const int32_t plain = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
  EXPECT_EQ(DrawTextWithFont(-300, 10, line.c_str(), yellow, smooth, 0, 0), 0);
  SelectBlendMode(1, 200);
  EXPECT_EQ(DrawTextWithFont(-300, 50, line.c_str(), yellow, plain, 0, 0), 0);
  SelectBlendMode(0, 0);
  EXPECT_EQ(DrawTextWithFont(-300, 90, line.c_str(), yellow, plain, 0, 0), 0);
  // Above the screen too: only the line's lower rows show.
  SelectBlendMode(1, 200);
  EXPECT_EQ(DrawTextWithFont(-300, -8, line.c_str(), yellow, plain, 0, 0), 0);
  SelectBlendMode(0, 0);
  FlushVertexBatch();
  pixels = ReadBack();
  StopEngineSession();
  return pixels;
}

TEST(FontSettings, TextFromLeftOfTheScreenReachesTheRightEdgeOnBothBackEnds) {
  const std::vector<uint32_t> d3d = DrawLinesFromLeftOfScreen(1, "font-left-d3d");
  const std::vector<uint32_t> soft = DrawLinesFromLeftOfScreen(0, "font-left-soft");
  ASSERT_FALSE(soft.empty());
  ASSERT_EQ(d3d.size(), soft.size());
  const int32_t direct = RightmostLit(soft, 90, 130);
  EXPECT_GT(direct, kScreen - 20);
  for (const int32_t row : {10, 50}) {
    EXPECT_GE(RightmostLit(soft, row, row + 40), direct - 3) << "software, row " << row;
    EXPECT_GE(RightmostLit(d3d, row, row + 40), direct - 3) << "Direct3D, row " << row;
  }
  EXPECT_GE(RightmostLit(soft, 0, 9), direct - 3);
  // The blended rows agree pixel for pixel up to rounding.
  int32_t worst = 0;
  for (int32_t y = 0; y < 90; ++y)
    for (int32_t x = 0; x < kScreen; ++x) {
      const size_t i = static_cast<size_t>(y * kScreen + x);
      if (y >= 10 && y < 50) continue;  // anti-aliasing levels differ by the cache's alpha width
      for (int32_t shift = 0; shift < 24; shift += 8)
        worst = std::max(worst, std::abs(static_cast<int32_t>((d3d[i] >> shift) & 0xFF) -
                                         static_cast<int32_t>((soft[i] >> shift) & 0xFF)));
    }
  EXPECT_LE(worst, 2);
}

// Edge sizes below 1 are taken as 1: the cell has room for the glyph and its edge, and
// drawing and releasing the font corrupt nothing.
void NegativeEdgeCase(int32_t hardware, const char* caption) {
  SessionOptions options{caption};
  options.hardware = hardware;
  ASSERT_EQ(StartEngineSession(options), 0);
  Erase();
  const uint32_t yellow = MakeScreenColourCode(255, 230, 0), blue = MakeScreenColourCode(0, 40, 255);
  const int32_t reference = CreateFontToHandle(nullptr, 16, -1, FontTypeEdge, -1, 1, 0, -1, -1);
  ASSERT_GE(reference, 0);
  for (const int32_t edge : {-7, -2, 0}) {
    for (const uint32_t flags : {FontTypeEdge, FontTypeEdge | FontTypeAntiAlias}) {
      const auto type = static_cast<int32_t>(flags);
      const int32_t font = CreateFontToHandle(nullptr, 16, -1, type, -1, edge, 0, -1, -1);
      ASSERT_GE(font, 0) << edge;
      const FontRecord* f = FontRecordOfHandle(font);
      ASSERT_NE(f, nullptr);
      EXPECT_EQ(f->edgeSize, 1) << edge;
      EXPECT_EQ(f->cellSide, FontRecordOfHandle(reference)->cellSide) << edge;
      EXPECT_EQ(DrawTextWithFont(10, 10, "Lap 2/5 周回タイム ＡＢＣ 残り３周", yellow, font, blue, 0), 0);
      EXPECT_EQ(DrawTextWithFont(10, 60, "縦書き", yellow, font, blue, 1), 0);
      FlushVertexBatch();
      EXPECT_EQ(ReleaseFontHandle(font), 0);
    }
  }
  const std::vector<uint32_t> pixels = ReadBack();
  int32_t edgePixels = 0;
  for (const uint32_t p : pixels)
    if ((p & 0xFFFFFF) == 0x0028FF) ++edgePixels;
  EXPECT_GT(edgePixels, 100);
  StopEngineSession();
}

TEST(FontSettings, EdgeSizesBelowOneAreOneOnDirect3D) { NegativeEdgeCase(1, "font-edge-d3d"); }
TEST(FontSettings, EdgeSizesBelowOneAreOneOnSoftware) { NegativeEdgeCase(0, "font-edge-soft"); }

// Caches too large for the allocator are refused with the allocation-failure line and
// leave nothing behind; a font of ordinary size is made afterwards as usual.
TEST(FontSettings, HugeSizesAreRefusedWithTheAllocationLine) {
  for (const int32_t hardware : {0, 1}) {
    SessionOptions options{hardware ? "font-huge-d3d" : "font-huge-soft"};
    options.hardware = hardware;
    ASSERT_EQ(StartEngineSession(options), 0);
    const int32_t edged = CreateFontToHandle(nullptr, hardware ? 6000 : 12000, -1, FontTypeEdge, -1, 2, 0, -1, -1);
    EXPECT_EQ(edged, -1);
    const std::string log = quelt_test::ReadEngineLog();
    if (hardware) {
      EXPECT_NE(log.find("文字キャッシュ基本イメージ用のメモリの確保に失敗しました"), std::string::npos);
    } else {
      const std::string line = "フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle";
      EXPECT_NE(log.find(line), std::string::npos);
    }
    const int32_t ordinary = CreateFontToHandle(nullptr, 24, -1, -1, -1, -1, 0, -1, -1);
    EXPECT_GE(ordinary, 0);
    Erase();
    EXPECT_EQ(DrawTextWithFont(10, 10, "Go!", MakeScreenColourCode(255, 255, 255), ordinary, 0, 0), 0);
    ReleaseFontHandle(ordinary);
    StopEngineSession();
  }
}

}  // namespace
