#include "tests/graphics/engine_session.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/core_state.h"
#include "core/entry/api_entry.h"
#include "core/entry/window_modes.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "image/raster_image.h"

namespace quelt_test {

int StartEngineSession(const SessionOptions& options) {
  quelt::ApiSetWindowCaption(options.caption);
  quelt::SetWindowModeFlag(options.windowMode);
  quelt::ApiRequestScreenMode(options.width, options.height, options.bits, 0);
  quelt::SetHardwareDrawFlag(options.hardware);
  return quelt::ApiStartEngine() < 0 ? -1 : 0;
}

void StopEngineSession() {
  quelt::ApiStopEngine();
  quelt::ScreenState = quelt::ScreenStateRecord{};
}

std::string ReadEngineLog() {
  std::ifstream in("Log.txt", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint32_t> ReadBackScreen(int32_t width, int32_t height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  if (quelt::ReadBackDrawScreen(pixels.data(), width, height) < 0) pixels.clear();
  return pixels;
}

uint32_t PatternColour(int32_t x, int32_t y, uint32_t seed) {
  const uint32_t r = (static_cast<uint32_t>(x) * 37u + seed * 11u) & 0xFF;
  const uint32_t g = (static_cast<uint32_t>(y) * 53u + seed * 7u) & 0xFF;
  const uint32_t b = (static_cast<uint32_t>(x * y) * 13u + 64u) & 0xFF;
  return r << 16 | g << 8 | (b | 1u);
}

namespace {

template <typename ColourAt>
int32_t MakeGraphFromPicture(int32_t width, int32_t height, ColourAt colourAt) {
  quelt::RasterImage image{};
  if (quelt::AllocXrgb32Image(width, height, &image) < 0) return -1;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t colour = colourAt(x, y);
      std::memcpy(image.pixels + y * image.pitch + x * 4, &colour, 4);
    }
  const int32_t graph = quelt::CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  quelt::FreeRasterImage(&image);
  return graph;
}

}  // namespace

int32_t MakePatternGraph(int32_t width, int32_t height, uint32_t seed) {
  return MakeGraphFromPicture(width, height,
                              [seed](int32_t x, int32_t y) { return 0xFF000000u | PatternColour(x, y, seed); });
}

int32_t MakeSolidGraph(int32_t width, int32_t height, uint32_t colour) {
  return MakeGraphFromPicture(width, height, [colour](int32_t, int32_t) { return colour; });
}

std::vector<uint32_t> ErasePresentAndReadBack(uint32_t colour, int32_t* width, int32_t* height) {
  quelt::BackgroundColour = colour;
  quelt::SelectDrawScreen(quelt::DrawScreenBack);
  quelt::EraseDrawScreen();
  // Full screen on Direct3D discards the back buffer at each present: the engine keeps the
  // picture in its sub back buffer, as the window procedure and the front-screen timer do.
  quelt::CopySubBackBufferAndPresent();
  quelt::QueryScreenMode(width, height, nullptr);
  std::vector<uint32_t> pixels(static_cast<size_t>(*width) * static_cast<size_t>(*height), 0xDEADBEEF);
  if (quelt::ReadBackDrawScreen(pixels.data(), *width, *height) < 0) pixels.clear();
  return pixels;
}

std::map<std::string, int> RunChildInVirtualDesktop(const std::string& desktop, const std::string& childArgument,
                                                    const std::string& resultFile) {
  std::remove(resultFile.c_str());
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = "explorer.exe /desktop=" + desktop + ",1024x768 \"" + self + "\" " + childArgument;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::map<std::string, int> values;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return values;
  for (int waited = 0; waited < 180000; waited += 200) {
    if (GetFileAttributesA(resultFile.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(200);
  }
  // The desktop ends with its last window; a desktop still up after that is ended here.
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::ifstream in(resultFile);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
  }
  return values;
}

}  // namespace quelt_test
