// The calls of the misuse sweep: every entry of the entry layer with forged, stale and
// wrong-kind handles, huge and negative sizes, NaN and infinite values, 5,000-character
// paths and null pointers, before start-up, on a running engine and after the stop.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "core/engine_handle.h"
#include "core/entry/api_entry.h"
#include "font/font_table.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_table.h"
#include "graphics/screen_mode.h"
#include "image/color_format.h"
#include "image/raster_image.h"
#include "sound/sound.h"
#include "tests/engine/entry_misuse.h"
#include "tests/graphics/engine_session.h"

namespace quelt_test {
namespace {

using namespace quelt;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const std::string& LongPath() {
  static const std::string path = std::string(5000, 'a') + ".bmp";
  return path;
}

void WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A BMP with a 40-byte header: 24-bit grey rows, or the three masks of 32-bit bit fields
// and `pixelBytes` bytes of rows whatever the size claims.
std::vector<uint8_t> Bmp(int32_t width, int32_t height, int bits, uint32_t pixelBytes) {
  const bool fields = bits == 32;
  const uint32_t offset = 54 + (fields ? 12 : 0);
  std::vector<uint8_t> b(offset + pixelBytes, 0x80);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 6, 0);
  Put32(b, 10, offset);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(width));
  Put32(b, 22, static_cast<uint32_t>(height));
  Put32(b, 26, 1 | static_cast<uint32_t>(bits) << 16);
  Put32(b, 30, fields ? 3 : 0);
  for (size_t at = 34; at < 54; at += 4) Put32(b, at, 0);
  if (fields) {
    Put32(b, 54, 0xFF0000);
    Put32(b, 58, 0xFF00);
    Put32(b, 62, 0xFF);
  }
  return b;
}

std::vector<uint8_t> ShortWave() {
  std::vector<uint8_t> w = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                            16, 0, 0, 0, 1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0,
                            'd', 'a', 't', 'a', 0, 0, 0, 0};
  const uint32_t samples = 441;  // 10 ms
  w.resize(w.size() + samples * 2, 0);
  Put32(w, 4, static_cast<uint32_t>(w.size() - 8));
  Put32(w, 40, samples * 2);
  return w;
}

// Values that can never name a live record of any kind, and forged handles of every kind
// (leaving out the live handles given and every live graph: the engine keeps graphs of its
// own, such as the glyph cache's).
std::vector<int32_t> ForgedHandles(const std::vector<int32_t>& live = {}) {
  std::vector<int32_t> handles = {-1, -6, INT_MIN, INT_MAX, 0, 1, 0x7FFFFFF, 0x40000000};
  for (int32_t kind = 1; kind <= 15; ++kind) {
    const auto k = static_cast<HandleKind>(kind);
    handles.push_back(MakeEngineHandle(0, 0, k));
    handles.push_back(MakeEngineHandle(0xFFFF, MaxCheckId, k));
    handles.push_back(MakeEngineHandle(4095, 1, k));
  }
  std::erase_if(handles, [&](int32_t h) {
    return IsGraphHandleValid(h) || std::find(live.begin(), live.end(), h) != live.end();
  });
  return handles;
}

std::string Named(const char* entry, int64_t value) { return std::string(entry) + "(" + std::to_string(value) + ")"; }

// Entries that touch no engine state worth a running engine: the same before, during and
// after.
void SweepPlainEntries() {
  ExpectCall("ApiMakeRect(null)", 0, [] { return reinterpret_cast<intptr_t>(ApiMakeRect(nullptr, 1, 2, 3, 4)); });
  ApiRect rect{};
  ExpectCall("ApiMakeRect(extremes)", 0, [&] {
    return ApiMakeRect(&rect, INT_MIN, INT_MAX, -1, 0) == &rect && rect.left == INT_MIN ? 0 : 1;
  });
  ExpectCall("ApiMakeRgbPixelFormat(null)", -1,
             [] { return ApiMakeRgbPixelFormat(nullptr, 32, 0xFF0000, 0xFF00, 0xFF, 0); });
  ExpectCall("ApiSetMaskColorFormat(null)", -1,
             [] { return ApiSetMaskColorFormat(nullptr, 32, 0xFF0000, 0xFF00, 0xFF, 0); });
  for (int32_t bits : {INT_MIN, -8, 0, 4, 33, 1000, INT_MAX}) {
    DirectDrawPixelFormat pixelFormat{};
    ColorFormat format{};
    ExpectCall(Named("ApiMakeRgbPixelFormat bits", bits), 0,
               [&] { return ApiMakeRgbPixelFormat(&pixelFormat, bits, ~0u, ~0u, ~0u, ~0u); });
    ExpectCall(Named("ApiSetMaskColorFormat bits", bits), 0,
               [&] { return ApiSetMaskColorFormat(&format, bits, 0xF0F0F0F0, 0x1, 0, ~0u); });
  }

  ExpectCall("ApiAllocXrgb32Image(null)", -1, [] { return ApiAllocXrgb32Image(4, 4, nullptr); });
  ExpectCall("ApiFreeRasterImage(null)", -1, [] { return ApiFreeRasterImage(nullptr); });
  ExpectCall("ApiDecodeCompressedTexture(null)", -1, [] { return ApiDecodeCompressedTexture(nullptr); });
  const int32_t sizes[][2] = {{-1, 4}, {4, -1}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MAX, 1},
                              {1, INT_MAX}, {65536, 65536}, {0x40000000, 2}};
  for (const auto& size : sizes) {
    RasterImage image{};
    const std::string name = "ApiAllocXrgb32Image(" + std::to_string(size[0]) + "," + std::to_string(size[1]) + ")";
    ExpectCall(name, -1, [&] { return ApiAllocXrgb32Image(size[0], size[1], &image); });
    ExpectCall("ApiFreeRasterImage after " + name, 0, [&] { return ApiFreeRasterImage(&image); });
  }
  // Compressed records whose sizes no block can have, and compression kinds that do not exist.
  for (uint32_t compression : {1u, 5u, 6u, 0xFFFFFFFFu}) {
    for (const auto& size : sizes) {
      RasterImage image{};
      image.format.compression = compression;
      image.width = size[0];
      image.height = size[1];
      const std::string name = "ApiDecodeCompressedTexture(" + std::to_string(compression) + "," +
                               std::to_string(size[0]) + "," + std::to_string(size[1]) + ")";
      ExpectCall(name, -1, [&] { return ApiDecodeCompressedTexture(&image); });
    }
  }

  for (int32_t value : {INT_MIN, -1, 256, INT_MAX})
    ExpectCallWithin(Named("ApiMakeScreenColourCode", value), 0, UINT32_MAX,
                     [&] { return ApiMakeScreenColourCode(value, value, value); });
  ExpectCall("ApiSetWindowCaption(null)", 0, [] { return ApiSetWindowCaption(nullptr); });
  ExpectCall("ApiSetWindowCaption(5000)", 0, [] { return ApiSetWindowCaption(LongPath().c_str()); });
  for (int32_t icon : {INT_MIN, -1, 65535, INT_MAX})
    ExpectCall(Named("ApiSetWindowIcon", icon), 0, [&] { return ApiSetWindowIcon(icon); });
  ExpectCall("ApiSetWindowIcon(0)", 0, [] { return ApiSetWindowIcon(0); });
  for (int i = 0; i < 3; ++i) ExpectCall("ApiDecreaseLogIndent", 0, [] { return ApiDecreaseLogIndent(); });
  ExpectCall("ApiIncreaseLogIndent", 0, [] { return ApiIncreaseLogIndent(); });
  ExpectCall("ApiDecreaseLogIndent", 0, [] { return ApiDecreaseLogIndent(); });
  ExpectCall("ApiEnableLogFile(INT_MIN)", 0, [] { return ApiEnableLogFile(INT_MIN); });
  ExpectCall("ApiEnableLogFile(1)", 0, [] { return ApiEnableLogFile(1); });
  ExpectCallWithin("ApiScreenConsoleHasText", 0, 1, [] { return ApiScreenConsoleHasText(); });
  ExpectCall("ApiDeleteAllScratchImages", 0, [] { return ApiDeleteAllScratchImages(); });
  ExpectCall("ApiReadAllKeys(null)", -1, [] { return ApiReadAllKeys(nullptr); });
  for (int32_t mode : {INT_MIN, -1, 2, INT_MAX})
    ExpectCall(Named("ApiChangeWindowMode", mode), -1, [&] { return ApiChangeWindowMode(mode); });
}

// Screen sizes no display has, bad depths: refused, and the mode in force stays.
void SweepScreenModes() {
  const int32_t modes[][3] = {{100000, 100000, 32}, {INT_MAX, INT_MAX, 32}, {INT_MAX, 1, 32}, {1, INT_MAX, 32},
                              {-1, -1, 32},         {INT_MIN, 480, 32},     {0, 0, 32},        {640, 480, 24},
                              {640, 480, -1},       {640, 480, INT_MAX}};
  const ScreenModeValues before{ScreenState.width, ScreenState.height, ScreenState.colourDepth,
                                ScreenState.refreshRate};
  const int32_t started = ScreenState.started;
  const int32_t hardware = ScreenState.hardware;
  for (const auto& m : modes) {
    const std::string name = "ApiRequestScreenMode(" + std::to_string(m[0]) + "," + std::to_string(m[1]) + "," +
                             std::to_string(m[2]) + ",60)";
    ExpectCall(name, -1, [&] { return ApiRequestScreenMode(m[0], m[1], m[2], 60); });
    const ScreenModeValues now{ScreenState.width, ScreenState.height, ScreenState.colourDepth,
                               ScreenState.refreshRate};
    if (!(now == before)) ReportMismatch(name + " left the mode", now.width, std::to_string(before.width));
    if (ScreenState.started != started) ReportMismatch(name + " left started", ScreenState.started, "as before");
    if (ScreenState.hardware != hardware) ReportMismatch(name + " left hardware", ScreenState.hardware, "as before");
  }
}

// Entries that need graphics, sound or input and refuse while the engine is not running.
// The pump gives 0 before start-up, -1 once the stop has set the quit flag.
void SweepStoppedEngine(const char* phase, int32_t pumpResult) {
  const std::string p = std::string(phase) + " ";
  ExpectCall(p + "ApiStopEngine", 0, [] { return ApiStopEngine(); });
  ExpectCall(p + "ApiQueryMainWindow", 0, [] { return reinterpret_cast<intptr_t>(ApiQueryMainWindow()); });
  ExpectCall(p + "ApiPumpMessages", pumpResult, [] { return ApiPumpMessages(); });
  uint8_t keys[256] = {};
  keys[7] = 1;
  ExpectCall(p + "ApiReadAllKeys", -1, [&] { return ApiReadAllKeys(keys); });
  if (keys[7] != 0) ReportMismatch(p + "ApiReadAllKeys left key 7", keys[7], "0");
  ExpectCall(p + "ApiDrawTextDefaultFont", -1, [] { return ApiDrawTextDefaultFont(0, 0, "abc", 0, 0); });
  ExpectCall(p + "ApiDrawTextFormatted", 0, [] {
    ApiDrawTextFormatted(0, 0, 0, "%d", 5);
    return 0;
  });
  ExpectCall(p + "ApiDrawTextFormatted(null)", 0, [] {
    ApiDrawTextFormatted(0, 0, 0, nullptr);
    return 0;
  });
  ExpectCall(p + "ApiPresentScreen", -1, [] { return ApiPresentScreen(); });
  ExpectCall(p + "ApiEraseDrawScreen", -1, [] { return ApiEraseDrawScreen(); });
  ExpectCall(p + "ApiSelectDrawScreen(back)", -1, [] { return ApiSelectDrawScreen(DrawScreenBack); });
  ExpectCall(p + "ApiOpenGraphFile", -1, [] { return ApiOpenGraphFile("grey.bmp", 0); });
  ExpectCall(p + "ApiLoadSoundFile", -1, [] { return ApiLoadSoundFile("short.wav", 1, -1); });
  ExpectCallWithin(p + "ApiSelectBlendMode", -1, 0, [] { return ApiSelectBlendMode(INT_MIN, INT_MAX); });
  ExpectCallWithin(p + "ApiSelectBlendMode(0, 0)", -1, 0, [] { return ApiSelectBlendMode(0, 0); });
  for (int32_t h : ForgedHandles()) {
    ExpectCall(p + Named("ApiDrawGraphAtPoint", h), -1, [&] { return ApiDrawGraphAtPoint(0, 0, h, 1); });
    ExpectCall(p + Named("ApiDrawGraphRotated", h), -1,
               [&] { return ApiDrawGraphRotated(0, 0, 1.0, 0.0, h, 1, 0); });
    ExpectCall(p + Named("ApiPlaySoundHandle", h), -1, [&] { return ApiPlaySoundHandle(h, 1, 1); });
    ExpectCall(p + Named("ApiStopSoundHandle", h), -1, [&] { return ApiStopSoundHandle(h); });
  }
}

void SweepGraphHandles(const std::vector<int32_t>& bad) {
  for (int32_t h : bad) {
    ExpectCall(Named("ApiDrawGraphAtPoint", h), -1, [&] { return ApiDrawGraphAtPoint(1, 1, h, 1); });
    ExpectCall(Named("ApiDrawGraphRotated", h), -1, [&] { return ApiDrawGraphRotated(8, 8, 1.0, 0.5, h, 1, 0); });
    ExpectCall(Named("ApiSelectDrawScreen", h), -1, [&] { return ApiSelectDrawScreen(h); });
  }
}

void SweepSoundHandles(const std::vector<int32_t>& bad) {
  for (int32_t h : bad) {
    ExpectCall(Named("ApiPlaySoundHandle", h), -1, [&] { return ApiPlaySoundHandle(h, 1, 1); });
    ExpectCall(Named("ApiStopSoundHandle", h), -1, [&] { return ApiStopSoundHandle(h); });
  }
}

// A live graph drawn at coordinates, scales and angles that no screen can show.
void SweepDrawValues(int32_t graph) {
  const int32_t points[][2] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}, {-8, -8}, {63, 47}};
  for (const auto& pt : points) {
    const std::string at = "(" + std::to_string(pt[0]) + "," + std::to_string(pt[1]) + ")";
    ExpectCall("ApiDrawGraphAtPoint" + at, 0, [&] { return ApiDrawGraphAtPoint(pt[0], pt[1], graph, INT_MIN); });
    ExpectCallWithin("ApiDrawGraphRotated" + at, -1, 0,
                     [&] { return ApiDrawGraphRotated(pt[0], pt[1], 2.0, 1.0, graph, 1, 5); });
  }
  const double values[] = {kNaN, kInf, -kInf, 1e300, -1e300, 0.0, 1e-300, 4e9};
  for (double scale : values) {
    for (double angle : {0.0, kNaN, kInf, 1e300}) {
      const std::string name = "ApiDrawGraphRotated(scale " + std::to_string(scale) + ", angle " +
                               std::to_string(angle) + ")";
      ExpectCallWithin(name, -1, 0, [&] { return ApiDrawGraphRotated(30, 20, scale, angle, graph, 1, 0); });
      ExpectCallWithin(name + " turned", -1, 0,
                       [&] { return ApiDrawGraphRotated(30, 20, angle, scale, graph, 0, 1); });
    }
  }
  for (int32_t mode : {INT_MIN, -1, 3, 14, 255, INT_MAX}) {
    for (int32_t param : {INT_MIN, -1, 256, INT_MAX}) {
      const std::string name = "blend " + std::to_string(mode) + "/" + std::to_string(param);
      ExpectCallWithin("ApiSelectBlendMode " + name, -1, 0, [&] { return ApiSelectBlendMode(mode, param); });
      ExpectCallWithin("ApiDrawGraphAtPoint " + name, -1, 0, [&] { return ApiDrawGraphAtPoint(4, 4, graph, 1); });
      ExpectCallWithin("ApiDrawGraphRotated " + name, -1, 0,
                       [&] { return ApiDrawGraphRotated(20, 20, 1.5, 0.3, graph, 1, 0); });
      ExpectCallWithin("ApiDrawTextDefaultFont " + name, -1, 0,
                       [&] { return ApiDrawTextDefaultFont(2, 2, "ab", 0xFFFFFF, 0); });
    }
  }
  ExpectCall("ApiSelectBlendMode(0, 0)", 0, [] { return ApiSelectBlendMode(0, 0); });
}

// Graphs whose pixel blocks no 32-bit size can hold are refused on both back ends (the
// blank graph is what the screen's saved copy and the movie layer make).
void SweepGraphSizes() {
  const int32_t sizes[][2] = {{INT_MAX, INT_MAX}, {INT_MAX, 1}, {1, INT_MAX}, {0x40000000, 4}, {4, 0x40000000},
                              {-1, 5},            {5, INT_MIN}, {0, 0}};
  for (const auto& size : sizes) {
    const std::string name = "CreateBlankGraph(" + std::to_string(size[0]) + "," + std::to_string(size[1]) + ")";
    ExpectCall(name, -1, [&] { return CreateBlankGraph(size[0], size[1]); });
  }
}

void SweepTextAndKeys() {
  const std::string text = std::string(2500, 'x') + std::string(2500, '\x82');  // ends in half a character
  const int32_t points[][2] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {-100, 10}, {10, 47}};
  for (const auto& pt : points) {
    const std::string at = "(" + std::to_string(pt[0]) + "," + std::to_string(pt[1]) + ")";
    ExpectCall("ApiDrawTextDefaultFont" + at, 0,
               [&] { return ApiDrawTextDefaultFont(pt[0], pt[1], text.c_str(), 0xFFFFFFFF, 0x12345678); });
    ExpectCall("ApiDrawTextFormatted" + at, 0, [&] {
      ApiDrawTextFormatted(pt[0], pt[1], 0xFFFFFFFF, "%s%s%d", text.c_str(), text.c_str(), INT_MIN);
      return 0;
    });
  }
  ExpectCall("ApiDrawTextDefaultFont(null)", 0, [] { return ApiDrawTextDefaultFont(0, 0, nullptr, 0, 0); });
  ExpectCall("ApiDrawTextFormatted(null)", 0, [] {
    ApiDrawTextFormatted(0, 0, 0, nullptr);
    return 0;
  });
  uint8_t keys[256] = {};
  ExpectCall("ApiReadAllKeys", 0, [&] { return ApiReadAllKeys(keys); });
}

void SweepFiles() {
  ExpectCall("ApiOpenGraphFile(null)", -1, [] { return ApiOpenGraphFile(nullptr, 0); });
  ExpectCall("ApiOpenGraphFile(\"\")", -1, [] { return ApiOpenGraphFile("", 1); });
  ExpectCall("ApiOpenGraphFile(folder)", -1, [] { return ApiOpenGraphFile(".", 0); });
  ExpectCall("ApiOpenGraphFile(5000)", -1, [] { return ApiOpenGraphFile(LongPath().c_str(), INT_MIN); });
  ExpectCall("ApiOpenGraphFile(6 x 16,383,996 in 56 bytes)", -1, [] { return ApiOpenGraphFile("claims.bmp", 0); });
  ExpectCall("ApiLoadSoundFile(null)", -1, [] { return ApiLoadSoundFile(nullptr, 1, -1); });
  ExpectCall("ApiLoadSoundFile(\"\")", -1, [] { return ApiLoadSoundFile("", 1, -1); });
  ExpectCall("ApiLoadSoundFile(5000)", -1, [] { return ApiLoadSoundFile(LongPath().c_str(), 1, -1); });
  ExpectCall("ApiLoadSoundFile(a picture)", -1, [] { return ApiLoadSoundFile("grey.bmp", 1, -1); });
  for (int32_t count : {INT_MIN, -1, 0, INT_MAX}) {
    int32_t sound = -1;
    ExpectCallWithin(Named("ApiLoadSoundFile buffers", count), -1, INT_MAX,
                     [&] { return sound = ApiLoadSoundFile("short.wav", count, INT_MIN); });
    if (sound >= 0) {
      for (int32_t type : {INT_MIN, -1, 2, 4, INT_MAX})
        ExpectCall(Named("ApiPlaySoundHandle type", type), 0, [&] { return ApiPlaySoundHandle(sound, type, 7); });
      ExpectCall("ApiStopSoundHandle", 0, [&] { return ApiStopSoundHandle(sound); });
      DeleteSoundHandle(sound, 0);
    }
  }
}

void SweepRunningEngine(SweepBackEnd backEnd) {
  const bool wantHardware = backEnd == SweepBackEnd::Direct3D;
  if (ScreenState.hardware != (wantHardware ? 1 : 0))
    ReportMismatch("the engine runs on the other back end", ScreenState.hardware, wantHardware ? "1" : "0");

  const int32_t graph = ApiOpenGraphFile("grey.bmp", 0);
  const int32_t staleGraph = ApiOpenGraphFile("grey.bmp", 0);
  const int32_t sound = ApiLoadSoundFile("short.wav", 1, -1);
  const int32_t staleSound = ApiLoadSoundFile("short.wav", 1, -1);
  if (graph < 0 || staleGraph < 0) ReportMismatch("ApiOpenGraphFile(grey.bmp)", graph, "a handle");
  if (sound < 0 || staleSound < 0) ReportMismatch("ApiLoadSoundFile(short.wav)", sound, "a handle");
  ReleaseGraphHandle(staleGraph);
  DeleteSoundHandle(staleSound, 0);

  std::vector<int32_t> badGraphs = ForgedHandles({graph, sound});
  std::vector<int32_t> badSounds = ForgedHandles({graph, sound});
  ApiDrawTextDefaultFont(0, 0, "a", 0, 0);  // makes the default font
  const int32_t font = QueryDefaultFont();
  if (font < 0) ReportMismatch("QueryDefaultFont", font, "a handle");
  badGraphs.insert(badGraphs.end(), {staleGraph, sound, font, graph + (1 << 16), graph ^ 0x40000000});
  badSounds.insert(badSounds.end(), {staleSound, graph, font, sound + (1 << 16), sound ^ 0x40000000});
  SweepGraphHandles(badGraphs);
  SweepSoundHandles(badSounds);
  if (graph >= 0) SweepDrawValues(graph);
  SweepGraphSizes();
  SweepTextAndKeys();
  SweepFiles();
  SweepScreenModes();

  // The engine still runs as before.
  ExpectCall("ApiStartEngine again", 0, [] { return ApiStartEngine(); });
  ExpectCall("ApiQueryMainWindow", 1, [] { return ApiQueryMainWindow() != nullptr ? 1 : 0; });
  ExpectCall("ApiSelectDrawScreen(back)", 0, [] { return ApiSelectDrawScreen(DrawScreenBack); });
  ExpectCall("ApiEraseDrawScreen", 0, [] { return ApiEraseDrawScreen(); });
  if (graph >= 0) ExpectCall("ApiDrawGraphAtPoint(live)", 0, [&] { return ApiDrawGraphAtPoint(0, 0, graph, 0); });
  ExpectCall("ApiPresentScreen", 0, [] { return ApiPresentScreen(); });
  ExpectCall("ApiPumpMessages", 0, [] { return ApiPumpMessages(); });
  ExpectCall("ApiChangeWindowMode(1)", 0, [] { return ApiChangeWindowMode(1); });
  if (sound >= 0) ExpectCall("ApiPlaySoundHandle(live)", 0, [&] { return ApiPlaySoundHandle(sound, 1, 1); });
}

}  // namespace

void RunEntrySweep(SweepBackEnd backEnd) {
  WriteFile("grey.bmp", Bmp(8, 6, 24, 24 * 6));
  WriteFile("claims.bmp", Bmp(6, 16383996, 32, 56));
  WriteFile("short.wav", ShortWave());

  SweepPlainEntries();
  SweepStoppedEngine("before start-up:", 0);
  SweepScreenModes();

  const bool hardware = backEnd == SweepBackEnd::Direct3D;
  const char* caption = hardware ? "quelt misuse d3d" : "quelt misuse soft";
  const int started = BoundedCall("start the engine", [&] {
    return StartEngineSession({caption, hardware ? 1 : 0, 64, 48, 32});
  });
  if (started != 0) {
    ReportMismatch("start the engine", started, "0");
    return;
  }
  SweepPlainEntries();
  SweepRunningEngine(backEnd);
  BoundedCall("stop the engine", [] {
    StopEngineSession();
    return 0;
  });
  SweepStoppedEngine("after the stop:", -1);
}

}  // namespace quelt_test
