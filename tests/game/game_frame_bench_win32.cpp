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
#include "graphics/draw_screen.h"
#include "game/game_state.h"
#include "game/runner.h"
#include "tests/graphics/counting_sink.h"

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

// Wall milliseconds of each engine call of a race frame, and on Direct3D the device calls a
// frame makes by kind.
void Breakdown(const char* name, int32_t hardware) {
  constexpr int kParts = 8;
  static constexpr const char* parts[kParts] = {"pump", "background", "hud", "rivals", "player", "update", "present", "erase"};
  double spent[kParts] = {};
  LARGE_INTEGER frequency, t0, t1;
  QueryPerformanceFrequency(&frequency);
  bool running = true;
  auto timed = [&](int part, auto&& call) {
    QueryPerformanceCounter(&t0);
    call();
    QueryPerformanceCounter(&t1);
    spent[part] += static_cast<double>(t1.QuadPart - t0.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
  };
  quelt_test::DeviceCallCounts counts;
  const uint64_t presentsBefore = quelt::GetPresentCounter();
  {
    quelt_test::CountingSinkScope scope(&counts);
    for (int i = 0; i < Frames; ++i) {
      timed(0, [] { Engine.ApiPumpMessages(); });
      timed(1, [] { DrawRaceBackground(); });
      timed(2, [] { DrawRaceHud(); });
      timed(3, [] { DrawRivals(); });
      timed(4, [] { DrawPlayer(); });
      timed(5, [&running] {
        for (RunnerRecord& r : RivalTable) UpdateRival(r);
        running = UpdatePlayer() != 0;
      });
      timed(6, [] { Engine.ApiPresentScreen(); });
      timed(7, [] { Engine.ApiEraseDrawScreen(); });
    }
  }
  std::printf("%s race frame by call, ms:", name);
  for (int i = 0; i < kParts; ++i) std::printf(" %s %s", parts[i], Fixed(spent[i] / Frames, 3).c_str());
  std::printf("; %s presents a frame\n",
              Fixed(static_cast<double>(quelt::GetPresentCounter() - presentsBefore) / Frames, 2).c_str());
  if (!hardware) return;
  std::printf("%s device calls per race frame: %s (present aside);", name,
              Fixed(static_cast<double>(counts.Total()) / Frames, 1).c_str());
  for (size_t k = 0; k < counts.calls.size(); ++k)
    if (counts.calls[k] != 0)
      std::printf(" %s %s", quelt_test::DeviceCallNames[k],
                  Fixed(static_cast<double>(counts.calls[k]) / Frames, 1).c_str());
  std::printf("\n");
}

void RunBackEnd(int32_t hardware) {
  const char* name = hardware ? "direct3d" : "software";
  if (testing::StartGameSession(hardware, hardware ? "Tarn Vale bench d3d" : "Tarn Vale bench soft") != 0 ||
      testing::SessionHardware() != hardware) {
    std::printf("%s: engine did not start on this back end\n", name);
    return;
  }
  // The frames' own cost: presents unpaced (the game itself holds them to 60 a second).
  quelt::SetVSyncWait(0);
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
  StartRace(0);
  Breakdown(name, hardware);
  testing::StopGameSession();
}

}  // namespace

int main() {
  RunBackEnd(1);
  RunBackEnd(0);
  return 0;
}
