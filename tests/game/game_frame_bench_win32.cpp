// The game's own cost of a race frame on each back end, courses 0 and 11 (runners at scale
// 1 and 3.75), against a bare engine frame (pump, present, erase) in the same run. Prints
// CPU milliseconds per frame of the whole process (the Direct3D back end works partly on
// threads of its own) and of the game's thread, and the ratio to the bare frame.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "game/entry_layer.h"
#include "game/game_main.h"
#include "game/game_session.h"
#include "game/race_scene.h"

namespace {

using namespace quelt::game;

constexpr int Frames = 240;

// Fixed-point text of a figure: the runtime's printf under Wine carries a rounding into a
// ':' digit ("2.:00" for 2.9999).
std::string Fixed(double value, int decimals) {
  long long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const long long n = std::llround(value * static_cast<double>(scale));
  std::string fraction = std::to_string(n % scale);
  fraction.insert(0, static_cast<size_t>(decimals) - fraction.size(), '0');
  return std::to_string(n / scale) + "." + fraction;
}

std::string Ratio(double value, double base) { return base > 0 ? Fixed(value / base, 2) : std::string("-"); }

struct Cost {
  double process, thread;
};

template <typename Frame>
Cost Measure(Frame frame) {
  for (int i = 0; i < 10; ++i) frame();
  const double p0 = testing::ProcessCpuSeconds(), t0 = testing::ThreadCpuSeconds();
  for (int i = 0; i < Frames; ++i) frame();
  return {(testing::ProcessCpuSeconds() - p0) * 1000.0 / Frames, (testing::ThreadCpuSeconds() - t0) * 1000.0 / Frames};
}

void RunBackEnd(int32_t hardware) {
  const char* name = hardware ? "direct3d" : "software";
  if (testing::StartGameSession(hardware, hardware ? "Tarn Vale bench d3d" : "Tarn Vale bench soft") != 0 ||
      testing::SessionHardware() != hardware) {
    std::printf("%s: engine did not start on this back end\n", name);
    return;
  }
  // Both loops run with the race music playing, as in the game.
  StartRace(0);
  const Cost bare = Measure([] {
    Engine.ApiPumpMessages();
    Engine.ApiPresentScreen();
    Engine.ApiEraseDrawScreen();
  });
  std::printf("%s bare frame (pump, present, erase): %s ms CPU per frame, %s ms on the game's thread\n", name,
              Fixed(bare.process, 3).c_str(), Fixed(bare.thread, 3).c_str());
  for (int course : {0, 11}) {
    StartRace(course);
    bool running = true;
    const Cost game = Measure([&running] {
      Engine.ApiPumpMessages();
      RunRaceFrame(running);
    });
    std::printf("%s course %d race frame: %s ms CPU per frame (%s x bare), %s ms on the game's thread (%s x)\n", name,
                course, Fixed(game.process, 3).c_str(), Ratio(game.process, bare.process).c_str(),
                Fixed(game.thread, 3).c_str(), Ratio(game.thread, bare.thread).c_str());
  }
  testing::StopGameSession();
}

}  // namespace

int main() {
  RunBackEnd(1);
  RunBackEnd(0);
  return 0;
}
