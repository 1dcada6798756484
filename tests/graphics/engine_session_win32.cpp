#include "tests/graphics/engine_session.h"

#include <fstream>
#include <iterator>

#include "core/api_entry.h"
#include "core/core_state.h"
#include "core/window_modes.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"

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

}  // namespace quelt_test
