// Fonts under Wine with the Japanese locale and the IPA faces: the default font on both
// back ends, edged and vertical text on both, handle limits and reuse, a cache smaller than
// the string, fonts made again after a device rebuild, and what is refused.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/core_state.h"
#include "core/entry/api_entry.h"
#include "core/entry/screen_console.h"
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

std::vector<uint32_t> ReadBack() { return quelt_test::ReadBackScreen(kScreen, kScreen); }

void Erase() {
  BackgroundColour = 0x102030;
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
}

// A session on one back end with its back screen erased; false when the engine did not start.
bool StartErasedSession(int32_t hardware, const char* caption) {
  SessionOptions options{caption};
  options.hardware = hardware;
  if (StartEngineSession(options) != 0) return false;
  Erase();
  return true;
}

struct Scene {
  std::vector<uint32_t> pixels;
  int32_t advance = -1;
  int32_t formattedSame = 0;
};

Scene DrawDefaultFontScene(int32_t hardware, const char* caption) {
  Scene s;
  if (!StartErasedSession(hardware, caption)) return s;
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
  // The default font and the on-screen console's font hold two slots from start-up.
  EXPECT_EQ(IsLiveFontHandle(ScreenConsole.font), 1);
  std::vector<int32_t> fonts;
  for (int32_t i = 0; i < 38; ++i) {
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

  // A memory-cache font ignores the extended form's scales.
  EXPECT_EQ(DrawTextThroughGlyphCache(0, 0, 0, 1, 2.0, 3.0, "AB", 0, nullptr, nullptr, 1, QueryDefaultFont(), 0, -1, 0,
                                      nullptr),
            DrawTextThroughGlyphCache(0, 0, 0, 0, 1.0, 1.0, "AB", 0, nullptr, nullptr, 1, QueryDefaultFont(), 0, -1, 0,
                                      nullptr));

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

// Edged text, vertical text (plain and edged), vertical text cut by the draw area, and white
// glyphs on black edges and the reverse.
std::vector<uint32_t> DrawEdgedAndVerticalScene(int32_t hardware, const char* caption) {
  std::vector<uint32_t> pixels;
  if (!StartErasedSession(hardware, caption)) return pixels;
  const uint32_t yellow = MakeScreenColourCode(255, 230, 0), blue = MakeScreenColourCode(0, 40, 255);
  const int32_t edged = CreateFontToHandle(nullptr, 16, -1, FontTypeEdge, -1, -1, 0, -1, -1);
  const int32_t thick = CreateFontToHandle(nullptr, 24, -1, -1, -1, 3, 0, -1, -1);
  EXPECT_EQ(DrawTextWithFont(10, 10, "Lap 2/5 周回タイム", yellow, edged, blue, 0), 0);
  EXPECT_EQ(DrawTextWithFont(10, 40, "残り３周 Go!", yellow, thick, blue, 0), 0);
  EXPECT_EQ(DrawTextWithFont(300, 100, "縦書きLap１", yellow, QueryDefaultFont(), 0, 1), 0);
  EXPECT_EQ(DrawTextWithFont(340, 100, "縦の縁取り", yellow, edged, blue, 1), 0);
  SetDrawClipRect(0, 0, kScreen, 180);
  EXPECT_EQ(DrawTextWithFont(400, 100, "切れる縦書き文字列", yellow, thick, blue, 1), 0);
  SetDrawClipRect(0, 0, kScreen, kScreen);
  // White glyphs on black edges: only the edge layers need the colour modulation, and the
  // whole string still goes to the device in one draw.
  const uint32_t white = MakeScreenColourCode(255, 255, 255), black = MakeScreenColourCode(0, 0, 0);
  FlushVertexBatch();
  const int64_t drawsBefore = VertexBatch.drawCalls;
  EXPECT_EQ(DrawTextWithFont(10, 200, "白い文字 Lap 3/5", white, thick, black, 0), 0);
  FlushVertexBatch();
  if (hardware) {
    EXPECT_EQ(VertexBatch.drawCalls - drawsBefore, 1);
  }
  EXPECT_EQ(DrawTextWithFont(250, 240, "白縦", white, edged, black, 1), 0);
  // And the colours the other way round.
  EXPECT_EQ(DrawTextWithFont(10, 240, "黒い文字 Go!", black, edged, white, 0), 0);
  EXPECT_EQ(HoldColourModulation, 0);
  FlushVertexBatch();
  pixels = ReadBack();
  StopEngineSession();
  return pixels;
}

std::vector<uint32_t> DrawAntiAliasedScene(int32_t hardware, const char* caption) {
  std::vector<uint32_t> pixels;
  if (!StartErasedSession(hardware, caption)) return pixels;
  const uint32_t yellow = MakeScreenColourCode(255, 230, 0), blue = MakeScreenColourCode(0, 40, 255);
  const int32_t smooth = CreateFontToHandle(nullptr, 24, -1, FontTypeAntiAlias, -1, -1, 0, -1, -1);
  const int32_t both = CreateFontToHandle(nullptr, 24, -1, FontTypeAntiAlias | FontTypeEdge, -1, 2, 0, -1, -1);
  EXPECT_EQ(DrawTextWithFont(10, 10, "Lap 2/5 周回タイム", yellow, smooth, blue, 0), 0);
  EXPECT_EQ(DrawTextWithFont(10, 60, "残り３周 Go!", yellow, both, blue, 0), 0);
  FlushVertexBatch();
  pixels = ReadBack();
  StopEngineSession();
  return pixels;
}

// Anti-aliased glyphs blend by their level on both back ends: the texture path through the
// 16-bit alpha of the cache graph, the software path through the alpha work image.
TEST(FontDraw, AntiAliasedTextBlendsAlikeOnBothBackEnds) {
  const std::vector<uint32_t> d3d = DrawAntiAliasedScene(1, "font-aa-d3d");
  const std::vector<uint32_t> soft = DrawAntiAliasedScene(0, "font-aa-soft");
  ASSERT_FALSE(soft.empty());
  ASSERT_EQ(d3d.size(), soft.size());
  // Plain anti-aliasing: the same coverage, up to the 4-bit alpha of the cache graph. The
  // edged form composes edge and glyph differently on the two paths: both draw both colours.
  int32_t worst = 0, partial = 0, full = 0, text = 0, edge = 0;
  for (int32_t y = 0; y < kScreen; ++y)
    for (int32_t x = 0; x < kScreen; ++x) {
      const size_t i = static_cast<size_t>(y * kScreen + x);
      const uint32_t c = soft[i] & 0xFFFFFF;
      if (y < 50) {
        for (int32_t shift = 0; shift < 24; shift += 8)
          worst = std::max(worst, std::abs(static_cast<int32_t>((d3d[i] >> shift) & 0xFF) -
                                           static_cast<int32_t>((soft[i] >> shift) & 0xFF)));
        if (c == 0xFFE600) ++full;
        else if (c != 0x102030) ++partial;
      } else {
        for (const uint32_t p : {c, d3d[i] & 0xFFFFFF}) {
          if (p == 0xFFE600) ++text;
          if (p == 0x0028FF) ++edge;
        }
      }
    }
  EXPECT_GT(full, 200);
  EXPECT_GT(partial, 200);
  EXPECT_LE(worst, 16);
  EXPECT_GT(text, 200);
  EXPECT_GT(edge, 200);
}

// Ink that reaches outside the pen advance: an italic overhang, negative char spacing, a
// string whose advance is 0 or less, in anti-aliased and blended text (the software
// renderer's work-image road). A char spacing that overflows the pen measures saturated.
struct OverhangScene {
  std::vector<uint32_t> pixels;
  int32_t wide = 0, narrow = 0;
};

OverhangScene DrawOverhangScene(int32_t hardware, const char* caption) {
  OverhangScene s;
  if (!StartErasedSession(hardware, caption)) return s;
  const uint32_t yellow = MakeScreenColourCode(255, 230, 0), blue = MakeScreenColourCode(0, 40, 255);
  const int32_t italic = CreateFontToHandle(nullptr, 24, -1, FontTypeAntiAlias, -1, -1, 1, -1, -1);
  const int32_t tight = CreateFontToHandle(nullptr, 24, -1, FontTypeAntiAlias | FontTypeEdge, -1, 2, 0, -1, -1);
  const int32_t backwards = CreateFontToHandle(nullptr, 24, -1, FontTypeAntiAlias, -1, -1, 0, -1, -1);
  const int32_t plainItalic = CreateFontToHandle(nullptr, 24, -1, 0, -1, -1, 1, -1, -1);
  SetFontCharSpacing(-10, tight);
  SetFontCharSpacing(-30, backwards);
  EXPECT_EQ(DrawTextWithFont(10, 10, "ABCDEFGH", yellow, italic, 0, 0), 0);
  EXPECT_EQ(DrawTextWithFont(10, 60, "ABCDEFGH", yellow, tight, blue, 0), 0);
  EXPECT_EQ(DrawTextWithFont(500, 110, "ABCDEFGH", yellow, backwards, 0, 0), 0);
  EXPECT_EQ(DrawTextWithFont(560, 200, "ABCDEFGH", yellow, tight, blue, 1), 0);
  SelectBlendMode(1, 160);
  EXPECT_EQ(DrawTextWithFont(10, 160, "ABCDEFGH", yellow, plainItalic, 0, 0), 0);
  SelectBlendMode(0, 255);
  SetFontCharSpacing(0x7FFFFFFF, italic);
  EXPECT_EQ(DrawTextWithFont(10, 250, "WWWW", yellow, italic, 0, 0), 0);
  s.wide = DrawTextThroughGlyphCache(0, 0, 0, 0, 1.0, 1.0, "WWWW", 0, nullptr, nullptr, 1, italic, 0, -1, 0, nullptr);
  SetFontCharSpacing(-0x7FFFFFFF - 1, italic);
  s.narrow = DrawTextThroughGlyphCache(0, 0, 0, 0, 1.0, 1.0, "WWWW", 0, nullptr, nullptr, 1, italic, 0, -1, 0, nullptr);
  FlushVertexBatch();
  s.pixels = ReadBack();
  StopEngineSession();
  return s;
}

TEST(FontDraw, InkOutsideThePenAdvanceIsDrawnOnBothBackEnds) {
  const OverhangScene d3d = DrawOverhangScene(1, "font-overhang-d3d");
  const OverhangScene soft = DrawOverhangScene(0, "font-overhang-soft");
  ASSERT_FALSE(soft.pixels.empty());
  ASSERT_EQ(d3d.pixels.size(), soft.pixels.size());
  // Lit pixels per string, and pixels further apart than the cache graph's 4-bit alpha
  // (the edged strings, 1 and 4, compose edge and glyph differently on the two paths).
  constexpr std::array<std::array<int32_t, 4>, 6> kStrings{{{0, 0, 540, 50},
                                                            {0, 50, 540, 100},
                                                            {0, 100, 540, 150},
                                                            {0, 150, 540, 240},
                                                            {540, 150, 600, 300},
                                                            {0, 240, 540, 300}}};
  constexpr std::array<bool, 6> kEdged{false, true, false, false, true, false};
  int32_t apart = 0;
  for (size_t n = 0; n < kStrings.size(); ++n) {
    const auto& r = kStrings[n];
    int32_t litSoft = 0, litD3d = 0;
    for (int32_t y = r[1]; y < r[3]; ++y)
      for (int32_t x = r[0]; x < r[2]; ++x) {
        const size_t i = static_cast<size_t>(y * kScreen + x);
        litSoft += (soft.pixels[i] & 0xFFFFFF) != 0x102030;
        litD3d += (d3d.pixels[i] & 0xFFFFFF) != 0x102030;
        for (int32_t shift = 0; shift < 24 && !kEdged[n]; shift += 8)
          if (std::abs(static_cast<int32_t>((d3d.pixels[i] >> shift) & 0xFF) -
                       static_cast<int32_t>((soft.pixels[i] >> shift) & 0xFF)) > 16) {
            ++apart;
            break;
          }
      }
    EXPECT_GT(litSoft, 100) << "string " << n;
    EXPECT_NEAR(litSoft, litD3d, litD3d / 50) << "string " << n;
  }
  EXPECT_EQ(apart, 0);
  EXPECT_EQ(soft.wide, 0x7FFFFFFF);
  EXPECT_EQ(soft.narrow, -0x7FFFFFFF - 1);
  EXPECT_EQ(d3d.wide, soft.wide);
  EXPECT_EQ(d3d.narrow, soft.narrow);
}

TEST(FontDraw, EdgedAndVerticalTextGiveIdenticalPixelsOnBothBackEnds) {
  const std::vector<uint32_t> d3d = DrawEdgedAndVerticalScene(1, "font-vertical-d3d");
  const std::vector<uint32_t> soft = DrawEdgedAndVerticalScene(0, "font-vertical-soft");
  ASSERT_FALSE(soft.empty());
  ASSERT_EQ(d3d.size(), soft.size());
  int32_t differ = 0, text = 0, edge = 0, below = 0, white = 0, black = 0;
  for (int32_t y = 0; y < kScreen; ++y)
    for (int32_t x = 0; x < kScreen; ++x) {
      const size_t i = static_cast<size_t>(y * kScreen + x);
      if (d3d[i] != soft[i]) ++differ;
      const uint32_t c = soft[i] & 0xFFFFFF;
      if (c == 0xFFE600) ++text;
      if (c == 0x0028FF) ++edge;
      if (c == 0xFFFFFF) ++white;
      if (c == 0) ++black;
      if (x >= 400 && y >= 180 && c != 0x102030) ++below;
    }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(text, 500);
  EXPECT_GT(edge, 500);
  EXPECT_GT(white, 500);
  EXPECT_GT(black, 500);
  EXPECT_EQ(below, 0);  // the cut vertical string stops at the draw area
  // The vertical string runs down, not across: its column holds text well below its start.
  int32_t deep = 0;
  for (int32_t y = 160; y < 260; ++y)
    for (int32_t x = 300; x < 320; ++x)
      if ((soft[static_cast<size_t>(y * kScreen + x)] & 0xFFFFFF) == 0xFFE600) ++deep;
  EXPECT_GT(deep, 20);
}

struct Box {
  int32_t x1 = 1 << 20, y1 = 1 << 20, x2 = -1, y2 = -1;
  int32_t Width() const { return x2 - x1 + 1; }
  int32_t Height() const { return y2 - y1 + 1; }
};

// The bounding box of pixels of one colour within a region.
Box LitBox(const std::vector<uint32_t>& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb) {
  Box b;
  for (int32_t y = y1; y < y2; ++y)
    for (int32_t x = x1; x < x2; ++x)
      if ((p[static_cast<size_t>(y * kScreen + x)] & 0xFFFFFF) == rgb) {
        b.x1 = std::min(b.x1, x);
        b.y1 = std::min(b.y1, y);
        b.x2 = std::max(b.x2, x);
        b.y2 = std::max(b.y2, y);
      }
  return b;
}

// The extended form scales texture-cache glyphs, across and down, in both writing
// directions; a memory-cache font ignores the scales.
TEST(FontDraw, ExtendedFormScalesTextureGlyphs) {
  SessionOptions options{"font-extended"};
  options.hardware = 1;
  ASSERT_EQ(StartEngineSession(options), 0);
  Erase();
  const int32_t font = QueryDefaultFont();
  const uint32_t white = MakeScreenColourCode(255, 255, 255);
  const IntRect clip = DrawSettings.ClipRect;
  const char* const text = "周W";
  const int32_t plain = DrawTextThroughGlyphCache(1, 10, 10, 0, 1.0, 1.0, text, white, nullptr, &clip, 1, font, 0, -1,
                                                  0, nullptr);
  const int32_t scaled = DrawTextThroughGlyphCache(1, 10, 100, 1, 2.0, 3.0, text, white, nullptr, &clip, 1, font, 0,
                                                   -1, 0, nullptr);
  EXPECT_EQ(scaled, 2 * plain);
  DrawTextThroughGlyphCache(1, 300, 10, 0, 1.0, 1.0, text, white, nullptr, &clip, 1, font, 0, -1, 1, nullptr);
  const int32_t down = DrawTextThroughGlyphCache(1, 400, 10, 1, 2.0, 3.0, text, white, nullptr, &clip, 1, font, 0, -1,
                                                 1, nullptr);
  EXPECT_EQ(down, 3 * plain);
  FlushVertexBatch();
  const std::vector<uint32_t> p = ReadBack();
  ASSERT_FALSE(p.empty());
  const Box a = LitBox(p, 0, 0, 200, 90, 0xFFFFFF), b = LitBox(p, 0, 90, 280, 300, 0xFFFFFF);
  const Box c = LitBox(p, 290, 0, 390, 300, 0xFFFFFF), d = LitBox(p, 390, 0, 600, 300, 0xFFFFFF);
  ASSERT_GT(a.Width(), 10);
  EXPECT_NEAR(b.Width(), 2 * a.Width(), 3);
  EXPECT_NEAR(b.Height(), 3 * a.Height(), 4);
  ASSERT_GT(c.Height(), 10);
  EXPECT_NEAR(d.Width(), 2 * c.Width(), 3);
  EXPECT_NEAR(d.Height(), 3 * c.Height(), 4);
  // Upright and vertical boxes are the same glyphs turned.
  EXPECT_EQ(a.Width(), c.Height());
  StopEngineSession();
}

// After a device rebuild every font is made again under its old handle, with its settings
// and its release watcher, and draws as before.
void RecreateCase(int32_t hardware, const char* caption) {
  SessionOptions options{caption};
  options.hardware = hardware;
  ASSERT_EQ(StartEngineSession(options), 0);
  const uint32_t white = MakeScreenColourCode(255, 255, 255), red = MakeScreenColourCode(200, 0, 0);
  const int32_t plain = CreateFontToHandle(nullptr, 20, -1, -1, -1, -1, 0, -1, -1);
  const int32_t edged = CreateFontToHandle(nullptr, 16, 4, -1, -1, 2, 0, -1, -1);
  ASSERT_GE(plain, 0);
  ASSERT_GE(edged, 0);
  SetFontCharSpacing(3, edged);
  int32_t watched = 7;
  WatchFontRelease(edged, &watched);
  const int32_t defaultFont = QueryDefaultFont();
  auto draw = [&] {
    Erase();
    EXPECT_EQ(DrawTextWithFont(10, 10, "周回 Lap 12", white, plain, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(10, 60, "残り３周", white, edged, red, 0), 0);
    EXPECT_EQ(DrawTextDefaultFont(10, 100, "default", white, 0), 0);
    FlushVertexBatch();
    return ReadBack();
  };
  const std::vector<uint32_t> before = draw();
  EXPECT_EQ(RecreateAllFonts(), 0);
  EXPECT_EQ(IsLiveFontHandle(plain), 1);
  EXPECT_EQ(IsLiveFontHandle(edged), 1);
  EXPECT_EQ(QueryDefaultFont(), defaultFont);
  const FontRecord* e = FontRecordOfHandle(edged);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->charSpacing, 3);
  EXPECT_EQ(e->thickness, 4);
  EXPECT_EQ(e->edgeSize, 2);
  EXPECT_EQ(e->typeFlags, FontTypeEdge);
  EXPECT_EQ(e->nextCell, 0);  // an empty cache: every character renders again
  EXPECT_EQ(e->textureCache, hardware);
  EXPECT_EQ(watched, 0);
  const std::vector<uint32_t> after = draw();
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after, before);
  ReleaseFontHandle(edged);
  EXPECT_EQ(watched, 1);
  StopEngineSession();
}

TEST(FontDraw, FontsMadeAgainKeepTheirHandlesOnDirect3D) { RecreateCase(1, "font-recreate-d3d"); }
TEST(FontDraw, FontsMadeAgainKeepTheirHandlesOnSoftware) { RecreateCase(0, "font-recreate-soft"); }

TEST(FontDraw, MemoryCacheFontOnDirect3DIsRefused) {
  SessionOptions options{"font-memory-on-d3d"};
  options.hardware = 1;
  ASSERT_EQ(StartEngineSession(options), 0);
  // A font whose texture cache could not be made keeps a memory cache; made here by
  // creating it while the hardware flag reads 0.
  ScreenState.hardware = 0;
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, -1, -1, -1, 0, -1, -1);
  ScreenState.hardware = 1;
  ASSERT_NE(FontRecordOfHandle(font), nullptr);
  ASSERT_EQ(FontRecordOfHandle(font)->textureCache, 0);
  Erase();
  const std::vector<uint32_t> before = ReadBack();
  EXPECT_EQ(DrawTextWithFont(10, 10, "メモリ", 0xFFFFFF, font, 0, 0), -1);
  EXPECT_NE(quelt_test::ReadEngineLog().find("Direct3D の画面にはメモリキャッシュのフォントを描画できません"),
            std::string::npos);
  EXPECT_EQ(ReadBack(), before);
  StopEngineSession();
}

// A character that GDI reports with an empty bitmap but that is no space is cached as a
// blank cell with its advance, on both cache forms.
void EmptyBitmapCase(int32_t hardware, const char* caption) {
  SessionOptions options{caption};
  options.hardware = hardware;
  ASSERT_EQ(StartEngineSession(options), 0);
  const int32_t font = QueryDefaultFont();
  FontRecord* f = FontRecordOfHandle(font);
  ASSERT_NE(f, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(f->gdiFont));
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  // Single bytes other than the space and lead bytes, then the symbol rows of the
  // two-byte set other than the full-width space.
  std::string empty;
  auto isEmpty = [&](UINT code) {
    GLYPHMETRICS gm{};
    return GetGlyphOutlineA(dc, code, GGO_BITMAP, &gm, 0, nullptr, &identity) == 0;
  };
  for (UINT code = 1; code < 0x100 && empty.empty(); ++code) {
    const bool lead = (code >= 0x81 && code <= 0x9F) || (code >= 0xE0 && code <= 0xFC);
    if (code != 0x20 && !lead && isEmpty(code)) empty = std::string(1, static_cast<char>(code));
  }
  for (UINT code = 0x8141; code < 0x84BF && empty.empty(); ++code)
    if ((code & 0xFF) >= 0x40 && (code & 0xFF) != 0x7F && isEmpty(code))
      empty = std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
  SelectObject(dc, old);
  DeleteDC(dc);
  if (empty.empty()) GTEST_SKIP() << "no character with an empty bitmap in this font";
  const std::string text = "a" + empty + "b";
  Erase();
  EXPECT_EQ(DrawTextWithFont(10, 10, text.c_str(), 0xFFFFFF, font, 0, 0), 0);
  const uint16_t code = static_cast<uint16_t>(static_cast<uint8_t>(empty[0]) |
                                              (empty.size() > 1 ? static_cast<uint8_t>(empty[1]) << 8 : 0));
  std::printf("character with an empty bitmap: %02X%s\n", static_cast<uint8_t>(empty[0]),
              empty.size() > 1 ? " (two bytes)" : "");
  const GlyphCell* cell = f->charMap[code].cell;
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->boxWidth, 0);
  EXPECT_EQ(cell->boxHeight, 0);
  StopEngineSession();
}

TEST(FontDraw, EmptyGlyphBitmapIsBlankOnDirect3D) { EmptyBitmapCase(1, "font-empty-d3d"); }
TEST(FontDraw, EmptyGlyphBitmapIsBlankOnSoftware) { EmptyBitmapCase(0, "font-empty-soft"); }

}  // namespace
