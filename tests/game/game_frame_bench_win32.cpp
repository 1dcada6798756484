// The game's own cost of a race frame on each back end, courses 0 and 11 (runners at scale
// 1 and 3.75), against a bare engine frame (pump, present, erase) in the same run. Prints
// CPU milliseconds per frame of the whole process (the Direct3D back end works partly on
// threads of its own) and of the game's thread, and the ratio to the bare frame.
#include <windows.h>

#include <cstdio>

#include "game/entry_layer.h"
#include "game/game_main.h"
#include "game/game_session.h"
#include "game/race_scene.h"

namespace {

using namespace quelt::game;

constexpr int Frames = 240;

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
  std::printf("%s bare frame (pump, present, erase): %.3f ms CPU per frame, %.3f ms on the game's thread\n", name,
              bare.process, bare.thread);
  for (int course : {0, 11}) {
    StartRace(course);
    bool running = true;
    const Cost game = Measure([&running] {
      Engine.ApiPumpMessages();
      RunRaceFrame(running);
    });
    std::printf("%s course %d race frame: %.3f ms CPU per frame (%.2f x bare), %.3f ms on the game's thread (%.2f x)\n",
                name, course, game.process, bare.process > 0 ? game.process / bare.process : 0.0, game.thread,
                bare.thread > 0 ? game.thread / bare.thread : 0.0);
  }
  testing::StopGameSession();
}

}  // namespace

int main() {
  RunBackEnd(1);
  RunBackEnd(0);
  return 0;
}
