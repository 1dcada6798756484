// Frames per second of erase plus present at 600 x 600 on each back end.
#include <windows.h>

#include <cstdio>

#include "core/api_entry.h"
#include "core/core_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"

namespace {

struct Figures {
  int hardware;
  int frames;
  double seconds;
};

// immediate: the device is rebuilt with the vertical-blank wait off, so its presentation
// interval is immediate rather than one.
Figures Measure(int32_t hardware, bool immediate, double duration) {
  Figures f{-1, 0, 0.0};
  if (quelt_test::StartEngineSession({"quelt graphics present bench", hardware}) < 0) return f;
  quelt::SetVSyncWait(0);
  if (immediate) quelt::ChangeScreenMode(-1, -1, -1, 1, -1);
  quelt::SetVSyncWait(0);
  f.hardware = quelt::ScreenState.hardware;
  quelt::SelectDrawScreen(quelt::DrawScreenBack);
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  do {
    quelt::BackgroundColour = static_cast<uint32_t>(f.frames * 0x010203) & 0xFFFFFF;
    quelt::EraseDrawScreen();
    quelt::PresentScreen();
    quelt::ApiPumpMessages();
    ++f.frames;
    QueryPerformanceCounter(&now);
    f.seconds = static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  } while (f.seconds < duration);
  quelt_test::StopEngineSession();
  return f;
}

}  // namespace

int main() {
  const Figures d3d = Measure(1, false, 3.0);
  const Figures immediate = Measure(1, true, 3.0);
  const Figures soft = Measure(0, false, 3.0);
  std::printf("erase + present, 600 x 600, 32-bit window\n");
  std::printf("%-22s %14s %14s %14s\n", "", "Direct3D 9", "D3D immediate", "software");
  std::printf("%-22s %14s %14s %14s\n", "back end in use", d3d.hardware == 1 ? "Direct3D" : "-",
              immediate.hardware == 1 ? "Direct3D" : "-", soft.hardware == 0 ? "software" : "-");
  std::printf("%-22s %14d %14d %14d\n", "frames", d3d.frames, immediate.frames, soft.frames);
  std::printf("%-22s %14.1f %14.1f %14.1f\n", "frames per second", d3d.frames / d3d.seconds,
              immediate.frames / immediate.seconds, soft.frames / soft.seconds);
  std::printf("%-22s %14.3f %14.3f %14.3f\n", "ms per frame", 1000.0 * d3d.seconds / d3d.frames,
              1000.0 * immediate.seconds / immediate.frames, 1000.0 * soft.seconds / soft.frames);
  return 0;
}
