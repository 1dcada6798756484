#pragma once
// Runners move like a pair of compasses: a rod of length radius turns about a pivot, its
// free end is the runner's position, and the pivot jumps over the free end at each stride.
#include <cstdint>

namespace quelt::game {

struct RunnerRecord {
  int32_t x;
  int32_t y;
  int32_t radius;
  int32_t lowerLimit;
  int32_t upperLimit;
  int32_t racePosition;
  int32_t frictionDivisor;
  double angle;
  double pivotX;
  double pivotY;
  double angularSpeed;
  int8_t direction;
  int8_t sliding;
  int8_t finished;
};

constexpr double GamePi = 3.1415926536;
constexpr double FrictionFactor = 0.001;
constexpr int32_t FieldWidth = 600;
constexpr int32_t StartY = 1820;
constexpr int32_t GoalDistance = 42195;
// Runners go up the screen: the goal lies the race's distance above the start.
constexpr int32_t GoalY = StartY - GoalDistance;
static_assert(GoalY == -40375);
constexpr int32_t RivalCount = 60;

constexpr double Radians(double degrees) { return degrees * GamePi / 180; }

// Shared stride steps.
void JumpPivot(RunnerRecord& r);
void TurnAroundWrapped(RunnerRecord& r);
void PlaceFromPivot(RunnerRecord& r);
void ClampX(RunnerRecord& r);
void ClampY(RunnerRecord& r);
void DecaySpeed(RunnerRecord& r, int32_t divisor);

void UpdateRival(RunnerRecord& r);
int8_t UpdatePlayer();
int32_t SlidePlayer();
void UpdateDemoRunner();
void SlideDemoRunner();

}  // namespace quelt::game
