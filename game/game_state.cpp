#include "game/game_state.h"

#include "game/entry_layer.h"

namespace quelt::game {

GameEntryLayer Engine{};

RunnerRecord PlayerRunner{};
std::array<RunnerRecord, RivalCount> RivalTable{};
int32_t Course = 0;
int32_t RivalSteeringBase = 40;
int8_t GoalBonusArmed = 0;
PlayerProfileRecord PlayerProfile{0, 0, 0, 1, -1};
int32_t TitleCounter = 0;
GameAssetHandleSet GameAssetHandles{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
uint32_t HudTextColour = 0;
uint32_t PauseTextColour = 0;
uint32_t MenuTextColour = 0;

const std::array<const char*, CourseCount> CourseNames = {
    "地獄道・下", "地獄道・上", "餓鬼道・下", "餓鬼道・上", "畜生道・下", "畜生道・上",
    "修羅道・下", "修羅道・上", "人間道・下", "人間道・上", "天道・下",   "天道・上",
};

const std::array<const char*, 13> PreviousLifeNames = {
    "なし", "叫喚地獄", "賽の河原", "無財餓鬼", "少財餓鬼", "蛙",   "馬",
    "修羅兵士", "修羅貴族", "ニート", "リア充", "惑星", "恒星",
};

void ResetGameGlobals() {
  PlayerRunner = {};
  RivalTable = {};
  Course = 0;
  RivalSteeringBase = 40;
  GoalBonusArmed = 0;
  PlayerProfile = {0, 0, 0, 1, -1};
  TitleCounter = 0;
  GameAssetHandles = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
}

void InitialiseTextColours() {
  HudTextColour = Engine.ApiMakeScreenColourCode(255, 255, 255);
  PauseTextColour = Engine.ApiMakeScreenColourCode(0, 255, 127);
  MenuTextColour = Engine.ApiMakeScreenColourCode(0, 255, 127);
}

const char* PreviousLifeName(int32_t previous_life) {
  if (previous_life < -1 || previous_life >= CourseCount) return PreviousLifeNames[0];
  return PreviousLifeNames[previous_life + 1];
}

}  // namespace quelt::game
