// Glyph shapes against GDI: narrow full-width characters drawn through the glyph cache on
// both back ends must ink the same pixels as TextOutA with the same font into a DIB. Two
// fonts: the default one (weight 600, which Wine emboldens for a face without a bold
// style) and a thickness-4 one of normal weight.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/core_state.h"
#include "core/entry/api_entry.h"
#include "font/font_table.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;

constexpr int32_t kScreen = 600;
constexpr std::array<int32_t, 2> kTops{4, 36};  // the default font's row, the thin font's
constexpr int32_t kStep = 40;
constexpr int32_t kRows = 64;
constexpr uint32_t kBackground = 0x102030;

// Narrow-inked glyphs, whose black box is a few pixels wide inside a full-width advance,
// and two wide ones as a check on the rest.
constexpr std::array<const char*, 8> kGlyphs{"！", "｜", "’", "．", "ｌ", "：", "【", "周"};

using Mask = std::vector<uint8_t>;  // kScreen x kRows, 1 = inked

// Each glyph drawn alone, kStep pixels apart, in one row per font. fonts receives copies of
// the engine's GDI fonts for the reference.
Mask EngineMask(int32_t hardware, const char* caption, std::array<HFONT, 2>* fonts) {
  Mask mask;
  quelt_test::SessionOptions options{caption};
  options.hardware = hardware;
  if (quelt_test::StartEngineSession(options) != 0) return mask;
  BackgroundColour = kBackground;
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
  const uint32_t white = MakeScreenColourCode(255, 255, 255);
  const std::array<int32_t, 2> handles{QueryDefaultFont(), CreateFontToHandle(nullptr, 16, 4, -1, -1, -1, 0, -1, -1)};
  for (size_t row = 0; row < handles.size(); ++row)
    for (size_t i = 0; i < kGlyphs.size(); ++i)
      EXPECT_EQ(DrawTextWithFont(10 + static_cast<int32_t>(i) * kStep, kTops[row], kGlyphs[i], white, handles[row], 0, 0),
                0);
  FlushVertexBatch();
  std::vector<uint32_t> pixels(static_cast<size_t>(kScreen) * kScreen, 0);
  if (ReadBackDrawScreen(pixels.data(), kScreen, kScreen) >= 0) {
    mask.assign(static_cast<size_t>(kScreen) * kRows, 0);
    for (int32_t y = 0; y < kRows; ++y)
      for (int32_t x = 0; x < kScreen; ++x)
        mask[static_cast<size_t>(y * kScreen + x)] =
            (pixels[static_cast<size_t>(y * kScreen + x)] & 0xFFFFFF) != kBackground ? 1 : 0;
  }
  for (size_t row = 0; row < handles.size(); ++row) {
    LOGFONTA lf{};
    const FontRecord* f = FontRecordOfHandle(handles[row]);
    if ((*fonts)[row] == nullptr && f != nullptr &&
        GetObjectA(static_cast<HFONT>(f->gdiFont), sizeof(lf), &lf) == sizeof(lf))
      (*fonts)[row] = CreateFontIndirectA(&lf);
  }
  quelt_test::StopEngineSession();
  return mask;
}

// The same glyphs drawn by GDI into a top-down 32-bit DIB.
Mask GdiMask(const std::array<HFONT, 2>& fonts) {
  Mask mask;
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = kScreen;
  bi.bmiHeader.biHeight = -kRows;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dc == nullptr || dib == nullptr || bits == nullptr) {
    if (dib != nullptr) DeleteObject(dib);
    if (dc != nullptr) DeleteDC(dc);
    return mask;
  }
  HGDIOBJ oldBitmap = SelectObject(dc, dib);
  HGDIOBJ oldFont = SelectObject(dc, fonts[0]);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  SetTextAlign(dc, TA_TOP | TA_LEFT);
  for (size_t row = 0; row < fonts.size(); ++row) {
    SelectObject(dc, fonts[row]);
    for (size_t i = 0; i < kGlyphs.size(); ++i)
      TextOutA(dc, 10 + static_cast<int32_t>(i) * kStep, kTops[row], kGlyphs[i], lstrlenA(kGlyphs[i]));
  }
  GdiFlush();
  const auto* p = static_cast<const uint32_t*>(bits);
  mask.assign(static_cast<size_t>(kScreen) * kRows, 0);
  for (size_t i = 0; i < mask.size(); ++i) mask[i] = (p[i] & 0xFFFFFF) != 0 ? 1 : 0;
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteObject(dib);
  DeleteDC(dc);
  return mask;
}

// The two masks of glyph i of a row side by side, for the failure message.
std::string Picture(const Mask& engine, const Mask& gdi, size_t row, size_t i) {
  std::string s = "engine | gdi\n";
  const int32_t x0 = 10 + static_cast<int32_t>(i) * kStep - 4;
  for (int32_t y = kTops[row] - 2; y < kTops[row] + 20; ++y) {
    for (const Mask* m : {&engine, &gdi}) {
      for (int32_t x = x0; x < x0 + 24; ++x) s += (*m)[static_cast<size_t>(y * kScreen + x)] ? '#' : '.';
      s += "  ";
    }
    s += '\n';
  }
  return s;
}

void ExpectSameInkAsGdi(int32_t hardware, const char* caption) {
  std::array<HFONT, 2> fonts{};
  const Mask engine = EngineMask(hardware, caption, &fonts);
  ASSERT_FALSE(engine.empty());
  ASSERT_NE(fonts[0], nullptr);
  ASSERT_NE(fonts[1], nullptr);
  const Mask gdi = GdiMask(fonts);
  for (HFONT f : fonts) DeleteObject(f);
  ASSERT_FALSE(gdi.empty());
  for (size_t row = 0; row < kTops.size(); ++row)
    for (size_t i = 0; i < kGlyphs.size(); ++i) {
      int32_t inked = 0, differ = 0;
      for (int32_t y = kTops[row] - 4; y < kTops[row] + 28; ++y)
        for (int32_t x = 10 + static_cast<int32_t>(i) * kStep - 8; x < 10 + static_cast<int32_t>(i + 1) * kStep - 8;
             ++x) {
          const size_t k = static_cast<size_t>(y * kScreen + x);
          inked += gdi[k];
          differ += engine[k] != gdi[k] ? 1 : 0;
        }
      EXPECT_GT(inked, 2) << "font " << row << " glyph " << i;
      // A stray pixel is tolerated; a changed shape is not.
      EXPECT_LE(differ, 1) << "font " << row << " glyph " << i << " (" << (hardware ? "Direct3D" : "software")
                           << ")\n"
                           << Picture(engine, gdi, row, i);
    }
}

TEST(GlyphShape, NarrowGlyphsInkAsGdiOnDirect3D) { ExpectSameInkAsGdi(1, "glyph-shape-d3d"); }
TEST(GlyphShape, NarrowGlyphsInkAsGdiOnSoftware) { ExpectSameInkAsGdi(0, "glyph-shape-soft"); }

}  // namespace
