// The title, races and the pause dialog drawn by the game on the real engine, read back on
// both back ends, kept as pictures in the test's folder and compared with each other.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/crt_random.h"
#include "game/entry_layer.h"
#include "game/game_keys.h"
#include "game/game_main.h"
#include "game/game_session.h"
#include "game/game_state.h"
#include "game/menus.h"
#include "game/race_scene.h"

namespace quelt::game {
namespace {

using testing::Session;

struct Screens {
  std::vector<uint32_t> title, race, pause, raceFarOn;
};

// Every scene starts from a fixed generator state and frame count, so both back ends draw
// the same picture.
Screens DrawScreens(int32_t hardware) {
  Screens out;
  if (testing::StartGameSession(hardware, hardware ? "Tarn Vale screens d3d" : "Tarn Vale screens soft") != 0) {
    ADD_FAILURE() << "engine did not start";
    return out;
  }
  EXPECT_EQ(testing::SessionHardware(), hardware);

  // Title: one frame of the menu with the scroll a little way in.
  SeedGameRandom(0);
  TitleCounter = 240;
  Session.captureAtPresent = Session.presents;
  Session.quitAtPump = Session.pumps + 2;
  EXPECT_EQ(RunTitleMenu(), 0);
  out.title = Session.captured;

  // Race: 40 frames of course 3 without a key (the player slides from the start).
  Session.quitAtPump = 1 << 30;
  StartRace(3);
  bool running = true;
  for (int frame = 0; frame < 40; ++frame) {
    if (frame == 39) Session.captureAtPresent = Session.presents;
    Engine.ApiPumpMessages();
    RunRaceFrame(running);
  }
  out.race = Session.captured;

  // Pause: space in the next frame opens the dialog over the scene; its first frame is kept,
  // then the pump's quit closes it.
  const int space_read = Session.keyReads;
  Session.keysAt = [space_read](int n) { return n == space_read ? std::vector<int>{KeySpace} : std::vector<int>{}; };
  Session.captureAtPresent = Session.presents;
  Session.quitAtPump = Session.pumps + 2;
  RunRaceFrame(running);
  out.pause = Session.captured;

  // Far on in the last course: the rivals, near the start and turned after their first
  // strides, lie some 16,400 rows below the screen (past what a 32-bit 14.18 position
  // holds) and are drawn nowhere on it.
  Session.keysAt = nullptr;
  Session.quitAtPump = 1 << 30;
  StartRace(11);
  PlayerRunner.pivotY -= 16384;
  for (int frame = 0; frame < 40; ++frame) {
    if (frame == 39) Session.captureAtPresent = Session.presents;
    Engine.ApiPumpMessages();
    RunRaceFrame(running);
  }
  out.raceFarOn = Session.captured;
  testing::StopGameSession();
  return out;
}

struct Difference {
  double farPixels;  // share of pixels with a channel more than 64 apart
  double mean;       // mean absolute channel difference
};

Difference Compare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  Difference d{1, 255};
  if (a.size() != b.size() || a.empty()) return d;
  size_t apart = 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int delta = std::abs(static_cast<int>((a[i] >> shift) & 0xFF) - static_cast<int>((b[i] >> shift) & 0xFF));
      sum += delta;
      if (delta > worst) worst = delta;
    }
    if (worst > 64) ++apart;
  }
  d.farPixels = static_cast<double>(apart) / static_cast<double>(a.size());
  d.mean = sum / (3.0 * static_cast<double>(a.size()));
  return d;
}

// Pixels that are neither the erase colour nor one flat colour: the scene was drawn.
size_t DistinctColours(const std::vector<uint32_t>& p) {
  std::vector<uint32_t> seen;
  for (size_t i = 0; i < p.size() && seen.size() < 64; i += 97) {
    bool known = false;
    for (uint32_t s : seen) known |= s == p[i];
    if (!known) seen.push_back(p[i]);
  }
  return seen.size();
}

TEST(GameScreens, TitleRaceAndPauseLookAlikeOnBothBackEnds) {
  // The engine's log goes to the test's own folder; the folder the game is played from is
  // left as it was built (a log of an older run there is cleared first).
  const std::string game_log = std::string(QUELT_GAME_DIR[0] == '/' ? "Z:" : "") + QUELT_GAME_DIR + "\\Log.txt";
  DeleteFileA(game_log.c_str());
  DeleteFileA("Log.txt");
  const Screens d3d = DrawScreens(1);
  const Screens soft = DrawScreens(0);
  EXPECT_EQ(GetFileAttributesA(game_log.c_str()), INVALID_FILE_ATTRIBUTES) << game_log;
  EXPECT_NE(GetFileAttributesA("Log.txt"), INVALID_FILE_ATTRIBUTES);
  const std::array<const char*, 4> names = {"title", "race", "pause", "race_far_on"};
  const std::array<const std::vector<uint32_t>*, 4> hard_shots = {&d3d.title, &d3d.race, &d3d.pause, &d3d.raceFarOn};
  const std::array<const std::vector<uint32_t>*, 4> soft_shots = {&soft.title, &soft.race, &soft.pause,
                                                                  &soft.raceFarOn};
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    ASSERT_EQ(hard_shots[i]->size(), 600u * 600u);
    ASSERT_EQ(soft_shots[i]->size(), 600u * 600u);
    EXPECT_TRUE(quelt::testing::WriteBmp(std::string(names[i]) + "_direct3d.bmp", *hard_shots[i], 600, 600));
    EXPECT_TRUE(quelt::testing::WriteBmp(std::string(names[i]) + "_software.bmp", *soft_shots[i], 600, 600));
    EXPECT_GE(DistinctColours(*hard_shots[i]), 32u);
    const Difference d = Compare(*hard_shots[i], *soft_shots[i]);
    std::printf("%s: %.2f%% of pixels far apart, mean difference %.2f\n", names[i], d.farPixels * 100, d.mean);
    EXPECT_LT(d.farPixels, 0.04);
    EXPECT_LT(d.mean, 6.0);
  }
}

}  // namespace
}  // namespace quelt::game
