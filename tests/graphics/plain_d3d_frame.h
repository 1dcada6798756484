#pragma once
// A plain Direct3D 9 program beside the engine, as the floor its frame times are held
// against: its own window and device with the engine's window-mode presentation parameters
// (desktop format, copy swap effect, lockable back buffer, presentation interval immediate),
// no engine code. Figures are wall and process CPU milliseconds per frame.
#include <string>
#include <vector>

namespace quelt_test {

struct PlainFrameFigures {
  bool ran;
  int frames;
  double ms, cpuMs;
  // The median frame: steadier than the mean on a machine busy with other work.
  double medianMs;
};

// Clear plus present of a 600 x 600 window, for `seconds`. `discard`: a discard swap effect
// and no lockable back buffer instead of the engine's parameters, the cheapest windowed chain.
PlainFrameFigures MeasurePlainClearPresent(double seconds, bool discard = false);
// Clear, three full-screen 600 x 600 textured layers (the first opaque, the others alpha
// blended), 61 rotated 24 x 24 alpha-blended quads at `runnerScale`, present; `frames` times.
// Textures are point sampled, as the engine's are. `pieces`: each layer as the engine holds a
// 600 x 600 picture, 16 textures of 512, 64, 16 and 8 texels a side, each bound and drawn.
PlainFrameFigures MeasurePlainRaceScene(double runnerScale, int frames, bool pieces = false);
// Device calls of one such frame besides the present: begin scene, clear, per layer blend
// enable, texture and draw (per piece with `pieces`), the runners' texture and draw, end scene.
constexpr int PlainRaceScenePieces = 16;
constexpr int PlainRaceSceneCallsPerFrame = 1 + 1 + 3 * 3 + 2 + 1;
constexpr int PlainRaceScenePiecesCallsPerFrame = 1 + 1 + 3 * (1 + 2 * PlainRaceScenePieces) + 2 + 1;

// Fixed-point text of a figure: the runtime's printf under Wine can carry a rounding into a
// ':' digit ("2.:00" for 2.9999).
std::string Fixed(double value, int decimals);
// value / base as "N.NN x", or "-" without a base.
std::string Ratio(double value, double base);

// The median of frame times (0 for none).
double MedianMs(std::vector<double> frameMs);

// Process CPU seconds (kernel and user, every thread).
double ProcessCpuSeconds();

}  // namespace quelt_test
