// Fonts under Wine with the Japanese locale and the IPA faces: the default font on both
// back ends, handle limits and reuse, and a cache smaller than the string.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/api_entry.h"
#include "core/core_state.h"
#include "font/font_table.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/mask.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;
using quelt_test::SessionOptions;
using quelt_test::StartEngineSession;
using quelt_test::StopEngineSession;

constexpr int32_t kScreen = 600;
const char* const kLine = "Tarn Vale 12:34 ラップ 周回 ＡＢ 残り３周";

std::vector<uint32_t> ReadBack() {
  std::vector<uint32_t> pixels(static_cast<size_t>(kScreen) * kScreen, 0);
  if (ReadBackDrawScreen(pixels.data(), kScreen, kScreen) < 0) pixels.clear();
  return pixels;
}

void Erase() {
  BackgroundColour = 0x102030;
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
}

struct Scene {
  std::vector<uint32_t> pixels;
  int32_t advance = -1;
  int32_t formattedSame = 0;
};

Scene DrawDefaultFontScene(int32_t hardware, const char* caption) {
  Scene s;
  SessionOptions options{caption};
  options.hardware = hardware;
  if (StartEngineSession(options) != 0) return s;
  Erase();
  const uint32_t yellow = MakeScreenColourCode(255, 230, 0);
  EXPECT_EQ(ApiDrawTextDefaultFont(10, 20, kLine, yellow, 0), 0);
  ApiDrawTextFormatted(10, 60, MakeScreenColourCode(255, 255, 255), "LAP %d/%d %s", 2, 5, "周回");
  DrawTextDefaultFont(10, 100, "LAP 2/5 周回", MakeScreenColourCode(255, 255, 255), 0);
  s.advance = DrawTextThroughGlyphCache(0, 0, 0, 0, 1.0, 1.0, kLine, yellow, nullptr, nullptr, 1,
                                        QueryDefaultFont(), 0, -1, 0, nullptr);
  FlushVertexBatch();
  s.pixels = ReadBack();
  if (!s.pixels.empty()) {
    s.formattedSame = 1;
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 300; ++x)
        if (s.pixels[static_cast<size_t>((60 + y) * kScreen + x)] != s.pixels[static_cast<size_t>((100 + y) * kScreen + x)])
          s.formattedSame = 0;
  }
  StopEngineSession();
  return s;
}

TEST(FontDraw, DefaultFontGivesIdenticalPixelsOnBothBackEnds) {
  const Scene d3d = DrawDefaultFontScene(1, "font-d3d");
  const Scene soft = DrawDefaultFontScene(0, "font-soft");
  ASSERT_EQ(d3d.pixels.size(), soft.pixels.size());
  ASSERT_FALSE(d3d.pixels.empty());
  int32_t lit = 0, differ = 0, right = 0;
  for (int32_t y = 0; y < kScreen; ++y)
    for (int32_t x = 0; x < kScreen; ++x) {
      const size_t i = static_cast<size_t>(y * kScreen + x);
      if (soft.pixels[i] == 0xFFE600 && y < 45) {
        ++lit;
        right = std::max(right, x);
      }
      if (d3d.pixels[i] != soft.pixels[i]) ++differ;
    }
  EXPECT_GT(lit, 200);
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(d3d.advance, soft.advance);
  EXPECT_LE(right, 10 + soft.advance);
  EXPECT_GT(right, 10 + soft.advance - 30);
  EXPECT_EQ(d3d.formattedSame, 1);
  EXPECT_EQ(soft.formattedSame, 1);
}

// The default font's line unmasked, then masked with the rows from y 28 down protected.
struct MaskedText {
  std::vector<uint32_t> plain, masked;
};

MaskedText DrawMaskedText(int32_t hardware, const char* caption) {
  MaskedText m;
  SessionOptions options{caption};
  options.hardware = hardware;
  if (StartEngineSession(options) != 0) return m;
  const uint32_t yellow = MakeScreenColourCode(255, 230, 0);
  Erase();
  DrawTextDefaultFont(10, 20, kLine, yellow, 0);
  FlushVertexBatch();
  m.plain = ReadBack();
  Erase();
  if (CreateMaskScreen(1) == 0 && MaskState.map != nullptr) {
    for (int32_t y = 28; y < MaskState.mapHeight; ++y)
      for (int32_t x = 0; x < MaskState.mapWidth; ++x) MaskState.map[static_cast<size_t>(y) * MaskState.mapPitch + x] = 1;
    SetMaskDrawFlag(1);
    DrawTextDefaultFont(10, 20, kLine, yellow, 0);
    SetMaskDrawFlag(0);
    FlushVertexBatch();
    m.masked = ReadBack();
    EndMasks();
  }
  StopEngineSession();
  return m;
}

TEST(FontDraw, MaskedTextReachesTheScreenOnlyWhereTheMaskIsOpen) {
  const MaskedText d3d = DrawMaskedText(1, "font-mask-d3d");
  const MaskedText soft = DrawMaskedText(0, "font-mask-soft");
  for (const MaskedText* m : {&d3d, &soft}) {
    ASSERT_EQ(m->plain.size(), static_cast<size_t>(kScreen) * kScreen);
    ASSERT_EQ(m->masked.size(), m->plain.size());
    int32_t litAbove = 0, litBelow = 0, wrong = 0;
    for (int32_t y = 0; y < 60; ++y)
      for (int32_t x = 0; x < kScreen; ++x) {
        const size_t i = static_cast<size_t>(y * kScreen + x);
        const bool lit = (m->plain[i] & 0xFFFFFF) != 0x102030;
        (y < 28 ? litAbove : litBelow) += lit ? 1 : 0;
        const bool bad = (m->masked[i] & 0xFFFFFF) != (y < 28 ? (m->plain[i] & 0xFFFFFF) : 0x102030u);
        wrong += bad ? 1 : 0;
      }
    EXPECT_GT(litAbove, 100);
    EXPECT_GT(litBelow, 20);
    EXPECT_EQ(wrong, 0) << (m == &d3d ? "Direct3D" : "software");
  }
  EXPECT_EQ(d3d.masked, soft.masked);
}

TEST(FontDraw, LimitsReuseAndNothingToDraw) {
  SessionOptions options{"font-limits"};
  options.hardware = 0;
  ASSERT_EQ(StartEngineSession(options), 0);
  ASSERT_EQ(IsLiveFontHandle(QueryDefaultFont()), 1);
  std::vector<int32_t> fonts;
  for (int32_t i = 0; i < 39; ++i) {
    fonts.push_back(CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0, -1, -1));
    ASSERT_GE(fonts.back(), 0);
  }
  EXPECT_EQ(CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0, -1, -1), -1);
  EXPECT_NE(quelt_test::ReadEngineLog().find("作成できるフォントハンドル数 40 の限界を超えました"), std::string::npos);
  const int32_t freed = fonts[5];
  EXPECT_EQ(ReleaseFontHandle(freed), 0);
  EXPECT_EQ(ReleaseFontHandle(freed), -1);
  const int32_t again = CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0, -1, -1);
  EXPECT_EQ(again & 0xFFFF, freed & 0xFFFF);
  EXPECT_NE(again, freed);
  EXPECT_EQ(QueryFontSize(freed), -1);
  // Edge size 3 alone gives the edge bit; edge size 1 does not.
  EXPECT_EQ(ReleaseFontHandle(again), 0);
  const int32_t edged = CreateFontToHandle(nullptr, 16, -1, 0, -1, 3, 0, -1, -1);
  ASSERT_NE(FontRecordOfHandle(edged), nullptr);
  EXPECT_EQ(FontRecordOfHandle(edged)->typeFlags, FontTypeEdge);
  int32_t watched = 5;
  EXPECT_EQ(WatchFontRelease(edged, &watched), 0);
  EXPECT_EQ(watched, 0);
  ReleaseFontHandle(edged);
  EXPECT_EQ(watched, 1);

  Erase();
  const std::vector<uint32_t> before = ReadBack();
  EXPECT_EQ(DrawTextWithFont(0, 0, "", 0xFFFFFF, QueryDefaultFont(), 0, 0), 0);
  EXPECT_EQ(DrawTextWithFont(0, 0, "x", 0xFFFFFF, 0x20000000 | 39, 0, 0), -1);
  EXPECT_NE(quelt_test::ReadEngineLog().find("フォントハンドル値が異常です"), std::string::npos);
  SetDrawClipRect(5, 5, 5, 100);
  EXPECT_EQ(DrawTextDefaultFont(0, 0, "empty clip", 0xFFFFFF, 0), 0);
  SetDrawClipRect(0, 0, kScreen, kScreen);
  DrawSettings.DrawSettingsLock = 1;
  EXPECT_EQ(DrawTextDefaultFont(0, 0, "locked", 0xFFFFFF, 0), 0);
  DrawSettings.DrawSettingsLock = 0;
  EXPECT_EQ(ReadBack(), before);

  // The default font survives a screen-mode change with its size.
  ChooseDefaultFontMetrics(nullptr, 20, -1);
  ChangeScreenMode(-1, -1, 16, 1, -1);
  EXPECT_EQ(QueryFontSize(QueryDefaultFont()), 20);
  StopEngineSession();
}

// A font whose cache holds a few cells draws a long string of distinct characters exactly
// as a font with room for all of them.
void EvictionCase(int32_t hardware, const char* caption) {
  SessionOptions options{caption};
  options.hardware = hardware;
  ASSERT_EQ(StartEngineSession(options), 0);
  std::string text;
  for (int32_t i = 0; i < 2025; ++i) {
    const int32_t k = i % 60;
    text += static_cast<char>(0x88 + k / 30);
    text += static_cast<char>(0x9F + k % 30);
  }
  const int32_t roomy = CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0, -1, -1);
  FontTable.glyphCellSetting = 5;
  const int32_t small = CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0, -1, -1);
  FontTable.glyphCellSetting = 0;
  ASSERT_GE(small, 0);
  EXPECT_LT(FontRecordOfHandle(small)->cellCount, 60);
  Erase();
  // 2025 characters in rows of 30: the line wraps by drawing pieces.
  for (int32_t row = 0; row < 8; ++row) {
    const std::string piece = text.substr(static_cast<size_t>(row) * 60, 60);
    EXPECT_EQ(DrawTextWithFont(0, row * 18, piece.c_str(), 0xFFFFFF, roomy, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(0, 300 + row * 18, piece.c_str(), 0xFFFFFF, small, 0, 0), 0);
  }
  EXPECT_GT(DrawTextThroughGlyphCache(0, 0, 0, 0, 1.0, 1.0, text.c_str(), 0, nullptr, nullptr, 1, small, 0, -1, 0,
                                      nullptr),
            0);
  FlushVertexBatch();
  const std::vector<uint32_t> p = ReadBack();
  ASSERT_FALSE(p.empty());
  int32_t differ = 0, lit = 0;
  for (int32_t y = 0; y < 8 * 18; ++y)
    for (int32_t x = 0; x < kScreen; ++x) {
      const uint32_t a = p[static_cast<size_t>(y * kScreen + x)], b = p[static_cast<size_t>((y + 300) * kScreen + x)];
      if (a != b) ++differ;
      if ((a & 0xFFFFFF) == 0xFFFFFF) ++lit;
    }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(lit, 1000);
  StopEngineSession();
}

TEST(FontDraw, SmallCacheEvictsAndRedrawsOnDirect3D) { EvictionCase(1, "font-evict-d3d"); }
TEST(FontDraw, SmallCacheEvictsAndRedrawsOnSoftware) { EvictionCase(0, "font-evict-soft"); }

}  // namespace
