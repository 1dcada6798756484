// The on-screen console under Wine: its lines, the log echo, and its text drawn over a
// presented frame on both back ends; the repaint from a saved screen.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/core_state.h"
#include "core/entry/saved_screen.h"
#include "core/entry/screen_console.h"
#include "core/log.h"
#include "font/font_table.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace quelt {
namespace {

using quelt_test::SessionOptions;

std::string Line(int32_t i) {
  const auto& line = ScreenConsole.lines[static_cast<size_t>(i)];
  return std::string(line.data(), strnlen(line.data(), line.size()));
}

struct Frame {
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  int32_t blendMode = -1, blendParam = -1;
  uint32_t bright = 0;
};

// 50 log lines echoed into the console of a 600 x 600 screen, which shows 37 of them,
// presented over a frame erased to dark blue with a half blend and a dim brightness set.
Frame PresentLogOverFrame(int32_t hardware, const char* caption) {
  Frame f;
  SessionOptions options{caption};
  options.hardware = hardware;
  if (quelt_test::StartEngineSession(options) != 0) return f;
  EXPECT_EQ(ScreenConsole.started, 1);
  EXPECT_EQ(ScreenConsoleHasText, 0);
  SetScreenConsoleLogEcho(1);
  for (int32_t i = 0; i < 50; ++i) WriteLogFormat("console line %d", i);
  SetScreenConsoleLogEcho(0);
  WriteLog("not echoed\n");
  EXPECT_EQ(ScreenConsoleHasText, 1);
  // The newest line sits at the bottom of what the screen shows, an empty line below it.
  EXPECT_EQ(Line(0), "console line 14");
  EXPECT_EQ(Line(35), "console line 49");
  EXPECT_EQ(Line(36), "");
  SelectBlendMode(1, 128);
  SetBrightColour(0x808080);
  f.pixels = quelt_test::ErasePresentAndReadBack(0x000040, &f.width, &f.height);
  f.blendMode = DrawSettings.BlendMode;
  f.blendParam = DrawSettings.BlendParam;
  f.bright = DrawSettings.BrightColour;
  SelectBlendMode(0, 0);
  SetBrightColour(0xFFFFFF);
  quelt_test::StopEngineSession();
  EXPECT_EQ(ScreenConsole.started, 0);
  return f;
}

void ExpectConsoleOverFrame(const Frame& f) {
  ASSERT_EQ(f.width, 600);
  ASSERT_FALSE(f.pixels.empty());
  // The program's settings come back after the console's draw.
  EXPECT_EQ(f.blendMode, 1);
  EXPECT_EQ(f.blendParam, 128);
  EXPECT_EQ(f.bright, 0x808080u);
  int32_t white_top = 0, white_bottom_line = 0, stray = 0, background = 0;
  for (int32_t y = 0; y < f.height; ++y)
    for (int32_t x = 0; x < f.width; ++x) {
      const uint32_t p = f.pixels[static_cast<size_t>(y * f.width + x)] & 0xFFFFFF;
      if (p == 0xFFFFFF && y < 16) ++white_top;
      if (p == 0xFFFFFF && y >= 35 * 16 && y < 36 * 16) ++white_bottom_line;
      if (p != 0x000040 && (y >= 36 * 16 || x >= 300)) ++stray;
      if (p == 0x000040) ++background;
    }
  // Unblended full-white text on the first and the last shown line, the frame elsewhere.
  EXPECT_GT(white_top, 100);
  EXPECT_GT(white_bottom_line, 100);
  EXPECT_EQ(stray, 0);
  EXPECT_GT(background, f.width * f.height / 2);
}

TEST(ScreenConsole, ShowsTheLastLogLinesOverAPresentedFrameOnDirect3D) {
  ExpectConsoleOverFrame(PresentLogOverFrame(1, "console-d3d"));
}

TEST(ScreenConsole, ShowsTheLastLogLinesOverAPresentedFrameOnSoftware) {
  ExpectConsoleOverFrame(PresentLogOverFrame(0, "console-soft"));
}

TEST(ScreenConsole, LinesKeepTheirLastByteFreeAndNeverHalfACharacter) {
  SessionOptions options{"console-lines"};
  options.hardware = 0;
  ASSERT_EQ(quelt_test::StartEngineSession(options), 0);
  AppendScreenConsoleText(std::string(300, 'x').c_str());
  EXPECT_EQ(Line(0), std::string(254, 'x'));
  EXPECT_EQ(ScreenConsole.lines[0][254], '\0');
  AppendScreenConsoleText("\n");
  // 127 two-byte characters fill 254 bytes; "a" + 127 of them leaves the last one out.
  std::string wide = "a";
  for (int32_t i = 0; i < 127; ++i) wide += "表";
  AppendScreenConsoleText(wide.c_str());
  EXPECT_EQ(Line(1), wide.substr(0, 1 + 126 * 2));
  AppendScreenConsoleText("\tend\r\n");
  // The console draws a full line without reading past it.
  EXPECT_EQ(DrawScreenConsole(), 0);
  quelt_test::StopEngineSession();
  AppendScreenConsoleText("after the end");
  EXPECT_EQ(ScreenConsoleHasText, 0);
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

// The console's font exists from start-up: upright, 16 pixels, thickness 4. A program that
// then takes every other font slot still gets console text, and presents do not keep
// trying (and failing) to make the font.
TEST(ScreenConsole, FontIsMadeUprightAtStartUp) {
  SessionOptions options{"console-font"};
  options.hardware = 0;
  ASSERT_EQ(quelt_test::StartEngineSession(options), 0);
  ASSERT_EQ(IsLiveFontHandle(ScreenConsole.font), 1);
  EXPECT_EQ(ScreenConsole.fontLost, 0);
  const FontRecord* f = FontRecordOfHandle(ScreenConsole.font);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->italic, 0);
  EXPECT_EQ(f->size, 16);
  EXPECT_EQ(f->thickness, 4);
  EXPECT_EQ(f->typeFlags, 0u);
  std::vector<int32_t> fonts;
  for (int32_t font = 0; (font = CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0, -1, -1)) >= 0;)
    fonts.push_back(font);
  const std::string limit = "作成できるフォントハンドル数 40 の限界を超えました";
  const size_t before = CountOf(quelt_test::ReadEngineLog(), limit);
  EXPECT_EQ(before, 1u);
  AppendScreenConsoleText("console text\n");
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  for (int32_t i = 0; i < 3; ++i) pixels = quelt_test::ErasePresentAndReadBack(0x000040, &width, &height);
  ASSERT_FALSE(pixels.empty());
  int32_t white = 0;
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < width; ++x) white += (pixels[static_cast<size_t>(y * width + x)] & 0xFFFFFF) == 0xFFFFFF;
  EXPECT_GT(white, 50);
  EXPECT_EQ(CountOf(quelt_test::ReadEngineLog(), limit), before);
  for (const int32_t font : fonts) ReleaseFontHandle(font);
  quelt_test::StopEngineSession();
}

std::vector<uint32_t> ReadScreen(int32_t width, int32_t height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width * height), 0);
  if (ReadBackDrawScreen(pixels.data(), width, height) < 0) pixels.clear();
  return pixels;
}

void SavedScreenCase(int32_t hardware, const char* caption) {
  SessionOptions options{caption};
  options.hardware = hardware;
  ASSERT_EQ(quelt_test::StartEngineSession(options), 0);
  EXPECT_EQ(RedrawFromSavedScreen(nullptr), -1);
  // A red quarter-size picture stands for the saved screen.
  ASSERT_EQ(AllocXrgb32Image(300, 300, &SavedScreen.image), 0);
  for (int32_t y = 0; y < 300; ++y)
    for (int32_t x = 0; x < 300; ++x)
      reinterpret_cast<uint32_t*>(SavedScreen.image.pixels + y * SavedScreen.image.pitch)[x] = 0xFFFF0000;
  SavedScreen.exists = 1;
  SavedScreen.graph = -1;
  int32_t width = 0, height = 0;
  const std::vector<uint32_t> before = quelt_test::ErasePresentAndReadBack(0x204060, &width, &height);
  ASSERT_FALSE(before.empty());
  SelectDrawScreen(DrawScreenFront);
  const uint64_t presents = DrawSettings.presentCounter;
  EXPECT_EQ(RedrawFromSavedScreen(nullptr), 0);
  EXPECT_EQ(DrawSettings.presentCounter, presents + 1);
  EXPECT_EQ(IsGraphHandleValid(SavedScreen.graph), 1);
  // The program's draw screen, settings and picture are as they were.
  EXPECT_EQ(QueryDrawScreen(), DrawScreenFront);
  EXPECT_EQ(RunWhileInactiveFlag, 0);
  SelectDrawScreen(DrawScreenBack);
  const std::vector<uint32_t> after = ReadScreen(width, height);
  ASSERT_EQ(after.size(), before.size());
  int32_t changed = 0;
  for (size_t i = 0; i < after.size(); ++i) changed += (after[i] & 0xFFFFFF) != (before[i] & 0xFFFFFF);
  EXPECT_EQ(changed, 0);
  EndingState = 1;
  EXPECT_EQ(RedrawFromSavedScreen(nullptr), 0);
  EndingState = 0;
  quelt_test::StopEngineSession();
  EXPECT_EQ(SavedScreen.exists, 0);
  EXPECT_EQ(SavedScreen.image.pixels, nullptr);
}

TEST(SavedScreen, RepaintShowsItAndPutsTheScreenBackOnDirect3D) { SavedScreenCase(1, "saved-d3d"); }
TEST(SavedScreen, RepaintShowsItAndPutsTheScreenBackOnSoftware) { SavedScreenCase(0, "saved-soft"); }

}  // namespace
}  // namespace quelt
