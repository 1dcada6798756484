#include "game/race_scene.h"

#include <cstdint>
#include <limits>

#include "game/crt_random.h"
#include "game/entry_layer.h"
#include "game/game_state.h"
#include "game/runner.h"

namespace quelt::game {

namespace {

// The camera keeps the y it follows on this screen row.
constexpr int32_t CameraScreenY = 300;
// The line image (start and goal) is drawn this far above the y of the line it marks.
constexpr int32_t LineImageRise = 40;

constexpr int32_t ScreenYFrom(int32_t world_y, int32_t camera_y) {
  return world_y - camera_y + CameraScreenY;
}
constexpr int32_t LineImageY(int32_t line_y, int32_t camera_y) {
  return ScreenYFrom(line_y, camera_y) - LineImageRise;
}
// The goal line's row at the goal, and its and the start line's offsets from the player's
// y during the race (a camera at y 0).
static_assert(LineImageY(GoalY, GoalY) == 260);
static_assert(LineImageY(GoalY, 0) == -40115);
static_assert(LineImageY(StartY, 0) == 2080);

int32_t LoadGraph(const char* path) { return Engine.ApiOpenGraphFile(path, 0); }
int32_t LoadSound(const char* path) { return Engine.ApiLoadSoundFile(path, 3, -1); }

// "mod" with a result in 0..n-1.
int32_t Wrap(int32_t value, int32_t n) {
  const int32_t m = value % n;
  return m < 0 ? m + n : m;
}

void DrawRunner(const RunnerRecord& r, int32_t graph, int32_t screen_y, bool turned) {
  Engine.ApiDrawGraphRotated(static_cast<int32_t>(r.pivotX), screen_y, r.radius / 80.0, Radians(r.angle), graph, 1,
                             turned ? 1 : 0);
}

int32_t PlayerImage(const RunnerRecord& r, bool& turned) {
  if (r.sliding) {
    turned = false;
    return GameAssetHandles.playerSliding;
  }
  turned = r.direction == -1;
  return GameAssetHandles.player;
}

}  // namespace

void LoadGameAssets() {
  GameAssetHandleSet& a = GameAssetHandles;
  a.rival = LoadGraph("dat/enemy.bmp");
  a.player = LoadGraph("dat/player.bmp");
  a.playerSliding = LoadGraph("dat/player_d.bmp");
  a.farLayer = LoadGraph("dat/back1.bmp");
  a.middleLayer = LoadGraph("dat/back2.bmp");
  a.nearLayer = LoadGraph("dat/back3.bmp");
  a.line = LoadGraph("dat/start.bmp");
  a.logo = LoadGraph("dat/logo.bmp");
  a.pause = LoadGraph("dat/pause.bmp");
  a.titleMusic = LoadSound("dat/top.mp3");
  a.raceMusic = LoadSound("dat/race.mp3");
  a.moveSound = LoadSound("dat/select1.mp3");
  a.decideSound = LoadSound("dat/select2.mp3");
}

void ResetPlayer() {
  RunnerRecord& p = PlayerRunner;
  p.angle = 90;
  p.x = 300;
  p.y = 300;
  p.pivotX = 380;
  p.pivotY = 300;
  p.racePosition = 1;
  p.frictionDivisor = 1;
  p.direction = 1;
  p.angularSpeed = 2;
  p.radius = 80;
  p.lowerLimit = 270;
  p.upperLimit = 90;
  p.sliding = 0;
  p.finished = 0;
}

void StartRace(int32_t course) {
  Engine.ApiStopSoundHandle(GameAssetHandles.titleMusic);
  Engine.ApiPlaySoundHandle(GameAssetHandles.raceMusic, 3, 1);
  Course = course;
  const int32_t c = 60 - 2 * course;
  RivalSteeringBase = c;
  SeedGameRandom(0);
  const int32_t radius = 20 * course + 80;
  for (int32_t i = 0; i < RivalCount; ++i) {
    RunnerRecord& r = RivalTable[i];
    r = {};
    r.x = 10 * i;
    r.y = StartY;
    r.radius = radius;
    r.angle = 90;
    r.pivotX = 10 * i + radius;
    r.pivotY = StartY;
    r.angularSpeed = 2;
    r.direction = 1;
    r.upperLimit = c + 90;
    r.lowerLimit = 270 - c;
  }
  RunnerRecord& p = PlayerRunner;
  p.angle = 90;
  p.pivotX = p.radius + 300;
  p.pivotY = StartY;
  p.racePosition = 1;
  p.direction = 1;
  p.sliding = 1;
  GoalBonusArmed = 1;
  p.angularSpeed = 2;
  p.x = 300;
  p.y = StartY;
  p.upperLimit = 90;
  p.lowerLimit = 270;
  p.finished = 0;
}

int32_t CameraY() { return PlayerRunner.finished ? GoalY : PlayerRunner.y; }

int32_t ScreenY(int32_t world_y) { return ScreenYFrom(world_y, CameraY()); }

void DrawRaceBackground() {
  const int32_t v = CameraY();
  const GameAssetHandleSet& a = GameAssetHandles;
  Engine.ApiDrawGraphAtPoint(0, Wrap(-(v / 4), 1055) - 550, a.farLayer, 0);
  const int32_t y2 = Wrap(-(v / 2), 600);
  Engine.ApiDrawGraphAtPoint(0, y2 - 600, a.middleLayer, 1);
  Engine.ApiDrawGraphAtPoint(0, y2, a.middleLayer, 1);
  const int32_t y3 = Wrap(-v, 600);
  Engine.ApiDrawGraphAtPoint(0, y3 - 600, a.nearLayer, 1);
  Engine.ApiDrawGraphAtPoint(0, y3, a.nearLayer, 1);
}

int32_t AddVirtue(int32_t virtue, int64_t amount) {
  const int64_t sum = static_cast<int64_t>(virtue) + amount;
  constexpr int64_t top = std::numeric_limits<int32_t>::max();
  constexpr int64_t bottom = std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(sum > top ? top : (sum < bottom ? bottom : sum));
}

void DrawRaceHud() {
  RunnerRecord& p = PlayerRunner;
  const uint32_t colour = HudTextColour;
  const bool goal = p.finished != 0;
  Engine.ApiDrawGraphAtPoint(0, LineImageY(GoalY, CameraY()), GameAssetHandles.line, 1);
  if (!goal) Engine.ApiDrawGraphAtPoint(0, LineImageY(StartY, CameraY()), GameAssetHandles.line, 1);
  Engine.ApiDrawTextFormatted(0, 0, colour, "【%s】", CourseNames[Course]);
  Engine.ApiDrawTextFormatted(0, 20, colour, "走破距離：%05dpx", goal ? GoalDistance : StartY - p.y);
  // The caption ends in a percent sign of its own, drawn as it reads.
  Engine.ApiDrawTextFormatted(0, 40, colour, "走行速度：%05.2fpx/f%%", p.angularSpeed * GamePi / 180 * p.radius);
  if (!goal) {
    int32_t position = 1;
    for (const RunnerRecord& r : RivalTable) {
      if (r.y < p.y) ++position;
    }
    p.racePosition = position;
  }
  Engine.ApiDrawTextFormatted(0, 60, colour, "Ｒａｎｋ：%02d位", p.racePosition);
  if (!goal) return;
  Engine.ApiDrawTextDefaultFont(0, 80, "ＧＯＡＬ！！！！", colour, 0);
  if (p.racePosition == 1) {
    const int64_t award = int64_t{1} << (2 * (Course + 1));
    Engine.ApiDrawTextFormatted(0, 100, colour, "Ｙｏｕ　Ｇｏｔ　%d徳！！！！", static_cast<int32_t>(award));
    if (GoalBonusArmed) {
      PlayerProfile.virtue = AddVirtue(PlayerProfile.virtue, award);
      PlayerProfile.previousLife = Course;
      GoalBonusArmed = 0;
    }
  }
  Engine.ApiDrawTextDefaultFont(0, 120, "Ｐｕｓｈ　ＳＰＡＣＥ　Ｋｅｙ", colour, 0);
}

void DrawRivals() {
  for (const RunnerRecord& r : RivalTable) {
    DrawRunner(r, GameAssetHandles.rival, ScreenY(static_cast<int32_t>(r.pivotY)), r.direction == -1);
  }
}

void DrawPlayer() {
  const RunnerRecord& p = PlayerRunner;
  const int32_t screen_y = ScreenY(static_cast<int32_t>(p.pivotY));
  if (p.finished) {
    DrawRunner(p, GameAssetHandles.player, screen_y, p.direction == -1);
    return;
  }
  bool turned = false;
  const int32_t graph = PlayerImage(p, turned);
  DrawRunner(p, graph, screen_y, turned);
}

void DrawDemoRunner() {
  const RunnerRecord& p = PlayerRunner;
  bool turned = false;
  const int32_t graph = PlayerImage(p, turned);
  DrawRunner(p, graph, static_cast<int32_t>(p.pivotY), turned);
}

void DrawTitleScreen() {
  const GameAssetHandleSet& a = GameAssetHandles;
  const int32_t t = TitleCounter;
  Engine.ApiDrawGraphAtPoint(0, 0, a.farLayer, 0);
  Engine.ApiDrawGraphAtPoint(t / 2, 0, a.middleLayer, 1);
  Engine.ApiDrawGraphAtPoint(t / 2 - 600, 0, a.middleLayer, 1);
  Engine.ApiDrawGraphAtPoint(t % 600, 0, a.nearLayer, 1);
  Engine.ApiDrawGraphAtPoint(t % 600 - 600, 0, a.nearLayer, 1);
  TitleCounter = (t + 1) % 1200;
  UpdateDemoRunner();
  DrawDemoRunner();
  Engine.ApiDrawGraphAtPoint(100, 200, a.logo, 1);
  const uint32_t colour = MenuTextColour;
  const PlayerProfileRecord& pr = PlayerProfile;
  Engine.ApiDrawTextFormatted(450, 20, colour, "人徳：%d", pr.virtue);
  Engine.ApiDrawTextFormatted(450, 40, colour, "体格：%d", pr.physique);
  Engine.ApiDrawTextFormatted(450, 60, colour, "脱力：%d", pr.relaxation);
  Engine.ApiDrawTextFormatted(450, 80, colour, "総レベル：%d", pr.totalLevel);
  Engine.ApiDrawTextFormatted(450, 100, colour, "前世：%s", PreviousLifeName(pr.previousLife));
}

}  // namespace quelt::game
