// Frame time of a race scene on both back ends: three full-screen background layers and
// 61 rotated, scaled runners at 600 x 600, for runners at scale 1 (course 0) and 3.75
// (course 11). Prints wall and process CPU milliseconds per frame, and on Direct3D the ratio
// to a plain Direct3D 9 program drawing the same quads in the same run, and to one drawing each
// layer in the engine's texture pieces, taking turns over rounds. Both present with interval immediate.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/core_state.h"
#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graphics_start.h"
#include "image/raster_image.h"
#include "tests/graphics/counting_sink.h"
#include "tests/graphics/engine_session.h"
#include "tests/graphics/plain_d3d_frame.h"

namespace {

using namespace quelt;

int32_t MakeGraph(int32_t width, int32_t height, bool alpha, uint32_t seed) {
  RasterImage image{};
  if ((alpha ? AllocArgb32Image(width, height, &image) : AllocXrgb32Image(width, height, &image)) < 0) return -1;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint32_t c = 0xFF000000u | ((x * 3 + seed) & 0xFF) << 16 | ((y * 5 + seed) & 0xFF) << 8 | ((x ^ y) & 0xFF);
      // Runners: a disc on transparent corners; layers above the first: sparse holes.
      if (alpha) {
        const int32_t dx = x - width / 2, dy = y - height / 2;
        if (dx * dx + dy * dy > (width / 2) * (width / 2)) c &= 0x00FFFFFF;
      }
      std::memcpy(image.pixels + y * image.pitch + x * 4, &c, 4);
    }
  const int32_t graph = CreateGraphFromRaster(&image, nullptr, 0, 0, 0);
  FreeRasterImage(&image);
  return graph;
}

double Seconds(const LARGE_INTEGER& t, const LARGE_INTEGER& f) {
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

using quelt_test::ProcessCpuSeconds;

constexpr int kFrames = 60;
// Rounds in which the plain program and the engine take turns; each keeps its best round,
// so that a moment of load on a shared machine falls on neither side alone.
constexpr int kRounds = 5;
const double scales[2] = {1.0, 3.75};

// The better of two rounds, figure by figure.
void KeepBest(quelt_test::PlainFrameFigures& best, const quelt_test::PlainFrameFigures& round) {
  if (!round.ran) return;
  if (!best.ran) {
    best = round;
    return;
  }
  best.ms = std::min(best.ms, round.ms);
  best.cpuMs = std::min(best.cpuMs, round.cpuMs);
  best.medianMs = std::min(best.medianMs, round.medianMs);
}

void RunBackEnd(int32_t hardware) {
  // Presentation interval immediate: the device is made with the vertical-blank wait off.
  SetVSyncWait(0);
  quelt_test::SessionOptions options{hardware ? "quelt draw bench d3d" : "quelt draw bench soft"};
  options.hardware = hardware;
  if (quelt_test::StartEngineSession(options) != 0) {
    std::printf("%s: engine did not start\n", hardware ? "direct3d" : "software");
    return;
  }
  int32_t layers[3];
  for (int32_t i = 0; i < 3; ++i) layers[i] = MakeGraph(600, 600, i > 0, static_cast<uint32_t>(i * 40));
  const int32_t runner = MakeGraph(24, 24, true, 7);
  SetVSyncWait(0);
  const int courses[2] = {0, 11};
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  for (int c = 0; c < 2; ++c) {
    // Wall seconds in the layers, the runners and the present; milliseconds of each frame.
    double spent[3] = {};
    std::vector<double> frameMs;
    auto draw = [&](int frame) {
      LARGE_INTEGER t0, t1, t2, t3;
      QueryPerformanceCounter(&t0);
      SelectDrawScreen(DrawScreenBack);
      DrawGraphAtPoint(0, 0, layers[0], 0);
      DrawGraphAtPoint(0, 0, layers[1], 1);
      DrawGraphAtPoint(0, 0, layers[2], 1);
      QueryPerformanceCounter(&t1);
      for (int32_t r = 0; r < 61; ++r) {
        const float x = static_cast<float>(30 + (r * 97 + frame * 3) % 540);
        const float y = static_cast<float>(30 + (r * 61) % 540);
        DrawGraphRotated(x, y, scales[c], 0.05 * (r + frame), runner, 1, r & 1);
      }
      QueryPerformanceCounter(&t2);
      PresentScreen();
      QueryPerformanceCounter(&t3);
      spent[0] += Seconds(t1, frequency) - Seconds(t0, frequency);
      spent[1] += Seconds(t2, frequency) - Seconds(t1, frequency);
      spent[2] += Seconds(t3, frequency) - Seconds(t2, frequency);
      frameMs.push_back((Seconds(t3, frequency) - Seconds(t0, frequency)) * 1000.0);
    };
    quelt_test::PlainFrameFigures engine{false, 0, 0.0, 0.0, 0.0}, plain{false, 0, 0.0, 0.0, 0.0},
        plainPieces{false, 0, 0.0, 0.0, 0.0};
    double bestSpent[3] = {1e300, 1e300, 1e300};
    // The software renderer has no plain program to take turns with: one round.
    for (int round = 0; round < (hardware ? kRounds : 1); ++round) {
      if (hardware) {
        KeepBest(plain, quelt_test::MeasurePlainRaceScene(scales[c], kFrames));
        KeepBest(plainPieces, quelt_test::MeasurePlainRaceScene(scales[c], kFrames, true));
      }
      // Ten frames before the timed ones, as the plain program draws after making its device
      // (the engine's textures also reach the device at their first use).
      for (int frame = 0; frame < 10; ++frame) draw(frame);
      for (double& part : spent) part = 0.0;
      frameMs.clear();
      LARGE_INTEGER start, end;
      const double cpuStart = ProcessCpuSeconds();
      QueryPerformanceCounter(&start);
      for (int frame = 0; frame < kFrames; ++frame) draw(frame);
      QueryPerformanceCounter(&end);
      const double cpu = ProcessCpuSeconds() - cpuStart;
      KeepBest(engine, {true, kFrames, (Seconds(end, frequency) - Seconds(start, frequency)) * 1000.0 / kFrames,
                        cpu * 1000.0 / kFrames, quelt_test::MedianMs(frameMs)});
      for (int k = 0; k < 3; ++k) bestSpent[k] = std::min(bestSpent[k], spent[k]);
    }
    std::printf("%s course %d (runners x%s): %s ms per frame, %s ms CPU per frame%s\n", hardware ? "direct3d" : "software",
                courses[c], quelt_test::Fixed(scales[c], 2).c_str(), quelt_test::Fixed(engine.ms, 3).c_str(),
                quelt_test::Fixed(engine.cpuMs, 3).c_str(),
                hardware ? (", best of " + std::to_string(kRounds) + " rounds").c_str() : "");
    std::printf("  by call, ms: select and layers %s, runners %s, present %s\n",
                quelt_test::Fixed(bestSpent[0] * 1000.0 / kFrames, 3).c_str(),
                quelt_test::Fixed(bestSpent[1] * 1000.0 / kFrames, 3).c_str(),
                quelt_test::Fixed(bestSpent[2] * 1000.0 / kFrames, 3).c_str());
    if (hardware && plain.ran)
      std::printf("  plain Direct3D 9, same quads, in turn with the engine: %s ms per frame, %s ms CPU; engine %s wall "
                  "(median frame %s), %s CPU\n",
                  quelt_test::Fixed(plain.ms, 3).c_str(), quelt_test::Fixed(plain.cpuMs, 3).c_str(),
                  quelt_test::Ratio(engine.ms, plain.ms).c_str(),
                  quelt_test::Ratio(engine.medianMs, plain.medianMs).c_str(),
                  quelt_test::Ratio(engine.cpuMs, plain.cpuMs).c_str());
    else if (hardware)
      std::printf("  plain Direct3D 9 race scene: did not run\n");
    // The floor the engine's texture pieces set: the plain program binding and drawing them.
    if (hardware && plainPieces.ran)
      std::printf("  plain Direct3D 9, the engine's %d texture pieces a layer: %s ms per frame, %s ms CPU; engine %s "
                  "wall (median frame %s), %s CPU; the pieces alone %s wall (median frame %s)\n",
                  quelt_test::PlainRaceScenePieces, quelt_test::Fixed(plainPieces.ms, 3).c_str(),
                  quelt_test::Fixed(plainPieces.cpuMs, 3).c_str(), quelt_test::Ratio(engine.ms, plainPieces.ms).c_str(),
                  quelt_test::Ratio(engine.medianMs, plainPieces.medianMs).c_str(),
                  quelt_test::Ratio(engine.cpuMs, plainPieces.cpuMs).c_str(),
                  quelt_test::Ratio(plainPieces.ms, plain.ms).c_str(),
                  quelt_test::Ratio(plainPieces.medianMs, plain.medianMs).c_str());
    if (hardware) {
      constexpr int counted = 10;
      quelt_test::DeviceCallCounts counts;
      {
        quelt_test::CountingSinkScope scope(&counts);
        for (int frame = 0; frame < counted; ++frame) draw(frame);
      }
      std::printf("  device calls per frame: %s (plain program: %d, with the pieces %d, present aside);",
                  quelt_test::Fixed(static_cast<double>(counts.Total()) / counted, 1).c_str(),
                  quelt_test::PlainRaceSceneCallsPerFrame, quelt_test::PlainRaceScenePiecesCallsPerFrame);
      for (size_t k = 0; k < counts.calls.size(); ++k)
        if (counts.calls[k] != 0)
          std::printf(" %s %s", quelt_test::DeviceCallNames[k],
                      quelt_test::Fixed(static_cast<double>(counts.calls[k]) / counted, 1).c_str());
      std::printf("\n");
    }
  }
  quelt_test::StopEngineSession();
}

}  // namespace

int main() {
  RunBackEnd(1);
  RunBackEnd(0);
  return 0;
}
