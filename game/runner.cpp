#include "game/runner.h"

#include <cmath>

#include "game/crt_random.h"
#include "game/game_keys.h"
#include "game/game_state.h"
#include "game/menus.h"

namespace quelt::game {

void JumpPivot(RunnerRecord& r) {
  const double a = Radians(r.angle);
  r.pivotX = r.pivotX + 2 * r.radius * std::sin(a);
  r.pivotY = r.pivotY - 2 * r.radius * std::cos(a);
}

void TurnAroundWrapped(RunnerRecord& r) {
  r.angle += 180;
  while (r.angle > 360) r.angle -= 360;
}

void PlaceFromPivot(RunnerRecord& r) {
  const double a = Radians(r.angle);
  r.x = static_cast<int32_t>(r.pivotX - r.radius * std::sin(a));
  r.y = static_cast<int32_t>(r.pivotY + r.radius * std::cos(a));
}

void ClampX(RunnerRecord& r) {
  if (r.x < 0) {
    r.pivotX -= r.x;
    r.x = 0;
  } else if (r.x > FieldWidth) {
    r.pivotX -= r.x - FieldWidth;
    r.x = FieldWidth;
  }
}

void ClampY(RunnerRecord& r) {
  if (r.y < 0) {
    r.pivotY -= r.y;
    r.y = 0;
  } else if (r.y > FieldWidth) {
    r.pivotY -= r.y - FieldWidth;
    r.y = FieldWidth;
  }
}

void DecaySpeed(RunnerRecord& r, int32_t divisor) {
  // A divisor below 1 (a loaded profile can ask for one) would speed the runner up.
  const double d = divisor < 1 ? 1.0 : static_cast<double>(divisor);
  r.angularSpeed -= r.angularSpeed * r.angularSpeed * FrictionFactor / d;
  if (r.angularSpeed < 0) r.angularSpeed = 0;
}

namespace {

void NewRivalLimits(RunnerRecord& r, bool extra) {
  r.upperLimit = RivalSteeringBase + GameRandom() % 20 + 90 + (extra ? 1 : 0);
  r.lowerLimit = 360 - r.upperLimit;
}

// One step of the stride rule after any steering: turn, slow down, place.
void StepRunner(RunnerRecord& r, double speed) {
  r.angle += r.direction * speed;
  r.angularSpeed = speed;
  DecaySpeed(r, 1);
  PlaceFromPivot(r);
}

// Sets the sliding pose, facing forward first.
void EnterSlide(RunnerRecord& r) {
  r.sliding = 1;
  if (r.direction == -1) {
    r.direction = 1;
    TurnAroundWrapped(r);
    JumpPivot(r);
  }
}

void GlideAlongHeading(RunnerRecord& r) {
  const double a = Radians(r.angle);
  const double s = r.radius * r.angularSpeed * GamePi / 180;
  r.pivotX -= std::cos(a) * s;
  r.pivotY -= std::sin(a) * s;
  PlaceFromPivot(r);
}

}  // namespace

void UpdateRival(RunnerRecord& r) {
  if (r.direction == 1 && r.upperLimit < r.angle) {
    r.direction = -1;
    r.angle += 180;
    JumpPivot(r);
    r.angularSpeed += 1;
    NewRivalLimits(r, r.pivotX > 300);
  }
  if (r.direction == -1 && r.lowerLimit > r.angle) {
    r.direction = 1;
    r.angle -= 180;
    JumpPivot(r);
    r.angularSpeed += 1;
    NewRivalLimits(r, r.pivotX < 300);
  }
  StepRunner(r, r.angularSpeed);
  ClampX(r);
}

int32_t SlidePlayer() {
  RunnerRecord& r = PlayerRunner;
  GlideAlongHeading(r);
  ClampX(r);
  DecaySpeed(r, r.frictionDivisor);
  const int32_t distance = StartY - r.y;
  if (distance > GoalDistance - 1) {
    r.finished = 1;
    r.sliding = 0;
  }
  return distance;
}

int8_t UpdatePlayer() {
  RunnerRecord& r = PlayerRunner;
  RaceKey key = ReadRaceKey();
  if (r.finished) {
    if (key == RaceKeyPause) return 0;
    UpdateRival(r);
    return 1;
  }
  if (key == RaceKeyPause) {
    if (static_cast<uint8_t>(RunPauseDialog()) == 1) return 0;
    key = RaceKeyNone;
  }
  if (key == RaceKeyNone && r.sliding) {
    SlidePlayer();
    return 1;
  }
  if (key == RaceKeySlide) {
    if (!r.sliding) EnterSlide(r);
    SlidePlayer();
    return 1;
  }
  const bool strides = key == RaceKeyRight || key == RaceKeyLeft;
  if (strides && r.sliding) {
    if (key == RaceKeyRight) r.angularSpeed += 1;
    r.sliding = 0;
  }
  double speed = r.angularSpeed;
  if (strides && key != r.direction) {
    r.direction = key;
    TurnAroundWrapped(r);
    JumpPivot(r);
    speed = r.angularSpeed + 1;
  }
  StepRunner(r, speed);
  ClampX(r);
  if (StartY - r.y >= GoalDistance) r.finished = 1;
  return 1;
}

void SlideDemoRunner() {
  RunnerRecord& r = PlayerRunner;
  GlideAlongHeading(r);
  ClampX(r);
  ClampY(r);
  DecaySpeed(r, r.frictionDivisor);
}

void UpdateDemoRunner() {
  RunnerRecord& r = PlayerRunner;
  const int32_t relaxation = PlayerProfile.relaxation < 0 ? 0 : (PlayerProfile.relaxation > 30 ? 30 : PlayerProfile.relaxation);
  r.frictionDivisor = static_cast<int32_t>(std::pow(2.0, relaxation));
  r.radius = PlayerProfile.physique * 20 + 80;
  if (GameRandom() % 200 == 0 && !r.sliding) EnterSlide(r);
  const int32_t chance = GameRandom() % 100;
  if (chance != 0 && r.sliding) {
    SlideDemoRunner();
    return;
  }
  if (chance == 0) r.sliding = 0;
  double speed = r.angularSpeed;
  if (GameRandom() % 20 == 0) {
    r.direction = static_cast<int8_t>(-r.direction);
    TurnAroundWrapped(r);
    JumpPivot(r);
    speed = r.angularSpeed + 1;
  }
  StepRunner(r, speed);
  ClampX(r);
  ClampY(r);
}

}  // namespace quelt::game
