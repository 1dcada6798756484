#pragma once
// The game's globals: runners, the course, the player's profile and the loaded assets.
#include <array>
#include <cstdint>

#include "game/runner.h"

namespace quelt::game {

struct PlayerProfileRecord {
  int32_t virtue;
  int32_t physique;
  int32_t relaxation;
  int32_t totalLevel;
  int32_t previousLife;  // -1: none, else the course last won
};

struct GameAssetHandleSet {
  int32_t rival, player, playerSliding, farLayer, middleLayer, nearLayer, line, logo, pause;
  int32_t titleMusic, raceMusic, moveSound, decideSound;
};

constexpr int32_t CourseCount = 12;

extern RunnerRecord PlayerRunner;
extern std::array<RunnerRecord, RivalCount> RivalTable;
extern int32_t Course;
extern int32_t RivalSteeringBase;
extern int8_t GoalBonusArmed;
extern PlayerProfileRecord PlayerProfile;
extern int32_t TitleCounter;
extern GameAssetHandleSet GameAssetHandles;
extern uint32_t HudTextColour;
extern uint32_t PauseTextColour;
extern uint32_t MenuTextColour;

extern const std::array<const char*, CourseCount> CourseNames;
extern const std::array<const char*, 13> PreviousLifeNames;

// The program-start values of every global above (the colours through the engine).
void ResetGameGlobals();
void InitialiseTextColours();
// The name for a previous-life index; indexes without a name read as the first entry.
const char* PreviousLifeName(int32_t previous_life);

}  // namespace quelt::game
