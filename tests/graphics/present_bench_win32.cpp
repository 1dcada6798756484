// Frames per second of erase plus present at 600 x 600 on each back end, and the Direct3D
// frame against a plain Direct3D 9 program's clear plus present in the same run.
#include <windows.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "core/core_state.h"
#include "core/entry/api_entry.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "tests/graphics/engine_session.h"
#include "tests/graphics/plain_d3d_frame.h"

namespace {

struct Figures {
  int hardware;
  int frames;
  double seconds, cpuSeconds;
  // Wall seconds inside each engine call of the frame.
  double erase, present, pump;
  // Presents of the whole session, the window's repaints included.
  double presents;
  double medianMs;
};

// immediate: the device is rebuilt with the vertical-blank wait off, so its presentation
// interval is immediate rather than one.
Figures Measure(int32_t hardware, bool immediate, double duration) {
  Figures f{-1, 0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  std::vector<double> frameMs;
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
  const double cpu0 = quelt_test::ProcessCpuSeconds();
  QueryPerformanceCounter(&start);
  do {
    quelt::BackgroundColour = static_cast<uint32_t>(f.frames * 0x010203) & 0xFFFFFF;
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    quelt::EraseDrawScreen();
    QueryPerformanceCounter(&t1);
    quelt::PresentScreen();
    QueryPerformanceCounter(&t2);
    quelt::ApiPumpMessages();
    ++f.frames;
    QueryPerformanceCounter(&now);
    const auto span = [&](const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
      return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    f.erase += span(t0, t1);
    f.present += span(t1, t2);
    f.pump += span(t2, now);
    frameMs.push_back(span(t0, now) * 1000.0);
    f.seconds = static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  } while (f.seconds < duration);
  f.cpuSeconds = quelt_test::ProcessCpuSeconds() - cpu0;
  f.presents = static_cast<double>(quelt::GetPresentCounter());
  f.medianMs = quelt_test::MedianMs(std::move(frameMs));
  quelt_test::StopEngineSession();
  return f;
}

}  // namespace

int main() {
  const Figures d3d = Measure(1, false, 3.0);
  const Figures immediate = Measure(1, true, 3.0);
  const Figures soft = Measure(0, false, 3.0);
  const quelt_test::PlainFrameFigures plain = quelt_test::MeasurePlainClearPresent(3.0);
  const quelt_test::PlainFrameFigures discard = quelt_test::MeasurePlainClearPresent(3.0, true);
  std::printf("erase + present, 600 x 600, 32-bit window\n");
  std::printf("%-22s %14s %14s %14s\n", "", "Direct3D 9", "D3D immediate", "software");
  std::printf("%-22s %14s %14s %14s\n", "back end in use", d3d.hardware == 1 ? "Direct3D" : "-",
              immediate.hardware == 1 ? "Direct3D" : "-", soft.hardware == 0 ? "software" : "-");
  std::printf("%-22s %14d %14d %14d\n", "frames", d3d.frames, immediate.frames, soft.frames);
  std::printf("%-22s %14.1f %14.1f %14.1f\n", "frames per second", d3d.frames / d3d.seconds,
              immediate.frames / immediate.seconds, soft.frames / soft.seconds);
  std::printf("%-22s %14.3f %14.3f %14.3f\n", "ms per frame", 1000.0 * d3d.seconds / d3d.frames,
              1000.0 * immediate.seconds / immediate.frames, 1000.0 * soft.seconds / soft.frames);
  std::printf("%-22s %14.3f %14.3f %14.3f\n", "CPU ms per frame", 1000.0 * d3d.cpuSeconds / d3d.frames,
              1000.0 * immediate.cpuSeconds / immediate.frames, 1000.0 * soft.cpuSeconds / soft.frames);
  const auto calls = [](const char* name, const Figures& x) {
    std::printf("%-22s erase %s ms, present %s ms, pump %s ms, %s presents a frame\n", name,
                quelt_test::Fixed(1000.0 * x.erase / x.frames, 3).c_str(),
                quelt_test::Fixed(1000.0 * x.present / x.frames, 3).c_str(),
                quelt_test::Fixed(1000.0 * x.pump / x.frames, 3).c_str(), quelt_test::Fixed(x.presents / x.frames, 2).c_str());
  };
  calls("Direct3D 9", d3d);
  calls("D3D immediate", immediate);
  calls("software", soft);
  if (!plain.ran) {
    std::printf("plain Direct3D 9 clear + present: did not run\n");
    return 0;
  }
  const double engineMs = 1000.0 * immediate.seconds / immediate.frames;
  std::printf("plain Direct3D 9 clear + present (interval immediate): %s ms per frame, %s ms CPU\n",
              quelt_test::Fixed(plain.ms, 3).c_str(), quelt_test::Fixed(plain.cpuMs, 3).c_str());
  std::printf("engine erase + present (interval immediate) against it: %s wall (median frame %s), %s CPU\n",
              quelt_test::Ratio(engineMs, plain.ms).c_str(),
              quelt_test::Ratio(immediate.medianMs, plain.medianMs).c_str(),
              quelt_test::Ratio(1000.0 * immediate.cpuSeconds / immediate.frames, plain.cpuMs).c_str());
  if (discard.ran)
    std::printf("plain, discard swap effect and no lockable back buffer: %s ms per frame, %s ms CPU (engine %s wall)\n",
                quelt_test::Fixed(discard.ms, 3).c_str(), quelt_test::Fixed(discard.cpuMs, 3).c_str(),
                quelt_test::Ratio(engineMs, discard.ms).c_str());
  return 0;
}
