// Glyphs per second of a 40-character line of kana, kanji and ASCII in the default font:
// cached (every character already in the glyph cache) and uncached (the cache emptied
// before each line) on both back ends, beside a baseline measured in the same run: the
// same line drawn with GDI TextOutA into a DIB section each time. On Direct3D it also
// prints the device calls made per cached glyph and the cached text against a device
// reference, the two taking turns over rounds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/core_state.h"
#include "font/font_table.h"
#include "graphics/device_state.h"
#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;

// 40 characters: ASCII with spaces and digits, kana, kanji and full-width letters.
const char* const kLine = "Lap 2/5 12:34.5 ラップタイム 周回残り距離 カナ漢字ＡＢ第一走者";

constexpr int32_t kLinesPerRow = 30;  // rows of 18 pixels down a 600-pixel screen
constexpr int32_t kRounds = 4;

double Now() {
  LARGE_INTEGER t, f;
  QueryPerformanceCounter(&t);
  QueryPerformanceFrequency(&f);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

int32_t CountGlyphs(const char* s) {
  int32_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p != 0; ++n)
    p += ((*p >= 0x81 && *p <= 0x9F) || (*p >= 0xE0 && *p <= 0xFC)) && p[1] != 0 ? 2 : 1;
  return n;
}

// Device calls, counted by a table that forwards to the real one.
const DeviceSink* RealSink = nullptr;
int64_t DeviceCalls = 0, DrawCalls = 0;
bool DropDraws = false;

template <auto Member, typename... A>
int32_t Counted(A... args) {
  ++DeviceCalls;
  return (RealSink->*Member)(args...);
}
int32_t CountedDraw(void* device, uint32_t type, uint32_t count, const void* vertices, uint32_t stride) {
  ++DeviceCalls;
  ++DrawCalls;
  return DropDraws ? 0 : RealSink->drawPrimitiveUp(device, type, count, vertices, stride);
}
int32_t CountedIndexedDraw(void* device, uint32_t type, uint32_t vertexCount, uint32_t primitiveCount,
                           const uint16_t* indices, const void* vertices, uint32_t stride) {
  ++DeviceCalls;
  ++DrawCalls;
  return DropDraws ? 0 : RealSink->drawIndexedPrimitiveUp(device, type, vertexCount, primitiveCount, indices, vertices, stride);
}

DeviceSink CountingSink{};

void InstallCountingSink() {
  RealSink = ActiveDeviceSink;
  if (RealSink == nullptr) return;
  CountingSink = *RealSink;
  CountingSink.setRenderState = &Counted<&DeviceSink::setRenderState, void*, uint32_t, uint32_t>;
  CountingSink.setSamplerState = &Counted<&DeviceSink::setSamplerState, void*, uint32_t, uint32_t, uint32_t>;
  CountingSink.setTextureStageState =
      &Counted<&DeviceSink::setTextureStageState, void*, uint32_t, uint32_t, uint32_t>;
  CountingSink.setTexture = &Counted<&DeviceSink::setTexture, void*, uint32_t, void*>;
  CountingSink.setTransform = &Counted<&DeviceSink::setTransform, void*, uint32_t, const Matrix4*>;
  CountingSink.setViewport = &Counted<&DeviceSink::setViewport, void*, const DeviceViewport*>;
  CountingSink.setScissorRect = &Counted<&DeviceSink::setScissorRect, void*, const IntRect*>;
  CountingSink.setFvf = &Counted<&DeviceSink::setFvf, void*, uint32_t>;
  CountingSink.drawPrimitiveUp = &CountedDraw;
  CountingSink.drawIndexedPrimitiveUp = &CountedIndexedDraw;
  CountingSink.beginScene = &Counted<&DeviceSink::beginScene, void*>;
  CountingSink.endScene = &Counted<&DeviceSink::endScene, void*>;
  ActiveDeviceSink = &CountingSink;
}

void RemoveCountingSink() {
  if (ActiveDeviceSink == &CountingSink) ActiveDeviceSink = RealSink;
}

// Waits until the device has drawn everything queued (a read-back of the screen); software
// drawing is done when the call returns.
void Finish(std::vector<uint32_t>& pixels) {
  if (!ScreenState.hardware) return;
  FlushVertexBatch();
  ReadBackDrawScreen(pixels.data(), 600, 600);
}

double GdiGlyphsPerSecond(int32_t glyphs, int32_t lines) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = 600;
  info.bmiHeader.biHeight = -600;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ oldBitmap = SelectObject(dc, dib);
  // The engine's default font: 16 pixels, weight 600, Shift-JIS, not anti-aliased.
  HFONT font = CreateFontA(16, 0, 0, 0, 600, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, "ＭＳ ゴシック");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 230, 0));
  const int length = lstrlenA(kLine);
  TextOutA(dc, 0, 0, kLine, length);
  GdiFlush();
  const double start = Now();
  for (int32_t i = 0; i < lines; ++i) TextOutA(dc, 4, (i % kLinesPerRow) * 18, kLine, length);
  GdiFlush();
  const double seconds = Now() - start;
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldBitmap);
  DeleteObject(dib);
  DeleteDC(dc);
  return glyphs * static_cast<double>(lines) / seconds;
}

double CachedLinesPerSecond(int32_t font, uint32_t colour, uint32_t edge, int32_t lines, std::vector<uint32_t>& pixels) {
  const double start = Now();
  for (int32_t i = 0; i < lines; ++i) DrawTextWithFont(4, (i % kLinesPerRow) * 18, kLine, colour, font, edge, 0);
  if (DropDraws)
    FlushVertexBatch();
  else
    Finish(pixels);
  return lines / (Now() - start);
}

void Report(const char* what, double glyphsPerSecond, double baseline) {
  std::printf("  %-58s %8.3f M glyphs/s  %6.2f x GDI\n", what, glyphsPerSecond / 1e6, glyphsPerSecond / baseline);
}

void RunBackEnd(int32_t hardware, double baseline) {
  const char* name = hardware ? "direct3d" : "software";
  quelt_test::SessionOptions options{hardware ? "quelt font bench d3d" : "quelt font bench soft"};
  options.hardware = hardware;
  if (quelt_test::StartEngineSession(options) != 0) {
    std::printf("%s: engine did not start\n", name);
    return;
  }
  std::printf("%s:\n", name);
  SelectDrawScreen(DrawScreenBack);
  const int32_t font = QueryDefaultFont();
  const int32_t glyphs = CountGlyphs(kLine);
  const uint32_t colour = MakeScreenColourCode(255, 230, 0);
  std::vector<uint32_t> pixels(600 * 600);
  if (hardware) InstallCountingSink();

  // Cached: every character is in the cache after the first line.
  DrawTextWithFont(4, 0, kLine, colour, font, 0, 0);
  Finish(pixels);
  const int32_t kCachedLines = hardware ? 3000 : 30000;
  const int32_t cacheGraph = FontRecordOfHandle(font)->cacheGraph;
  // What the device itself manages: as many 16 x 16 quads of the cache graph drawn alone
  // through the same front end, one per glyph of the lines above.
  auto referenceGlyphsPerSecond = [&] {
    const double start = Now();
    for (int32_t i = 0; i < kCachedLines; ++i)
      for (int32_t g = 0; g < glyphs; ++g) DrawGraphPart(4 + g * 14, (i % kLinesPerRow) * 18, 0, 0, 16, 16, cacheGraph, 1, 0);
    Finish(pixels);
    return glyphs * static_cast<double>(kCachedLines) / (Now() - start);
  };
  // On Direct3D the text and the device reference take turns over rounds and each keeps
  // its best: the first round also warms the device for both, and a moment of load on a
  // shared machine falls on neither alone.
  double cached = 0.0, reference = 0.0;
  int64_t calls = 0, draws = 0;
  for (int32_t round = 0; round < (hardware ? kRounds : 1); ++round) {
    DeviceCalls = DrawCalls = 0;
    cached = std::max(cached, glyphs * CachedLinesPerSecond(font, colour, 0, kCachedLines, pixels));
    calls = DeviceCalls;
    draws = DrawCalls;
    if (hardware) reference = std::max(reference, referenceGlyphsPerSecond());
  }
  const double callsPerGlyph = static_cast<double>(calls) / (static_cast<double>(glyphs) * kCachedLines);
  const double drawsPerLine = static_cast<double>(draws) / kCachedLines;
  Report("cached, until the screen is drawn", cached, baseline);
  if (hardware) {
    // Wine rasterises in software (Mesa): the same run with the device's draw calls
    // dropped shows the engine's own share.
    DropDraws = true;
    Report("cached, engine only (draw calls not executed)",
           glyphs * CachedLinesPerSecond(font, colour, 0, kCachedLines, pixels), baseline);
    DropDraws = false;
    std::printf("  cached: %.3f device calls per glyph, %.2f draw calls per line\n", callsPerGlyph, drawsPerLine);
    Report("device reference: 16 x 16 quads of the cache graph alone", reference, baseline);
    std::printf("  cached text against the device reference: %.2f x (best of %d rounds each, in turn)\n",
                cached / reference, kRounds);
  }

  // The same line in a font with a 2-pixel edge: edge and glyph layers alternate glyph by
  // glyph in two colours; in the console's colours the white glyphs need no colour
  // modulation and the black edges do.
  const int32_t edged = CreateFontToHandle(nullptr, 16, -1, -1, -1, 2, 0, -1, -1);
  auto edgedRun = [&](const char* what, uint32_t text, uint32_t edge) {
    DrawTextWithFont(4, 0, kLine, text, edged, edge, 0);
    Finish(pixels);
    DeviceCalls = DrawCalls = 0;
    Report((std::string("cached, edged font") + what + ", until the screen is drawn").c_str(),
           glyphs * CachedLinesPerSecond(edged, text, edge, kCachedLines, pixels), baseline);
    if (hardware)
      std::printf("  cached, edged font%s: %.2f draw calls per line\n", what,
                  static_cast<double>(DrawCalls) / kCachedLines);
  };
  edgedRun("", colour, MakeScreenColourCode(0, 40, 255));
  edgedRun(", white on black", MakeScreenColourCode(255, 255, 255), MakeScreenColourCode(0, 0, 0));

  // Uncached: the cache is emptied before every line, so each line renders its glyphs.
  constexpr int32_t kUncachedLines = 100;
  const double start = Now();
  for (int32_t i = 0; i < kUncachedLines; ++i) {
    ClearGlyphCache(font);
    DrawTextWithFont(4, (i % kLinesPerRow) * 18, kLine, colour, font, 0, 0);
  }
  Finish(pixels);
  Report("uncached (every glyph rendered through GDI)", glyphs * static_cast<double>(kUncachedLines) / (Now() - start),
         baseline);
  RemoveCountingSink();
  quelt_test::StopEngineSession();
}

}  // namespace

int main() {
  const int32_t glyphs = CountGlyphs(kLine);
  const double baseline = GdiGlyphsPerSecond(glyphs, 3000);
  std::printf("line of %d characters, default font\n", glyphs);
  Report("baseline: GDI TextOutA into a DIB section, each time", baseline, baseline);
  RunBackEnd(1, baseline);
  RunBackEnd(0, baseline);
  return 0;
}
