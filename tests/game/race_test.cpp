#include <gtest/gtest.h>

#include <cstring>

#include "game/game_keys.h"
#include "game/game_main.h"
#include "game/game_state.h"
#include "game/race_scene.h"
#include "game/recording_entry.h"
#include "game/runner.h"

namespace quelt::game {
namespace {

using testing::Calls;
using testing::CallsNamed;

void PrepareRace(int32_t course) {
  testing::InstallRecorder();
  InitialiseTextColours();
  LoadGameAssets();
  ResetPlayer();
  StartRace(course);
  Calls.clear();
}

TEST(GameRace, StartLineSitsUnderThePlayerAndFirstSlideGlidesForward) {
  PrepareRace(0);
  DrawRaceHud();
  auto lines = CallsNamed("ApiDrawGraphAtPoint");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].numbers[1], -1820 - 40115);
  EXPECT_EQ(lines[1].numbers[1], 260);
  EXPECT_EQ(lines[1].numbers[2], GameAssetHandles.line);

  bool running = true;
  RunRaceFrame(running);
  EXPECT_TRUE(running);
  EXPECT_NEAR(PlayerRunner.pivotY, 1817.2074731968, 1e-9);
  EXPECT_EQ(PlayerRunner.y, 1817);
  EXPECT_EQ(PlayerRunner.x, 300);
  EXPECT_EQ(PlayerRunner.sliding, 1);

  // The frame draws the background, the hud, 60 rivals and the player, then presents.
  auto rotated = CallsNamed("ApiDrawGraphRotated");
  ASSERT_EQ(rotated.size(), 61u);
  EXPECT_EQ(rotated[60].numbers[4], GameAssetHandles.playerSliding);
  EXPECT_EQ(rotated[60].numbers[0], 380);
  EXPECT_EQ(rotated[60].numbers[1], 300);
  EXPECT_EQ(rotated[0].numbers[0], 80);  // rival 0's pivot at its radius
  EXPECT_DOUBLE_EQ(rotated[0].numbers[3], 90 * 3.1415926536 / 180);
  EXPECT_EQ(Calls[Calls.size() - 2].name, "ApiPresentScreen");
  EXPECT_EQ(Calls.back().name, "ApiEraseDrawScreen");
}

TEST(GameRace, HudTextsAndSpeedCaptionWithItsPercentSign) {
  PrepareRace(0);
  DrawRaceHud();
  auto texts = CallsNamed("text");
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].text, "【地獄道・下】");
  EXPECT_EQ(texts[1].text, "走破距離：00000px");
  EXPECT_EQ(texts[2].text, "走行速度：02.79px/f%");
  EXPECT_EQ(texts[3].text, "Ｒａｎｋ：01位");
  EXPECT_EQ(texts[3].numbers[2], HudTextColour);
}

TEST(GameRace, EveryRaceOfACourseHasTheSameRivals) {
  auto run = [] {
    PrepareRace(3);
    bool running = true;
    for (int i = 0; i < 200; ++i) RunRaceFrame(running);
    return RivalTable;
  };
  const auto first = run();
  const auto second = run();
  for (int i = 0; i < RivalCount; ++i) {
    EXPECT_EQ(std::memcmp(&first[i], &second[i], sizeof(RunnerRecord)), 0) << i;
  }
  EXPECT_LT(first[0].y, 1820);
}

TEST(GameRace, GoalAwardIsPaidOnceAndCourseElevenPaysFourToTheTwelfth) {
  PrepareRace(11);
  PlayerRunner.finished = 1;
  DrawRaceHud();
  DrawRaceHud();
  EXPECT_EQ(PlayerProfile.virtue, 16777216);
  EXPECT_EQ(PlayerProfile.previousLife, 11);
  auto texts = CallsNamed("text");
  EXPECT_EQ(texts[1].text, "走破距離：42195px");
  EXPECT_EQ(texts[5].text, "Ｙｏｕ　Ｇｏｔ　16777216徳！！！！");
  // After the goal the line stays where the start line was drawn.
  EXPECT_EQ(CallsNamed("ApiDrawGraphAtPoint")[0].numbers[1], 260);

  PrepareRace(11);
  PlayerProfile.virtue = 2147483000;
  PlayerRunner.finished = 1;
  DrawRaceHud();
  EXPECT_EQ(PlayerProfile.virtue, 2147483647);
}

TEST(GameRace, RivalTurnsOnlyPastItsUpperLimit) {
  PrepareRace(0);
  RunnerRecord r = RivalTable[0];
  r.angle = r.upperLimit;
  r.angularSpeed = 0;
  UpdateRival(r);
  EXPECT_EQ(r.direction, 1);
  r.angle = r.upperLimit + 0.5;
  UpdateRival(r);
  EXPECT_EQ(r.direction, -1);
  EXPECT_DOUBLE_EQ(r.angularSpeed, 1 - 0.001);
}

TEST(GameRace, FrictionDivisorBelowOneCountsAsOne) {
  RunnerRecord r{};
  for (int32_t divisor : {1, 0, -4}) {
    r.angularSpeed = 10;
    DecaySpeed(r, divisor);
    EXPECT_DOUBLE_EQ(r.angularSpeed, 10 - 0.1) << divisor;
  }
  r.angularSpeed = 10;
  DecaySpeed(r, 4);
  EXPECT_DOUBLE_EQ(r.angularSpeed, 10 - 0.025);
  // A speed so high that one decay step would overshoot stops instead of running backwards.
  r.angularSpeed = 2000;
  DecaySpeed(r, 1);
  EXPECT_EQ(r.angularSpeed, 0);

  // The demo runner takes the divisor and the radius from the profile for the next race.
  testing::InstallRecorder();
  ResetPlayer();
  PlayerProfile.relaxation = 20;
  PlayerProfile.physique = 3;
  UpdateDemoRunner();
  EXPECT_EQ(PlayerRunner.frictionDivisor, 1 << 20);
  EXPECT_EQ(PlayerRunner.radius, 140);
}

TEST(GameRace, HeldKeyCountsOnceAndAgainAfterTheCounterWraps) {
  testing::InstallRecorder();
  testing::Script.keysAt = [](int) { return std::vector<int>{KeyRight}; };
  int pressed = 0;
  for (int frame = 1; frame <= 257; ++frame) {
    if (ReadRaceKey() == 1) {
      ++pressed;
      EXPECT_TRUE(frame == 1 || frame == 257) << frame;
    }
  }
  EXPECT_EQ(pressed, 2);
}

TEST(GameRace, RightWhileSlidingEndsTheSlideAndSpeedsUp) {
  PrepareRace(0);
  testing::Script.keysAt = [](int n) { return n == 0 ? std::vector<int>{KeyRight} : std::vector<int>{}; };
  UpdatePlayer();
  EXPECT_EQ(PlayerRunner.sliding, 0);
  EXPECT_DOUBLE_EQ(PlayerRunner.angularSpeed, 3 - 3 * 3 * 0.001);
  PlayerRunner.angularSpeed = 0;
  const RunnerRecord before = PlayerRunner;
  UpdatePlayer();
  EXPECT_EQ(PlayerRunner.x, before.x);
  EXPECT_EQ(PlayerRunner.y, before.y);
}

TEST(GameRace, ProgramSetsUpTheEngineAndEndsOnQuit) {
  testing::InstallRecorder();
  testing::Script.quitAtPump = 1;
  EXPECT_EQ(RunGame(), 0);
  ASSERT_GE(Calls.size(), 8u);
  EXPECT_EQ(Calls[0].name, "ApiSetWindowIcon");
  EXPECT_EQ(Calls[0].numbers[0], 100);
  EXPECT_EQ(Calls[3].text, "Tarn Vale");
  EXPECT_EQ(Calls[5].name, "ApiStartEngine");
  EXPECT_EQ(Calls[6].name, "ApiSelectDrawScreen");
  EXPECT_EQ(CallsNamed("ApiOpenGraphFile")[0].text, "dat/enemy.bmp");
  EXPECT_EQ(CallsNamed("ApiLoadSoundFile")[3].text, "dat/select2.mp3");
  EXPECT_EQ(Calls.back().name, "ApiStopEngine");

  testing::InstallRecorder();
  testing::Script.startResult = -1;
  EXPECT_EQ(RunGame(), -1);
  EXPECT_TRUE(CallsNamed("ApiStopEngine").empty());
}

TEST(GameRace, QuitFromTheLoadEntryNeverStartsARace) {
  testing::InstallRecorder();
  // Up on the first entry reaches entry 14; the program then quits.
  testing::Script.keysAt = [](int n) { return n == 0 ? std::vector<int>{KeyUp} : std::vector<int>{}; };
  testing::Script.quitAtPump = 4;
  EXPECT_EQ(RunGame(), 0);
  EXPECT_EQ(Course, 0);
  EXPECT_EQ(CallsNamed("ApiStopSoundHandle").size(), 1u);  // only the race music before the title
}

}  // namespace
}  // namespace quelt::game
